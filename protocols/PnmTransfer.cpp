#include "protocols/PnmTransfer.h"

#include "common/Endian.h"
#include "engine/ErrorText.h"
#include "engine/ItemFlags.h"
#include "protocols/PnaTemplate.h"
#include "protocols/ResumeAnalysis.h"
#include "settings/SettingsStore.h"

#include <netdb.h>
#include <netinet/in.h>

#include <cstdio>

namespace vireo {

static_assert(RealMediaWriter::kCorrupted == ErrCorrupted);
static_assert(RealMediaWriter::kUnsupported == ErrFormat);
static_assert(PnaStreamParser::kCorrupted == ErrCorrupted);

namespace {
// Whether the address names its port ("pnm://host:7070/...").
bool UrlNamesPort(const std::string& url) {
    size_t start = url.find("://");
    start = start == std::string::npos ? 0 : start + 3;
    std::string hostPart = url.substr(start, url.find('/', start) - start);
    size_t at = hostPart.rfind('@');
    if (at != std::string::npos)
        hostPart.erase(0, at + 1);
    return hostPart.find(':') != std::string::npos;
}
} // namespace

PnmTransfer::PnmTransfer(JobHost* item, std::string host, std::string path, int port)
    : TransferJob(item, std::move(host), std::move(path), port) {
    ChangeFlags(JF_NO_PROXY, 0); // streams never go through the HTTP proxy
    if (!PnaTemplate::IsLoaded())
        PnaTemplate::Load();
}

PnmTransfer::~PnmTransfer() {
    Stop();
}

size_t PnmTransfer::MemoryUse() const {
    return TransferJob::MemoryUse() +
           IndexRecord::kSize * (m_state.index[0].size() + m_state.index[1].size()) +
           24 * m_state.signatures.size() + m_parser.HeaderBuffered() + m_parser.PacketsBuffered();
}

int PnmTransfer::ServerPort() const {
    if (UrlNamesPort(m_item->Url()))
        return m_port;
    if (const servent* entry = getservbyname("pnm", "tcp"))
        return ntohs(uint16_t(entry->s_port));
    return Settings().GetInt(keys::PnmPort);
}

Step PnmTransfer::Connect() {
    uint32_t clear =
        JF_SIZE_LIMITED | JF_CATCHING_UP | JF_STREAM | IF_BUSY | IF_LIVE | JF_RESUME_CHECK;
    ChangeFlags(JF_REQUEST_PENDING | JF_FIRST_PACKET | (m_bytes != 0 ? JF_RESUME_CHECK : 0), clear);
    m_parser.Reset();
    m_received.clear();
    m_processing = false;
    m_state.Reset();

    m_socket = Connections().Open(this);
    int port = ServerPort();
    AddRecord("connecting server: " + m_host + ", port: " + std::to_string(port), '!');
    m_socket->ConnectTo(QString::fromStdString(m_address.empty() ? m_host : m_address),
                        quint16(port));
    return Step::GoOn();
}

void PnmTransfer::CloseSockets() {
    if (m_socket) {
        // Whatever stopped the recording, the file keeps its final sizes and index.
        m_writer.FinalPatch();
        m_socket.reset();
    }
    m_state.index[0].clear();
    m_state.index[1].clear();
    m_state.signatures.clear();
    int type = m_state.streamType;
    m_parser.Reset();
    m_state.streamType = type;
}

Step PnmTransfer::OnWritable(Connection* socket) {
    AddRecord("sending request", 'O');
    if (!HasFlag(JF_REQUEST_PENDING))
        return Step::GoOn();
    if (!PnaTemplate::IsLoaded() && !PnaTemplate::Load())
        return Step::Fail(ErrCreateProtocol);
    std::optional<std::string> request = PnaTemplate::BuildRequest(m_path);
    if (!request)
        return Step::Fail(ErrParseUrl); // a path longer than any request holds
    socket->SendText(*request);
    ChangeFlags(0, JF_REQUEST_PENDING);
    return Step::GoOn();
}

Step PnmTransfer::OnData(Connection*, const char* data, size_t count) {
    if (count > 0) {
        m_received.append(data, count);
        m_countdown = TimeoutSetting(30); // the stream is alive, also while it catches up
    }
    if (m_processing || m_received.empty())
        return Step::GoOn();
    m_processing = true;
    while (!m_received.empty()) {
        std::string bytes = std::move(m_received);
        m_received.clear();
        if (Step step = Process(bytes); !step.GoesOn())
            return step; // the job is ending or waiting; the next Connect starts afresh
    }
    m_processing = false;
    return Step::GoOn();
}

Step PnmTransfer::Process(std::string_view bytes) {
    if (!m_parser.HeaderDone() && HasFlag(JF_RESUME_CHECK))
        CheckResume();
    std::vector<PnaEvent> events;
    m_parser.Feed(bytes, events);
    if (m_parser.StreamType() != 0)
        m_state.streamType = m_parser.StreamType();
    for (const PnaEvent& event : events) {
        if (Step step = Handle(event); !step.GoesOn())
            return step;
    }
    return Step::GoOn();
}

void PnmTransfer::CheckResume() {
    ChangeFlags(0, JF_RESUME_CHECK);
    m_countdown = TimeoutSetting(30);
    int64_t point = ResumeAnalysis::kStartOver;
    if (!m_startOver) {
        point = ResumeAnalysis(*this, m_state).Run();
        if (point == ResumeAnalysis::kStartOver)
            AddRecord("partial file cannot be continued, recording from the start", 'I');
    }
    m_startOver = false;
    if (point == ResumeAnalysis::kStartOver) {
        m_state.Reset();
        ChangeFlags(0, JF_CATCHING_UP | IF_LIVE);
        TransferJob::SetStartOffset(0);
        return;
    }
    // The analysis may have cut the file; nothing past the byte count stays.
    TransferJob::SetStartOffset(m_bytes);
    if (!IsLive())
        SendSeek(uint32_t(point));
}

void PnmTransfer::SendSeek(uint32_t position) {
    AddRecord("starting from: " + std::to_string(position), 'O');
    m_state.seekPosition = position;
    m_socket->SendText("P");
    std::string seek("S\0\0\0\0B", 6);
    WriteBE32(reinterpret_cast<uint8_t*>(seek.data()) + 1, position);
    m_socket->SendText(seek);
}

Step PnmTransfer::Handle(const PnaEvent& event) {
    switch (event.kind) {
    case PnaEvent::Kind::Log:
        AddRecord(event.text, event.logKind);
        return Step::GoOn();
    case PnaEvent::Kind::Busy:
        ChangeFlags(IF_BUSY, 0);
        AddRecord("server busy", '!');
        m_countdown = Settings().GetInt(keys::BusyIdle);
        Notify(NotifyAttempt);
        CloseSockets();
        SetAttemptState(AttemptState::Idle);
        return Step::Hold(); // the countdown running out starts the next attempt
    case PnaEvent::Kind::RealAudioHeader:
        if (Step step = Outcome(m_writer.RealAudioHeader(event.bytes, event.pnaVersion));
            !step.GoesOn())
            return step;
        ChangeFlags(JF_STREAM, 0);
        return Step::GoOn();
    case PnaEvent::Kind::RealMediaHeader: {
        std::vector<std::string_view> chunks(event.chunks.begin(), event.chunks.end());
        if (Step step = Outcome(m_writer.RealMediaHeader(chunks)); !step.GoesOn())
            return step;
        ChangeFlags(JF_STREAM, 0);
        return Step::GoOn();
    }
    case PnaEvent::Kind::ServerMessage:
        AddRecord(event.text, '!');
        return Step::Fail(ErrCorrupted);
    case PnaEvent::Kind::Packet:
        return Packet(event);
    case PnaEvent::Kind::Filler:
        m_writer.FillerA();
        return Step::GoOn();
    case PnaEvent::Kind::End:
        return EndOfStream();
    case PnaEvent::Kind::HeaderTooLarge:
        AddRecord("stream header too large (more than " +
                      std::to_string(PnaStreamParser::kMaxHeader) + " bytes)",
                  'E');
        return Step::Retry();
    case PnaEvent::Kind::Failure:
        if (!event.bytes.empty())
            m_item->AddDump(event.bytes.data(), event.bytes.size());
        return Step::Fail(event.code);
    }
    return Step::GoOn();
}

Step PnmTransfer::Packet(const PnaEvent& event) {
    int result;
    if (event.streamType == 11 || event.streamType == 12) {
        result = m_writer.RealAudioBlock(event.bytes);
    } else {
        uint8_t flags = event.flags;
        // The long framing marks the key frames of a video stream the other way round.
        if (event.streamType == 90 && event.stream <= 1 && m_state.video[event.stream])
            flags = flags == 0 ? 2 : 0;
        result = m_writer.RealMediaPacket({event.timestamp, event.stream, flags, event.bytes});
    }
    ChangeFlags(0, JF_FIRST_PACKET);
    if (Step step = Outcome(result); !step.GoesOn())
        return step;
    if (HasFlag(JF_SIZE_LIMITED) && m_size != 0 && m_bytes >= m_size)
        return Step::Finish();
    return Step::GoOn();
}

Step PnmTransfer::Outcome(int result) {
    if (result == RealMediaWriter::kOk)
        return Step::GoOn();
    if (result == RealMediaWriter::kStopped)
        return Step::Ended(); // the write failed and the item with it
    return Step::Fail(result);
}

Step PnmTransfer::EndOfStream() {
    // A RealAudio stream that reached the file's own blocks has nothing more to add;
    // otherwise the stream ended before the partial file's data came again (the seek
    // landed past it), and what the file holds cannot be continued.
    bool audio = m_state.streamType == 11 || m_state.streamType == 12;
    bool reachedFile = audio && m_state.seekPosition == 0;
    if (IsCatchingUp() && !IsLive() && !reachedFile) {
        AddRecord("stream ended before the recorded part, recording from the start", 'E');
        m_startOver = true;
        return Step::Retry();
    }
    return Step::Finish();
}

int PnmTransfer::Retry() {
    if (!IsLive() && m_state.streamType == 11 && m_bytes > 0 && m_size != 0 && m_bytes >= m_size) {
        Act(Step::Finish()); // the whole stream is on disk
        return 0;
    }
    return TransferJob::Retry();
}

std::string PnmTransfer::Describe() const {
    char text[64];
    std::snprintf(text, sizeof text, "Duration: %u.%03u\nType: %d\n", m_state.durationMs / 1000,
                  m_state.durationMs % 1000, m_state.streamType);
    return text;
}

bool PnmTransfer::Append(const void* data, size_t count) {
    return AppendData(static_cast<const char*>(data), count) != 0;
}

bool PnmTransfer::WriteAt(int64_t position, const void* data, size_t count) {
    return m_item->WriteFileAt(position, static_cast<const char*>(data), count);
}

bool PnmTransfer::ReadAt(int64_t position, void* data, size_t count) {
    return m_item->ReadFileAt(position, static_cast<char*>(data), count);
}

void PnmTransfer::SetLive(bool live) {
    ChangeFlags(live ? IF_LIVE : 0, live ? 0 : IF_LIVE);
}

void PnmTransfer::SetCatchingUp(bool on) {
    ChangeFlags(on ? JF_CATCHING_UP : 0, on ? 0 : JF_CATCHING_UP);
}

void PnmTransfer::SetSizeLimited(bool on) {
    ChangeFlags(on ? JF_SIZE_LIMITED : 0, on ? 0 : JF_SIZE_LIMITED);
}

void PnmTransfer::LogField(std::string_view name, std::string_view value, char kind) {
    m_item->AddField(name, value, kind, true);
}

void PnmTransfer::LogDump(const void* data, size_t count) {
    m_item->AddDump(static_cast<const char*>(data), count);
}

} // namespace vireo
