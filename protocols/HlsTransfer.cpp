#include "protocols/HlsTransfer.h"

#include "common/AsciiCase.h"
#include "engine/ErrorText.h"
#include "engine/ItemFlags.h"
#include "engine/TextCoding.h"
#include "engine/UrlParts.h"
#include "protocols/HeaderTable.h"
#include "protocols/HttpRequest.h"
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
    : TransferJob(item, std::move(host), std::move(path), port) {
    // The playlist's own fetches connect directly; a proxy is for the HTTP transfer.
    m_flags |= JF_NO_PROXY;
    m_fetchUrl = item->Url();
}

HlsTransfer::~HlsTransfer() {
    HlsTransfer::CloseSockets();
}

size_t HlsTransfer::MemoryUse() const {
    return TransferJob::MemoryUse() + m_data.capacity();
}

std::string HlsTransfer::Describe() const {
    return "stream playlist " + m_mediaUrl;
}

void HlsTransfer::Drop() {
    m_socket.reset();
    m_asked = m_inBody = false;
    m_header.Clear();
    m_chunks.Reset();
    m_inflater.reset();
    m_wireBytes = 0;
}

void HlsTransfer::CloseSockets() {
    Drop();
}

Step HlsTransfer::Broken(const std::string& why, int code) {
    AddRecord(why, 'E');
    NoteCause(why);
    return Step::Fail(code);
}

Step HlsTransfer::Fetch(Phase phase, const std::string& url) {
    m_phase = phase;
    m_fetchUrl = url;
    m_redirects = 0;
    return Connect();
}

Step HlsTransfer::Connect() {
    Drop();
    m_data.clear();
    UrlParts parts;
    ParseUrl(m_fetchUrl, parts);
    std::string scheme = AsciiLower(parts.scheme);
    if (scheme != "http" && scheme != "https")
        return Broken("the playlist names an address that is not http or https: " + m_fetchUrl,
                      ErrFormat);
    bool tls = scheme == "https";
    // The item's host was looked up for the attempt; other hosts are found by the
    // connection itself.
    bool same =
        AsciiLower(parts.host) == AsciiLower(m_host) && parts.port == m_port && !m_address.empty();
    m_socket = Connections().Open(this);
    SetAttemptState(AttemptState::Connecting);
    m_countdown = TimeoutSetting(30);
    m_socket->ConnectTo(QString::fromStdString(same ? m_address : parts.host), quint16(parts.port),
                        tls ? QString::fromStdString(parts.host) : QString());
    return Step::GoOn();
}

Step HlsTransfer::OnConnected(Connection* connection) {
    if (connection != m_socket.get())
        return Step::GoOn();
    return TransferJob::OnConnected(connection);
}

Step HlsTransfer::OnWritable(Connection* connection) {
    if (connection != m_socket.get() || m_asked || !connection->IsConnected())
        return Step::GoOn();
    UrlParts parts;
    ParseUrl(m_fetchUrl, parts);
    std::string credentials = m_item->CredentialsFor(parts.host);
    std::string authorization = credentials.empty() ? "" : "Basic " + Base64Encode(credentials);
    AddRecord("HTTP req: " + m_fetchUrl, 'O');
    m_socket->SendText(BuildHttpRequest(
        parts.path, HostHeader(parts.host, parts.port, parts.scheme), 0, authorization));
    m_asked = true;
    m_countdown = TimeoutSetting(30);
    return Step::GoOn();
}

Step HlsTransfer::OnData(Connection* connection, const char* data, size_t count) {
    if (connection != m_socket.get() || count == 0)
        return Step::GoOn();
    m_countdown = TimeoutSetting(30);
    if (m_inBody)
        return Body(data, count);
    size_t end = m_header.Append(data, count);
    while (end != 0) {
        HeaderTable header;
        header.Parse(m_header.Bytes().substr(0, end));
        if (header.Status() < 100 || header.Status() > 199 || header.Status() == 101)
            break;
        end = m_header.DropAndFind(end); // an interim answer: the real one follows
    }
    if (end == 0) {
        if (m_header.Size() > 64 * 1024) {
            AddRecord("response header too large", 'E');
            NoteCause("response header too large");
            return Step::Retry();
        }
        return Step::GoOn();
    }
    return OnHeader(end);
}

Step HlsTransfer::OnHeader(size_t headerLength) {
    HeaderTable header;
    header.Parse(m_header.Bytes().substr(0, headerLength));
    AddRecord(header.Count() ? header.Name(0) : std::string(), 'I');
    HttpAsked asked;
    asked.url = m_fetchUrl;
    asked.wholeUrl = true; // a 404 is the segment's, not the way it was asked
    HttpVerdict verdict = JudgeHttpResponse(header, asked);
    for (const HttpVerdict::Record& record : verdict.records)
        AddRecord(record.text, record.kind);
    switch (verdict.kind) {
    case HttpVerdict::Kind::Body:
        break;
    case HttpVerdict::Kind::Redirect:
        if (++m_redirects > kMaxRedirects)
            return Step::Fail(ErrTooManyRedirects);
        m_fetchUrl = verdict.url;
        return Connect();
    case HttpVerdict::Kind::Fail:
        if (verdict.code == 401) {
            NoteCause(verdict.cause);
            return Step::Fail(401);
        }
        [[fallthrough]];
    default:
        // A missing segment or key may come back: the attempts decide.
        NoteCause(verdict.cause.empty() ? HttpStatusWords(header) : verdict.cause);
        AddRecord(HttpStatusWords(header) + " for " + m_fetchUrl, 'E');
        return Step::Retry();
    }
    m_body = verdict.body;
    m_inBody = true;
    if (m_body.inflate)
        m_inflater = std::make_unique<Inflater>();
    std::string rest = m_header.TakeRest(headerLength);
    if (m_body.Empty())
        return Fetched();
    if (rest.empty())
        return Step::GoOn();
    return Body(rest.data(), rest.size());
}

bool HlsTransfer::Keep(const char* data, size_t count) {
    size_t limit = m_phase == Phase::Segment || m_phase == Phase::Init ? kMaxSegment : kMaxPlaylist;
    if (m_data.size() + count > limit)
        return false;
    m_data.append(data, count);
    return true;
}

Step HlsTransfer::Body(const char* data, size_t count) {
    if (!HasFlag(IF_RECEIVING)) {
        m_receiveStart = m_bytes;
        ChangeFlags(IF_RECEIVING, 0);
        SetAttemptState(AttemptState::Receiving);
    }
    if (m_body.contentLength >= 0 && !m_body.chunked)
        count = size_t(std::min<int64_t>(int64_t(count), m_body.contentLength - m_wireBytes));
    m_wireBytes += int64_t(count);
    bool tooLarge = false;
    auto keep = [&](const char* d, size_t n) {
        if (!Keep(d, n))
            tooLarge = true;
        return !tooLarge;
    };
    auto decode = [&](const char* d, size_t n) {
        if (!m_inflater)
            return keep(d, n);
        return m_inflater->Feed(d, n, keep) != Inflater::Result::Error;
    };
    bool ok = m_body.chunked ? m_chunks.Feed(data, count, decode) != ChunkedDecoder::Result::Error
                             : decode(data, count);
    if (tooLarge)
        return Broken("too large for a " +
                          std::string(m_phase == Phase::Segment ? "segment" : "playlist") + ": " +
                          m_fetchUrl,
                      ErrFormat);
    if (!ok) {
        AddRecord("the answer's body cannot be decoded", 'E');
        NoteCause("the answer's body cannot be decoded");
        return Step::Retry();
    }
    bool done = m_body.chunked              ? m_chunks.IsDone()
                : m_body.contentLength >= 0 ? m_wireBytes >= m_body.contentLength
                                            : false;
    if (done && m_inflater && !m_inflater->IsDone()) {
        AddRecord("the answer's body ends inside its compressed data", 'E');
        NoteCause("the answer's body ends inside its compressed data");
        return Step::Retry();
    }
    return done ? Fetched() : Step::GoOn();
}

Step HlsTransfer::OnClosed(Connection* connection) {
    if (connection != m_socket.get())
        return Step::GoOn();
    if (m_inBody && !m_body.chunked && m_body.contentLength < 0 &&
        (!m_inflater || m_inflater->IsDone()))
        return Fetched(); // the body ends with the connection
    AddRecord("connection closed before the end of " + m_fetchUrl, 'E');
    NoteCause("connection closed before the end of the file");
    return Step::Retry();
}

Step HlsTransfer::Fetched() {
    Drop();
    m_countdown = -1;
    switch (m_phase) {
    case Phase::Playlist:
        return OnPlaylist();
    case Phase::Key:
        if (m_data.size() != 16)
            return Broken("the key " + m_fetchUrl + " has " + std::to_string(m_data.size()) +
                              " bytes, not 16",
                          ErrFormat);
        m_key = m_data;
        m_keyUri = m_queue.front().key.uri;
        AddRecord("key: " + m_keyUri, '!');
        return Next();
    case Phase::Init: {
        const std::string& map = m_queue.front().mapUri;
        if (!AppendData(m_data.data(), m_data.size()))
            return Step::Ended();
        m_mapWritten = map;
        AddRecord("initialisation section: " + map + ", " + std::to_string(m_data.size()) +
                      " bytes",
                  '!');
        return Next();
    }
    case Phase::Segment:
        return OnSegment();
    case Phase::Waiting:
        break;
    }
    return Step::GoOn();
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
    if (first > m_next) {
        std::string lost =
            "segments " + std::to_string(m_next) + " to " + std::to_string(first - 1);
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
    }
    if (m_next > end && list.endList)
        return Broken("the playlist ends at segment " + std::to_string(end - 1) +
                          ", before the recording's next segment " + std::to_string(m_next),
                      ErrCorrupted);
    m_queue.clear();
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
    if (m_queue.empty()) {
        if (m_endList) {
            m_item->StoreStream({});
            return Step::Finish();
        }
        m_phase = Phase::Waiting;
        m_countdown = -1;
        m_reloadWait = std::max(1, m_targetDuration);
        SetAttemptState(AttemptState::Idle);
        return Step::GoOn();
    }
    const HlsSegment& segment = m_queue.front();
    switch (segment.key.method) {
    case HlsKey::Method::SampleAes:
        return Broken("segment " + std::to_string(segment.sequence) +
                          " is encrypted with SAMPLE-AES, which Vireo does not record",
                      ErrFormat);
    case HlsKey::Method::Other:
        return Broken("segment " + std::to_string(segment.sequence) +
                          " is encrypted with an unknown method: " + segment.key.methodName,
                      ErrFormat);
    case HlsKey::Method::Aes128:
        if (segment.key.uri != m_keyUri)
            return Fetch(Phase::Key, segment.key.uri);
        break;
    case HlsKey::Method::None:
        break;
    }
    if (!segment.mapUri.empty() && segment.mapUri != m_mapWritten)
        return Fetch(Phase::Init, segment.mapUri);
    return Fetch(Phase::Segment, segment.uri);
}

Step HlsTransfer::OnSegment() {
    const HlsSegment& segment = m_queue.front();
    if (segment.key.method == HlsKey::Method::Aes128) {
        std::array<uint8_t, 16> iv =
            segment.key.hasIv ? segment.key.iv : SequenceIv(segment.sequence);
        if (!DecryptAes128(m_key, iv, &m_data))
            return Broken("segment " + std::to_string(segment.sequence) +
                              " does not decrypt with its key " + segment.key.uri,
                          ErrCorrupted);
    }
    if (!AppendData(m_data.data(), m_data.size()))
        return Step::Ended();
    AddRecord("segment " + std::to_string(segment.sequence) + ": " + segment.uri + ", " +
                  std::to_string(m_data.size()) + " bytes",
              '!');
    m_next = segment.sequence + 1;
    ++m_done;
    m_queue.pop_front();
    m_data.clear();
    // Each fetch has the item's attempts.
    m_attempts = 1;
    m_cause.attempts = 1;
    SaveState();
    return Next();
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
    if (m_phase != Phase::Waiting || --m_reloadWait > 0)
        return Step::GoOn();
    AddRecord("reloading the playlist", '!');
    return Fetch(Phase::Playlist, m_mediaUrl);
}

} // namespace vireo
