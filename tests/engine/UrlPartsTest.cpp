#include "engine/UrlParts.h"
#include "TempSettings.h"

#include <gtest/gtest.h>

using namespace vireo;

TEST(ParseUrl, SplitsAddressesIntoParts) {
    struct Case {
        const char* url;
        const char *scheme, *host;
        int port;
        const char *path, *credentials;
    } cases[] = {
        {"www.host.com", "http", "www.host.com", 80, "/", ""},
        {"http://h.x/a/b.zip?x=1#f", "http", "h.x", 80, "/a/b.zip?x=1#f", ""},
        {"HTTP://h.x/", "http", "h.x", 80, "/", ""},
        {"http://us%40er:p:w@h.x:81/p?q=1", "http", "h.x", 81, "/p?q=1", "us@er:p:w"},
        {"HTTP://h.x:8080/", "HTTP", "h.x", 8080, "/", ""}, // explicit port: scheme as written
        {"http://h.x:0/", "http", "h.x", 0, "/", ""},
        {"http://h.x:99999/", "http", "h.x", 0, "/", ""},
        {"ftp://h.x/pub/f", "ftp", "h.x", 21, "/pub/f", ""},
        {"pnm://h.x/clip.ra", "pnm", "h.x", 7070, "/clip.ra", ""},
        {"gopher2://h.x/", "gopher2", "h.x", 80, "/", ""},
        // An IPv6 literal: the host is the address without its brackets.
        {"http://[::1]:8080/x", "http", "::1", 8080, "/x", ""},
        {"http://u:p@[fe80::1]/", "http", "fe80::1", 80, "/", "u:p"},
        {"ftp://[2001:db8::7]", "ftp", "2001:db8::7", 21, "/", ""},
        {"http://localhost:8080/x", "http", "localhost", 8080, "/x", ""},
        // Consequences kept: scheme is the text before the first ':', the two characters
        // after it are skipped unchecked.
        {"host.x:8080/a", "host.x", "80", 80, "/a", ""},
        {"http:h.example/p", "http", "example", 80, "/p", ""},
    };
    for (const Case& c : cases) {
        UrlParts p;
        ParseUrl(c.url, p, 7070);
        EXPECT_EQ(p.scheme, c.scheme) << c.url;
        EXPECT_EQ(p.host, c.host) << c.url;
        EXPECT_EQ(p.port, c.port) << c.url;
        EXPECT_EQ(p.path, c.path) << c.url;
        EXPECT_EQ(p.credentials, c.credentials) << c.url;
    }
}

TEST(ParseUrl, KeepsEarlierCredentialsWhenTheUrlHasNone) {
    UrlParts p;
    p.credentials = "typed:secret";
    ParseUrl("http://h.x/f", p, 0);
    EXPECT_EQ(p.credentials, "typed:secret");
    ParseUrl("http://a:b@h.x/f", p, 0);
    EXPECT_EQ(p.credentials, "a:b");
}

TEST(ParseUrl, ServicesDatabaseNamesTheDefaultPort) {
    // rtsp is in the services database, so it does not take the pnm port setting.
    UrlParts p;
    ParseUrl("rtsp://h.x/a", p, 7070);
    EXPECT_EQ(p.port, 554);
    ParseUrl("http://h.x/a", p, 7070);
    EXPECT_EQ(p.port, 80);
}

TEST(ParseUrl, PnmPortComesFromTheSettings) {
    test::TempSettings temp;
    Settings().SetInt(keys::PnmPort, 9090);
    UrlParts p;
    ParseUrl("pnm://h.x/live", p);
    EXPECT_EQ(p.port, 9090);
}

TEST(NormalizeUrl, CompletesTypedAddresses) {
    struct Case {
        const char *in, *out;
    } cases[] = {
        {"host.com", "http://host.com/"},
        {"http://host.com", "http://host.com/"},
        {"http://host.com/dir", "http://host.com/dir"},
        {"http://host.com/dir/", "http://host.com/dir/"},
        {"host.com:8080/x", "http://host.com:8080/x"},
        {"ftp://h.x", "ftp://h.x/"},
        {"host.com/a", "http://host.com/a"},
        {"http://nas/x", "http://nas/x"},
        {"http://[::1]:8080", "http://[::1]:8080/"},
        // Bare text names a host only with a dot; a word stays as it is (and is refused).
        {"nas/x", "nas/x"},
        {"localhost:8080/x", "localhost:8080/x"},
        {"nohost", "nohost"},
        {"", "http://"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(NormalizeUrl(c.in), c.out) << c.in;
}

TEST(IsValidUrl, AcceptsAWrittenSchemeWithAnyHostAndBareTextOnlyWithADot) {
    struct Case {
        const char* url;
        bool valid;
    } cases[] = {
        {"http://h.x/a", true},
        {"http://localhost/", true},
        {"http://h.x/a b", false},
        {"pnm://h.x/a b.ra", true},
        {"PNM://h.x/a b.ra", true},
        {"rtsp://h.x/a b.rm", false},
        {"h.x/a", false},
        {"http:/", false},
        {"http:", false},
        {"http://a/b.c", true},
        {"ftp:/h.x", true},
        {"http://127.0.0.1:8080/f", true},
        {"mailto://a.b", true},
        {"http://nas/x", true},
        {"http://localhost:8080/x", true},
        {"http://u:p@nas:21/", true},
        {"http://[::1]:8080/x", true},
        {"http://[2001:db8::1]/", true},
        {"ftp://[::ffff:127.0.0.1]:2121/f", true},
        // No host, or one that is not a host.
        {"http:///x", false},
        {"http://:8080/x", false},
        {"http://u@/x", false},
        {"http://[::1/x", false},
        {"http://[]/x", false},
        {"http://[::1]x/", false},
        {"http://[nas]/", false},
        {"http://::1/x", false}, // an unbracketed IPv6 literal
        {"http://nas:80x/", false},
        {"ftp:/nas", false},
        // What NormalizeUrl leaves of bare text without a dot.
        {"nas/x", false},
        {"localhost:8080/x", false},
        {"nas:x/y.z", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsValidUrl(c.url), c.valid) << c.url;
}

// A control byte in an address would reach a request line or a command: such an address
// is never taken, whatever its scheme.
TEST(IsValidUrl, RefusesControlBytesAnywhere) {
    const std::string refused[] = {
        "http://victim.example/f.zip\tHTTP/1.1\r\nX-Injected:yes\r\nY:",
        "http://h.x/a\rb",
        "http://h.x/a\nb",
        "http://h.x/a\tb",
        std::string("http://h.x/a\0b", 14),
        "http://h.x/a\x7f",
        "http://h.x/a\x01",
        "http://h\r\n.x/a",
        "ftp://h.x/a\r\nDELE b",
        "pnm://h.x/a b\r\n.ra",
        "pnm://h.x/a\tb.ra",
    };
    for (const std::string& url : refused)
        EXPECT_FALSE(IsValidUrl(url)) << url;
    // Escaped, the same bytes are only text; bytes of 0x80 and above are not controls.
    EXPECT_TRUE(IsValidUrl("http://h.x/f.zip%09HTTP/1.1%0D%0A"));
    EXPECT_TRUE(IsValidUrl("http://h.x/caf\xc3\xa9.zip"));
}

TEST(UrlHelpers, ClassifyExtensionAndSiteRoot) {
    EXPECT_EQ(ClassifyScheme("HTTP://a.b/"), UrlHttp);
    EXPECT_EQ(ClassifyScheme("https://a.b/"), UrlHttp);
    EXPECT_EQ(ClassifyScheme("ftp://a.b/"), UrlFtp);
    EXPECT_EQ(ClassifyScheme("pnm://a.b/"), UrlPnm);
    EXPECT_EQ(ClassifyScheme("Rtsp://a.b/"), UrlPnm);
    EXPECT_EQ(ClassifyScheme("mailto:a@b.c"), UrlMailto);
    EXPECT_EQ(ClassifyScheme("gopher://a.b/"), UrlUnknown);
    EXPECT_EQ(ClassifyScheme("a.b/c"), UrlUnknown);

    struct Ext {
        const char *url, *ext;
    } exts[] = {{"http://h.x/a.zip", "zip"},
                {"http://h.x/dir/", ""},
                {"http://h.x/dir/page", ""},
                {"http://h.x", ""},
                {"http://h.x/a.b/c", ""},
                {"http://h.x/p?x=1.2", "2"},
                {"clip", ""}};
    for (const Ext& e : exts)
        EXPECT_EQ(UrlExtension(e.url), e.ext) << e.url;

    struct Root {
        const char *url, *root;
    } roots[] = {{"http://h.x/a/b", "http://h.x"},
                 {"ftp://u@h.x", "ftp://u@h.x"},
                 {"http:/h.x/a", ""},
                 {"http://", ""},
                 {"nocolon", ""},
                 {"a:///x", ""}};
    for (const Root& r : roots)
        EXPECT_EQ(SiteRoot(r.url), r.root) << r.url;
}
