// Directory listing lines: the input is a listing, read line by line as the size check does.

#include "harness/FuzzCheck.h"
#include "protocols/FtpListing.h"

#include <string_view>

using namespace vireo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        FUZZ_CHECK(ListingSize(line) >= -1, "a negative size other than -1");
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    return 0;
}
