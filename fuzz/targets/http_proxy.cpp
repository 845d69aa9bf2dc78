// The value of $http_proxy as the first start reads it; the port it yields is stored as
// "proxyport" and later connected to, so it must be a port.

#include "harness/FuzzCheck.h"
#include "settings/ProxyDetect.h"

#include <string_view>

using namespace vireo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    DetectedProxy proxy = ParseProxyText(text);
    // A text with an impossible port finds nothing; what is found is a port to connect to.
    if (proxy.found)
        FUZZ_CHECK(proxy.port >= 1 && proxy.port <= 65535, "proxy port outside 1..65535");
    FUZZ_CHECK(proxy.host.size() <= text.size(), "a host longer than the text");
    return 0;
}
