// A partial recording on disk, read back to resume it: the input is the file. The analysis
// may cut the file but never grow it, and answers "start over" or a position.

#include "MemoryRecording.h"
#include "harness/FuzzCheck.h"
#include "protocols/ResumeAnalysis.h"

using namespace vireo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    test::MemoryRecording target;
    target.file.assign(reinterpret_cast<const char*>(data), size);
    target.bytes = int64_t(size);
    RecordingState state;
    int64_t point = ResumeAnalysis(target, state).Run();
    FUZZ_CHECK(point == ResumeAnalysis::kStartOver || point >= 0, "a negative resume position");
    FUZZ_CHECK(target.bytes <= int64_t(size), "the analysis grew the file");
    FUZZ_CHECK(target.file.size() >= size_t(target.bytes), "the byte count is past the file");
    return 0;
}
