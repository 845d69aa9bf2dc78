#include "protocols/FtpTransfer.h"

#include "common/LineSplitter.h"
#include "common/PercentCoding.h"
#include "engine/ErrorText.h"
#include "engine/ItemEvent.h"
#include "engine/TextCoding.h"
#include "protocols/FtpDataPort.h"
#include "protocols/FtpListing.h"
#include "settings/SettingsStore.h"

#include <QHostAddress>

namespace vireo {

namespace {
// A line break or NUL in an argument would end the command early and start another.
bool SafeArgument(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

bool SameAddress(const QString& a, const QString& b) {
    return QHostAddress(a).isEqual(QHostAddress(b), QHostAddress::TolerantConversion);
}

// The address as data commands name it: an IPv4 address mapped into IPv6 is the IPv4
// address, and an IPv6 address goes without its interface.
QHostAddress DataAddress(const QString& text) {
    QHostAddress address(text);
    bool mapped = false;
    quint32 v4 = address.toIPv4Address(&mapped);
    if (mapped && address.protocol() == QAbstractSocket::IPv6Protocol)
        return QHostAddress(v4);
    address.setScopeId(QString());
    return address;
}

bool IsIpv6(const QString& text) {
    return DataAddress(text).protocol() == QAbstractSocket::IPv6Protocol;
}

bool IsPermanentNegative(int code) {
    return code >= 500 && code <= 599;
}
} // namespace

FtpTransfer::FtpTransfer(JobHost* item, std::string host, std::string path, int port)
    : TransferJob(item, std::move(host), std::move(path), port) {
    // The dialogue is FTP's own: it never goes through the HTTP proxy.
    ChangeFlags(JF_NO_PROXY, 0);
}

FtpTransfer::~FtpTransfer() {
    Stop();
}

Step FtpTransfer::Connect() {
    m_replies.Reset();
    m_listing.clear();
    m_sizeFound = false;
    m_controlClosed = false;
    // What the server refused stays known from one attempt to the next.
    bool epsvRefused = m_data.epsvRefused;
    m_data = DataChannel{};
    m_data.epsvRefused = epsvRefused;
    m_data.passive = Settings().GetInt(keys::FtpPassive) != 0;

    std::string credentials = m_item->CredentialsFor(m_host);
    if (!credentials.empty()) {
        size_t colon = credentials.find(':');
        if (colon == std::string::npos) {
            m_user = credentials;
        } else {
            m_user = credentials.substr(0, colon);
            m_password = credentials.substr(colon + 1);
        }
    }
    // The path as the server names it: "%20" is a space, a '%' without two hex digits after
    // it a '%'.
    std::string path = PercentDecode(m_path, PercentDigits::Checked);
    size_t slash = path.rfind('/');
    m_fileName = slash == std::string::npos ? path : path.substr(slash + 1);
    m_directory = slash == std::string::npos ? std::string() : path.substr(0, slash);
    if (!SafeArgument(path) || !SafeArgument(m_user) || !SafeArgument(m_password)) {
        AddRecord("line break in the path or the login", 'E');
        return Step::Fail(ErrParseUrl);
    }

    m_control = Connections().Open(this);
    AddRecord("connecting server: " + m_host + ", port: " + std::to_string(m_port), '!');
    m_control->ConnectTo(QString::fromStdString(m_address), quint16(m_port));
    return Step::GoOn();
}

void FtpTransfer::CloseSockets() {
    m_control.reset();
    m_data.listListener.reset();
    m_data.fileListener.reset();
    m_data.connection.reset();
}

Step FtpTransfer::OnConnected(Connection* socket) {
    if (socket == m_data.connection.get()) {
        if (!socket->IsConnected()) {
            // The server answers on the control connection, so it is up: its data port
            // is what failed, and waiting does not help.
            AddRecord("data connection failed: " + socket->ErrorText().toStdString(), 'E');
            NoteCause("data connection failed: " + socket->FailureWords(), ErrConnect);
            return Step::Retry();
        }
        return TransferJob::OnConnected(socket);
    }
    if (socket != m_control.get())
        return Step::GoOn();
    if (!socket->IsConnected())
        return TransferJob::OnConnected(socket); // the server could not be reached
    if (!m_data.passive) {
        QString local = socket->LocalAddress();
        m_data.listListener = Connections().Open(this);
        m_data.fileListener = Connections().Open(this);
        if (!m_data.listListener->Listen(local, &m_data.listPort) ||
            !m_data.fileListener->Listen(local, &m_data.filePort)) {
            AddRecord("cannot listen for data connections on " + local.toStdString(), 'E');
            return Step::Fail(ErrCreateSocket);
        }
    }
    SetState(kGreeting);
    return TransferJob::OnConnected(socket);
}

Step FtpTransfer::OnAccept(Connection* listener) {
    DataUse use;
    if (listener == m_data.listListener.get())
        use = DataUse::Listing;
    else if (listener == m_data.fileListener.get())
        use = DataUse::File;
    else
        return Step::GoOn();
    ConnectionPtr connection = listener->Accept(this);
    if (!connection)
        return Step::GoOn();
    QString peer = connection->PeerAddress();
    if (!m_control || !SameAddress(peer, m_control->PeerAddress())) {
        // Only the server we talk to may deliver our data.
        AddRecord("data connection from " + peer.toStdString() + " refused", 'E');
        return Step::GoOn();
    }
    m_data.connection = std::move(connection);
    m_data.use = use;
    m_data.closed = false;
    // One connection per listener: nobody else gets in after the server.
    if (use == DataUse::Listing)
        m_data.listListener.reset();
    else
        m_data.fileListener.reset();
    return Step::GoOn();
}

Step FtpTransfer::OnClosed(Connection* socket) {
    if (socket == m_control.get()) {
        m_controlClosed = true;
        return CheckEnd();
    }
    if (socket != m_data.connection.get())
        return Step::GoOn();
    m_data.closed = true;
    if (m_data.use == DataUse::Listing) {
        OnListingData(nullptr, 0, true);
        if (m_data.listingEnded && !m_controlClosed)
            return OnListingDone();
        if (m_controlClosed)
            return CheckEnd();
        return Step::GoOn();
    }
    return CheckEnd();
}

Step FtpTransfer::CheckEnd() {
    if (!m_controlClosed || m_data.Open(DataUse::File))
        return Step::GoOn(); // the dialogue goes on, or the rest of the file is coming
    bool whole = m_size > 0 ? m_bytes >= m_size : m_data.fileEnded && m_data.use == DataUse::File;
    if (whole)
        return Step::Finish();
    AddRecord("connection closed by the server", 'E');
    return Step::Retry();
}

int64_t FtpTransfer::PlainBytesOn(const Connection* connection) const {
    return connection == m_data.connection.get() && m_data.use == DataUse::File ? INT64_MAX : 0;
}

Step FtpTransfer::OnData(Connection* socket, const char* data, size_t count) {
    if (socket == m_data.connection.get()) {
        if (m_data.use == DataUse::File)
            return TransferJob::OnData(socket, data, count);
        OnListingData(data, count, false);
        return Step::GoOn();
    }
    if (socket != m_control.get())
        return Step::GoOn();
    m_replies.Feed(data, count);
    for (;;) {
        FtpReply reply;
        FtpReplyParser::Result result = m_replies.Next(&reply);
        if (result == FtpReplyParser::Result::NeedMore)
            return Step::GoOn();
        if (result == FtpReplyParser::Result::Error) {
            AddRecord("reply longer than " + std::to_string(FtpReplyParser::kMaxReply) + " bytes",
                      'E');
            return Step::Retry();
        }
        AddRecord(reply.LogText(), 'I');
        if (Step step = OnReply(reply); !step.GoesOn())
            return step;
    }
}

Step FtpTransfer::OnReply(const FtpReply& reply) {
    const int code = reply.code;
    switch (m_state) {
    case kGreeting:
        if (code != 220)
            break;
        SendCommand(m_user.empty() ? "USER anonymous" : "USER " + m_user);
        SetState(kUserReply);
        return Step::GoOn();
    case kUserReply:
        if (code == 530)
            return Refused();
        if (code == 230) { // no password needed
            SendCommand("SYST");
            SetState(kSystReply);
            return Step::GoOn();
        }
        if (code != 331)
            break;
        SendCommand("PASS " + (m_password.empty() ? std::string(kAnonymousPassword) : m_password));
        SetState(kPassReply);
        return Step::GoOn();
    case kPassReply:
        if (code == 530)
            return Refused();
        if (code != 230)
            break;
        SendCommand("SYST");
        SetState(kSystReply);
        return Step::GoOn();
    case kSystReply:
        if (code != 215)
            break;
        // A file at the root changes to "/": an empty argument is refused by servers.
        SendCommand("CWD " + (m_directory.empty() ? std::string("/") : m_directory));
        SetState(kCwdReply);
        return Step::GoOn();
    case kCwdReply:
        if (code != 250)
            break;
        RequestDataConnection(DataUse::Listing);
        return Step::GoOn();
    case kListPortReply:
    case kFilePortReply:
        if (code != 200)
            break;
        SendCommand(m_state == kListPortReply ? "TYPE A" : "TYPE I");
        SetState(m_state == kListPortReply ? kTypeAReply : kTypeIReply);
        return Step::GoOn();
    case kListPassiveReply:
        return OnPassiveReply(reply, DataUse::Listing);
    case kFilePassiveReply:
        return OnPassiveReply(reply, DataUse::File);
    case kTypeAReply:
        if (code != 200)
            break;
        SetState(kListStart);
        SendCommand("LIST -L " + m_fileName);
        return Step::GoOn();
    case kListStart:
        if (code != 150 && code != 125)
            break;
        SetState(kListEnd);
        return Step::GoOn();
    case kListEnd:
        if (code != 226)
            break;
        m_data.listingEnded = true;
        // The size comes with the listing: wait for all of it before going on.
        if (m_data.Open(DataUse::Listing))
            return Step::GoOn();
        return OnListingDone();
    case kTypeIReply:
        if (code != 200)
            break;
        return OnTypeI();
    case kRestReply:
        if (code == 350) {
            SendRetr();
            return Step::GoOn();
        }
        if (code == 504 || IsPermanentNegative(code)) {
            AddRecord("restart refused, receiving the whole file", '!');
            SetStartOffset(0);
            SendRetr();
            return Step::GoOn();
        }
        break;
    case kFileStart:
        if (code == 150 || code == 125) {
            AddRecord("receiving data", 'R');
            SetState(kFileEnd);
            return Step::GoOn();
        }
        if (code == 550)
            return Step::Fail(404); // the server has no such file
        break;
    case kFileEnd:
        if (code != 226)
            break;
        m_data.fileEnded = true;
        SendCommand("QUIT");
        SetState(kQuitReply);
        return Step::GoOn();
    case kQuitReply:
        return Step::GoOn();
    case kMdtmReply:
        if (code < 200)
            break;
        return OnMdtmReply(reply);
    }
    return Step::GoOn(); // not expected here: logged, and left to the time-out
}

Step FtpTransfer::Refused() {
    Notify(NotifyCredentials);
    return Step::Fail(401);
}

Step FtpTransfer::OnListingDone() {
    if (m_state != kListEnd)
        return Step::GoOn();
    SendCommand("MDTM " + m_fileName);
    SetState(kMdtmReply);
    return Step::GoOn();
}

Step FtpTransfer::OnMdtmReply(const FtpReply& reply) {
    std::string mdtm;
    if (reply.code == 213 && !reply.lines.empty()) {
        const std::string& line = reply.lines.back();
        mdtm = TrimText(line.size() > 4 ? line.substr(4) : std::string());
        if (mdtm.size() > 32 || mdtm.find_first_not_of("0123456789.") != std::string::npos)
            mdtm.clear(); // not a time: as if the server had none
    }
    FileValidators stored = m_item->StoredValidators();
    if (m_bytes != 0) {
        std::string why;
        if (m_sizeFound && m_size < m_bytes)
            why = "the file on the server is " + std::to_string(m_size) +
                  " bytes, shorter than the " + std::to_string(m_bytes) + " on disk";
        else if (!mdtm.empty() && !stored.mdtm.empty() && mdtm != stored.mdtm)
            why = "the file on the server was modified at " + mdtm + ", the part on disk is from " +
                  stored.mdtm;
        else if (m_sizeFound && stored.total >= 0 && m_size != stored.total)
            why = "the file on the server is " + std::to_string(m_size) + " bytes now, not " +
                  std::to_string(stored.total);
        if (!why.empty()) {
            AddRecord(why + ": the part on disk is not of this file, starting over", '!');
            SetStartOffset(0);
        }
    }
    if (m_bytes == 0 || stored.Empty()) {
        FileValidators v;
        v.mdtm = mdtm;
        v.total = m_sizeFound ? m_size : -1;
        m_item->StoreValidators(v);
    }
    RequestDataConnection(DataUse::File);
    return Step::GoOn();
}

Step FtpTransfer::OnTypeI() {
    SetState(kRestReply);
    if (m_bytes != 0 && m_size != 0 && m_bytes == m_size)
        return Step::Finish(); // the file on disk is whole already
    if (m_bytes != 0 && m_size != 0 && m_bytes > m_size) {
        AddRecord("file on disk is longer than on the server, starting over", '!');
        SetStartOffset(0);
    }
    if (m_bytes == 0) {
        SendRetr();
        return Step::GoOn();
    }
    SendCommand("REST " + std::to_string(m_bytes));
    return Step::GoOn();
}

void FtpTransfer::SendRetr() {
    SendCommand("RETR " + m_fileName);
    SetState(kFileStart);
}

void FtpTransfer::RequestDataConnection(DataUse use) {
    // PORT and PASV carry IPv4 addresses only: over IPv6 the extended commands are the
    // only ones.
    const bool ipv6 = IsIpv6(m_control->LocalAddress());
    if (!m_data.passive) {
        quint16 port = use == DataUse::Listing ? m_data.listPort : m_data.filePort;
        std::string local = DataAddress(m_control->LocalAddress()).toString().toStdString();
        SendCommand(ipv6 ? "EPRT " + EprtArgument(local, port)
                         : "PORT " + PortArgument(local, port));
        SetState(use == DataUse::Listing ? kListPortReply : kFilePortReply);
        return;
    }
    m_data.pasvSent = m_data.epsvRefused && !ipv6;
    SendCommand(m_data.pasvSent ? "PASV" : "EPSV");
    SetState(use == DataUse::Listing ? kListPassiveReply : kFilePassiveReply);
}

Step FtpTransfer::OnPassiveReply(const FtpReply& reply, DataUse use) {
    int port = -1;
    if (!m_data.pasvSent && reply.code == 229)
        port = EpsvPort(reply.lines.front());
    else if (m_data.pasvSent && reply.code == 227)
        port = PasvPort(reply.lines.front());
    else if (!m_data.pasvSent && reply.code >= 400 && IsIpv6(m_control->LocalAddress())) {
        // A PASV reply could only name an IPv4 address, which this server does not have.
        AddRecord("extended passive mode refused over IPv6", 'E');
        NoteCause("the server refused passive mode over IPv6 (EPSV)", ErrConnect);
        return Step::Fail(ErrConnect);
    } else if (!m_data.pasvSent && reply.code >= 400) {
        m_data.epsvRefused = true;
        m_data.pasvSent = true;
        SendCommand("PASV");
        return Step::GoOn();
    } else {
        return Step::GoOn(); // not expected here
    }
    if (port < 0) {
        AddRecord("no port in the passive reply", 'E');
        return Step::GoOn();
    }
    // The address a PASV reply names is not trusted: the data comes from the server we
    // are connected to.
    m_data.connection = Connections().Open(this);
    m_data.use = use;
    m_data.closed = false;
    m_data.connection->ConnectTo(m_control->PeerAddress(), quint16(port));
    SendCommand(use == DataUse::Listing ? "TYPE A" : "TYPE I");
    SetState(use == DataUse::Listing ? kTypeAReply : kTypeIReply);
    return Step::GoOn();
}

void FtpTransfer::SendCommand(const std::string& command) {
    if (command.compare(0, 4, "PASS") == 0)
        AddRecord("PASS " + (m_password.empty() ? std::string(kAnonymousPasswordShown)
                                                : MaskText(m_password)),
                  'O');
    else
        AddRecord(command, 'O');
    m_countdown = TimeoutSetting(0);
    m_control->SendText(command + "\r\n");
}

void FtpTransfer::OnListingData(const char* data, size_t count, bool last) {
    if (m_sizeFound)
        return;
    if (count != 0 && m_listing.size() < kMaxListing)
        m_listing.append(data, std::min(count, kMaxListing - m_listing.size()));
    LineSplitter lines(m_listing);
    size_t used = 0;
    for (std::string_view line; lines.Next(&line);) {
        if (lines.End().empty() && !last)
            break; // the line goes on in the next read
        used = lines.Taken();
        int64_t size = line.empty() ? -1 : ListingSize(line);
        if (size >= 0) {
            m_sizeFound = true;
            m_size = size;
            m_listing.clear();
            Notify(NotifyAttempt); // the list shows the size
            return;
        }
    }
    m_listing.erase(0, used);
}

} // namespace vireo
