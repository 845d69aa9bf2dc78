#pragma once
// The addresses a downloaded page links to. Not an HTML parser: a byte scanner that takes
// the value after the '=' of every "href" seen inside angle brackets, honours a base tag,
// and completes each value against the page's own address. Pure; nothing is queued here.

#include <string>
#include <string_view>
#include <vector>

namespace vireo {

// A page is the server's text, not the user's: what one page may queue is bounded. A link
// longer than this many bytes once resolved is not taken (servers commonly refuse
// addresses of that size anyway) ...
inline constexpr size_t kMaxLinkLength = 4096;
// ... and links past this many are not taken from one page.
inline constexpr size_t kMaxPageLinks = 25000;

// Every link of page, made absolute, in page order, at most kMaxPageLinks of them. Empty
// when the page's directory is not a valid address. Values that never end before the
// page does are not taken, nor links longer than kMaxLinkLength. The work and the output
// grow with the page, never with its square.
std::vector<std::string> PageLinks(std::string_view page, std::string_view pageUrl);

// The address link names, seen from the directory base (a URL without its trailing '/'),
// or empty when it would be longer than kMaxLinkLength. Single dots stay; each leading
// ".." climbs one directory, never above the host.
std::string ResolveLink(std::string_view link, std::string_view base);

} // namespace vireo
