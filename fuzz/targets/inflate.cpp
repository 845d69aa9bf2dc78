// A gzip, zlib or raw deflate body, fed as a socket delivers it (see harness/ReadSplit.h):
// whole and cut, the decoded bytes and the outcome must agree.

#include "harness/FuzzCheck.h"
#include "harness/ReadSplit.h"
#include "protocols/Inflater.h"

#include <string>

using namespace vireo;

namespace {
// Decoded output is capped so a small bomb does not exhaust the fuzzer's memory.
constexpr size_t kMaxOutput = 16 << 20;

struct Outcome {
    Inflater::Result result = Inflater::Result::NeedMore;
    std::string data;
    bool capped = false;
};

Outcome Decode(const std::vector<std::string_view>& reads) {
    Inflater inflater;
    Outcome out;
    auto sink = [&](const char* d, size_t n) {
        if (out.data.size() + n > kMaxOutput) {
            out.capped = true;
            return false;
        }
        out.data.append(d, n);
        return true;
    };
    // Done only says the bytes so far end where a member ends: another member may follow,
    // so feeding goes on until the body ends or an error.
    for (std::string_view read : reads) {
        out.result = inflater.Feed(read.data(), read.size(), sink);
        if (out.result == Inflater::Result::Error)
            break;
    }
    FUZZ_CHECK(inflater.IsDone() == (out.result == Inflater::Result::Done),
               "IsDone disagrees with the result");
    return out;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::SocketInput in = fuzz::SplitSocketInput(data, size);
    Outcome whole = Decode(fuzz::CutReads(0, in.stream));
    Outcome cut = Decode(fuzz::CutReads(in.seed, in.stream));
    if (whole.capped || cut.capped)
        return 0;
    FUZZ_CHECK(whole.result == cut.result, "the outcome depends on where reads end");
    if (whole.result == Inflater::Result::Error) {
        // What was decoded before the damaged byte is handed on only when an earlier read
        // ended before it; either way it must be the same start of the body.
        const std::string& shorter = whole.data.size() < cut.data.size() ? whole.data : cut.data;
        const std::string& longer = whole.data.size() < cut.data.size() ? cut.data : whole.data;
        FUZZ_CHECK(longer.compare(0, shorter.size(), shorter) == 0,
                   "the decoded bytes before an error depend on where reads end");
        return 0;
    }
    FUZZ_CHECK(whole.data == cut.data, "the decoded bytes depend on where reads end");
    return 0;
}
