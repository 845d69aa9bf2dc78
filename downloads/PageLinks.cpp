#include "downloads/PageLinks.h"

#include "engine/UrlParts.h"

#include <vector>

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
    // "://h.x/f" names no scheme: it is no address of its own.
    if (colon == npos || colon == 0 || link.size() <= colon + 6)
        return false;
    if (link[colon + 1] != '/' || link[colon + 2] != '/')
        return false;
    for (size_t i = 0; i < colon; ++i)
        if (!IsAlnum(link[i]))
            return false;
    return true;
}

// A directory address with its '/' positions found once, so that resolving a link against
// it costs the link's length and the length of the result, never a scan of the whole
// base: a page may pair a long base with many links, or a link with many "..".
class LinkBase {
public:
    explicit LinkBase(std::string text) : m_text(std::move(text)), m_root(SiteRoot(m_text)) {
        for (size_t i = 0; i < m_text.size(); ++i)
            if (m_text[i] == '/')
                m_slashes.push_back(i);
    }
    const std::string& Text() const { return m_text; }

    // The address, or empty when it would be longer than kMaxLinkLength.
    std::string Resolve(std::string_view link) const {
        if (IsAbsoluteLink(link))
            return link.size() > kMaxLinkLength ? std::string() : Bounded(NormalizeUrl(link));
        if (!link.empty() && link.front() == '/') {
            // A base whose site cannot be told gives no address for a site-relative link.
            if (m_root.empty() || m_root.size() + link.size() > kMaxLinkLength)
                return {};
            return Bounded(NormalizeUrl(m_root + std::string(link)));
        }
        size_t end = m_text.size();        // the base is m_text up to end
        size_t slashes = m_slashes.size(); // the '/' positions before end
        while (link.substr(0, 2) == "..") {
            if (slashes == 0)
                break;
            size_t slash = m_slashes[slashes - 1];
            // "scheme://host" has no directory left to climb out of.
            if (!(slash > 0 && m_text[slash - 1] == '/')) {
                end = slash;
                --slashes;
            }
            size_t linkSlash = link.find('/');
            if (linkSlash == npos)
                break;
            link.remove_prefix(linkSlash + 1);
        }
        if (end + 1 + link.size() > kMaxLinkLength)
            return {};
        std::string joined = m_text.substr(0, end);
        joined += '/';
        joined += link;
        return Bounded(NormalizeUrl(joined));
    }

private:
    static std::string Bounded(std::string url) {
        return url.size() > kMaxLinkLength ? std::string() : url;
    }

    std::string m_text;
    std::string m_root;
    std::vector<size_t> m_slashes;
};

} // namespace

std::string ResolveLink(std::string_view link, std::string_view base) {
    return LinkBase(std::string(base)).Resolve(link);
}

std::vector<std::string> PageLinks(std::string_view page, std::string_view pageUrl) {
    std::vector<std::string> links;
    LinkBase base{std::string(CutAtLastSlash(pageUrl))};
    if (!IsValidUrl(base.Text()))
        return links;

    const size_t n = page.size();
    size_t tagStart = npos;   // last '<' outside a value
    size_t valueStart = npos; // first byte of the open value
    size_t nameTag = npos;    // the tag whose name start is known ...
    size_t nameStart = 0;     // ... and where its name starts
    bool hrefSeen = false, unquoted = false, baseTag = false;

    for (size_t p = 0; p < n && links.size() < kMaxPageLinks; ++p) {
        char c = page[p];
        if (valueStart != npos && (c == '"' || (unquoted && c == '>'))) {
            std::string_view value = page.substr(valueStart, p - valueStart);
            // A NUL in the page ends the value, as the end of the value itself does.
            value = value.substr(0, value.find('\0'));
            if (baseTag) {
                // A base that is not absolute ("", "files/") is taken relative to the
                // current one, as browsers do; one that still makes no address is ignored
                // rather than turning every later link into no address at all.
                std::string next(CutAtLastSlash(value));
                if (!IsAbsoluteLink(value)) {
                    std::string resolved = base.Resolve(value);
                    next = resolved.empty() ? std::string() : std::string(CutAtLastSlash(resolved));
                }
                if (IsValidUrl(next))
                    base = LinkBase(std::move(next));
                baseTag = false;
            } else if (std::string link = base.Resolve(value); !link.empty()) {
                links.push_back(std::move(link));
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
            if (nameTag != tagStart) {
                // Once per tag: the first letter after the '<' (the 'h' here at the
                // latest) is the same for every later "href" of the tag.
                nameStart = tagStart + 1;
                while (nameStart < p && !IsLetter(page[nameStart]))
                    ++nameStart;
                nameTag = tagStart;
            }
            if (nameStart + 5 <= p && WordAt(page, nameStart, "base"))
                baseTag = true;
        }
    }
    return links;
}

} // namespace vireo
