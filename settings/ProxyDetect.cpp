#include "settings/ProxyDetect.h"

#include <cstdlib>

namespace vireo {

DetectedProxy ParseProxyText(std::string_view text) {
    DetectedProxy result;
    if (text.empty())
        return result;
    result.found = true;
    size_t colon = text.find(':');
    if (colon != std::string_view::npos && colon + 1 < text.size() && text[colon + 1] == '/') {
        text.remove_prefix(std::min(colon + 3, text.size()));
    }
    // Environment proxies may carry user information and a trailing slash; neither is
    // part of the host.
    if (size_t at = text.find('@'); at != std::string_view::npos)
        text.remove_prefix(at + 1);
    if (size_t slash = text.find('/'); slash != std::string_view::npos)
        text = text.substr(0, slash);
    colon = text.find(':');
    if (colon == std::string_view::npos) {
        result.host = std::string(text);
        return result;
    }
    // The port is all digits and names a port (1..65535); anything else names no proxy
    // that could be reached, so none is taken rather than a guess.
    std::string_view digits = text.substr(colon + 1);
    int port = 0;
    for (char c : digits) {
        if (c < '0' || c > '9' || (port = port * 10 + (c - '0')) > 65535)
            return DetectedProxy();
    }
    if (port == 0)
        return DetectedProxy();
    result.host = std::string(text.substr(0, colon));
    result.port = port;
    return result;
}

DetectedProxy DetectProxy() {
    const char* env = std::getenv("http_proxy");
    if (!env || !*env)
        env = std::getenv("HTTP_PROXY");
    return ParseProxyText(env ? env : "");
}

} // namespace vireo
