// A downloaded page scanned for links. The input's first line is the page's own address
// (without it, http://h.x/dir/page.htm), the rest the page.

#include "downloads/PageLinks.h"
#include "harness/FuzzCheck.h"

#include <cctype>
#include <string_view>

using namespace vireo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    std::string_view url = "http://h.x/dir/page.htm";
    std::string_view page = input;
    if (size_t end = input.find('\n'); end != std::string_view::npos) {
        url = input.substr(0, end);
        page = input.substr(end + 1);
    }
    // A page fetched from an absolute address gives absolute links; a page address without
    // a scheme (bare text the address check lets through) has nothing to make them from.
    size_t colon = url.find("://");
    bool absolute = colon != std::string_view::npos && colon > 0;
    for (size_t i = 0; absolute && i < colon; ++i)
        absolute = std::isalnum(static_cast<unsigned char>(url[i])) != 0;
    for (const std::string& link : PageLinks(page, url))
        FUZZ_CHECK(!absolute || link.find("://") != std::string::npos,
                   "a link that is not absolute");
    return 0;
}
