#include "downloads/PageLinks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace vireo;
using V = std::vector<std::string>;

namespace {

struct PageCase {
    const char* name;
    std::string page;
    const char* url;
    V links;
};

const PageCase kPages[] = {
    {"quoted, unquoted, parent and absolute values in page order",
     "<a href=\"a.zip\">A</a><a href=/top.zip>T</a><A HREF = \"../up.zip\">"
     "<a HREF =\"http://o.y/x.zip\">",
     "http://h.x/dir/index.htm",
     {"http://h.x/dir/a.zip", "http://h.x/top.zip", "http://h.x/up.zip", "http://o.y/x.zip"}},
    {"a base tag moves later relative links",
     "<a href=\"one.zip\"><base href=\"http://m.z/files/\"><a href=\"two.zip\">",
     "http://h.x/dir/p.htm",
     {"http://h.x/dir/one.zip", "http://m.z/files/two.zip"}},
    {"a base tag with a space after the '<', at the first byte",
     "< base href=\"http://m.z/files/\"><a href=\"b.zip\">",
     "http://h.x/p.htm",
     {"http://m.z/files/b.zip"}},
    {"single dots stay", "<a href=\"./b.zip\">", "http://h.x/dir/", {"http://h.x/dir/./b.zip"}},
    {"parents never climb above the host",
     "<a href=\"../../x\">",
     "http://h.x/p.htm",
     {"http://h.x/x"}},
    {"mailto has no slashes after its ':' and counts as relative",
     "<a href=\"mailto:me@h.x\">",
     "http://h.x/d/p.htm",
     {"http://h.x/d/mailto:me@h.x"}},
    {"an unquoted value runs to '>' spaces included",
     "<a href=a.htm target=x>",
     "http://h.x/p.htm",
     {"http://h.x/a.htm target=x"}},
    {"a '>' inside a quoted value does not end it",
     "<a href=\"a>b.zip\">",
     "http://h.x/p.htm",
     {"http://h.x/a>b.zip"}},
    {"href outside a tag is text", "href=\"no.zip\" <p>", "http://h.x/p.htm", {}},
    {"href inside another attribute's text takes the next value",
     "<img alt=\"xhref\" src=\"a.gif\">",
     "http://h.x/p.htm",
     {"http://h.x/a.gif"}},
    {"an invalid page directory stops the harvest", "<a href=\"http://o.y/x.zip\">", "nothing", {}},
    // Malformed and truncated pages: nothing read past the end, nothing half taken.
    {"href in the last five bytes", "<a href", "http://h.x/p.htm", {}},
    {"an '=' at the very end", "<a href=", "http://h.x/p.htm", {}},
    {"spaces to the end", "<a href=   ", "http://h.x/p.htm", {}},
    {"an opening quote at the end", "<a href= \"", "http://h.x/p.htm", {}},
    {"a value never closed", "<a href=\"a.zip", "http://h.x/p.htm", {}},
    {"a NUL inside a value ends it",
     std::string("<a href=\"a.zip\0junk\">", 20),
     "http://h.x/p.htm",
     {"http://h.x/a.zip"}},
    {"an empty page", "", "http://h.x/p.htm", {}},
};

TEST(PageLinks, FindsAndResolvesTheLinksOfEachPage) {
    for (const PageCase& c : kPages)
        EXPECT_EQ(PageLinks(c.page, c.url), c.links) << c.name;
}

TEST(PageLinks, ResolvesLinksAgainstADirectory) {
    struct {
        const char* link;
        const char* base;
        const char* url;
    } cases[] = {
        {"ftp://f.x/a.zip", "http://h.x/d", "ftp://f.x/a.zip"},
        {"a+b://f.x/a.zip", "http://h.x/d", "http://h.x/d/a+b://f.x/a.zip"},
        {"/r.zip", "http://h.x/d/e", "http://h.x/r.zip"},
        {"../a/../b.zip", "http://h.x/d/e", "http://h.x/d/a/../b.zip"},
        {"..", "http://h.x/d/e", "http://h.x/d/.."},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ResolveLink(c.link, c.base), c.url) << c.link << " from " << c.base;
}

// A page cut anywhere gives the links completed before the cut, never a half value. Each
// cut page sits in a buffer of exactly its size, so a sanitizer build sees any read past it.
TEST(PageLinks, APageCutAnywhereGivesTheLinksBeforeTheCut) {
    const std::string page = "< base href = \"http://m.z/f/\"><a href= \"a.zip\"><A HREF=b.zip>"
                             "<a href=\"../c\">x<a href";
    const V all = PageLinks(page, "http://h.x/d/p.htm");
    ASSERT_EQ(all, (V{"http://m.z/f/a.zip", "http://m.z/f/b.zip", "http://m.z/c"}));
    for (size_t n = 0; n <= page.size(); ++n) {
        std::vector<char> cut(page.begin(), page.begin() + std::ptrdiff_t(n));
        V links = PageLinks(std::string_view(cut.data(), n), "http://h.x/d/p.htm");
        ASSERT_LE(links.size(), all.size()) << n;
        EXPECT_TRUE(std::equal(links.begin(), links.end(), all.begin())) << n;
    }
}

TEST(PageLinks, ScansALargePageWithoutEndingInTheMiddle) {
    std::string page;
    for (int i = 0; i < 20000; ++i)
        page += "<p>text <a href=\"f" + std::to_string(i) + ".zip\">x</a> < > \" = href";
    std::vector<std::string> links = PageLinks(page, "http://h.x/p.htm");
    ASSERT_EQ(links.size(), 20000u);
    EXPECT_EQ(links.back(), "http://h.x/f19999.zip");
}

} // namespace
