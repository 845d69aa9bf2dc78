// prefer.dat, the addresses of the insert-link dialog: parsed, confirmed into and written
// back; what is written must read back the same.

#include "downloads/RecentUrls.h"
#include "harness/FuzzCheck.h"

#include <string_view>

using namespace vireo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> urls = RecentUrls::Parse(text);
    for (const std::string& u : urls) {
        FUZZ_CHECK(!u.empty(), "an empty entry");
        FUZZ_CHECK(u.find_first_of("\r\n") == std::string::npos, "an entry holds a line end");
    }
    FUZZ_CHECK(RecentUrls::Parse(RecentUrls::Text(urls)) == urls, "the list does not read back");
    RecentUrls::Confirm(urls, "http://h.x/new.zip");
    FUZZ_CHECK(!urls.empty() && urls.front() == "http://h.x/new.zip", "confirmed entry not on top");
    FUZZ_CHECK(urls.size() <= RecentUrls::kMaxEntries, "more entries than kept");
    return 0;
}
