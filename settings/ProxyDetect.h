#pragma once
// The system's HTTP proxy, as the environment of a Linux desktop names it.

#include <functional>
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

namespace vireo {

// The proxy variables of an environment, as curl and wget read them: each name in lower
// case first, then in upper case; an empty value counts as unset.
struct ProxyEnvironment {
    std::string http, https, ftp, all; // http_proxy, https_proxy, ftp_proxy, all_proxy
    std::string noProxy;               // no_proxy: hosts reached directly

    // lookup returns the value of a variable or null (std::getenv by default).
    static ProxyEnvironment Read(const char* (*lookup)(const char*) = nullptr);
    // Whether any proxy is named (no_proxy alone names none).
    bool NamesProxy() const {
        return !(http.empty() && https.empty() && ftp.empty() && all.empty());
    }
    // The proxy for url: the variable of its scheme (http, https, ftp), else all_proxy;
    // none for a host no_proxy names, for other schemes and for a text naming no proxy.
    DetectedProxy For(std::string_view url) const;
};

// Whether no_proxy's comma-separated list names host: "*" names every host; an entry names
// that host and the hosts below it ("example.com" and ".example.com" both name
// "a.example.com", not "badexample.com"); a ":port" of an entry is ignored, brackets of an
// IPv6 literal too; case does not count.
bool NoProxyNames(std::string_view noProxy, std::string_view host);

// The proxy a transfer of url goes through. A front end may give the run its own rule
// (the environment of a terminal run, --proxy, --no-proxy); without one the stored settings
// "proxy", "proxyserver" and "proxyport" decide.
DetectedProxy ProxyFor(std::string_view url);
// Sets (or, with an empty rule, removes) the run's rule. Never stored.
void SetRunProxyRule(std::function<DetectedProxy(std::string_view url)> rule);

} // namespace vireo
