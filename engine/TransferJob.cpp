#include "engine/TransferJob.h"

#include "engine/ErrorText.h"
#include "engine/ItemFlags.h"
#include "engine/JobSocket.h"
#include "engine/SocketWindow.h"
#include "settings/ProxyDetect.h"
#include "settings/SettingsStore.h"

#include <arpa/inet.h>

namespace vireo {

namespace {
bool IsDottedAddress(const std::string& text) {
    in_addr addr{};
    return inet_pton(AF_INET, text.c_str(), &addr) == 1;
}
} // namespace

TransferJob::TransferJob(JobHost* item, std::string host, std::string path, int port)
    : m_host(std::move(host)), m_path(std::move(path)), m_port(port), m_item(item) {
    SocketWindow::Instance();
}

TransferJob::~TransferJob() {
    TransferJob::Stop();
}

size_t TransferJob::MemoryUse() const {
    return m_host.size() + m_path.size();
}

void TransferJob::OnFinished() {
    m_size = m_bytes;
    AddRecord("file received (" + std::to_string(m_bytes) + " bytes) in " +
                  std::to_string(m_attempts) + " attemps",
              '!');
    Stop();
    m_item->FinishItem(); // deletes this job
}

void TransferJob::OnConnected(JobSocket* socket) {
    if (socket && !socket->IsConnected()) {
        OnConnectFailed(*socket);
        return;
    }
    m_countdown = TimeoutSetting(0);
}

void TransferJob::OnConnectFailed(JobSocket& socket) {
    if (socket.TlsFailed()) {
        // Asking again does not make a certificate valid.
        bool certificate = !socket.TlsErrorText().isEmpty();
        QString why = certificate ? socket.TlsErrorText() : socket.ErrorText();
        std::string words = (certificate ? "certificate error: " : "secure connection failed: ") +
                            PlainWords(why.toStdString());
        AddRecord(words, 'E');
        NoteCause(words);
        Fail(certificate ? ErrCertificate : ErrTlsHandshake);
        return;
    }
    // The connection counts as this attempt's connect event: the attempt ends when its
    // time-out runs out, as a silent connection's does, so a server that restarts for a
    // few seconds does not use up every attempt at once.
    AddRecord("connection failed: " + socket.ErrorText().toStdString(), 'E');
    NoteCause(socket.FailureWords(), ErrConnect);
    m_connectFailed = true;
    m_countdown = TimeoutSetting(0);
}

int TransferJob::OnClosed(JobSocket*) {
    return 1;
}

int TransferJob::OnData(JobSocket*, const char* data, size_t count) {
    if (count == 0)
        return 1;
    if (!AppendData(data, count))
        return 0;
    if (HasFlag(JF_SIZE_LIMITED) && m_size != 0 && m_bytes >= m_size) {
        OnFinished();
        return 0;
    }
    return 1;
}

int TransferJob::AppendData(const char* data, size_t count) {
    if (count == 0)
        return 1;
    if (!HasFlag(IF_RECEIVING)) {
        m_receiveStart = m_bytes;
        ChangeFlags(IF_RECEIVING, 0);
        AddRecord("receiving data", 'R');
    }
    if (!m_item->WriteData(data, count))
        return 0;
    m_countdown = TimeoutSetting(30);
    m_bytes += int64_t(count);
    ChangeFlags(IF_DIRTY, 0);
    return 1;
}

int TransferJob::OnWritable(JobSocket*) {
    return 0;
}

int TransferJob::OnAccept(JobSocket*) {
    return 0;
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
    std::string name = UsesProxy() ? ProxyFor(m_item->Url()).host : m_host;
    if (IsDottedAddress(name)) {
        m_address = name;
        Notify(NotifyAddressKnown);
        Connect();
        return 1;
    }
    return StartLookup();
}

int TransferJob::StartLookup() {
    CancelLookup();
    std::string name = UsesProxy() ? ProxyFor(m_item->Url()).host : m_host;
    AddRecord("finding host " + name, '!');
    m_lookupId = SocketWindow::Instance().LookupHost(QString::fromStdString(name), m_slot);
    if (m_lookupId < 0)
        return Fail(ErrAsyncStart);
    m_countdown = TimeoutSetting(0);
    return 1;
}

void TransferJob::OnHostResolved(const QHostInfo& reply) {
    m_lookupId = -1;
    m_countdown = -1;
    if (reply.error() != QHostInfo::NoError || reply.addresses().isEmpty()) {
        AddRecord("server not found", 'E');
        NoteCause("host not found");
        Retry();
        return;
    }
    m_address = reply.addresses().first().toString().toStdString();
    AddRecord("server found, ip: " + m_address, '!');
    Notify(NotifyAddressKnown);
    Connect();
}

int TransferJob::Stop() {
    if (!HasFlag(JF_ACTIVE))
        return 0;
    CloseSockets();
    SocketWindow::Instance().Unregister(this);
    ChangeFlags(0, JF_ACTIVE);
    m_countdown = -1;
    CancelLookup();
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

void TransferJob::OnTick() {
    if (!HasFlag(JF_ACTIVE))
        return;
    ++m_ticks;
    if (m_bytes >= m_receiveStart) {
        m_speed = (m_bytes - m_receiveStart) / m_ticks;
        if (m_speed != 0)
            m_timeLeft = (m_size > 0 && m_size >= m_bytes) ? (m_size - m_bytes) / m_speed : -1;
    }
    if (m_countdown == 0) {
        // A connection that could not be made was logged and named when it failed.
        if (!m_connectFailed) {
            AddRecord("timeout", 'E');
            NoteCause(m_lookupId >= 0 ? "timed out finding the host" : "timed out");
        }
        if (!Retry())
            return; // failed: the item owns what is left of this job
    }
    if (m_countdown > 0)
        --m_countdown;
}

int TransferJob::Connect() {
    return 1;
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

void TransferJob::ChangeFlags(uint32_t set, uint32_t clear) {
    m_flags = (m_flags & ~clear) | set;
    m_item->ChangeFlags(set, clear);
}

int TransferJob::TimeoutSetting(int fallback) {
    return Settings().GetInt(keys::Timeout.name, fallback);
}

void TransferJob::CancelLookup() {
    if (m_lookupId >= 0)
        SocketWindow::CancelLookup(m_lookupId);
    m_lookupId = -1;
}

bool TransferJob::UsesProxy() const {
    return !HasFlag(JF_NO_PROXY) && ProxyFor(m_item->Url()).found;
}

} // namespace vireo
