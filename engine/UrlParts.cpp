#include "engine/UrlParts.h"

#include "common/AsciiCase.h"
#include "engine/TextCoding.h"
#include "settings/SettingsStore.h"

#include <netdb.h>
#include <netinet/in.h>

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
        PercentDecode(parts.credentials);
        hostPart.remove_prefix(at + 1);
    }

    if (size_t portColon = hostPart.find(':'); portColon != npos) {
        parts.port = LeadingDecimal(hostPart.substr(portColon + 1));
        parts.host = std::string(hostPart.substr(0, portColon));
    } else {
        parts.host = std::string(hostPart);
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
    if (colon == npos) {
        text = "http://" + text;
    } else if (colon + 1 >= text.size() || text[colon + 1] != '/') {
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

bool IsValidUrl(std::string_view url) {
    size_t colon = url.find(':');
    if (colon == npos || url.size() < colon + 3)
        return false;
    if (url[colon + 1] != '/' && url[colon + 2] != '/')
        return false;
    bool dot = false;
    for (size_t i = colon + 3; i < url.size() && url[i] != '/'; ++i) {
        if (url[i] == '.') {
            dot = true;
            break;
        }
    }
    if (!dot)
        return false;
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
