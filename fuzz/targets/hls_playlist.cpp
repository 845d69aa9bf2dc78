// A stream playlist as a server sends it (master or media), read against an address, and
// the variant a cap taken from the input's first bytes would choose.

#include "harness/FuzzCheck.h"
#include "protocols/HlsPlaylist.h"

#include <string_view>

using namespace vireo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    HlsVariantCap cap;
    if (size >= 2) {
        cap.maxHeight = data[0] * 8;
        cap.maxBandwidth = int64_t(data[1]) * 50000;
    }
    std::string_view text(reinterpret_cast<const char*>(data), size);
    HlsParse parse = ParseHlsPlaylist(text, "http://h.x/dir/index.m3u8?k=1");
    if (!parse.ok) {
        FUZZ_CHECK(!parse.error.empty(), "a refusal without a reason");
        return 0;
    }
    const HlsPlaylist& list = parse.playlist;
    if (list.kind == HlsPlaylist::Kind::Master) {
        FUZZ_CHECK(!list.variants.empty(), "a master playlist without variants");
        HlsVariantChoice choice = ChooseVariant(list.variants, cap);
        FUZZ_CHECK(choice.variant != nullptr && !choice.why.empty(), "no variant chosen");
        return 0;
    }
    for (size_t i = 0; i < list.segments.size(); ++i) {
        const HlsSegment& s = list.segments[i];
        FUZZ_CHECK(!s.uri.empty(), "a segment without an address");
        FUZZ_CHECK(i == 0 || s.sequence == list.segments[i - 1].sequence + 1,
                   "segment numbers that do not follow one another");
        SequenceIv(s.sequence);
    }
    return 0;
}
