#pragma once
// The addresses a downloaded page links to. Not an HTML parser: a byte scanner that takes
// the value after the '=' of every "href" seen inside angle brackets, honours a base tag,
// and completes each value against the page's own address. Pure; nothing is queued here.

#include <string>
#include <string_view>
#include <vector>

namespace vireo {

// Every link of page, made absolute, in page order. Empty when the page's directory is not
// a valid address. Values that never end before the page does are not taken.
std::vector<std::string> PageLinks(std::string_view page, std::string_view pageUrl);

// The address link names, seen from the directory base (a URL without its trailing '/').
// Single dots stay; each leading ".." climbs one directory, never above the host.
std::string ResolveLink(std::string_view link, std::string_view base);

} // namespace vireo
