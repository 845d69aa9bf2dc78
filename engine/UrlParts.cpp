#include "engine/UrlParts.h"

#include "common/AsciiCase.h"
#include "common/PercentCoding.h"
#include "engine/TextCoding.h"
#include "settings/SettingsStore.h"

#include <netdb.h>
#include <netinet/in.h>

#include <vector>

namespace vireo {

namespace {
constexpr size_t npos = std::string_view::npos;

int LeadingDecimal(std::string_view text) {
    long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            break;
        value = value * 10 + (c - '0');
        if (value > 65535)
            return 0; // no such port: the connection fails instead of reaching another one
    }
    return int(value);
}

int DefaultPort(const std::string& scheme, int pnmPort) {
    int port = 0;
    if (const servent* entry = getservbyname(scheme.c_str(), nullptr))
        port = ntohs(uint16_t(entry->s_port));
    else if (scheme == "http")
        port = 80;
    else if (scheme == "pnm" || scheme == "rtsp")
        port = pnmPort;
    else if (scheme == "ftp")
        port = 21;
    return port == 0 ? 80 : port;
}

} // namespace

void ParseUrl(std::string_view url, UrlParts& parts, int pnmPort) {
    std::string text(url);
    size_t colon = text.find(':');
    size_t schemeLen = colon;
    if (colon == npos) {
        text = "http://" + text;
        schemeLen = 4;
    }
    parts.scheme = text.substr(0, schemeLen);
    std::string_view rest = std::string_view(text).substr(std::min(text.size(), schemeLen + 3));

    std::string_view hostPart = rest;
    size_t slash = rest.find('/');
    if (slash == npos) {
        parts.path = "/";
    } else {
        hostPart = rest.substr(0, slash);
        parts.path = std::string(rest.substr(slash));
    }

    if (size_t at = hostPart.find('@'); at != npos) {
        parts.credentials = std::string(hostPart.substr(0, at));
        parts.credentials = PercentDecode(parts.credentials, PercentDigits::Unchecked);
        hostPart.remove_prefix(at + 1);
    }

    // An IPv6 literal is bracketed ("[::1]:8080"); the host is the address inside.
    size_t close = !hostPart.empty() && hostPart.front() == '[' ? hostPart.find(']') : npos;
    size_t portColon = hostPart.find(':', close == npos ? 0 : close);
    std::string_view host =
        close == npos ? hostPart.substr(0, portColon) : hostPart.substr(1, close - 1);
    parts.host = std::string(host);
    if (portColon != npos) {
        parts.port = LeadingDecimal(hostPart.substr(portColon + 1));
    } else {
        parts.scheme = AsciiLower(parts.scheme);
        parts.port = DefaultPort(parts.scheme, pnmPort);
    }
}

void ParseUrl(std::string_view url, UrlParts& parts) {
    std::string_view scheme = url.substr(0, url.find(':'));
    int pnmPort = 0;
    if (url.find(':') != npos && (AsciiLower(scheme) == "pnm" || AsciiLower(scheme) == "rtsp"))
        pnmPort = Settings().GetInt(keys::PnmPort);
    ParseUrl(url, parts, pnmPort);
}

std::string NormalizeUrl(std::string_view url) {
    std::string text(url);
    size_t colon = text.find(':');
    if (colon == npos || colon + 1 >= text.size() || text[colon + 1] != '/') {
        // Without a scheme only a host with a dot makes an address: a word alone ("nas",
        // "localhost:8080") stays as it is, which IsValidUrl refuses.
        if (!text.empty() && text.substr(0, text.find('/')).find('.') == npos)
            return text;
        text = "http://" + text;
    }
    if (text.back() != '/') {
        size_t lastSlash = text.rfind('/');
        if (lastSlash == npos)
            return text;
        if (lastSlash > 0 && text[lastSlash - 1] == '/')
            text += '/';
    }
    return text;
}

bool HasControlByte(std::string_view text) {
    for (char c : text) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f)
            return true;
    }
    return false;
}

namespace {
// The authority of "scheme://authority/...": user information, then a host, then an
// optional port. The host is a name or an IPv6 literal in brackets.
bool NamesHost(std::string_view authority) {
    if (size_t at = authority.rfind('@'); at != npos)
        authority.remove_prefix(at + 1);
    std::string_view host = authority;
    std::string_view port;
    if (!authority.empty() && authority.front() == '[') {
        size_t close = authority.find(']');
        if (close == npos || close < 3)
            return false;
        host = authority.substr(1, close - 1);
        if (host.find(':') == npos || host.find_first_not_of("0123456789abcdefABCDEF:.") != npos)
            return false;
        std::string_view after = authority.substr(close + 1);
        if (!after.empty() && after.front() != ':')
            return false;
        port = after;
    } else {
        size_t colon = authority.find(':');
        host = authority.substr(0, colon);
        port = colon == npos ? std::string_view() : authority.substr(colon);
        if (host.empty() || host.find_first_of("[]") != npos)
            return false;
    }
    return port.empty() || port.size() == 1 || port.find_first_not_of("0123456789", 1) == npos;
}
} // namespace

bool IsValidUrl(std::string_view url) {
    // A line break or tab would end a request line or a command early and start a
    // header or a command of the address's own.
    if (HasControlByte(url))
        return false;
    size_t colon = url.find(':');
    if (colon == npos || url.size() < colon + 3 || url[colon + 1] != '/')
        return false;
    size_t start = colon + 3;
    std::string_view authority = url.substr(start, url.find('/', start) - start);
    if (url[colon + 2] == '/') {
        // "scheme://host": the scheme was written, so any host will do ("localhost",
        // "nas", "[::1]:8080").
        if (!NamesHost(authority))
            return false;
    } else if (authority.find('.') == npos) {
        return false; // "scheme:/..." needs a dot in what stands for the host
    }
    // Streaming addresses may name files with spaces.
    if (!StartsWithNoCase(url, "pnm") && url.find(' ') != npos)
        return false;
    return true;
}

UrlKind ClassifyScheme(std::string_view url) {
    size_t colon = url.find(':');
    if (colon == npos)
        return UrlUnknown;
    std::string scheme = AsciiLower(url.substr(0, colon));
    if (scheme == "http" || scheme == "https")
        return UrlHttp;
    if (scheme == "ftp")
        return UrlFtp;
    if (scheme == "mailto")
        return UrlMailto;
    if (scheme == "pnm" || scheme == "rtsp")
        return UrlPnm;
    return UrlUnknown;
}

std::string UrlExtension(std::string_view url) {
    size_t dot = url.rfind('.');
    size_t slash = url.rfind('/');
    if (dot == npos || slash == npos || dot < slash)
        return {};
    if (slash > 0 && url[slash - 1] == '/')
        return {};
    return std::string(url.substr(dot + 1));
}

std::string SiteRoot(std::string_view url) {
    size_t colon = url.find(':');
    if (colon == npos || url.size() < colon + 6)
        return {};
    if (url[colon + 1] != '/' || url[colon + 2] != '/')
        return {};
    size_t hostEnd = url.find('/', colon + 3);
    return std::string(url.substr(0, hostEnd));
}

} // namespace vireo

namespace vireo {

namespace {
// Removes "." and ".." segments of a path that starts with '/'.
std::string RemoveDotSegments(std::string_view path) {
    std::vector<std::string_view> out;
    size_t pos = 1;
    bool trailing = false;
    while (pos <= path.size()) {
        size_t next = path.find('/', pos);
        if (next == npos)
            next = path.size();
        std::string_view seg = path.substr(pos, next - pos);
        trailing = (seg == "." || seg == "..");
        if (seg == "..") {
            if (!out.empty())
                out.pop_back();
        } else if (seg != ".") {
            out.push_back(seg);
        }
        pos = next + 1;
    }
    std::string result;
    for (std::string_view seg : out) {
        result += '/';
        result += seg;
    }
    if (trailing || result.empty())
        result += '/';
    return result;
}
} // namespace

std::string ResolveUrl(std::string_view base, std::string_view ref) {
    size_t colon = ref.find(':');
    size_t delim = ref.find_first_of("/?#");
    if (colon != npos && (delim == npos || colon < delim))
        return std::string(ref); // has a scheme of its own
    size_t baseColon = base.find(':');
    if (baseColon == npos)
        return std::string(ref);
    if (ref.substr(0, 2) == "//")
        return std::string(base.substr(0, baseColon + 1)) + std::string(ref);
    std::string root = SiteRoot(base);
    if (root.empty())
        return std::string(ref);
    std::string_view basePath = base.substr(root.size());
    size_t query = basePath.find_first_of("?#");
    std::string_view basePathOnly = basePath.substr(0, query);
    if (basePathOnly.empty())
        basePathOnly = "/";
    if (ref.empty())
        return std::string(base);
    if (ref.front() == '?' || ref.front() == '#')
        return root + std::string(basePathOnly) + std::string(ref);

    std::string target;
    if (ref.front() == '/') {
        target = std::string(ref);
    } else {
        size_t lastSlash = basePathOnly.rfind('/');
        target = std::string(basePathOnly.substr(0, lastSlash + 1)) + std::string(ref);
    }
    size_t refQuery = target.find_first_of("?#");
    std::string pathPart = target.substr(0, refQuery);
    std::string rest = refQuery == npos ? std::string() : target.substr(refQuery);
    return root + RemoveDotSegments(pathPart) + rest;
}

} // namespace vireo
