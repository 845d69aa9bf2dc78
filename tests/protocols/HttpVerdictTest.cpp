// The judging of a complete response header, without a socket: one row per kind of
// answer and the request facts that change its meaning.
#include "protocols/HttpVerdict.h"
#include "protocols/HttpMetafile.h"

#include <gtest/gtest.h>

using namespace vireo;
using Kind = HttpVerdict::Kind;

namespace {
HeaderTable Header(const std::string& lines) {
    HeaderTable h;
    h.Parse(lines + "\r\n");
    return h;
}

const char* KindName(Kind k) {
    switch (k) {
    case Kind::Body:
        return "Body";
    case Kind::Redirect:
        return "Redirect";
    case Kind::Retry:
        return "Retry";
    case Kind::StartOver:
        return "StartOver";
    case Kind::Whole:
        return "Whole";
    case Kind::Fail:
        return "Fail";
    }
    return "?";
}

FileValidators Stored(const std::string& etag, const std::string& modified, int64_t total) {
    FileValidators v;
    v.etag = etag;
    v.lastModified = modified;
    v.total = total;
    return v;
}
} // namespace

// Every answer that is not a body: what the transfer does and why.
TEST(HttpVerdict, AnswersThatAreNoBody) {
    struct Case {
        const char* what;
        std::string header;
        int64_t held;
        bool proxy, wholeUrl;
        Kind kind;
        int code;
        std::string detail; // the redirect's address, or why the file starts over
        std::string cause;
        bool askWholeUrl;
    } cases[] = {
        {"relative redirect", "HTTP/1.1 302 Found\r\nLocation: ../b/c.zip\r\n", 0, false, false,
         Kind::Redirect, 0, "http://h.x/b/c.zip", "", false},
        {"permanent redirect elsewhere", "HTTP/1.1 308 Moved\r\nLocation:  https://o.y/z \r\n", 0,
         false, false, Kind::Redirect, 0, "https://o.y/z", "", false},
        {"redirect without a location", "HTTP/1.1 301 Moved\r\n", 0, false, false, Kind::Retry, 0,
         "", "", false},
        {"login wanted", "HTTP/1.1 401 Unauthorized\r\n", 0, false, false, Kind::Fail, 401, "",
         "HTTP 401 Unauthorized", false},
        {"404 asks again with the whole address", "HTTP/1.1 404 Not Found\r\n", 0, false, false,
         Kind::Retry, 0, "", "HTTP 404 Not Found", true},
        {"400 asks again with the whole address", "HTTP/1.0 400 Bad\r\n", 0, false, false,
         Kind::Retry, 0, "", "HTTP 400 Bad", true},
        {"404 with the whole address asked already", "HTTP/1.1 404 Not Found\r\n", 0, false, true,
         Kind::Fail, 404, "", "HTTP 404 Not Found", false},
        {"404 from the proxy", "HTTP/1.1 404 Not Found\r\n", 0, true, false, Kind::Fail, 404, "",
         "HTTP 404 Not Found", false},
        {"403 fails at once", "HTTP/1.1 403 Forbidden\r\n", 0, false, false, Kind::Fail, 403, "",
         "HTTP 403 Forbidden", false},
        {"server error retries", "HTTP/1.1 503 Service Unavailable\r\n", 0, false, false,
         Kind::Retry, 0, "", "HTTP 503 Service Unavailable", false},
        {"status line without words", "HTTP/1.1\r\n", 0, false, false, Kind::Retry, 0, "", "HTTP 0",
         false},
        {"416 with the whole file held", "HTTP/1.1 416 Range\r\nContent-Range: bytes */1000\r\n",
         1000, false, false, Kind::Whole, 0, "", "HTTP 416 Range", false},
        {"416 for a shorter file", "HTTP/1.1 416 Range\r\nContent-Range: bytes */600\r\n", 1000,
         false, false, Kind::StartOver, 0,
         "the file on the server is 600 bytes, shorter than the 1000 on disk", "HTTP 416 Range",
         false},
        {"416 without a range", "HTTP/1.1 416 Range\r\n", 1000, false, false, Kind::Fail, 416, "",
         "HTTP 416 Range", false},
        {"416 with nothing held", "HTTP/1.1 416 Range\r\nContent-Range: bytes */0\r\n", 0, false,
         false, Kind::Fail, 416, "", "HTTP 416 Range", false},
        {"range elsewhere, part held",
         "HTTP/1.1 206 Partial\r\nContent-Range: bytes 0-99/100\r\nContent-Length: 100\r\n", 40,
         false, false, Kind::StartOver, 0, "range does not start at 40", "", false},
        {"range without its header, part held", "HTTP/1.1 206 Partial\r\n", 40, false, false,
         Kind::StartOver, 0, "range does not start at 40", "", false},
        {"range elsewhere, nothing held", "HTTP/1.1 206 Partial\r\nContent-Range: bytes 5-9/10\r\n",
         0, false, false, Kind::Retry, 0, "", "", false},
        {"compressed range",
         "HTTP/1.1 206 Partial\r\nContent-Range: bytes 40-99/100\r\nContent-Encoding: gzip\r\n", 40,
         false, false, Kind::StartOver, 0, "range does not start at 40", "", false},
        {"range longer than its length",
         "HTTP/1.1 206 Partial\r\nContent-Range: bytes 40-99/100\r\nContent-Length: 61\r\n", 40,
         false, false, Kind::Retry, 0, "", "", false},
        {"length past 2^63", "HTTP/1.1 200 OK\r\nContent-Length: 9223372036854775808\r\n", 0, false,
         false, Kind::Retry, 0, "", "", false},
    };
    for (const Case& c : cases) {
        HttpAsked asked;
        asked.url = "http://h.x/a/f.zip";
        asked.held = c.held;
        asked.viaProxy = c.proxy;
        asked.wholeUrl = c.wholeUrl;
        HttpVerdict v = JudgeHttpResponse(Header(c.header), asked);
        EXPECT_STREQ(KindName(v.kind), KindName(c.kind)) << c.what;
        EXPECT_EQ(v.code, c.code) << c.what;
        EXPECT_EQ(v.kind == Kind::Redirect ? v.url : v.why, c.detail) << c.what;
        EXPECT_EQ(v.cause, c.cause) << c.what;
        EXPECT_EQ(v.askWholeUrl, c.askWholeUrl) << c.what;
        EXPECT_EQ(v.askCredentials, c.code == 401) << c.what;
    }
}

// The lines the transfer logs before it acts, for the answers that have them.
TEST(HttpVerdict, RecordsComeBeforeTheAction) {
    struct Case {
        std::string header;
        int64_t held;
        std::vector<HttpVerdict::Record> records;
    } cases[] = {
        {"HTTP/1.1 302 Found\r\nLocation: /x\r\n", 0, {{"redirect to location: /x", '!'}}},
        {"HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999\r\n",
         0,
         {{"impossible Content-Length: 99999999999999999999", 'E'}}},
        {"HTTP/1.1 206 P\r\nContent-Range: bytes 5-9/10\r\n",
         0,
         {{"range does not start at 0", 'E'}}},
        {"HTTP/1.1 206 P\r\nContent-Range: bytes 40-30/100\r\n",
         40,
         {{"impossible range: it ends before it starts", 'E'}}},
        {"HTTP/1.1 200 OK\r\nContent-Encoding: br\r\nContent-Length: 5\r\n",
         0,
         {{"unknown content coding: br", 'E'}}},
        {"HTTP/1.1 200 OK\r\nContent-Length: 5\r\n",
         3,
         {{"the server sends the whole file again, starting over from its first byte", '!'}}},
    };
    for (const Case& c : cases) {
        HttpAsked asked;
        asked.url = "http://h.x/f";
        asked.held = c.held;
        HttpVerdict v = JudgeHttpResponse(Header(c.header), asked);
        ASSERT_EQ(v.records.size(), c.records.size()) << c.header;
        for (size_t i = 0; i < c.records.size(); ++i) {
            if (c.records[i].text.rfind("impossible range", 0) == 0)
                EXPECT_EQ(v.records[i].text.rfind("impossible range: ", 0), 0u) << c.header;
            else
                EXPECT_EQ(v.records[i], c.records[i]) << c.header;
        }
    }
}

// Accepted answers: how the body reaches the file and what is kept of the server's word.
TEST(HttpVerdict, BodiesSizesAndValidators) {
    struct Case {
        const char* what;
        std::string header;
        int64_t held;
        FileValidators stored;
        int64_t size, wireLength;
        bool chunked, inflate, fromFirstByte, store;
        int64_t storedTotal;
    } cases[] = {
        {"plain file",
         "HTTP/1.1 200 OK\r\nContent-Length: 500\r\nETag: \"a\"\r\n",
         0,
         {},
         500,
         -1,
         false,
         false,
         false,
         true,
         500},
        {"unknown length", "HTTP/1.0 200 OK\r\n", 0, {}, 0, -1, false, false, false, true, -1},
        {"chunked",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n",
         0,
         {},
         0,
         -1,
         true,
         false,
         false,
         true,
         -1},
        {"gzip with a length",
         "HTTP/1.1 200 OK\r\nContent-Encoding: x-gzip\r\nContent-Length: 70\r\n",
         0,
         {},
         0,
         70,
         false,
         true,
         false,
         true,
         -1},
        {"identity is no coding",
         "HTTP/1.1 200 OK\r\nContent-Encoding: identity\r\nContent-Length: 7\r\n",
         0,
         {},
         7,
         -1,
         false,
         false,
         false,
         true,
         7},
        {"the rest, same version",
         "HTTP/1.1 206 P\r\nContent-Range: bytes 40-99/100\r\nContent-Length: 60\r\nETag: "
         "\"a\"\r\n",
         40, Stored("\"a\"", "", 100), 100, -1, false, false, false, false, 100},
        {"the rest without a length", "HTTP/1.1 206 P\r\nContent-Range: bytes 40-99/100\r\n", 40,
         Stored("", "", -1), 100, -1, false, false, false, true, 100},
        {"the whole file instead of the rest", "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n", 40,
         Stored("\"a\"", "", 100), 100, -1, false, false, true, true, 100},
    };
    for (const Case& c : cases) {
        HttpAsked asked;
        asked.url = "http://h.x/f";
        asked.held = c.held;
        asked.stored = c.stored;
        HttpVerdict v = JudgeHttpResponse(Header(c.header), asked);
        ASSERT_STREQ(KindName(v.kind), "Body") << c.what;
        EXPECT_EQ(v.size, c.size) << c.what;
        EXPECT_EQ(v.body.size, c.size) << c.what;
        EXPECT_EQ(v.body.wireLength, c.wireLength) << c.what;
        EXPECT_EQ(v.body.chunked, c.chunked) << c.what;
        EXPECT_EQ(v.body.inflate, c.inflate) << c.what;
        EXPECT_EQ(v.body.fromFirstByte, c.fromFirstByte) << c.what;
        EXPECT_EQ(v.body.storeValidators, c.store) << c.what;
        if (c.store)
            EXPECT_EQ(v.body.validators.total, c.storedTotal) << c.what;
    }
    HttpAsked empty;
    EXPECT_TRUE(
        JudgeHttpResponse(Header("HTTP/1.1 204 No\r\nContent-Length: 0\r\n"), empty).body.Empty());
    EXPECT_FALSE(JudgeHttpResponse(Header("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n"
                                          "Transfer-Encoding: chunked\r\n"),
                                   empty)
                     .body.Empty());
}

// A range answer appends only to the version of the file the part on disk came from.
TEST(HttpVerdict, ARangeOfAnotherVersionStartsOver) {
    const std::string range =
        "HTTP/1.1 206 P\r\nContent-Range: bytes 40-99/100\r\nContent-Length: 60\r\n";
    struct Case {
        FileValidators stored;
        std::string more;
        std::string why; // empty: appended
    } cases[] = {
        {Stored("", "", 120), "", "the file on the server is 100 bytes now, not 120"},
        {Stored("\"a\"", "", -1), "ETag: \"b\"\r\n",
         "the file on the server has the tag \"b\" now, not \"a\""},
        {Stored("\"a\"", "", -1), "ETag: W/\"b\"\r\n", ""}, // a weak tag names no version
        {Stored("", "Mon, 01 Jan 2024 00:00:00 GMT", -1),
         "Last-Modified: Tue, 02 Jan 2024 00:00:00 GMT\r\n",
         "the file on the server was modified Tue, 02 Jan 2024 00:00:00 GMT, not Mon, 01 Jan "
         "2024 00:00:00 GMT"},
        {Stored("\"a\"", "Mon, 01 Jan 2024 00:00:00 GMT", -1),
         "ETag: \"a\"\r\nLast-Modified: Tue, 02 Jan 2024 00:00:00 GMT\r\n", ""}, // the tag rules
        {Stored("", "", -1), "ETag: \"b\"\r\n", ""},
    };
    for (const Case& c : cases) {
        HttpAsked asked;
        asked.held = 40;
        asked.stored = c.stored;
        HttpVerdict v = JudgeHttpResponse(Header(range + c.more), asked);
        EXPECT_STREQ(KindName(v.kind), c.why.empty() ? "Body" : "StartOver") << c.more;
        EXPECT_EQ(v.why, c.why) << c.more;
    }
}

TEST(HttpMetafile, AddressesOneALine) {
    std::optional<MetafileLinks> links =
        ReadMetafile(std::string("; pnm://a/1.ra \r\npnm://b/2.ra\n\rrtsp://c/3\0junk", 45));
    ASSERT_TRUE(links);
    EXPECT_EQ(links->target, "pnm://a/1.ra");
    EXPECT_EQ(links->more, (std::vector<std::string>{"pnm://b/2.ra", "", "rtsp://c/3"}));
    links = ReadMetafile("pnm://a/1.ra\n");
    ASSERT_TRUE(links);
    EXPECT_TRUE(links->more.empty());
    EXPECT_FALSE(ReadMetafile(std::string("\0pnm://a", 8)));

    EXPECT_TRUE(IsMetafile(" Audio/X-PN-RealAudio ", "pnm://x"));
    EXPECT_FALSE(IsMetafile("audio/x-pn-realaudio", ".RMF\0\0\0"));
    EXPECT_FALSE(IsMetafile("audio/x-realaudio", ".ra\xfd"));
    EXPECT_FALSE(IsMetafile("audio/x-realaudio", "pnm:"));
    EXPECT_FALSE(IsMetafile("text/plain", "pnm://x"));
}

// The answer to one segment's request for bytes 100-199 of the version tagged "v1".
TEST(SegmentVerdict, Table) {
    using SKind = SegmentVerdict::Kind;
    struct Row {
        const char* header;
        SKind kind;
        int64_t last;
        bool sameFile;
    } rows[] = {
        {"HTTP/1.1 206 P\r\nContent-Range: bytes 100-199/1000\r\nContent-Length: 100\r\n"
         "ETag: \"v1\"\r\n",
         SKind::Body, 199, false},
        // A shorter range than asked is taken; the rest is asked for again.
        {"HTTP/1.1 206 P\r\nContent-Range: bytes 100-149/1000\r\n", SKind::Body, 149, false},
        {"HTTP/1.1 206 P\r\nContent-Range: bytes 0-199/1000\r\n", SKind::Retry, -1, false},
        {"HTTP/1.1 206 P\r\nContent-Range: bytes 100-299/1000\r\n", SKind::Retry, -1, false},
        {"HTTP/1.1 206 P\r\nContent-Range: bytes 100-199/1000\r\nContent-Length: 7\r\n",
         SKind::Retry, -1, false},
        {"HTTP/1.1 206 P\r\nContent-Range: bytes 100-199/1000\r\nContent-Encoding: gzip\r\n",
         SKind::Retry, -1, false},
        {"HTTP/1.1 206 P\r\nContent-Range: bytes 100-199/1000\r\nETag: \"v2\"\r\n",
         SKind::StartOver, -1, false},
        {"HTTP/1.1 206 P\r\nContent-Range: bytes 100-199/2000\r\n", SKind::StartOver, -1, false},
        {"HTTP/1.1 200 OK\r\nContent-Length: 1000\r\nETag: \"v1\"\r\n", SKind::WholeFile, -1, true},
        {"HTTP/1.1 200 OK\r\nContent-Length: 1000\r\nETag: \"v2\"\r\n", SKind::WholeFile, -1,
         false},
        {"HTTP/1.1 200 OK\r\nContent-Length: 1200\r\n", SKind::WholeFile, -1, false},
        {"HTTP/1.1 416 R\r\nContent-Range: bytes */50\r\n", SKind::StartOver, -1, false},
        {"HTTP/1.1 302 F\r\nLocation: /g.bin\r\n", SKind::Redirect, -1, false},
        {"HTTP/1.1 503 Busy\r\n", SKind::Retry, -1, false},
        {"HTTP/1.1 404 Gone\r\n", SKind::Retry, -1, false},
    };
    SegmentAsked asked;
    asked.url = "http://h.x/f.bin";
    asked.first = 100;
    asked.last = 199;
    asked.stored = Stored("\"v1\"", "", 1000);
    for (const Row& row : rows) {
        SegmentVerdict v = JudgeSegmentResponse(Header(row.header), asked);
        EXPECT_EQ(int(v.kind), int(row.kind)) << row.header;
        if (row.kind == SKind::Body)
            EXPECT_EQ(v.last, row.last) << row.header;
        if (row.kind == SKind::WholeFile)
            EXPECT_EQ(v.sameFile, row.sameFile) << row.header;
        if (row.kind == SKind::Redirect)
            EXPECT_EQ(v.url, "http://h.x/g.bin");
    }
}
