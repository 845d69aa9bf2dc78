#include "protocols/HlsTransfer.h"

#include "common/AsciiCase.h"
#include "engine/ErrorText.h"
#include "engine/ItemFlags.h"
#include "engine/TextCoding.h"
#include "engine/UrlParts.h"
#include "protocols/HeaderTable.h"
#include "protocols/HttpRequest.h"
#include "protocols/ProxyTunnel.h"
#include "settings/ProxyDetect.h"
#include "settings/SettingsStore.h"

#include <openssl/evp.h>

#include <algorithm>
#include <mutex>
#include <set>

namespace vireo {

namespace {
std::mutex& NotedMutex() {
    static std::mutex mutex;
    return mutex;
}
std::set<std::string>& Noted() {
    static std::set<std::string> urls;
    return urls;
}

// AES-128-CBC with PKCS#7 padding, as the playlist's key tag means it. False when the
// bytes do not decrypt (a wrong key shows as bad padding).
bool DecryptAes128(const std::string& key, const std::array<uint8_t, 16>& iv, std::string* data) {
    std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(),
                                                                        EVP_CIPHER_CTX_free);
    if (!ctx || key.size() != 16 || data->size() % 16 != 0 || data->empty())
        return false;
    if (EVP_DecryptInit_ex(ctx.get(), EVP_aes_128_cbc(), nullptr,
                           reinterpret_cast<const unsigned char*>(key.data()), iv.data()) != 1)
        return false;
    std::string out(data->size() + 16, '\0');
    int n = 0, last = 0;
    auto* dst = reinterpret_cast<unsigned char*>(out.data());
    if (EVP_DecryptUpdate(ctx.get(), dst, &n, reinterpret_cast<const unsigned char*>(data->data()),
                          int(data->size())) != 1 ||
        EVP_DecryptFinal_ex(ctx.get(), dst + n, &last) != 1)
        return false;
    out.resize(size_t(n + last));
    *data = std::move(out);
    return true;
}
} // namespace

bool IsStreamPlaylistType(std::string_view contentType) {
    std::string type = AsciiLower(TrimText(contentType.substr(0, contentType.find(';'))));
    return type == "application/vnd.apple.mpegurl" || type == "application/x-mpegurl" ||
           type == "audio/mpegurl" || type == "audio/x-mpegurl";
}

void NoteStreamPlaylist(const std::string& url) {
    std::lock_guard lock(NotedMutex());
    Noted().insert(url);
}

bool IsStreamPlaylist(const std::string& url) {
    std::string scheme = AsciiLower(url.substr(0, url.find(':')));
    if (scheme != "http" && scheme != "https")
        return false;
    std::string path = url.substr(0, url.find_first_of("?#"));
    if (AsciiLower(path).ends_with(".m3u8"))
        return true;
    std::lock_guard lock(NotedMutex());
    return Noted().contains(url);
}

HlsTransfer::HlsTransfer(JobHost* item, std::string host, std::string path, int port)
    : TransferJob(item, std::move(host), std::move(path), port),
      m_connections(
          std::clamp(Settings().GetInt(keys::Segments), kMinConnections, kMaxConnections)) {
    m_fetchers.resize(size_t(m_connections) + 1);
}

HlsTransfer::~HlsTransfer() {
    HlsTransfer::CloseSockets();
}

size_t HlsTransfer::MemoryUse() const {
    size_t use = TransferJob::MemoryUse() + m_data.capacity();
    for (const Fetcher& f : m_fetchers)
        use += f.data.capacity() + f.header.Size() + (f.inflater ? f.inflater->BufferedBytes() : 0);
    for (const auto& [sequence, data] : m_arrived)
        use += data.capacity();
    for (const auto& [uri, data] : m_inits)
        use += data.capacity();
    return use;
}

std::string HlsTransfer::Describe() const {
    return "stream playlist " + m_mediaUrl;
}

HlsTransfer::Fetcher* HlsTransfer::FetcherOf(const Connection* connection) {
    for (Fetcher& f : m_fetchers)
        if (f.connection && f.connection.get() == connection)
            return &f;
    return nullptr;
}

bool HlsTransfer::InFlight(int64_t sequence) const {
    return std::any_of(m_fetchers.begin() + 1, m_fetchers.end(), [&](const Fetcher& f) {
        return f.state != Fetcher::State::Idle && f.sequence == sequence;
    });
}

void HlsTransfer::Drop(Fetcher& f) {
    f.connection.reset();
    f.countdown = -1;
    f.header.Clear();
}

void HlsTransfer::CloseSockets() {
    for (Fetcher& f : m_fetchers)
        Drop(f);
}

Step HlsTransfer::Broken(const std::string& why, int code) {
    AddRecord(why, 'E');
    NoteCause(why);
    return Step::Fail(code);
}

Step HlsTransfer::Connect() {
    // The fetches have a time-out each; the attempt's own ends with the lookup.
    m_countdown = -1;
    // Every fetch starts again from what is known: a playlist under way is asked again,
    // the segments, keys and sections the queue needs as Next finds them.
    Fetcher& control = Control();
    bool playlistDue = control.state != Fetcher::State::Idle && control.phase == Phase::Playlist;
    for (Fetcher& f : m_fetchers) {
        Drop(f);
        f.state = Fetcher::State::Idle;
    }
    if (!m_named)
        return Fetch(Phase::Playlist, m_mediaUrl.empty() ? m_item->Url() : m_mediaUrl);
    if (playlistDue)
        return Fetch(Phase::Playlist, m_mediaUrl);
    return Next();
}

Step HlsTransfer::Fetch(Phase phase, const std::string& url) {
    return Begin(Control(), phase, url);
}

Step HlsTransfer::Begin(Fetcher& f, Phase phase, const std::string& url) {
    f.phase = phase;
    f.name = url;
    f.url = url;
    f.redirects = 0;
    return Open(f);
}

Step HlsTransfer::Open(Fetcher& f) {
    Drop(f);
    f.data.clear();
    f.wireBytes = 0;
    f.chunks.Reset();
    f.inflater.reset();
    UrlParts parts;
    ParseUrl(f.url, parts);
    std::string scheme = AsciiLower(parts.scheme);
    if (scheme != "http" && scheme != "https")
        return Broken("the playlist names an address that is not http or https: " + f.url,
                      ErrFormat);
    f.tls = scheme == "https";
    DetectedProxy proxy = HasFlag(JF_NO_PROXY) ? DetectedProxy{} : ProxyFor(f.url);
    f.viaProxy = proxy.found;
    f.connection = Connections().Open(this);
    f.countdown = TimeoutSetting(30);
    if (f.viaProxy) {
        // The attempt looked up the item's proxy; another one is found by the connection.
        f.lookedUp = UsesProxy() && proxy == ProxyFor(m_item->Url()) && !m_address.empty();
        f.state = f.tls ? Fetcher::State::Tunnel : Fetcher::State::Connecting;
        AddRecord("Connecting via proxy host: " + proxy.host +
                      ", port: " + std::to_string(proxy.port),
                  '!');
        f.connection->ConnectTo(QString::fromStdString(f.lookedUp ? m_address : proxy.host),
                                quint16(proxy.port), QString(), f.tls);
        return Step::GoOn();
    }
    // The item's host was looked up for the attempt; other hosts are found by the
    // connection itself.
    f.lookedUp = !UsesProxy() && AsciiLower(parts.host) == AsciiLower(m_host) &&
                 parts.port == m_port && !m_address.empty();
    f.state = Fetcher::State::Connecting;
    f.connection->ConnectTo(QString::fromStdString(f.lookedUp ? m_address : parts.host),
                            quint16(parts.port),
                            f.tls ? QString::fromStdString(parts.host) : QString());
    return Step::GoOn();
}

Step HlsTransfer::OnConnected(Connection* connection) {
    Fetcher* f = FetcherOf(connection);
    if (!f)
        return Step::GoOn();
    if (!connection->IsConnected())
        return ConnectFailed(*f, *connection);
    f->countdown = TimeoutSetting(30);
    if (StateOfAttempt() != AttemptState::Receiving)
        SetAttemptState(AttemptState::Talking);
    return Step::GoOn();
}

Step HlsTransfer::ConnectFailed(Fetcher& f, Connection& connection) {
    if (connection.TlsFailed())
        return OnConnectFailed(connection); // asking again does not make a certificate valid
    AddRecord("connection failed: " + connection.ErrorText().toStdString(), 'E');
    std::string words = connection.FailureWords();
    if (f.lookedUp && HasNextAddress()) {
        // Another address of the host may answer; the fetches after this one go there too.
        m_address = m_addresses[++m_addressIndex];
        AddRecord("trying address " + m_address + " (" + std::to_string(m_addressIndex + 1) +
                      " of " + std::to_string(m_addresses.size()) + ")",
                  '!');
        return Open(f);
    }
    return Failure(f, words, true, ErrConnect);
}

Step HlsTransfer::OnWritable(Connection* connection) {
    Fetcher* f = FetcherOf(connection);
    if (!f || !connection->IsConnected())
        return Step::GoOn();
    if (f->state == Fetcher::State::Tunnel) {
        UrlParts parts;
        ParseUrl(f->url, parts);
        AddRecord("CONNECT " + TunnelTarget(parts.host, parts.port), 'O');
        connection->SendText(TunnelRequest(parts.host, parts.port));
        f->header.Clear();
        f->state = Fetcher::State::TunnelReply;
    } else if (f->state == Fetcher::State::Connecting) {
        Ask(*f);
    }
    return Step::GoOn();
}

void HlsTransfer::Ask(Fetcher& f) {
    UrlParts parts;
    ParseUrl(f.url, parts);
    std::string credentials = m_item->CredentialsFor(parts.host);
    std::string authorization = credentials.empty() ? "" : "Basic " + Base64Encode(credentials);
    AddRecord("HTTP req: " + f.url, 'O');
    // A plain request through the proxy names the whole address; one in a tunnel, as one
    // straight to the server, the path.
    const std::string& target = f.viaProxy && !f.tls ? f.url : parts.path;
    f.connection->SendText(BuildHttpRequest(
        target, HostHeader(parts.host, parts.port, parts.scheme), 0, authorization));
    f.header.Clear();
    f.state = Fetcher::State::Asking;
    f.countdown = TimeoutSetting(30);
}

Step HlsTransfer::OnTunnelReply(Fetcher& f, const char* data, size_t count) {
    TunnelReply reply = ReadTunnelReply(f.header, data, count, 64 * 1024);
    if (reply.kind == TunnelReply::Kind::Partial)
        return Step::GoOn();
    if (reply.kind == TunnelReply::Kind::TooLarge) {
        AddRecord("proxy reply too large", 'E');
        return Failure(f, "proxy reply too large", false);
    }
    AddRecord(reply.statusLine, 'I');
    if (reply.kind == TunnelReply::Kind::Refused)
        return Step::Fail(reply.code);
    UrlParts parts;
    ParseUrl(f.url, parts);
    f.state = Fetcher::State::Connecting; // the request goes once TLS is up
    f.connection->StartTls(QString::fromStdString(parts.host));
    return Step::GoOn();
}

Step HlsTransfer::OnData(Connection* connection, const char* data, size_t count) {
    Fetcher* f = FetcherOf(connection);
    if (!f || count == 0)
        return Step::GoOn();
    f->countdown = TimeoutSetting(30);
    switch (f->state) {
    case Fetcher::State::TunnelReply:
        return OnTunnelReply(*f, data, count);
    case Fetcher::State::Body:
        return Body(*f, data, count);
    case Fetcher::State::Asking:
        break;
    default:
        return Step::GoOn();
    }
    size_t end = f->header.Append(data, count);
    while (end != 0) {
        HeaderTable header;
        header.Parse(f->header.Bytes().substr(0, end));
        if (header.Status() < 100 || header.Status() > 199 || header.Status() == 101)
            break;
        end = f->header.DropAndFind(end); // an interim answer: the real one follows
    }
    if (end == 0) {
        if (f->header.Size() > 64 * 1024) {
            AddRecord("response header too large", 'E');
            return Failure(*f, "response header too large", false);
        }
        return Step::GoOn();
    }
    return OnHeader(*f, end);
}

Step HlsTransfer::OnHeader(Fetcher& f, size_t headerLength) {
    HeaderTable header;
    header.Parse(f.header.Bytes().substr(0, headerLength));
    AddRecord(header.Count() ? header.Name(0) : std::string(), 'I');
    HttpAsked asked;
    asked.url = f.url;
    asked.viaProxy = f.viaProxy;
    asked.wholeUrl = true; // a 404 is the segment's, not the way it was asked
    HttpVerdict verdict = JudgeHttpResponse(header, asked);
    for (const HttpVerdict::Record& record : verdict.records)
        AddRecord(record.text, record.kind);
    switch (verdict.kind) {
    case HttpVerdict::Kind::Body:
        break;
    case HttpVerdict::Kind::Redirect:
        if (++f.redirects > kMaxRedirects)
            return Step::Fail(ErrTooManyRedirects);
        f.url = verdict.url;
        return Open(f);
    case HttpVerdict::Kind::Fail:
        if (verdict.code == 401) {
            NoteCause(verdict.cause);
            return Step::Fail(401);
        }
        [[fallthrough]];
    default:
        // A missing segment or key may come back: the attempts decide.
        AddRecord(HttpStatusWords(header) + " for " + f.url, 'E');
        return Failure(f, verdict.cause.empty() ? HttpStatusWords(header) : verdict.cause, false);
    }
    f.body = verdict.body;
    f.state = Fetcher::State::Body;
    if (f.body.inflate)
        f.inflater = std::make_unique<Inflater>();
    std::string rest = f.header.TakeRest(headerLength);
    if (f.body.Empty())
        return Fetched(f);
    if (rest.empty())
        return Step::GoOn();
    return Body(f, rest.data(), rest.size());
}

bool HlsTransfer::Keep(Fetcher& f, const char* data, size_t count) {
    size_t limit = f.phase == Phase::Segment || f.phase == Phase::Init ? kMaxSegment : kMaxPlaylist;
    if (f.data.size() + count > limit)
        return false;
    f.data.append(data, count);
    return true;
}

Step HlsTransfer::Body(Fetcher& f, const char* data, size_t count) {
    if (!HasFlag(IF_RECEIVING)) {
        m_receiveStart = m_bytes;
        ChangeFlags(IF_RECEIVING, 0);
    }
    SetAttemptState(AttemptState::Receiving);
    if (f.body.contentLength >= 0 && !f.body.chunked)
        count = size_t(std::min<int64_t>(int64_t(count), f.body.contentLength - f.wireBytes));
    f.wireBytes += int64_t(count);
    bool tooLarge = false;
    auto keep = [&](const char* d, size_t n) {
        if (!Keep(f, d, n))
            tooLarge = true;
        return !tooLarge;
    };
    auto decode = [&](const char* d, size_t n) {
        if (!f.inflater)
            return keep(d, n);
        return f.inflater->Feed(d, n, keep) != Inflater::Result::Error;
    };
    bool ok = f.body.chunked ? f.chunks.Feed(data, count, decode) != ChunkedDecoder::Result::Error
                             : decode(data, count);
    if (tooLarge)
        return Broken("too large for a " +
                          std::string(f.phase == Phase::Segment ? "segment" : "playlist") + ": " +
                          f.url,
                      ErrFormat);
    if (!ok) {
        AddRecord("the answer's body cannot be decoded", 'E');
        return Failure(f, "the answer's body cannot be decoded", false);
    }
    bool done = f.body.chunked              ? f.chunks.IsDone()
                : f.body.contentLength >= 0 ? f.wireBytes >= f.body.contentLength
                                            : false;
    if (done && f.inflater && !f.inflater->IsDone()) {
        AddRecord("the answer's body ends inside its compressed data", 'E');
        return Failure(f, "the answer's body ends inside its compressed data", false);
    }
    return done ? Fetched(f) : Step::GoOn();
}

Step HlsTransfer::OnClosed(Connection* connection) {
    Fetcher* f = FetcherOf(connection);
    if (!f || f->state == Fetcher::State::Idle || f->state == Fetcher::State::Waiting)
        return Step::GoOn();
    if (f->state == Fetcher::State::Body && !f->body.chunked && f->body.contentLength < 0 &&
        (!f->inflater || f->inflater->IsDone()))
        return Fetched(*f); // the body ends with the connection
    AddRecord("connection closed before the end of " + f->url, 'E');
    return Failure(*f, "connection closed before the end of the file", false);
}

Step HlsTransfer::Failure(Fetcher& f, const std::string& why, bool waitFirst, int kind) {
    Drop(f);
    if (Step step = SpendAttempt(why, kind); !step.GoesOn())
        return step;
    if (waitFirst) {
        // A server that is back in a few seconds should not cost every attempt at once.
        f.state = Fetcher::State::Waiting;
        f.countdown = TimeoutSetting(0);
        return Step::GoOn();
    }
    return Open(f);
}

Step HlsTransfer::Fetched(Fetcher& f) {
    Drop(f);
    f.state = Fetcher::State::Idle;
    std::string data = std::move(f.data);
    f.data = std::string();
    switch (f.phase) {
    case Phase::Playlist:
        m_fetchUrl = f.url;
        m_data = std::move(data);
        m_sinceLoad = 0;
        return OnPlaylist();
    case Phase::Key:
        if (data.size() != 16)
            return Broken("the key " + f.url + " has " + std::to_string(data.size()) +
                              " bytes, not 16",
                          ErrFormat);
        m_keys[f.name] = std::move(data);
        AddRecord("key: " + f.name, '!');
        break;
    case Phase::Init:
        m_inits[f.name] = std::move(data);
        break;
    case Phase::Segment:
        m_arrived[f.sequence] = std::move(data);
        // A segment received gives the fetches their attempts afresh.
        m_attempts = 1;
        m_cause.attempts = 1;
        break;
    }
    return Next();
}

Step HlsTransfer::OnPlaylist() {
    HlsParse parse = ParseHlsPlaylist(m_data, m_fetchUrl);
    if (!parse.ok)
        return Broken("not a stream playlist: " + m_fetchUrl + ": " + parse.error, ErrFormat);
    const HlsPlaylist& list = parse.playlist;
    if (list.kind == HlsPlaylist::Kind::Master) {
        if (!m_mediaUrl.empty())
            return Broken("the variant " + m_fetchUrl + " is a master playlist itself", ErrFormat);
        AddRecord("master playlist: " + m_fetchUrl + ", " + std::to_string(list.variants.size()) +
                      " variants",
                  '!');
        HlsVariantCap cap;
        cap.maxHeight = std::max(0, Settings().GetInt(keys::HlsMaxHeight));
        cap.maxBandwidth = std::max(0, Settings().GetInt(keys::HlsMaxBandwidth));
        HlsVariantChoice choice = ChooseVariant(list.variants, cap);
        const HlsVariant* best = choice.variant;
        std::string resolution = best->width ? ", resolution " + std::to_string(best->width) + "x" +
                                                   std::to_string(best->height)
                                             : std::string();
        AddRecord("variant: " + best->uri + ", bandwidth " + std::to_string(best->bandwidth) +
                      resolution + " (" + choice.why + ")",
                  '!');
        m_item->NoteVariant({best->uri, best->bandwidth, best->width, best->height});
        m_variants = list.variants;
        m_mediaUrl = best->uri;
        return Fetch(Phase::Playlist, m_mediaUrl);
    }
    if (m_mediaUrl.empty())
        m_mediaUrl = m_fetchUrl;
    return OnMediaPlaylist(list);
}

void HlsTransfer::ResumeFromState() {
    m_resume = m_item->StoredStream();
    int64_t length = m_item->FileLength();
    if (!m_resume.Empty() && m_resume.playlist == m_item->Url() && m_resume.bytes <= length &&
        length > 0) {
        AddRecord("continuing the recording at segment " + std::to_string(m_resume.next) +
                      ", byte " + std::to_string(m_resume.bytes),
                  '!');
        SetStartOffset(m_resume.bytes); // a segment written in part goes
        m_next = m_resume.next;
        m_mapWritten = m_resume.map;
        return;
    }
    if (length > 0)
        AddRecord("the file holds no recording state: recording from the start", '!');
    m_resume = {};
    SetStartOffset(0);
}

Step HlsTransfer::OnMediaPlaylist(const HlsPlaylist& list) {
    if (!m_named) {
        bool fmp4 = std::any_of(list.segments.begin(), list.segments.end(),
                                [](const HlsSegment& s) { return !s.mapUri.empty(); });
        if (!m_item->SetTargetExtension(fmp4 ? ".mp4" : ".ts"))
            return Step::Ended();
        m_named = true;
        ResumeFromState();
        if (!m_resume.Empty() && m_resume.variant != m_mediaUrl) {
            // The recording goes on with the variant it began with.
            AddRecord("variant: " + m_resume.variant + " (as the recording began)", '!');
            m_mediaUrl = m_resume.variant;
            StreamVariant noted{m_mediaUrl};
            for (const HlsVariant& v : m_variants)
                if (v.uri == m_mediaUrl)
                    noted = {v.uri, v.bandwidth, v.width, v.height};
            m_item->NoteVariant(noted);
            return Fetch(Phase::Playlist, m_mediaUrl);
        }
    }
    m_live = !list.endList;
    m_endList = list.endList;
    m_targetDuration = list.targetDuration;
    ChangeFlags(m_live ? IF_LIVE : 0, m_live ? 0 : IF_LIVE);
    int64_t first = list.segments.empty() ? list.mediaSequence : list.segments.front().sequence;
    int64_t end = first + int64_t(list.segments.size());
    AddRecord(std::string(m_live ? "live playlist" : "playlist") + ": " + m_mediaUrl + ", " +
                  std::to_string(list.segments.size()) + " segments from " + std::to_string(first) +
                  ", target duration " + std::to_string(list.targetDuration) + " s",
              '!');
    if (m_next < 0)
        m_next = first;
    bool restart = m_firstRead && !m_resume.Empty();
    m_firstRead = false;
    // Segments already queued may be on their way or waiting in memory while the live
    // playlist moves on: only what was never seen in any playlist is lost.
    int64_t known = m_queue.empty() ? m_next : m_queue.back().sequence + 1;
    if (first > known) {
        std::string lost = "segments " + std::to_string(known) + " to " + std::to_string(first - 1);
        // What a live stream sent while nobody recorded it is gone for good: the recording
        // goes on from where the stream is now. Within one running recording a gap is
        // media lost unseen, and a playlist with an end must not lose any.
        if (!restart || !m_live)
            return Broken(lost + " left the playlist before they were recorded", ErrCorrupted);
        AddRecord(lost +
                      " left the playlist while the recording was stopped: it continues at "
                      "segment " +
                      std::to_string(first),
                  '!');
        m_next = first;
        m_queue.clear();
    }
    if (m_next > end && list.endList)
        return Broken("the playlist ends at segment " + std::to_string(end - 1) +
                          ", before the recording's next segment " + std::to_string(m_next),
                      ErrCorrupted);
    std::erase_if(m_queue, [&](const HlsSegment& s) { return s.sequence >= first; });
    for (const HlsSegment& segment : list.segments)
        if (segment.sequence >= m_next)
            m_queue.push_back(segment);
    if (!m_live) {
        m_total = int(list.segments.size());
        m_done = int(m_next - first);
    }
    return Next();
}

Step HlsTransfer::Next() {
    if (Step step = WriteReady(); !step.GoesOn())
        return step;
    if (m_queue.empty() && m_endList) {
        m_item->StoreStream({});
        return Step::Finish();
    }
    Fetcher& control = Control();
    if (m_reloadDue && control.state == Fetcher::State::Idle) {
        m_reloadDue = false;
        AddRecord("reloading the playlist", '!');
        if (Step step = Fetch(Phase::Playlist, m_mediaUrl); !step.GoesOn())
            return step;
    }
    // Segments are fetched only a few places ahead of the next one to write: those that
    // arrive early wait in memory. One starts once its key and initialisation section are
    // at hand, so that it can be written when its turn comes.
    std::string init = m_mapWritten;
    for (const HlsSegment& segment : m_queue) {
        if (segment.sequence >= m_next + m_connections)
            break;
        bool front = segment.sequence == m_queue.front().sequence;
        if (segment.key.method == HlsKey::Method::SampleAes) {
            if (!front)
                break;
            return Broken("segment " + std::to_string(segment.sequence) +
                              " is encrypted with SAMPLE-AES, which Vireo does not record",
                          ErrFormat);
        }
        if (segment.key.method == HlsKey::Method::Other) {
            if (!front)
                break;
            return Broken("segment " + std::to_string(segment.sequence) +
                              " is encrypted with an unknown method: " + segment.key.methodName,
                          ErrFormat);
        }
        bool needKey =
            segment.key.method == HlsKey::Method::Aes128 && !m_keys.contains(segment.key.uri);
        bool needInit =
            !segment.mapUri.empty() && segment.mapUri != init && !m_inits.contains(segment.mapUri);
        if (!segment.mapUri.empty())
            init = segment.mapUri;
        if (needKey || needInit) {
            if (control.state == Fetcher::State::Idle)
                if (Step step = needKey ? Fetch(Phase::Key, segment.key.uri)
                                        : Fetch(Phase::Init, segment.mapUri);
                    !step.GoesOn())
                    return step;
            break;
        }
        if (m_arrived.contains(segment.sequence) || InFlight(segment.sequence))
            continue;
        auto idle = std::find_if(m_fetchers.begin() + 1, m_fetchers.end(),
                                 [](const Fetcher& f) { return f.state == Fetcher::State::Idle; });
        if (idle == m_fetchers.end())
            break;
        idle->sequence = segment.sequence;
        if (Step step = Begin(*idle, Phase::Segment, segment.uri); !step.GoesOn())
            return step;
    }
    if (std::all_of(m_fetchers.begin(), m_fetchers.end(),
                    [](const Fetcher& f) { return f.state == Fetcher::State::Idle; }))
        SetAttemptState(AttemptState::Idle);
    return Step::GoOn();
}

Step HlsTransfer::WriteReady() {
    while (!m_queue.empty()) {
        const HlsSegment& segment = m_queue.front();
        auto arrived = m_arrived.find(segment.sequence);
        if (arrived == m_arrived.end())
            break;
        bool aes = segment.key.method == HlsKey::Method::Aes128;
        bool newInit = !segment.mapUri.empty() && segment.mapUri != m_mapWritten;
        if ((aes && !m_keys.contains(segment.key.uri)) ||
            (newInit && !m_inits.contains(segment.mapUri)))
            break; // fetched again since a reload forgot it
        std::string data = std::move(arrived->second);
        m_arrived.erase(arrived);
        if (aes) {
            std::array<uint8_t, 16> iv =
                segment.key.hasIv ? segment.key.iv : SequenceIv(segment.sequence);
            if (!DecryptAes128(m_keys[segment.key.uri], iv, &data))
                return Broken("segment " + std::to_string(segment.sequence) +
                                  " does not decrypt with its key " + segment.key.uri,
                              ErrCorrupted);
        }
        if (newInit) {
            const std::string& section = m_inits[segment.mapUri];
            if (!AppendData(section.data(), section.size()))
                return Step::Ended();
            m_mapWritten = segment.mapUri;
            AddRecord("initialisation section: " + m_mapWritten + ", " +
                          std::to_string(section.size()) + " bytes",
                      '!');
        }
        if (!AppendData(data.data(), data.size()))
            return Step::Ended();
        AddRecord("segment " + std::to_string(segment.sequence) + ": " + segment.uri + ", " +
                      std::to_string(data.size()) + " bytes",
                  '!');
        m_next = segment.sequence + 1;
        ++m_done;
        m_queue.pop_front();
        SaveState();
    }
    ForgetUnused();
    return Step::GoOn();
}

void HlsTransfer::ForgetUnused() {
    std::erase_if(m_arrived, [&](const auto& entry) { return entry.first < m_next; });
    // Between reloads of a live playlist the queue is empty: what the next segments
    // will most likely need stays.
    if (m_queue.empty())
        return;
    std::erase_if(m_keys, [&](const auto& entry) {
        return std::none_of(m_queue.begin(), m_queue.end(),
                            [&](const HlsSegment& s) { return s.key.uri == entry.first; });
    });
    std::erase_if(m_inits, [&](const auto& entry) {
        return std::none_of(m_queue.begin(), m_queue.end(),
                            [&](const HlsSegment& s) { return s.mapUri == entry.first; });
    });
}

void HlsTransfer::SaveState() {
    StreamState state;
    state.playlist = m_item->Url();
    state.variant = m_mediaUrl;
    state.next = m_next;
    state.bytes = m_bytes;
    state.map = m_mapWritten;
    m_item->StoreStream(state);
}

Step HlsTransfer::OnTick() {
    for (Fetcher& f : m_fetchers) {
        if (f.countdown > 0) {
            --f.countdown;
            continue;
        }
        if (f.countdown < 0)
            continue;
        if (f.state == Fetcher::State::Waiting) {
            if (Step step = Open(f); !step.GoesOn())
                return step;
            continue;
        }
        AddRecord("timeout", 'E');
        if (Step step = Failure(f, "timed out", false); !step.GoesOn())
            return step;
    }
    // A live playlist is loaded again every target duration, also while segments come.
    const Fetcher& control = Control();
    bool loading = control.state != Fetcher::State::Idle && control.phase == Phase::Playlist;
    if (!m_live || loading || m_reloadDue || ++m_sinceLoad < std::max(1, m_targetDuration))
        return Step::GoOn();
    m_reloadDue = true;
    return Next();
}

} // namespace vireo
