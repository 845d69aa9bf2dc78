// history.vro as loaded from disk: the strict parse, the window's tolerant record walk, and
// for a file that parses, the store's operations and a write that must parse back the same.

#include "harness/FuzzCheck.h"
#include "history/HistoryFile.h"

using namespace vireo;

namespace {
void CheckRoundTrip(const HistoryFile& file) {
    ByteBuffer bytes;
    if (!file.Serialize(bytes))
        return;
    HistoryFile again;
    FUZZ_CHECK(HistoryFile::Parse(bytes, again) == HistoryFile::ParseResult::Ok,
               "a written history does not parse");
    FUZZ_CHECK(again.Records() == file.Records(), "records change on a write and a read");
    FUZZ_CHECK(again.Groups() == file.Groups(), "groups change on a write and a read");
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<HistoryEntry> walked = HistoryFile::ReadRecords(data, size);
    HistoryFile file;
    if (HistoryFile::Parse(data, size, file) != HistoryFile::ParseResult::Ok)
        return 0;
    FUZZ_CHECK(walked.size() == file.RecordCount(), "the window walks other records than parsed");
    CheckRoundTrip(file);
    HistoryTime now;
    now.year = 2024;
    now.month = 5;
    now.day = 17;
    file.Add(now, "new.zip", "http://h.x/new.zip");
    file.Remove(now, "new.zip");
    file.Trim(size % 7, now);
    CheckRoundTrip(file);
    return 0;
}
