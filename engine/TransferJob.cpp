#include "engine/TransferJob.h"

#include "engine/ErrorText.h"
#include "engine/ItemFlags.h"
#include "engine/SocketWindow.h"
#include "settings/ProxyDetect.h"
#include "settings/SettingsStore.h"

#include <QHostAddress>

#include <arpa/inet.h>

#include <algorithm>

namespace vireo {

Q_LOGGING_CATEGORY(lcAttempt, "vireo.transfer.attempt", QtWarningMsg)

class TransferJob::CallScope {
public:
    explicit CallScope(TransferJob& job) : m_job(job) { ++m_job.m_calls; }
    ~CallScope() { --m_job.m_calls; }
    CallScope(const CallScope&) = delete;
    CallScope& operator=(const CallScope&) = delete;

private:
    TransferJob& m_job;
};

namespace {
const char* StateName(TransferJob::AttemptState state) {
    switch (state) {
    case TransferJob::AttemptState::Idle:
        return "idle";
    case TransferJob::AttemptState::Resolving:
        return "resolving";
    case TransferJob::AttemptState::Connecting:
        return "connecting";
    case TransferJob::AttemptState::Talking:
        return "talking";
    case TransferJob::AttemptState::Receiving:
        return "receiving";
    }
    return "?";
}

// An IPv4 or IPv6 address written out: there is nothing to look up.
bool IsAddressLiteral(const std::string& text) {
    in6_addr addr{};
    return inet_pton(AF_INET, text.c_str(), &addr) == 1 ||
           inet_pton(AF_INET6, text.c_str(), &addr) == 1;
}
} // namespace

TransferJob::TransferJob(JobHost* item, std::string host, std::string path, int port)
    : m_host(std::move(host)), m_path(std::move(path)), m_port(port), m_item(item),
      m_connector(&NetworkConnector()) {
    SocketWindow::Instance();
}

TransferJob::~TransferJob() {
    TransferJob::Stop();
}

size_t TransferJob::MemoryUse() const {
    return m_host.size() + m_path.size();
}

void TransferJob::SetAttemptState(AttemptState state) {
    if (state == m_state)
        return;
    qCDebug(lcAttempt).noquote() << QString::fromStdString(m_host) << StateName(m_state) << "->"
                                 << StateName(state);
    m_state = state;
}

void TransferJob::HandleConnected(Connection* connection) {
    CallScope scope(*this);
    Act(OnConnected(connection));
}

bool TransferJob::HandleData(Connection* connection, const char* data, size_t count) {
    CallScope scope(*this);
    Step step = OnData(connection, data, count);
    Act(step);
    return step.GoesOn();
}

int64_t TransferJob::PlainBytes(Connection* connection) const {
    return m_item && m_item->TakesPipes() ? PlainBytesOn(connection) : 0;
}

bool TransferJob::HandlePiped(Connection* connection, int pipeFd, size_t count) {
    CallScope scope(*this);
    Step step = OnPiped(connection, pipeFd, count);
    Act(step);
    return step.GoesOn();
}

Step TransferJob::OnPiped(Connection*, int pipeFd, size_t count) {
    if (!AppendFromPipe(pipeFd, count))
        return Step::Ended();
    if (HasFlag(JF_SIZE_LIMITED) && m_size != 0 && m_bytes >= m_size)
        return Step::Finish();
    return Step::GoOn();
}

void TransferJob::HandleClosed(Connection* connection) {
    CallScope scope(*this);
    Act(OnClosed(connection));
}

void TransferJob::HandleWritable(Connection* connection) {
    CallScope scope(*this);
    Act(OnWritable(connection));
}

void TransferJob::HandleAccept(Connection* listener) {
    CallScope scope(*this);
    Act(OnAccept(listener));
}

void TransferJob::HandleResolved(const QHostInfo& reply) {
    CallScope scope(*this);
    Act(OnHostResolved(reply));
}

void TransferJob::Act(const Step& step) {
    switch (step.kind) {
    case Step::Kind::GoOn:
    case Step::Kind::Hold:
        return;
    case Step::Kind::Retry:
        Retry();
        return;
    case Step::Kind::StartOver:
        Stop();
        Start();
        return;
    case Step::Kind::Fail:
        Fail(step.code);
        return;
    case Step::Kind::Finish: {
        Step last = BeforeFinish();
        if (last.kind == Step::Kind::Finish)
            Finished();
        else
            Act(last);
        return;
    }
    case Step::Kind::Restart:
        m_item->RestartItem(step.url); // a new job carries on; this one is released
        return;
    case Step::Kind::Ended:
        Stop();
        return;
    }
}

void TransferJob::OnFinished() {
    CallScope scope(*this);
    Act(Step::Finish());
}

void TransferJob::Finished() {
    m_size = m_bytes;
    AddRecord("file received (" + std::to_string(m_bytes) + " bytes) in " +
                  std::to_string(m_attempts) + " attemps",
              '!');
    Stop();
    m_item->FinishItem(); // lets go of this job
}

Step TransferJob::OnConnected(Connection* connection) {
    if (connection && !connection->IsConnected())
        return OnConnectFailed(*connection);
    m_countdown = TimeoutSetting(0);
    SetAttemptState(AttemptState::Talking);
    return Step::GoOn();
}

Step TransferJob::OnConnectFailed(Connection& connection) {
    if (connection.TlsFailed()) {
        // Asking again does not make a certificate valid.
        bool certificate = !connection.TlsErrorText().isEmpty();
        QString why = certificate ? connection.TlsErrorText() : connection.ErrorText();
        std::string words = (certificate ? "certificate error: " : "secure connection failed: ") +
                            PlainWords(why.toStdString());
        AddRecord(words, 'E');
        NoteCause(words);
        return Step::Fail(certificate ? ErrCertificate : ErrTlsHandshake);
    }
    // The connection counts as this attempt's connect event: the attempt ends when its
    // time-out runs out, as a silent connection's does, so a server that restarts for a
    // few seconds does not use up every attempt at once.
    AddRecord("connection failed: " + connection.ErrorText().toStdString(), 'E');
    NoteCause(connection.FailureWords(), ErrConnect);
    // Another address of the host may answer (an IPv6 address without a route, a dead
    // member of several): only when the last one fails does the attempt wait to end.
    if (HasNextAddress())
        return NextAddress();
    m_connectFailed = true;
    m_countdown = TimeoutSetting(0);
    return Step::GoOn();
}

Step TransferJob::OnClosed(Connection*) {
    return Step::GoOn();
}

Step TransferJob::OnData(Connection*, const char* data, size_t count) {
    if (count == 0)
        return Step::GoOn();
    if (!AppendData(data, count))
        return Step::Ended();
    if (HasFlag(JF_SIZE_LIMITED) && m_size != 0 && m_bytes >= m_size)
        return Step::Finish();
    return Step::GoOn();
}

int TransferJob::AppendData(const char* data, size_t count) {
    if (count == 0)
        return 1;
    BeginReceiving();
    if (!m_item->WriteData(data, count))
        return 0;
    Received(count);
    return 1;
}

int TransferJob::AppendFromPipe(int pipeFd, size_t count) {
    if (count == 0)
        return 1;
    BeginReceiving();
    if (!m_item->WriteFromPipe(pipeFd, count))
        return 0;
    Received(count);
    return 1;
}

void TransferJob::BeginReceiving() {
    if (HasFlag(IF_RECEIVING))
        return;
    m_receiveStart = m_bytes;
    ChangeFlags(IF_RECEIVING, 0);
    SetAttemptState(AttemptState::Receiving);
    AddRecord("receiving data", 'R');
}

void TransferJob::Received(size_t count) {
    m_countdown = TimeoutSetting(30);
    m_bytes += int64_t(count);
    ChangeFlags(IF_DIRTY, 0);
}

Step TransferJob::OnWritable(Connection*) {
    return Step::GoOn();
}

Step TransferJob::OnAccept(Connection*) {
    return Step::GoOn();
}

std::string TransferJob::Describe() const {
    return "Nothing specific";
}

int TransferJob::Start() {
    m_size = 0;
    m_speed = 0;
    m_countdown = -1;
    m_timeLeft = -1;
    CancelLookup();
    m_ticks = 0;
    m_receiveStart = 0;
    m_cause = FailureCause{};
    m_cause.attempts = m_attempts;
    m_lastErrorLine.clear();
    m_connectFailed = false;

    ChangeFlags(JF_ACTIVE, IF_RECEIVING | JF_SIZE_LIMITED);
    SocketWindow::Instance().Register(this);

    m_address.clear();
    m_addresses.clear();
    m_addressIndex = 0;
    std::string name = UsesProxy() ? ProxyFor(m_item->Url()).host : m_host;
    if (IsAddressLiteral(name)) {
        m_address = name;
        m_addresses = {name};
        Notify(NotifyAddressKnown);
        CallScope scope(*this);
        Act(ConnectAddress());
        return 1;
    }
    return StartLookup();
}

int TransferJob::StartLookup() {
    CancelLookup();
    std::string name = UsesProxy() ? ProxyFor(m_item->Url()).host : m_host;
    AddRecord("finding host " + name, '!');
    m_lookupId = m_connector->LookupHost(QString::fromStdString(name), m_slot);
    if (m_lookupId < 0)
        return Fail(ErrAsyncStart);
    SetAttemptState(AttemptState::Resolving);
    m_countdown = TimeoutSetting(0);
    return 1;
}

Step TransferJob::OnHostResolved(const QHostInfo& reply) {
    m_lookupId = -1;
    m_countdown = -1;
    if (reply.error() != QHostInfo::NoError || reply.addresses().isEmpty()) {
        AddRecord("server not found", 'E');
        NoteCause("host not found");
        return Step::Retry();
    }
    m_addresses.clear();
    for (const QHostAddress& found : reply.addresses()) {
        std::string text = found.toString().toStdString();
        if (std::find(m_addresses.begin(), m_addresses.end(), text) == m_addresses.end())
            m_addresses.push_back(text);
    }
    m_addressIndex = 0;
    m_address = m_addresses.front();
    AddRecord("server found, ip: " + m_address, '!');
    Notify(NotifyAddressKnown);
    return ConnectAddress();
}

Step TransferJob::ConnectAddress() {
    if (m_addresses.size() > 1)
        AddRecord("trying address " + m_address + " (" + std::to_string(m_addressIndex + 1) +
                      " of " + std::to_string(m_addresses.size()) + ")",
                  '!');
    SetAttemptState(AttemptState::Connecting);
    // An address that does not answer leaves time for the others; the last one has what
    // is left of the attempt's time-out.
    int timeout = TimeoutSetting(0);
    m_countdown = HasNextAddress() ? std::min(kAddressWindow, timeout) : timeout;
    return Connect();
}

Step TransferJob::NextAddress() {
    m_address = m_addresses[++m_addressIndex];
    return ConnectAddress();
}

int TransferJob::Stop() {
    if (!HasFlag(JF_ACTIVE))
        return 0;
    CloseSockets();
    SocketWindow::Instance().Unregister(this);
    ChangeFlags(0, JF_ACTIVE);
    m_countdown = -1;
    CancelLookup();
    SetAttemptState(AttemptState::Idle);
    return 1;
}

int TransferJob::Retry() {
    ++m_attempts;
    Stop();
    if (m_attempts > Settings().GetInt(keys::MaxAttemp)) {
        AddRecord("all attemps passed", 'I');
        return Fail(ErrAttempts);
    }
    Start();
    Notify(NotifyAttempt);
    return 1;
}

void TransferJob::HandleTick() {
    if (!HasFlag(JF_ACTIVE))
        return;
    CallScope scope(*this);
    ++m_ticks;
    if (m_bytes >= m_receiveStart) {
        m_speed = (m_bytes - m_receiveStart) / m_ticks;
        if (m_speed != 0)
            m_timeLeft = (m_size > 0 && m_size >= m_bytes) ? (m_size - m_bytes) / m_speed : -1;
    }
    if (m_countdown == 0 && m_state == AttemptState::Connecting && !m_connectFailed &&
        HasNextAddress()) {
        AddRecord("no answer from " + m_address + " within " +
                      std::to_string(std::min(kAddressWindow, TimeoutSetting(0))) + " s",
                  'E');
        Act(NextAddress());
        return; // the next address has its whole window
    }
    if (Step step = OnTick(); !step.GoesOn()) {
        Act(step);
        return;
    }
    if (m_countdown == 0) {
        // A connection that could not be made was logged and named when it failed.
        if (!m_connectFailed) {
            AddRecord("timeout", 'E');
            NoteCause(m_lookupId >= 0 ? "timed out finding the host" : "timed out");
        }
        Act(Step::Retry()); // when the attempts are used up, the job stops here
    }
    if (m_countdown > 0)
        --m_countdown;
}

Step TransferJob::Connect() {
    return Step::GoOn();
}

void TransferJob::CloseSockets() {}

void TransferJob::SetStartOffset(int64_t n) {
    m_item->SetFileLength(n);
    m_bytes = n;
    m_receiveStart = n;
}

int TransferJob::Fail(int code) {
    if (m_cause.words.empty())
        m_cause.words = m_lastErrorLine;
    m_size = m_bytes;
    Stop();
    m_item->FailItem(code);
    return 0;
}

void TransferJob::Notify(int code, int arg, std::vector<std::string> urls) {
    m_item->Notify(code, arg, std::move(urls));
}

void TransferJob::AddRecord(std::string_view text, char kind) {
    if (kind == 'E')
        m_lastErrorLine = PlainWords(text);
    m_item->AddRecord(text, kind, true);
}

void TransferJob::NoteCause(std::string_view words, int kind) {
    m_cause.words = PlainWords(words);
    m_cause.kind = kind;
}

Step TransferJob::SpendAttempt(std::string_view why, int kind) {
    NoteCause(why, kind);
    ++m_attempts;
    m_cause.attempts = m_attempts;
    if (m_attempts > Settings().GetInt(keys::MaxAttemp)) {
        AddRecord("all attemps passed", 'I');
        return Step::Fail(ErrAttempts);
    }
    Notify(NotifyAttempt);
    return Step::GoOn();
}

void TransferJob::ChangeFlags(uint32_t set, uint32_t clear) {
    m_flags = (m_flags & ~clear) | set;
    m_item->ChangeFlags(set, clear);
}

int TransferJob::TimeoutSetting(int fallback) {
    return Settings().GetInt(keys::Timeout.name, fallback);
}

void TransferJob::CancelLookup() {
    if (m_lookupId >= 0)
        m_connector->CancelLookup(m_lookupId);
    m_lookupId = -1;
}

bool TransferJob::UsesProxy() const {
    return !HasFlag(JF_NO_PROXY) && ProxyFor(m_item->Url()).found;
}

} // namespace vireo
