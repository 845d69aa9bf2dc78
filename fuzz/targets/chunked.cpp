// The chunked transfer coding of an HTTP body, fed as a socket delivers it (see
// harness/ReadSplit.h): whole and cut, the data handed on, the outcome and the bytes used
// must agree.

#include "harness/FuzzCheck.h"
#include "harness/ReadSplit.h"
#include "protocols/ChunkedDecoder.h"

#include <string>

using namespace vireo;

namespace {
struct Outcome {
    ChunkedDecoder::Result result = ChunkedDecoder::Result::NeedMore;
    std::string data;
    size_t used = 0; // input bytes taken before the end (or the error)
};

Outcome Decode(const std::vector<std::string_view>& reads) {
    ChunkedDecoder decoder;
    Outcome out;
    auto sink = [&](const char* d, size_t n) {
        out.data.append(d, n);
        return true;
    };
    for (std::string_view read : reads) {
        size_t consumed = 0;
        out.result = decoder.Feed(read.data(), read.size(), sink, &consumed);
        FUZZ_CHECK(consumed <= read.size(), "consumed more than was fed");
        if (out.result != ChunkedDecoder::Result::NeedMore) {
            out.used += consumed;
            break;
        }
        FUZZ_CHECK(consumed == read.size(), "NeedMore left input unused");
        out.used += read.size();
    }
    FUZZ_CHECK(decoder.IsDone() == (out.result == ChunkedDecoder::Result::Done),
               "IsDone disagrees with the result");
    return out;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::SocketInput in = fuzz::SplitSocketInput(data, size);
    Outcome whole = Decode(fuzz::CutReads(0, in.stream));
    Outcome cut = Decode(fuzz::CutReads(in.seed, in.stream));
    FUZZ_CHECK(whole.result == cut.result, "the outcome depends on where reads end");
    FUZZ_CHECK(whole.data == cut.data, "the decoded data depends on where reads end");
    if (whole.result == ChunkedDecoder::Result::Done)
        FUZZ_CHECK(whole.used == cut.used, "the end of the body depends on where reads end");
    FUZZ_CHECK(whole.data.size() <= in.stream.size(), "more data than bytes received");
    return 0;
}
