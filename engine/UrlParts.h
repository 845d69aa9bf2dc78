#pragma once
// Addresses as the user gives them: split into the pieces a transfer needs, completed and
// checked before they are queued. Pure functions over byte strings; none of them fails
// loudly, a text that does not fit yields empty or default pieces.

#include <string>
#include <string_view>

namespace vireo {

struct UrlParts {
    std::string scheme;      // text before the first ':'
    std::string host;        // without user information and port
    int port = 0;            // explicit, else the scheme's default
    std::string path = "/";  // from the first '/' after the host, query included
    std::string credentials; // "user:password", percent-decoded; kept when the URL has none
};

enum UrlKind { UrlUnknown = 0, UrlHttp = 1, UrlFtp = 2, UrlPnm = 3, UrlMailto = 4 };

// Fills parts from url. parts.credentials is left as it was when the url carries no user
// information, so credentials typed earlier survive a restart. A pnm or rtsp URL without a
// port takes pnmPort (the "pnmport" setting) unless the services database names the scheme.
void ParseUrl(std::string_view url, UrlParts& parts, int pnmPort);
// As above, reading "pnmport" from the settings when it is needed.
void ParseUrl(std::string_view url, UrlParts& parts);

std::string NormalizeUrl(std::string_view url);
// False also for any control byte (0x00..0x1F, 0x7F), whatever the scheme.
bool IsValidUrl(std::string_view url);
// Whether text holds a byte below 0x20 or 0x7F.
bool HasControlByte(std::string_view text);
UrlKind ClassifyScheme(std::string_view url);
// Extension of the last path segment, or empty (no path, no '.', '.' before the last '/').
std::string UrlExtension(std::string_view url);
// "scheme://host", or empty when the text is not of that form.
std::string SiteRoot(std::string_view url);

} // namespace vireo

namespace vireo {
// The absolute address a reference (a Location value, a link) names, seen from base.
std::string ResolveUrl(std::string_view base, std::string_view ref);
} // namespace vireo
