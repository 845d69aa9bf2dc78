#include "downloads/PageLinks.h"

#include "engine/UrlParts.h"

namespace vireo {
namespace {

constexpr size_t npos = std::string::npos;

bool IsLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsAlnum(char c) {
    return IsLetter(c) || (c >= '0' && c <= '9');
}
char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

// Four bytes at pos equal word (lower case) regardless of case; the caller keeps pos + 4
// within the page.
bool WordAt(std::string_view page, size_t pos, std::string_view word) {
    for (size_t i = 0; i < word.size(); ++i)
        if (Lower(page[pos + i]) != word[i])
            return false;
    return true;
}

// The directory of an address: everything before its last '/'.
std::string_view CutAtLastSlash(std::string_view url) {
    size_t slash = url.rfind('/');
    return slash == npos ? url : url.substr(0, slash);
}

bool IsAbsoluteLink(std::string_view link) {
    size_t colon = link.find(':');
    if (colon == npos || link.size() <= colon + 6)
        return false;
    if (link[colon + 1] != '/' || link[colon + 2] != '/')
        return false;
    for (size_t i = 0; i < colon; ++i)
        if (!IsAlnum(link[i]))
            return false;
    return true;
}

} // namespace

std::string ResolveLink(std::string_view link, std::string_view base) {
    if (IsAbsoluteLink(link))
        return NormalizeUrl(link);
    if (!link.empty() && link.front() == '/')
        return NormalizeUrl(SiteRoot(base) + std::string(link));
    while (link.substr(0, 2) == "..") {
        size_t slash = base.rfind('/');
        if (slash == npos)
            break;
        // "scheme://host" has no directory left to climb out of.
        if (!(slash > 0 && base[slash - 1] == '/'))
            base = base.substr(0, slash);
        size_t linkSlash = link.find('/');
        if (linkSlash == npos)
            break;
        link.remove_prefix(linkSlash + 1);
    }
    std::string joined(base);
    joined += '/';
    joined += link;
    return NormalizeUrl(joined);
}

std::vector<std::string> PageLinks(std::string_view page, std::string_view pageUrl) {
    std::vector<std::string> links;
    std::string base(CutAtLastSlash(pageUrl));
    if (!IsValidUrl(base))
        return links;

    const size_t n = page.size();
    size_t tagStart = npos;   // last '<' outside a value
    size_t valueStart = npos; // first byte of the open value
    bool hrefSeen = false, unquoted = false, baseTag = false;

    for (size_t p = 0; p < n; ++p) {
        char c = page[p];
        if (valueStart != npos && (c == '"' || (unquoted && c == '>'))) {
            std::string_view value = page.substr(valueStart, p - valueStart);
            // A NUL in the page ends the value, as the end of the value itself does.
            value = value.substr(0, value.find('\0'));
            if (baseTag) {
                base = std::string(CutAtLastSlash(value));
                baseTag = false;
            } else {
                links.push_back(ResolveLink(value, base));
            }
            valueStart = npos;
            hrefSeen = false;
            unquoted = false;
        }
        if (hrefSeen && c == '=') {
            size_t v = p + 1;
            unquoted = true;
            while (v < n && page[v] == ' ')
                ++v, ++p;
            if (v < n && page[v] == '"')
                ++v, ++p, unquoted = false;
            valueStart = v;
            hrefSeen = false;
            continue; // p now stands on the value's first byte or the byte before it
        }
        if (valueStart != npos)
            continue;
        if (c == '<')
            tagStart = p;
        else if (c == '>')
            tagStart = npos;
        if (tagStart != npos && p + 5 < n && WordAt(page, p, "href")) {
            hrefSeen = true;
            size_t name = tagStart + 1;
            while (name < p && !IsLetter(page[name]))
                ++name;
            if (name + 5 <= p && WordAt(page, name, "base"))
                baseTag = true;
        }
    }
    return links;
}

} // namespace vireo
