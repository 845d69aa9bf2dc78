// What a PNA server sends after the hello, fed as a socket delivers it (see
// harness/ReadSplit.h), then closed. The parser promises the same events however the reads
// end: whole and cut must agree. The events are recorded as the PNM transfer records them;
// then, as its automatic retry does, the partial file is analysed for a resume and the same
// stream recorded into it again.

#include "MemoryRecording.h"
#include "harness/FuzzCheck.h"
#include "harness/ReadSplit.h"
#include "protocols/PnaStreamParser.h"
#include "protocols/RealMediaWriter.h"
#include "protocols/ResumeAnalysis.h"

#include <vector>

using namespace vireo;
using Kind = PnaEvent::Kind;

namespace {
bool EndsStream(Kind kind) {
    return kind == Kind::Busy || kind == Kind::ServerMessage || kind == Kind::End ||
           kind == Kind::Failure;
}

// The events up to the first that nothing follows; the stream type the parser found.
std::vector<PnaEvent> Parse(const std::vector<std::string_view>& reads, int* streamType) {
    PnaStreamParser parser;
    std::vector<PnaEvent> events;
    for (std::string_view read : reads) {
        parser.Feed(read, events);
        for (size_t i = 0; i < events.size(); ++i) {
            if (EndsStream(events[i].kind)) {
                events.resize(i + 1);
                *streamType = parser.StreamType();
                return events;
            }
        }
    }
    *streamType = parser.StreamType();
    return events;
}

// Writes the events as the transfer does, until one ends the recording.
void Record(const std::vector<PnaEvent>& events, int streamType, test::MemoryRecording& target,
            RecordingState& state) {
    RealMediaWriter writer(target, state);
    state.streamType = streamType;
    for (const PnaEvent& e : events) {
        int result = RealMediaWriter::kOk;
        if (e.kind == Kind::RealAudioHeader) {
            result = writer.RealAudioHeader(e.bytes, e.pnaVersion);
        } else if (e.kind == Kind::RealMediaHeader) {
            std::vector<std::string_view> chunks(e.chunks.begin(), e.chunks.end());
            result = writer.RealMediaHeader(chunks);
        } else if (e.kind == Kind::Packet && (e.streamType == 11 || e.streamType == 12)) {
            result = writer.RealAudioBlock(e.bytes);
        } else if (e.kind == Kind::Packet) {
            uint8_t flags = e.flags;
            if (e.streamType == 90 && e.stream <= 1 && state.video[e.stream])
                flags = flags == 0 ? 2 : 0;
            result = writer.RealMediaPacket({e.timestamp, e.stream, flags, e.bytes});
        } else if (e.kind == Kind::Filler) {
            writer.FillerA();
        } else if (EndsStream(e.kind)) {
            break;
        }
        if (result != RealMediaWriter::kOk)
            break;
        if (target.sizeLimited && target.total != 0 && target.bytes >= target.total)
            break;
    }
    writer.FinalPatch(); // the connection closes
    FUZZ_CHECK(target.file.size() >= size_t(target.bytes), "the byte count is past the file");
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::SocketInput in = fuzz::SplitSocketInput(data, size);
    int wholeType = 0, cutType = 0;
    std::vector<PnaEvent> whole = Parse(fuzz::CutReads(0, in.stream), &wholeType);
    std::vector<PnaEvent> cut = Parse(fuzz::CutReads(in.seed, in.stream), &cutType);
    FUZZ_CHECK(whole.size() == cut.size(), "the number of events depends on where reads end");
    // A RealAudio stream whose first packet is malformed dumps "up to 64 bytes" of what
    // has arrived: only that dump may be shorter in one of the two, never different.
    if (!whole.empty() && whole.back().kind == Kind::Failure && cut.back().kind == Kind::Failure) {
        const std::string& a = whole.back().bytes;
        const std::string& b = cut.back().bytes;
        const std::string& shorter = a.size() < b.size() ? a : b;
        FUZZ_CHECK((a.size() < b.size() ? b : a).compare(0, shorter.size(), shorter) == 0,
                   "a failure dumps different bytes depending on where reads end");
        whole.back().bytes.clear();
        cut.back().bytes.clear();
    }
    FUZZ_CHECK(whole == cut, "the events depend on where reads end");
    FUZZ_CHECK(wholeType == cutType, "the stream type depends on where reads end");

    test::MemoryRecording target;
    RecordingState state;
    Record(cut, cutType, target, state);
    if (target.bytes == 0)
        return 0;

    // The retry: the partial file is analysed, then the stream comes again.
    int64_t held = target.bytes;
    RecordingState resumed;
    int64_t point = ResumeAnalysis(target, resumed).Run();
    FUZZ_CHECK(point == ResumeAnalysis::kStartOver || point >= 0, "a negative resume position");
    FUZZ_CHECK(target.bytes <= held, "the analysis grew the file");
    if (point == ResumeAnalysis::kStartOver) {
        resumed.Reset();
        target.SetCatchingUp(false);
        target.SetLive(false);
        target.SetStartOffset(0);
    } else {
        target.SetStartOffset(target.bytes);
        resumed.seekPosition = uint32_t(point);
    }
    Record(cut, cutType, target, resumed);
    return 0;
}
