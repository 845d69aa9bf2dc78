// The pieces of the HTTP transfer that never touch a socket, fed whole and cut at every
// byte.
#include "engine/UrlParts.h"
#include "protocols/ChunkedDecoder.h"
#include "protocols/HeaderTable.h"
#include "protocols/HttpRequest.h"
#include "protocols/Inflater.h"

#include <gtest/gtest.h>
#include <zlib.h>

using namespace vireo;

namespace {
const char kAccept[] = "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, "
                       "application/vnd ms-excel, application/msword, */*\r\n";

// Feeds input to a chunked decoder in pieces of the given size.
ChunkedDecoder::Result Dechunk(const std::string& input, size_t piece, std::string* out) {
    ChunkedDecoder d;
    ChunkedDecoder::Result r = ChunkedDecoder::Result::NeedMore;
    for (size_t pos = 0; pos < input.size() && r == ChunkedDecoder::Result::NeedMore;
         pos += piece) {
        r = d.Feed(input.data() + pos, std::min(piece, input.size() - pos),
                   [&](const char* p, size_t n) {
                       out->append(p, n);
                       return true;
                   });
    }
    return r;
}

std::string Deflate(const std::string& text, int windowBits) {
    z_stream z{};
    deflateInit2(&z, 6, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, uLong(text.size())) + 32, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z.avail_in = uInt(text.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = uInt(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}
} // namespace

TEST(HttpRequest, TemplatesByteForByte) {
    EXPECT_EQ(BuildHttpRequest("/a/b.zip", "h.x", 0, ""),
              std::string("GET /a/b.zip HTTP/1.1\r\n") + kAccept +
                  "Accept-Language: en-us,ru;q=0.5\r\nAccept-Encoding: gzip, deflate\r\n"
                  "User-Agent: Mozilla/4.0 (compatible; MSIE 4.0; Windows NT)\r\nHost: h.x\r\n"
                  "Extension: Security/Remote-passphrase\r\n\r\n");
    EXPECT_EQ(BuildHttpRequest("http://h.x/f", "h.x", 1000, ""),
              std::string("GET http://h.x/f HTTP/1.0\r\nUser-Agent: Corvid (Build 777) pro\r\n") +
                  kAccept + "Range: bytes=1000-\r\nHost: h.x\r\n\r\n");
    EXPECT_EQ(BuildHttpRequest("/f", "h.x", 0, "Basic dTpw"),
              std::string("GET /f HTTP/1.1\r\n") + kAccept +
                  "Accept-Language: en-us,ru;q=0.5\r\nAccept-Encoding: gzip, deflate\r\n"
                  "User-Agent: Mozilla/4.0 (compatible; MSIE 4.0; Windows NT)\r\nHost: h.x\r\n"
                  "Authorization: Basic dTpw\r\n\r\n");
    EXPECT_EQ(BuildHttpRequest("/f", "h.x", 5000000000LL, "Basic dTpw"),
              std::string("GET /f HTTP/1.0\r\nUser-Agent: Corvid (Build 777) pro\r\n") + kAccept +
                  "Range: bytes=5000000000-\r\nHost: h.x\r\nAuthorization: Basic dTpw\r\n\r\n");
}

// An address that reaches the builder with control bytes or spaces (from a redirect, say)
// still makes one request line and no header of its own.
TEST(HttpRequest, TheTargetNeverCarriesARawControlByteOrSpace) {
    std::string injected("/f.zip\tHTTP/1.1\r\nX-Injected:yes\r\nY: a\x7f\0b", 40);
    for (int64_t start : {int64_t(0), int64_t(1000)}) {
        std::string r = BuildHttpRequest(injected, "h.x", start, "");
        EXPECT_EQ(r.substr(0, r.find("\r\n")),
                  std::string("GET /f.zip%09HTTP/1.1%0D%0AX-Injected:yes%0D%0AY:%20a%7F%00b ") +
                      (start ? "HTTP/1.0" : "HTTP/1.1"));
        EXPECT_EQ(r.find("\nX-Injected"), std::string::npos);
        EXPECT_EQ(r.find('\t'), std::string::npos);
        EXPECT_EQ(r.find('\0'), std::string::npos);
    }
    // Escapes already in the address go out as they are.
    EXPECT_EQ(BuildHttpRequest("/a%20b?c=%0D", "h.x", 0, "").substr(0, 27),
              "GET /a%20b?c=%0D HTTP/1.1\r\n");
}

TEST(HttpRequest, TheHostNamesThePortUnlessItIsTheSchemesOwn) {
    struct Case {
        const char* scheme;
        int port;
        const char* host;
    } cases[] = {
        {"http", 80, "h.x"},         {"HTTP", 80, "h.x"},   {"http", 8080, "h.x:8080"},
        {"http", 443, "h.x:443"},    {"https", 443, "h.x"}, {"https", 80, "h.x:80"},
        {"https", 8443, "h.x:8443"}, {"ftp", 21, "h.x"},    {"ftp", 2121, "h.x:2121"},
        {"gopher", 80, "h.x"},       {"http", 0, "h.x:0"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(HostHeader("h.x", c.port, c.scheme), c.host) << c.scheme << " " << c.port;
    // An IPv6 literal is bracketed, so that its colons are not taken for the port's.
    EXPECT_EQ(HostHeader("::1", 8080, "http"), "[::1]:8080");
    EXPECT_EQ(HostHeader("2001:db8::1", 443, "https"), "[2001:db8::1]");
}

TEST(HeaderTable, FindsTheEndAndParsesLines) {
    EXPECT_EQ(HeaderTable::FindEnd("HTTP/1.0 200 OK\r\nA: b\r\n\r\nbody"), 25u);
    EXPECT_EQ(HeaderTable::FindEnd("HTTP/1.0 200 OK\nA: b\n\nbody"), 22u);
    EXPECT_EQ(HeaderTable::FindEnd("HTTP/1.0 200 OK\r\nA: b\r\n"), 0u);

    HeaderTable t;
    t.Parse("HTTP/1.1 206 Partial Content\r\ncontent-LENGTH: 500\r\nX:  two\r\nodd line\r\n"
            "Content-Range: bytes 1000-1499/1500\r\n\r\n");
    EXPECT_EQ(t.Status(), 206);
    ASSERT_EQ(t.Count(), 6u);
    EXPECT_EQ(t.Name(0), "HTTP/1.1 206 Partial Content");
    EXPECT_EQ(t.Value(2), " two"); // at most one space is skipped
    EXPECT_EQ(t.Name(3), "odd line");
    EXPECT_EQ(t.Value(3), "odd line");
    EXPECT_EQ(t.Name(5), "");
    EXPECT_EQ(t.FindNumber("Content-length"), 500);
    EXPECT_EQ(t.Find("missing"), "");
    EXPECT_EQ(t.FindNumber("missing"), -1);

    t.Parse("HTTP/1.0 302 Found\nLocation: /x\n\n");
    EXPECT_EQ(t.Status(), 302);
    EXPECT_EQ(t.Count(), 2u); // the LF LF ends the last line
    EXPECT_EQ(t.Find("location"), "/x");
    t.Parse("garbage\r\n\r\n");
    EXPECT_EQ(t.Status(), 0);
}

// Numbers from the wire are read to the last value that fits; one beyond it is told apart
// from a missing or non-numeric value.
TEST(HeaderTable, NumbersUpToTheLargestThatFits) {
    struct Case {
        const char* value;
        int64_t number;
    } cases[] = {
        {"0", 0},
        {" 42", 42},
        {"12abc", 12},
        {"9223372036854775807", INT64_MAX},
        {"9223372036854775808", HeaderTable::kTooLarge},
        {"99999999999999999999", HeaderTable::kTooLarge},
        {"00000000000000000000007", 7},
        {"abc", -1},
        {"", -1},
    };
    for (const Case& c : cases) {
        HeaderTable t;
        t.Parse(std::string("HTTP/1.1 200 OK\r\nContent-Length: ") + c.value + "\r\n\r\n");
        EXPECT_EQ(t.FindNumber("Content-Length"), c.number) << c.value;
    }
}

// A range answer whose numbers cannot all be true: the attempt that got it ends.
TEST(HeaderTable, ImpossibleRanges) {
    struct Case {
        const char* range;
        int64_t contentLength;
        bool possible;
    } cases[] = {
        {"bytes 200-209/210", 10, true},
        {"bytes 200-209/210", -1, true},
        {"bytes 200-209/*", 10, true},
        {"bytes 0-9223372036854775806/9223372036854775807", INT64_MAX, true},
        {"bytes 200-209/210", 9223372036854775799LL, false}, // held + length passes 2^63
        {"bytes 200-209/210", 11, false},
        {"bytes 200-100/210", -1, false},
        {"bytes 200-210/210", -1, false},
        {"bytes 1-9223372036854775806/*", INT64_MAX, false},
    };
    for (const Case& c : cases) {
        ContentRange r;
        ASSERT_TRUE(ParseContentRange(c.range, &r)) << c.range;
        EXPECT_EQ(RangeProblem(r, c.contentLength).empty(), c.possible)
            << c.range << " / " << c.contentLength << ": " << RangeProblem(r, c.contentLength);
    }
}

TEST(HeaderTable, ContentRanges) {
    struct Case {
        const char* text;
        bool ok;
        int64_t first, last, total;
    } cases[] = {
        {"bytes 1000-1499/1500", true, 1000, 1499, 1500},
        {"bytes */5368709120", true, -1, -1, 5368709120LL},
        {"bytes 0-9/*", true, 0, 9, -1},
        {"bytes=5-9/10", true, 5, 9, 10},
        {"items 1-2/3", false, -1, -1, -1},
        {"bytes 1-2", false, 1, 2, -1},
        {"", false, -1, -1, -1},
    };
    for (const Case& c : cases) {
        ContentRange r;
        EXPECT_EQ(ParseContentRange(c.text, &r), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(r.first, c.first) << c.text;
            EXPECT_EQ(r.last, c.last) << c.text;
            EXPECT_EQ(r.total, c.total) << c.text;
        }
    }
}

TEST(ChunkedDecoder, DecodesWholeAndCutAtEveryByte) {
    struct Case {
        std::string input, output;
        ChunkedDecoder::Result result;
    } cases[] = {
        {"5\r\nhello\r\n6;ext=1\r\n world\r\n0\r\n\r\n", "hello world",
         ChunkedDecoder::Result::Done},
        {"A\r\n0123456789\r\n0\r\nTrailer: x\r\n\r\n", "0123456789", ChunkedDecoder::Result::Done},
        {"3\nabc\n0\n\n", "abc", ChunkedDecoder::Result::Done},
        {"5\r\nhel", "hel", ChunkedDecoder::Result::NeedMore},
        {"zz\r\n", "", ChunkedDecoder::Result::Error},
        // Leading zeros are no size; sixteen hex digits past them would be.
        {"00000000000000000005\r\nhello\r\n0\r\n\r\n", "hello", ChunkedDecoder::Result::Done},
        {"10000000000000000\r\nx", "", ChunkedDecoder::Result::Error},
        {"FFFFFFFFFFFFFFFFF\r\nx", "", ChunkedDecoder::Result::Error},
        {"3\r\nabcX\r\n", "abc", ChunkedDecoder::Result::Error},
    };
    for (const Case& c : cases) {
        for (size_t piece = 1; piece <= c.input.size(); ++piece) {
            std::string out;
            EXPECT_EQ(Dechunk(c.input, piece, &out), c.result) << c.input << " / " << piece;
            EXPECT_EQ(out, c.output) << c.input << " / " << piece;
        }
    }
}

TEST(ChunkedDecoder, LeavesBytesAfterTheEnd) {
    ChunkedDecoder d;
    std::string input = "1\r\nx\r\n0\r\n\r\nNEXT";
    size_t used = 0;
    EXPECT_EQ(d.Feed(
                  input.data(), input.size(), [](const char*, size_t) { return true; }, &used),
              ChunkedDecoder::Result::Done);
    EXPECT_EQ(used, input.size() - 4);
}

TEST(Inflater, GzipZlibAndRawDeflateCutAnywhere) {
    std::string text;
    for (int i = 0; i < 20000; ++i)
        text += "line " + std::to_string(i) + "\n";
    for (int bits : {15 + 16, 15, -15}) {
        std::string coded = Deflate(text, bits);
        for (size_t piece : {size_t(1), size_t(7), size_t(4096), coded.size()}) {
            if (piece == 1 && bits != -15)
                continue; // byte-wise is slow; raw deflate covers the retry path below
            Inflater inflater;
            std::string out;
            Inflater::Result r = Inflater::Result::NeedMore;
            for (size_t pos = 0; pos < coded.size(); pos += piece)
                r = inflater.Feed(coded.data() + pos, std::min(piece, coded.size() - pos),
                                  [&](const char* p, size_t n) {
                                      out.append(p, n);
                                      return true;
                                  });
            EXPECT_EQ(r, Inflater::Result::Done) << bits << " / " << piece;
            EXPECT_TRUE(out == text) << bits << " / " << piece;
        }
    }
    Inflater broken;
    std::string garbage(100, '\xff');
    EXPECT_EQ(broken.Feed(garbage.data(), garbage.size(), [](const char*, size_t) { return true; }),
              Inflater::Result::Error);
}

// Gzip allows any number of members one after the other; the body is all of them.
TEST(Inflater, EveryGzipMemberCutAnywhere) {
    const std::string coded = Deflate("Hello, ", 15 + 16) + Deflate("World!\n", 15 + 16);
    for (size_t piece = 1; piece <= coded.size(); ++piece) {
        Inflater inflater;
        std::string out;
        Inflater::Result r = Inflater::Result::NeedMore;
        for (size_t pos = 0; pos < coded.size(); pos += piece)
            r = inflater.Feed(coded.data() + pos, std::min(piece, coded.size() - pos),
                              [&](const char* p, size_t n) {
                                  out.append(p, n);
                                  return true;
                              });
        EXPECT_EQ(r, Inflater::Result::Done) << piece;
        EXPECT_TRUE(inflater.IsDone()) << piece;
        EXPECT_EQ(out, "Hello, World!\n") << piece;
    }
}

// A body is whole only where a member ends; anything after the last member that is not a
// member of its own is an error, not an end.
TEST(Inflater, WholeOnlyAtTheEndOfAMember) {
    const std::string one = Deflate("Hello, ", 15 + 16), two = Deflate("World!\n", 15 + 16);
    struct Case {
        const char* what;
        std::string coded;
        Inflater::Result result;
        bool done;
    } cases[] = {
        {"second member cut", one + two.substr(0, two.size() - 3), Inflater::Result::NeedMore,
         false},
        {"second member's header only", one + two.substr(0, 5), Inflater::Result::NeedMore, false},
        {"garbage after a member", one + "garbage!", Inflater::Result::Error, false},
        {"zlib stream then more", Deflate("Hello", 15) + "x", Inflater::Result::Error, false},
    };
    for (const Case& c : cases) {
        Inflater inflater;
        EXPECT_EQ(
            inflater.Feed(c.coded.data(), c.coded.size(), [](const char*, size_t) { return true; }),
            c.result)
            << c.what;
        EXPECT_EQ(inflater.IsDone(), c.done) << c.what;
    }
}

// A gzip header whose name never ends produces nothing; what is kept of it for a retry
// as raw deflate stays small.
TEST(Inflater, KeepsLittleOfAStreamThatProducesNothing) {
    Inflater inflater;
    std::string head("\x1f\x8b\x08\x08\0\0\0\0\0\x03", 10); // FNAME set
    ASSERT_EQ(inflater.Feed(head.data(), head.size(), [](const char*, size_t) { return true; }),
              Inflater::Result::NeedMore);
    std::string name(1 << 20, 'n');
    for (int i = 0; i < 16; ++i)
        ASSERT_EQ(inflater.Feed(name.data(), name.size(), [](const char*, size_t) { return true; }),
                  Inflater::Result::NeedMore);
    EXPECT_LE(inflater.BufferedBytes(), Inflater::kMaxHeld);
}

TEST(ResolveUrl, RelativeLocations) {
    struct Case {
        const char *base, *ref, *out;
    } cases[] = {
        {"http://h.x/a/b.html", "c.zip", "http://h.x/a/c.zip"},
        {"http://h.x/a/b.html", "/top.zip", "http://h.x/top.zip"},
        {"http://h.x/a/b/c", "../d", "http://h.x/a/d"},
        {"http://h.x/a/b?q=1", "?r=2", "http://h.x/a/b?r=2"},
        {"http://h.x:8080/a/", "./", "http://h.x:8080/a/"},
        {"https://h.x/a", "//o.y/z", "https://o.y/z"},
        {"http://h.x/a", "ftp://o.y/z", "ftp://o.y/z"},
        {"http://h.x", "f", "http://h.x/f"},
        {"http://h.x/a/b", "../../../x", "http://h.x/x"},
        {"http://h.x/a/b", "c?x=/y:z", "http://h.x/a/c?x=/y:z"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ResolveUrl(c.base, c.ref), c.out) << c.base << " + " << c.ref;
}

// A run's agent replaces the fixed User-Agent line; its own lines follow the request's, in
// both request forms; a line with a control byte is never sent.
TEST(HttpRequest, TheRunsAgentAndLinesJoinEveryRequest) {
    SetRequestExtras({"probe/1.0", {"X-Trace: abc", "Cookie: a=b", "X-Bad: a\r\nInjected: 1"}});
    std::string fresh = BuildHttpRequest("/f", "h.x", 0, "");
    std::string resume = BuildHttpRequest("/f", "h.x", 100, "", "\"e\"");
    SetRequestExtras({});
    for (const std::string& r : {fresh, resume}) {
        EXPECT_EQ(r.find("User-Agent: Mozilla"), std::string::npos) << r;
        EXPECT_EQ(r.find("User-Agent: Corvid"), std::string::npos) << r;
        EXPECT_NE(r.find("\r\nUser-Agent: probe/1.0\r\n"), std::string::npos) << r;
        EXPECT_EQ(r.substr(r.size() - 29), "X-Trace: abc\r\nCookie: a=b\r\n\r\n") << r;
        EXPECT_EQ(r.find("Injected"), std::string::npos) << r;
    }
    EXPECT_NE(resume.find("If-Range: \"e\"\r\nX-Trace: abc"), std::string::npos) << resume;
    EXPECT_NE(BuildHttpRequest("/f", "h.x", 0, "").find("User-Agent: Mozilla"), std::string::npos);
}
