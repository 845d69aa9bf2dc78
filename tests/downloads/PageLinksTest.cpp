#include "downloads/PageLinks.h"
#include "DocFixture.h"

#include <QFile>
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
    {"a base that is no address is taken relative to the current one",
     "<base href=\"\"><a href=\"x.zip\"><base href=\"sub/\"><a href=\"y.zip\">"
     "<base href=\":/\"><a href=\"z.zip\">",
     "http://h.x/dir/p.htm",
     {"http://h.x/dir/x.zip", "http://h.x/dir/sub/y.zip", "http://h.x/dir/sub/:/z.zip"}},
    {"a base or a link without a scheme before \"://\" is relative",
     "<base href=\"://o.y/files/\"><a href=\"/a.zip\"><a href=\"://o.y/b.zip\">",
     "http://h.x/dir/p.htm",
     {"http://h.x/a.zip", "http://h.x/dir/://o.y/files/://o.y/b.zip"}},
    {"a base whose site cannot be told gives no site-relative links",
     "<base href=\"ab://x./d/\"><base href=\"/\"><a href=\"/a.zip\"><a href=\"b.zip\">",
     "http://h.x/dir/p.htm",
     {"ab://x./b.zip"}},
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

// A base longer than a link may be makes every link relative to it too long: none is
// taken, however many the page holds.
TEST(PageLinks, ALongBaseGivesNoOverlongLinks) {
    std::string page = "<base href=\"http://h.x/" + std::string(10000, 'a') + "/\">";
    for (int i = 0; i < 2000; ++i)
        page += "<a href=\"\">";
    page += "<a href=\"http://o.y/kept.zip\"><a href=\"../b.zip\">";
    V links = PageLinks(page, "http://h.x/p.htm");
    ASSERT_EQ(links.size(), 2u); // not the 2000 long ones, whose text would flood the output
    EXPECT_EQ(links, (V{"http://o.y/kept.zip", "http://h.x/b.zip"}));
}

// The page that made the scanner's output grow with its square: a 100,000-byte base and
// 20,000 empty links, 320 KB in all.
TEST(PageLinks, TheOutputStaysBoundedOnAHostilePage) {
    std::string page = "<base href=\"http://h.x/" + std::string(100000, 'a') + "/\">";
    for (int i = 0; i < 20000; ++i)
        page += "<a href=\"\">";
    EXPECT_EQ(PageLinks(page, "http://h.x/p.htm").size(), 0u);

    // Climbing out of the long directory is allowed, and each step costs the same.
    std::string climb = page + "<a href=\"";
    for (int i = 0; i < 100000; ++i)
        climb += "../";
    climb += "x.zip\">";
    EXPECT_EQ(PageLinks(climb, "http://h.x/p.htm"), V{"http://h.x/x.zip"});
}

TEST(PageLinks, TakesAtMostTheLimitOfLinksOfLimitedLength) {
    std::string page = "<a href=\"http://o.y/" + std::string(kMaxLinkLength, 'l') + "\">";
    page += "<a href=\"http://o.y/" + std::string(kMaxLinkLength - 11, 'k') + "\">";
    page += "<a href=\"" + std::string(kMaxLinkLength, 'r') + "\">";
    for (size_t i = 0; i < kMaxPageLinks + 100; ++i)
        page += "<a href=\"f" + std::to_string(i) + ".zip\">";
    V links = PageLinks(page, "http://h.x/p.htm");
    ASSERT_EQ(links.size(), kMaxPageLinks);
    EXPECT_EQ(links[0].size(), kMaxLinkLength); // the longest that is taken
    EXPECT_EQ(links[1], "http://h.x/f0.zip");
    EXPECT_EQ(links.back(), "http://h.x/f" + std::to_string(kMaxPageLinks - 2) + ".zip");
    for (const std::string& link : links)
        ASSERT_LE(link.size(), kMaxLinkLength);
    EXPECT_EQ(ResolveLink("x", "http://h.x/" + std::string(kMaxLinkLength, 'd')), "");
}

// A harvested link that would write a header of its own into a request is dropped with
// the other invalid ones; the rest of the page is still queued.
class PageHarvest : public test::DocFixture {};

TEST_F(PageHarvest, LinksWithControlBytesAreNotQueued) {
    doc.harvestLinks = true;
    ASSERT_TRUE(doc.AddUrl("http://h.x/d/page.htm", false));
    doc.SetLinkToPage(0, true);
    QFile page(QString::fromStdString(doc.Item(0).TargetPath()));
    ASSERT_TRUE(page.open(QIODevice::WriteOnly));
    page.write("<a href=\"http://victim.example/f.zip\tHTTP/1.1\r\nX-Injected:yes\r\nY:\">"
               "<a href=\"a\x01"
               "b.zip\"><a href=\"ok.zip\">");
    page.close();
    doc.Fake(0).Finish();
    ASSERT_EQ(doc.ItemCount(), 2);
    EXPECT_EQ(doc.Item(1).Url(), "http://h.x/d/ok.zip");
}

} // namespace
