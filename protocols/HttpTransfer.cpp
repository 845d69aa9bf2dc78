#include "protocols/HttpTransfer.h"

#include "common/AsciiCase.h"
#include "engine/ErrorText.h"
#include "engine/ItemFlags.h"
#include "engine/TextCoding.h"
#include "engine/UrlParts.h"
#include "protocols/HttpRequest.h"
#include "settings/ProxyDetect.h"
#include "settings/SettingsStore.h"

#include <algorithm>

namespace vireo {

namespace {
std::string Trimmed(const std::string& text) {
    return AsciiLower(TrimText(text));
}

bool IsMetafileType(const std::string& contentType) {
    std::string type = AsciiLower(contentType);
    return type == "audio/x-realaudio" || type == "audio/x-pn-realaudio";
}

// An interim answer only says that the real one is coming. 101 is not one: it would
// switch to another protocol, which a GET of ours never asks for.
bool IsInterim(int status) {
    return status >= 100 && status <= 199 && status != 101;
}

std::string SchemeOf(const std::string& url) {
    size_t colon = url.find(':');
    return colon == std::string::npos ? std::string() : url.substr(0, colon);
}
} // namespace

HttpTransfer::HttpTransfer(JobHost* item, std::string host, std::string path, int port, bool tls)
    : TransferJob(item, std::move(host), std::move(path), port), m_tls(tls) {}

HttpTransfer::~HttpTransfer() {
    Stop();
}

size_t HttpTransfer::MemoryUse() const {
    return TransferJob::MemoryUse() + m_headerBuffer.size() +
           (m_inflater ? m_inflater->BufferedBytes() : 0);
}

int HttpTransfer::Connect() {
    m_headerBuffer.clear();
    ChangeFlags(JF_SIZE_LIMITED, JF_HEADER_DONE | JF_HEADER_JUDGED);
    m_header.Clear();
    m_chunked = false;
    m_chunks.Reset();
    m_inflater.reset();
    m_wireLength = -1;
    m_wireBytes = 0;
    m_tunnel = Tunnel::None;
    m_interimBytes = 0;
    m_excess = false;

    // A control byte in the address would end the request line early and write a header
    // line of the address's own (a redirect may name any address).
    if (HasControlByte(m_item->Url())) {
        AddRecord("control byte in the address", 'E');
        return Fail(ErrParseUrl);
    }

    m_socket.reset(new JobSocket(this));
    QString address = QString::fromStdString(m_address);
    if (UsesProxy()) {
        DetectedProxy proxy = ProxyFor(m_item->Url());
        const std::string& server = proxy.host;
        int port = proxy.port;
        AddRecord("Connecting via proxy host: " + server + ", port: " + std::to_string(port), '!');
        if (m_tls) {
            // An encrypted transfer goes through a tunnel; inside it the request names
            // only the path.
            m_tunnel = Tunnel::Connecting;
        } else {
            m_requestMode = 1;
        }
        m_socket->ConnectTo(address, quint16(port), QString(), m_tls);
    } else {
        AddRecord("Connecting server: " + m_host + ", port: " + std::to_string(m_port), '!');
        m_socket->ConnectTo(address, quint16(m_port),
                            m_tls ? QString::fromStdString(m_host) : QString());
    }
    return 1;
}

void HttpTransfer::CloseSockets() {
    m_socket.reset();
}

int HttpTransfer::OnWritable(JobSocket* socket) {
    if (m_tunnel == Tunnel::Connecting) {
        std::string target = HostName(m_host) + ":" + std::to_string(m_port);
        AddRecord("CONNECT " + target, 'O');
        socket->SendText("CONNECT " + target + " HTTP/1.1\r\nHost: " + target + "\r\n\r\n");
        m_tunnel = Tunnel::Awaiting;
        return 0;
    }
    const std::string& target = m_requestMode == 1 ? m_item->Url() : m_path;
    int64_t start = m_bytes;
    std::string credentials = m_item->CredentialsFor(m_host);
    std::string authorization = credentials.empty() ? "" : "Basic " + Base64Encode(credentials);
    if (start != 0)
        AddRecord("HTTP req: " + target + ", start: " + std::to_string(start), 'O');
    else
        AddRecord("HTTP req: " + target, 'O');
    std::string ifRange = start != 0 ? m_item->StoredValidators().IfRange() : std::string();
    std::string host = HostHeader(m_host, m_port, SchemeOf(m_item->Url()));
    socket->SendText(BuildHttpRequest(target, host, start, authorization, ifRange));
    return 0;
}

std::string HttpTransfer::ChangedSince(const FileValidators& stored, int64_t total) const {
    // A server that ignores If-Range still names the version it sends.
    std::string etag = StrongEtag(m_header.Find("ETag"));
    std::string modified = TrimText(m_header.Find("Last-Modified"));
    if (stored.total >= 0 && total >= 0 && total != stored.total)
        return "the file on the server is " + std::to_string(total) + " bytes now, not " +
               std::to_string(stored.total);
    if (!stored.etag.empty() && !etag.empty() && etag != stored.etag)
        return "the file on the server has the tag " + etag + " now, not " + stored.etag;
    if (stored.etag.empty() && !stored.lastModified.empty() && !modified.empty() &&
        modified != stored.lastModified)
        return "the file on the server was modified " + modified + ", not " + stored.lastModified;
    return {};
}

int HttpTransfer::StartOver(const std::string& why) {
    AddRecord(why + ": the part on disk is not of this file, starting over", '!');
    SetStartOffset(0);
    m_item->StoreValidators({});
    Stop();
    Start(); // the request of the next connection asks from the first byte
    return 0;
}

void HttpTransfer::StoreValidators(int64_t total) {
    FileValidators v;
    v.etag = StrongEtag(m_header.Find("ETag"));
    v.lastModified = TrimText(m_header.Find("Last-Modified"));
    v.total = total;
    m_item->StoreValidators(v);
}

int HttpTransfer::OnTunnelReply(const char* data, size_t count) {
    size_t searched = m_headerBuffer.size() > 3 ? m_headerBuffer.size() - 3 : 0;
    m_headerBuffer.append(data, count);
    size_t end = HeaderTable::FindEnd(m_headerBuffer, searched);
    if (end == 0) {
        if (m_headerBuffer.size() > kMaxHeader) {
            AddRecord("proxy reply too large", 'E');
            Retry();
            return 0;
        }
        return 1;
    }
    HeaderTable reply;
    reply.Parse(std::string_view(m_headerBuffer).substr(0, end));
    AddRecord(reply.Count() ? reply.Name(0) : std::string(), 'I');
    m_headerBuffer.clear();
    if (reply.Status() != 200)
        return Fail(reply.Status() > 0 ? reply.Status() : ErrConnect);
    m_tunnel = Tunnel::Open;
    m_socket->StartTls(QString::fromStdString(m_host));
    return 1;
}

int HttpTransfer::OnData(JobSocket* socket, const char* data, size_t count) {
    (void)socket;
    if (m_tunnel == Tunnel::Awaiting)
        return OnTunnelReply(data, count);
    if (HasFlag(JF_HEADER_DONE))
        return count == 0 ? 1 : Body(data, count);

    size_t searched = m_headerBuffer.size() > 3 ? m_headerBuffer.size() - 3 : 0;
    m_headerBuffer.append(data, count);
    size_t end = 0;
    while ((end = HeaderTable::FindEnd(m_headerBuffer, searched)) != 0) {
        m_header.Parse(std::string_view(m_headerBuffer).substr(0, end));
        LogHeader();
        if (!IsInterim(m_header.Status()))
            break;
        // Logged as received and dropped; the answer after it is the one judged.
        m_interimBytes += end;
        m_headerBuffer.erase(0, end);
        m_header.Clear();
        searched = 0;
    }
    if (end == 0) {
        // Interim answers count towards the limit: endless ones are one endless header.
        size_t total = m_headerBuffer.size() + m_interimBytes;
        if (total > kMaxHeader) {
            AddRecord("response header too large (" + std::to_string(total) + " bytes)", 'E');
            Retry();
            return 0;
        }
        return 1;
    }
    ChangeFlags(JF_HEADER_DONE, 0);
    return OnHeader(end);
}

void HttpTransfer::LogHeader() {
    for (size_t i = 0; i + 1 < m_header.Count(); ++i) {
        if (i == 0)
            AddRecord(m_header.Name(0), 'I');
        else
            m_item->AddField(m_header.Name(i), m_header.Value(i), 'I', false);
    }
}

int HttpTransfer::Impossible(const std::string& what) {
    AddRecord("impossible " + what, 'E');
    Retry();
    return 0;
}

int HttpTransfer::OnHeader(size_t headerLength) {
    int status = m_header.Status();
    int64_t contentLength = m_header.FindNumber("Content-length");
    m_size = contentLength > 0 ? contentLength : 0;
    if (status == 401)
        Notify(NotifyCredentials);
    if (status < 200 || status > 299)
        return JudgeFailure();
    // Every number below is the server's: one that no file can have ends the attempt
    // before any arithmetic is done with it.
    if (contentLength == HeaderTable::kTooLarge)
        return Impossible("Content-Length: " + TrimText(m_header.Find("Content-length")));

    std::string coding = Trimmed(m_header.Find("Content-encoding"));
    bool coded = coding == "gzip" || coding == "x-gzip" || coding == "deflate";
    if (!coding.empty() && coding != "identity" && !coded)
        AddRecord("unknown content coding: " + coding, 'E');
    m_chunked = Trimmed(m_header.Find("Transfer-encoding")).find("chunked") != std::string::npos;

    int64_t total = -1;
    if (status == 206) {
        // Only a range that starts where the file ends may be appended; anything else
        // starts the file over.
        ContentRange range;
        bool known = ParseContentRange(m_header.Find("Content-range"), &range);
        if (!known || range.first != m_bytes || coded) {
            std::string why = "range does not start at " + std::to_string(m_bytes);
            if (m_bytes != 0)
                return StartOver(why);
            AddRecord(why, 'E');
            Retry();
            return 0;
        }
        if (std::string why = RangeProblem(range, contentLength); !why.empty())
            return Impossible("range: " + why);
        if (m_bytes != 0) {
            std::string why = ChangedSince(m_item->StoredValidators(), range.total);
            if (!why.empty())
                return StartOver(why);
        }
        if (contentLength >= 0)
            m_size = m_bytes + contentLength;
        else if (range.total >= 0)
            m_size = range.total;
        total = range.total;
    } else if (m_bytes != 0) {
        // Asked for the rest, the server sends all of it: the file changed since the part
        // on disk arrived, or the server takes no ranges.
        AddRecord("the server sends the whole file again, starting over from its first byte", '!');
        SetStartOffset(0);
    }
    if (status != 206 && !m_chunked && !coded && contentLength >= 0)
        total = contentLength;
    if (m_bytes == 0 || m_item->StoredValidators().Empty())
        StoreValidators(total);

    if (m_chunked || coded) {
        // Completion is judged on the coded body; the file's own size is unknown until
        // the end.
        ChangeFlags(0, JF_SIZE_LIMITED);
        m_wireLength = m_chunked ? -1 : contentLength;
        m_size = 0;
        if (coded)
            m_inflater = std::make_unique<Inflater>();
    }

    std::string rest = m_headerBuffer.substr(headerLength);
    m_headerBuffer.clear();
    m_headerBuffer.shrink_to_fit();
    if (!IsCoded() && contentLength == 0) {
        OnFinished(); // an empty file: nothing more will come
        return 0;
    }
    if (rest.empty())
        return 1;
    return Body(rest.data(), rest.size());
}

int HttpTransfer::Body(const char* data, size_t count) {
    if (IsCoded())
        return CodedBody(data, count);
    if (HasFlag(JF_SIZE_LIMITED) && m_size > 0) {
        // The file holds what Content-Length names; bytes past it are not the file's.
        int64_t room = m_size - m_bytes;
        if (room <= 0) {
            m_excess = true;
            OnFinished();
            return 0;
        }
        if (int64_t(count) > room) {
            m_excess = true;
            count = size_t(room);
        }
    }
    return TransferJob::OnData(m_socket.get(), data, count);
}

int HttpTransfer::CodedBody(const char* data, size_t count) {
    bool stopped = false;
    bool inflateError = false;
    auto write = [&](const char* d, size_t n) {
        if (!TransferJob::OnData(m_socket.get(), d, n))
            stopped = true;
        return !stopped;
    };
    auto decode = [&](const char* d, size_t n) {
        m_wireBytes += int64_t(n);
        if (!m_inflater)
            return write(d, n);
        if (m_inflater->Feed(d, n, write) == Inflater::Result::Error && !stopped)
            inflateError = true;
        return !stopped && !inflateError;
    };

    bool done = false;
    if (m_chunked) {
        ChunkedDecoder::Result r = m_chunks.Feed(data, count, decode);
        if (stopped)
            return 0;
        if (r == ChunkedDecoder::Result::Error && !inflateError) {
            AddRecord("bad chunked body", 'E');
            Retry();
            return 0;
        }
        done = r == ChunkedDecoder::Result::Done;
    } else {
        if (m_wireLength >= 0 && int64_t(count) > m_wireLength - m_wireBytes) {
            // Past Content-Length: not the body's.
            m_excess = true;
            count = size_t(std::max<int64_t>(0, m_wireLength - m_wireBytes));
        }
        decode(data, count);
        if (stopped)
            return 0;
        done = m_wireLength >= 0 && m_wireBytes >= m_wireLength;
    }
    if (inflateError) {
        AddRecord("bad compressed body", 'E');
        Retry(); // the next attempt asks for the rest uncompressed
        return 0;
    }
    if (done)
        return FinishCoded();
    return 1;
}

int HttpTransfer::FinishCoded() {
    if (m_inflater && !m_inflater->IsDone()) {
        AddRecord("compressed body ends early", 'E');
        Retry();
        return 0;
    }
    OnFinished();
    return 0;
}

int HttpTransfer::OnClosed(JobSocket*) {
    if (!HasFlag(JF_HEADER_DONE)) {
        NoteCause("connection closed before the response");
        Retry();
        return 0;
    }
    if (IsCoded()) {
        bool whole =
            m_chunked ? m_chunks.IsDone() : (m_wireLength < 0 || m_wireBytes >= m_wireLength);
        if (whole)
            return FinishCoded();
        NoteCause("connection closed before the end of the file");
        Retry();
        return 0;
    }
    if (m_size == 0 || m_bytes >= m_size) {
        OnFinished();
        return 0;
    }
    NoteCause("connection closed before the end of the file");
    Retry(); // short: the next attempt asks for the rest
    return 0;
}

int HttpTransfer::JudgeFailure() {
    ChangeFlags(JF_HEADER_JUDGED, 0);
    int status = m_header.Status();
    if (status == 301 || status == 302 || status == 303 || status == 307 || status == 308) {
        std::string location = TrimText(m_header.Find("Location"));
        if (location.empty()) {
            Retry();
            return 0;
        }
        AddRecord("redirect to location: " + location, '!');
        m_item->RestartItem(NormalizeUrl(ResolveUrl(m_item->Url(), location)));
        return 0; // a new job carries on
    }
    NoteCause(StatusWords());
    if (status == 401)
        return Fail(401);
    if (status == 416 && m_bytes > 0) {
        ContentRange range;
        bool known = ParseContentRange(m_header.Find("Content-range"), &range);
        if (known && range.total == m_bytes) {
            // The file on disk is whole already.
            m_size = m_bytes;
            TransferJob::OnFinished();
            return 0;
        }
        if (known && range.total >= 0 && range.total < m_bytes)
            return StartOver("the file on the server is " + std::to_string(range.total) +
                             " bytes, shorter than the " + std::to_string(m_bytes) + " on disk");
    }
    if (status >= 400 && status <= 499) {
        if ((status == 404 || status == 400) && !UsesProxy() && m_requestMode == 2) {
            m_requestMode = 1; // ask once more with the whole URL in the request line
            Retry();
            return 0;
        }
        return Fail(status);
    }
    Retry();
    return 0;
}

std::string HttpTransfer::StatusWords() const {
    // "HTTP/1.1 503 Service Unavailable" reads "HTTP 503 Service Unavailable".
    std::string line = m_header.Count() ? m_header.Name(0) : std::string();
    size_t space = line.find(' ');
    if (space == std::string::npos)
        return "HTTP " + std::to_string(m_header.Status());
    return "HTTP " + TrimText(line.substr(space + 1));
}

void HttpTransfer::OnFinished() {
    if (HasFlag(JF_HEADER_JUDGED) || !HasFlag(JF_HEADER_DONE)) {
        TransferJob::OnFinished();
        return;
    }
    ChangeFlags(JF_HEADER_JUDGED, 0);
    std::string head = m_item->ReadFileHead(16);
    if (head.size() > 4 && IsMetafileType(TrimText(m_header.Find("Content-type"))) &&
        head.compare(0, 3, ".ra") != 0 && head.compare(0, 4, ".RMF") != 0) {
        FollowMetafile();
        return;
    }
    if (m_excess || (m_size != 0 && m_bytes > m_size))
        AddRecord("received data exceed original size", 'E');
    if (m_size == 0)
        Notify(NotifyAttempt);
    TransferJob::OnFinished();
}

void HttpTransfer::FollowMetafile() {
    constexpr size_t kMaxMetafile = 1 << 20;
    std::string text = m_item->ReadFileHead(kMaxMetafile);
    text = text.substr(0, text.find('\0'));
    if (text.empty()) {
        Fail(ErrParseUrl);
        return;
    }
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(pos, end - pos);
        if (!line.empty() && line.front() == ';')
            line.erase(0, 1);
        TrimTextInPlace(line);
        lines.push_back(line);
        pos = end + 1;
        if (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n')
            ++pos;
    }
    std::string target = lines.front();
    if (lines.size() > 1) {
        AddRecord("multilink content", '!');
        lines.erase(lines.begin());
        Notify(NotifyMoreUrls, 0, lines);
    }
    m_item->RestartItem(target); // a new job carries on
}

} // namespace vireo
