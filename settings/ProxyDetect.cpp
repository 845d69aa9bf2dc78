#include "settings/ProxyDetect.h"

#include "settings/SettingsStore.h"

#include <cctype>
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

namespace vireo {

namespace {
std::function<DetectedProxy(std::string_view)>& RunRule() {
    static std::function<DetectedProxy(std::string_view)> rule;
    return rule;
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// The host of an address or of a no_proxy entry, without brackets, port and final dot.
std::string_view BareHost(std::string_view text) {
    if (!text.empty() && text.front() == '[') {
        size_t close = text.find(']');
        return text.substr(1, close == std::string_view::npos ? close : close - 1);
    }
    // More than one ':' is an IPv6 literal without brackets; one is a port.
    if (text.find(':') == text.rfind(':'))
        text = text.substr(0, text.find(':'));
    if (!text.empty() && text.back() == '.')
        text.remove_suffix(1);
    return text;
}

bool SameNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}
} // namespace

ProxyEnvironment ProxyEnvironment::Read(const char* (*lookup)(const char*)) {
    auto get = [lookup](const char* lower, const char* upper) {
        const char* value = lookup ? lookup(lower) : std::getenv(lower);
        if (!value || !*value)
            value = lookup ? lookup(upper) : std::getenv(upper);
        return std::string(value ? value : "");
    };
    ProxyEnvironment env;
    env.http = get("http_proxy", "HTTP_PROXY");
    env.https = get("https_proxy", "HTTPS_PROXY");
    env.ftp = get("ftp_proxy", "FTP_PROXY");
    env.all = get("all_proxy", "ALL_PROXY");
    env.noProxy = get("no_proxy", "NO_PROXY");
    return env;
}

DetectedProxy ProxyEnvironment::For(std::string_view url) const {
    size_t colon = url.find(':');
    if (colon == std::string_view::npos)
        return {};
    std::string_view scheme = url.substr(0, colon);
    const std::string* text = SameNoCase(scheme, "http")    ? &http
                              : SameNoCase(scheme, "https") ? &https
                              : SameNoCase(scheme, "ftp")   ? &ftp
                                                            : nullptr;
    if (!text)
        return {}; // streams and the rest never go through an HTTP proxy
    if (text->empty())
        text = &all;
    if (text->empty())
        return {};
    // The host of "scheme://user@host:port/path".
    std::string_view authority = url.substr(std::min(url.size(), colon + 3));
    authority = authority.substr(0, authority.find_first_of("/?#"));
    if (size_t at = authority.rfind('@'); at != std::string_view::npos)
        authority.remove_prefix(at + 1);
    if (NoProxyNames(noProxy, BareHost(authority)))
        return {};
    // Only HTTP proxies can be spoken to; a socks proxy, say, is none for us.
    std::string_view proxy = *text;
    if (size_t sep = proxy.find("://"); sep != std::string_view::npos &&
                                        !SameNoCase(proxy.substr(0, sep), "http") &&
                                        !SameNoCase(proxy.substr(0, sep), "https"))
        return {};
    return ParseProxyText(proxy);
}

bool NoProxyNames(std::string_view noProxy, std::string_view host) {
    if (host.empty())
        return false;
    while (!noProxy.empty()) {
        size_t comma = noProxy.find(',');
        std::string_view entry = Trimmed(noProxy.substr(0, comma));
        noProxy.remove_prefix(comma == std::string_view::npos ? noProxy.size() : comma + 1);
        if (entry == "*")
            return true;
        while (!entry.empty() && entry.front() == '.')
            entry.remove_prefix(1);
        entry = BareHost(entry);
        if (entry.empty() || entry.size() > host.size())
            continue;
        std::string_view tail = host.substr(host.size() - entry.size());
        if (SameNoCase(tail, entry) &&
            (host.size() == entry.size() || host[host.size() - entry.size() - 1] == '.'))
            return true;
    }
    return false;
}

DetectedProxy ProxyFor(std::string_view url) {
    if (RunRule())
        return RunRule()(url);
    SettingsStore& settings = Settings();
    if (settings.GetInt(keys::Proxy) == 0)
        return {};
    return DetectedProxy{true, settings.GetString(keys::ProxyServer),
                         settings.GetInt(keys::ProxyPort)};
}

void SetRunProxyRule(std::function<DetectedProxy(std::string_view url)> rule) {
    RunRule() = std::move(rule);
}

} // namespace vireo
