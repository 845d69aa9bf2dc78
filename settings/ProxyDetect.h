#pragma once
// The system's HTTP proxy, as the environment of a Linux desktop names it.

#include <string>
#include <string_view>

namespace vireo {

struct DetectedProxy {
    bool found = false;
    std::string host;
    int port = 80;
    bool operator==(const DetectedProxy&) const = default;
};

// Parses a proxy text of the forms host, host:port, scheme://host[:port][/]. A port that
// is not all digits or not within 1..65535 makes the text name no proxy (found is false).
DetectedProxy ParseProxyText(std::string_view text);
// Reads $http_proxy, else $HTTP_PROXY; unset or empty means a direct connection.
DetectedProxy DetectProxy();

} // namespace vireo
