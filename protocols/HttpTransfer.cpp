#include "protocols/HttpTransfer.h"

#include "common/AsciiCase.h"
#include "engine/ErrorText.h"
#include "engine/ItemFlags.h"
#include "engine/TextCoding.h"
#include "engine/UrlParts.h"
#include "protocols/HlsTransfer.h"
#include "protocols/HttpMetafile.h"
#include "protocols/HttpRequest.h"
#include "protocols/HttpVerdict.h"
#include "protocols/ProxyTunnel.h"
#include "settings/ProxyDetect.h"
#include "settings/SettingsStore.h"

#include <algorithm>

namespace vireo {

namespace {
int SegmentsSetting() {
    return std::clamp(Settings().GetInt(keys::Segments), 1, HttpSegments::kMaxConnections);
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
    return TransferJob::MemoryUse() + m_headerBuffer.Size() +
           (m_inflater ? m_inflater->BufferedBytes() : 0);
}

Step HttpTransfer::Connect() {
    m_segments.reset();
    if (Step step; ResumeSegments(&step))
        return step;
    m_headerBuffer.Clear();
    ChangeFlags(JF_SIZE_LIMITED, 0);
    m_headerDone = false;
    m_judged = false;
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
        return Step::Fail(ErrParseUrl);
    }

    m_socket = Connections().Open(this);
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
    return Step::GoOn();
}

void HttpTransfer::CloseSockets() {
    // The segments stay until the next attempt: this may run inside one of their calls.
    if (m_segments)
        m_segments->Close();
    m_socket.reset();
}

bool HttpTransfer::ResumeSegments(Step* step) {
    SegmentState state = m_item->StoredSegments();
    if (state.Empty())
        return false;
    if (m_item->FileLength() != state.total) {
        // The file was never made whole-sized (or was cut since): what it holds is one
        // run of bytes from its start, continued as one.
        m_item->StoreSegments({});
        return false;
    }
    if (UsesProxy() || m_item->StoredValidators().IfRange().empty()) {
        AddRecord("the segments on disk cannot be continued, starting over", '!');
        SetStartOffset(0);
        m_item->StoreValidators({});
        m_item->StoreSegments({});
        return false;
    }
    int connections = SegmentsSetting();
    m_size = state.total;
    m_bytes = state.total - state.MissingBytes();
    m_receiveStart = m_bytes;
    m_judged = true;
    m_countdown = -1;
    ChangeFlags(0, JF_SIZE_LIMITED);
    AddRecord("continuing in up to " + std::to_string(connections) + " segments, " +
                  std::to_string(state.MissingBytes()) + " bytes missing",
              '!');
    m_segments = std::make_unique<HttpSegments>(*this, SegmentPlan(state), connections);
    *step = m_segments->Open();
    return true;
}

bool HttpTransfer::SegmentsWanted(const HttpBody& body) const {
    if (SegmentsSetting() < 2 || m_noSegments || UsesProxy() || body.Coded() ||
        body.size <= kMinSegmented || m_bytes >= body.size)
        return false;
    bool ranges =
        m_header.Status() == 206 || AsciiLower(TrimText(m_header.Find("Accept-Ranges"))) == "bytes";
    // Without a validator a segment could not tell another version of the file.
    return ranges && !m_item->StoredValidators().IfRange().empty();
}

Step HttpTransfer::StartSegments(size_t headerLength) {
    int connections = SegmentsSetting();
    SegmentPlan plan = SegmentPlan::Fresh(m_size, m_bytes, connections);
    AddRecord("fetching in up to " + std::to_string(connections) + " segments", '!');
    // The state comes first: a crash before the file has its whole size leaves the bytes
    // from its start, which a later start continues as one.
    m_item->StoreSegments(plan.State());
    if (!m_item->AllocateFile(m_size))
        return Step::Ended();
    m_judged = true;
    m_countdown = -1;
    ChangeFlags(0, JF_SIZE_LIMITED);
    std::string rest = m_headerBuffer.TakeRest(headerLength);
    m_segments = std::make_unique<HttpSegments>(*this, std::move(plan), connections);
    return m_segments->Adopt(std::move(m_socket), rest.data(), rest.size());
}

Step HttpTransfer::OnConnected(Connection* connection) {
    if (m_segments && m_segments->Owns(connection))
        return m_segments->OnConnected(connection);
    return TransferJob::OnConnected(connection);
}

Step HttpTransfer::OnTick() {
    return m_segments ? m_segments->OnTick() : Step::GoOn();
}

Step HttpTransfer::OnWritable(Connection* socket) {
    if (m_segments && m_segments->Owns(socket))
        return m_segments->OnWritable(socket);
    if (m_tunnel == Tunnel::Connecting) {
        AddRecord("CONNECT " + TunnelTarget(m_host, m_port), 'O');
        socket->SendText(TunnelRequest(m_host, m_port));
        m_tunnel = Tunnel::Awaiting;
        return Step::GoOn();
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
    return Step::GoOn();
}

Step HttpTransfer::StartOver(const std::string& why) {
    AddRecord(why + ": the part on disk is not of this file, starting over", '!');
    SetStartOffset(0);
    m_item->StoreValidators({});
    return Step::StartOver(); // the request of the next connection asks from the first byte
}

Step HttpTransfer::OnTunnelReply(const char* data, size_t count) {
    TunnelReply reply = ReadTunnelReply(m_headerBuffer, data, count, kMaxHeader);
    if (reply.kind == TunnelReply::Kind::Partial)
        return Step::GoOn();
    if (reply.kind == TunnelReply::Kind::TooLarge) {
        AddRecord("proxy reply too large", 'E');
        return Step::Retry();
    }
    AddRecord(reply.statusLine, 'I');
    if (reply.kind == TunnelReply::Kind::Refused)
        return Step::Fail(reply.code);
    m_tunnel = Tunnel::Open;
    m_socket->StartTls(QString::fromStdString(m_host));
    return Step::GoOn();
}

Step HttpTransfer::OnData(Connection* connection, const char* data, size_t count) {
    if (m_segments && m_segments->Owns(connection))
        return m_segments->OnData(connection, data, count);
    if (m_tunnel == Tunnel::Awaiting)
        return OnTunnelReply(data, count);
    if (m_headerDone)
        return count == 0 ? Step::GoOn() : Body(data, count);

    size_t end = m_headerBuffer.Append(data, count);
    while (end != 0) {
        m_header.Parse(m_headerBuffer.Bytes().substr(0, end));
        LogHeader();
        if (!IsInterim(m_header.Status()))
            break;
        // Logged as received and dropped; the answer after it is the one judged.
        m_interimBytes += end;
        m_header.Clear();
        end = m_headerBuffer.DropAndFind(end);
    }
    if (end == 0) {
        // Interim answers count towards the limit: endless ones are one endless header.
        size_t total = m_headerBuffer.Size() + m_interimBytes;
        if (total > kMaxHeader) {
            AddRecord("response header too large (" + std::to_string(total) + " bytes)", 'E');
            return Step::Retry();
        }
        return Step::GoOn();
    }
    m_headerDone = true;
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

Step HttpTransfer::OnHeader(size_t headerLength) {
    HttpAsked asked;
    asked.url = m_item->Url();
    asked.held = m_bytes;
    asked.viaProxy = UsesProxy();
    asked.wholeUrl = m_requestMode == 1;
    asked.stored = m_item->StoredValidators();
    HttpVerdict verdict = JudgeHttpResponse(m_header, asked);

    m_size = verdict.size;
    if (verdict.askCredentials)
        Notify(NotifyCredentials);
    if (m_header.Status() < 200 || m_header.Status() > 299)
        m_judged = true;
    for (const HttpVerdict::Record& record : verdict.records)
        AddRecord(record.text, record.kind);
    if (!verdict.cause.empty())
        NoteCause(verdict.cause);
    switch (verdict.kind) {
    case HttpVerdict::Kind::Body:
        break;
    case HttpVerdict::Kind::Redirect:
        return Step::Restart(verdict.url);
    case HttpVerdict::Kind::Retry:
        if (verdict.askWholeUrl)
            m_requestMode = 1;
        return Step::Retry();
    case HttpVerdict::Kind::StartOver:
        return StartOver(verdict.why);
    case HttpVerdict::Kind::Whole:
        return Step::Finish(); // judged already: no look for a metafile
    case HttpVerdict::Kind::Fail:
        return Step::Fail(verdict.code);
    }

    // A stream playlist is recorded rather than saved: the item starts again with that.
    if (IsStreamPlaylistType(m_header.Find("Content-Type")) && !IsStreamPlaylist(m_item->Url())) {
        AddRecord("the answer is a stream playlist: recording it", '!');
        NoteStreamPlaylist(m_item->Url());
        return Step::Restart(m_item->Url());
    }
    const HttpBody& body = verdict.body;
    if (body.fromFirstByte)
        SetStartOffset(0);
    if (body.storeValidators)
        m_item->StoreValidators(body.validators);
    if (SegmentsWanted(body))
        return StartSegments(headerLength);
    m_chunked = body.chunked;
    if (body.Coded()) {
        ChangeFlags(0, JF_SIZE_LIMITED);
        m_wireLength = body.wireLength;
        if (body.inflate)
            m_inflater = std::make_unique<Inflater>();
    }
    std::string rest = m_headerBuffer.TakeRest(headerLength);
    if (body.Empty())
        return Step::Finish(); // an empty file: nothing more will come
    if (rest.empty())
        return Step::GoOn();
    return Body(rest.data(), rest.size());
}

Step HttpTransfer::OnPiped(Connection* connection, int pipeFd, size_t count) {
    if (m_segments && m_segments->Owns(connection))
        return m_segments->OnPiped(connection, pipeFd, count);
    return TransferJob::OnPiped(connection, pipeFd, count);
}

int64_t HttpTransfer::PlainBytesOn(const Connection* connection) const {
    if (m_segments)
        return m_segments->PlainBytes(connection);
    // The body as Body passes it on: not coded, and no further than Content-Length.
    if (connection != m_socket.get() || m_tunnel == Tunnel::Awaiting || !m_headerDone || IsCoded())
        return 0;
    if (HasFlag(JF_SIZE_LIMITED) && m_size > 0)
        return std::max<int64_t>(m_size - m_bytes, 0);
    return INT64_MAX;
}

Step HttpTransfer::Body(const char* data, size_t count) {
    if (IsCoded())
        return CodedBody(data, count);
    if (HasFlag(JF_SIZE_LIMITED) && m_size > 0) {
        // The file holds what Content-Length names; bytes past it are not the file's.
        int64_t room = m_size - m_bytes;
        if (room <= 0) {
            m_excess = true;
            return Step::Finish();
        }
        if (int64_t(count) > room) {
            m_excess = true;
            count = size_t(room);
        }
    }
    return TransferJob::OnData(m_socket.get(), data, count);
}

Step HttpTransfer::CodedBody(const char* data, size_t count) {
    Step stop; // what the file's side said when it ended the body early
    bool stopped = false;
    bool inflateError = false;
    auto write = [&](const char* d, size_t n) {
        Step step = TransferJob::OnData(m_socket.get(), d, n);
        if (!step.GoesOn()) {
            stopped = true;
            stop = std::move(step);
        }
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
            return stop;
        if (r == ChunkedDecoder::Result::Error && !inflateError) {
            AddRecord("bad chunked body", 'E');
            return Step::Retry();
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
            return stop;
        done = m_wireLength >= 0 && m_wireBytes >= m_wireLength;
    }
    if (inflateError) {
        AddRecord("bad compressed body", 'E');
        return Step::Retry(); // the next attempt asks for the rest uncompressed
    }
    if (done)
        return FinishCoded();
    return Step::GoOn();
}

Step HttpTransfer::FinishCoded() {
    if (m_inflater && !m_inflater->IsDone()) {
        AddRecord("compressed body ends early", 'E');
        return Step::Retry();
    }
    return Step::Finish();
}

Step HttpTransfer::OnClosed(Connection* connection) {
    if (m_segments && m_segments->Owns(connection))
        return m_segments->OnClosed(connection);
    if (!m_headerDone) {
        NoteCause("connection closed before the response");
        return Step::Retry();
    }
    if (IsCoded()) {
        bool whole =
            m_chunked ? m_chunks.IsDone() : (m_wireLength < 0 || m_wireBytes >= m_wireLength);
        if (whole)
            return FinishCoded();
        NoteCause("connection closed before the end of the file");
        return Step::Retry();
    }
    if (m_size == 0 || m_bytes >= m_size)
        return Step::Finish();
    NoteCause("connection closed before the end of the file");
    return Step::Retry(); // short: the next attempt asks for the rest
}

Step HttpTransfer::BeforeFinish() {
    if (m_judged || !m_headerDone)
        return Step::Finish();
    m_judged = true;
    if (IsMetafile(m_header.Find("Content-type"), m_item->ReadFileHead(16)))
        return FollowMetafile();
    if (m_excess || (m_size != 0 && m_bytes > m_size))
        AddRecord("received data exceed original size", 'E');
    if (m_size == 0)
        Notify(NotifyAttempt);
    return Step::Finish();
}

Step HttpTransfer::FollowMetafile() {
    constexpr size_t kMaxMetafile = 1 << 20;
    std::optional<MetafileLinks> links = ReadMetafile(m_item->ReadFileHead(kMaxMetafile));
    if (!links)
        return Step::Fail(ErrParseUrl);
    if (!links->more.empty()) {
        AddRecord("multilink content", '!');
        Notify(NotifyMoreUrls, 0, links->more);
    }
    return Step::Restart(links->target); // a new job carries on
}

} // namespace vireo
