// A list file of addresses (File, Open; the last list; -i): split into lines, each trimmed
// and normalised before it is added, as the document does.

#include "downloads/ListText.h"
#include "engine/TextCoding.h"
#include "engine/UrlParts.h"
#include "harness/FuzzCheck.h"

#include <string_view>

using namespace vireo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    const char* end = text.data() + text.size();
    for (std::string_view line : SplitListText(text)) {
        FUZZ_CHECK(line.empty() || (line.data() >= text.data() && line.data() + line.size() <= end),
                   "a line outside the text");
        FUZZ_CHECK(line.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos,
                   "a line holds a line end or a NUL");
        NormalizeUrl(TrimText(line));
    }
    return 0;
}
