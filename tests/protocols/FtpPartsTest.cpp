// The pieces of the FTP transfer that never touch a socket: replies fed whole, cut at
// every byte and one byte at a time; listing lines; data connection addresses.
#include "protocols/FtpDataPort.h"
#include "protocols/FtpListing.h"
#include "protocols/FtpReplyParser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace vireo;

namespace {
using std::string_literals::operator""s;

struct Taken {
    int code;
    std::vector<std::string> lines;
    size_t fed = 0; // input bytes fed when the reply came out
    bool operator==(const Taken& o) const { return code == o.code && lines == o.lines; }
};

// Feeds input in pieces cut at the given offsets and takes every reply as soon as it
// is complete.
std::vector<Taken> Parse(const std::string& input, const std::vector<size_t>& cuts,
                         size_t* pending = nullptr) {
    FtpReplyParser parser;
    std::vector<Taken> out;
    size_t from = 0;
    std::vector<size_t> ends = cuts;
    ends.push_back(input.size());
    for (size_t end : ends) {
        parser.Feed(input.data() + from, end - from);
        from = end;
        FtpReply reply;
        FtpReplyParser::Result r;
        while ((r = parser.Next(&reply)) == FtpReplyParser::Result::Reply)
            out.push_back({reply.code, reply.lines, end});
        EXPECT_NE(r, FtpReplyParser::Result::Error);
    }
    if (pending)
        *pending = parser.Pending();
    return out;
}

struct ReplyCase {
    const char* what;
    std::string input;
    std::vector<Taken> replies;
};

// Where each reply's final line ends in the input: the reply must come out right then.
std::vector<size_t> FinalLineEnds(const ReplyCase& c) {
    std::vector<size_t> ends;
    size_t from = 0;
    for (const Taken& t : c.replies) {
        size_t at = c.input.find(t.lines.back(), from);
        from = c.input.find('\n', at + t.lines.back().size()) + 1;
        ends.push_back(from);
    }
    return ends;
}

const std::vector<ReplyCase>& ReplyCases() {
    static const std::vector<ReplyCase> cases = {
        {"one line", "220 ready\r\n", {{220, {"220 ready"}}}},
        {"multi-line greeting",
         "220-first\r\n220-second\r\n220 ready\r\n",
         {{220, {"220-first", "220-second", "220 ready"}}}},
        {"inner lines need not carry the code",
         "230-Welcome\r\n text\r\n123 other code\r\n230-more\r\n230 ok\r\n",
         {{230, {"230-Welcome", " text", "123 other code", "230-more", "230 ok"}}}},
        {"another code and a space does not end it",
         "211-a\r\n212 b\r\n211 end\r\n",
         {{211, {"211-a", "212 b", "211 end"}}}},
        {"two replies in one read",
         "150 Opening\r\n226 Done\r\n",
         {{150, {"150 Opening"}}, {226, {"226 Done"}}}},
        {"bare LF ends lines", "220 hi\n331 pw\n", {{220, {"220 hi"}}, {331, {"331 pw"}}}},
        {"NUL and a bare CR stay inside the line",
         "220 a\0b\rc\r\n331 x\r\n"s,
         {{220, {"220 a\0b\rc"s}}, {331, {"331 x"}}}},
        {"lines that start no reply are skipped",
         "garbage\r\n\r\n2200 four digits\r\n22 short\r\n220 ok\r\n",
         {{220, {"220 ok"}}}},
        {"code alone", "226\r\n", {{226, {"226"}}}},
        {"a final line not yet ended waits", "150 a\r\n226 b\r", {{150, {"150 a"}}}},
    };
    return cases;
}
} // namespace

TEST(FtpReplyParser, RepliesComeOutWholeAndInOrderHoweverTheBytesAreCut) {
    for (const ReplyCase& c : ReplyCases()) {
        const std::string& in = c.input;
        EXPECT_EQ(Parse(in, {}), c.replies) << c.what << " (whole)";
        for (size_t cut = 1; cut < in.size(); ++cut)
            EXPECT_EQ(Parse(in, {cut}), c.replies) << c.what << " (cut at " << cut << ")";

        // One byte at a time: each reply comes out exactly when its final LF arrives.
        std::vector<size_t> every;
        for (size_t i = 1; i < in.size(); ++i)
            every.push_back(i);
        std::vector<Taken> trickled = Parse(in, every);
        std::vector<size_t> ends = FinalLineEnds(c);
        ASSERT_EQ(trickled.size(), c.replies.size()) << c.what;
        for (size_t i = 0; i < trickled.size(); ++i)
            EXPECT_EQ(trickled[i].fed, ends[i]) << c.what << ", reply " << i;
    }
}

TEST(FtpReplyParser, NothingIsTakenBeforeTheLineEnds) {
    FtpReplyParser parser;
    FtpReply reply;
    for (const char* piece : {"100", " single line response"}) {
        parser.Feed(piece);
        EXPECT_EQ(parser.Next(&reply), FtpReplyParser::Result::NeedMore) << piece;
    }
    parser.Feed("\r\n");
    ASSERT_EQ(parser.Next(&reply), FtpReplyParser::Result::Reply);
    EXPECT_EQ(reply.code, 100);
    EXPECT_EQ(parser.Pending(), 0u);
}

TEST(FtpReplyParser, ARepliesLengthIsBounded) {
    const size_t limit = FtpReplyParser::kMaxReply;
    struct Case {
        const char* what;
        std::string input;
        FtpReplyParser::Result result;
    } cases[] = {
        {"no line end", "220 " + std::string(limit, 'x'), FtpReplyParser::Result::Error},
        {"multi-line",
         "220-" + std::string(limit / 2, 'x') + "\r\n" + std::string(limit / 2, 'y') +
             "\r\n220 end\r\n",
         FtpReplyParser::Result::Error},
        {"skipped lines count", std::string(limit + 10, '\n') + "220 ok\r\n",
         FtpReplyParser::Result::Error},
        {"just below", "220-" + std::string(limit - 20, 'x') + "\r\n220 end\r\n",
         FtpReplyParser::Result::Reply},
    };
    for (const Case& c : cases) {
        FtpReplyParser parser;
        FtpReply reply;
        FtpReplyParser::Result r = FtpReplyParser::Result::NeedMore;
        // In reads of 4096 bytes, as a socket delivers them.
        for (size_t pos = 0; pos < c.input.size() && r == FtpReplyParser::Result::NeedMore;
             pos += 4096) {
            parser.Feed(c.input.data() + pos, std::min<size_t>(4096, c.input.size() - pos));
            r = parser.Next(&reply);
        }
        EXPECT_EQ(r, c.result) << c.what;
        if (r == FtpReplyParser::Result::Error) {
            parser.Feed("220 ok\r\n");
            EXPECT_EQ(parser.Next(&reply), FtpReplyParser::Result::Error) << c.what << ": sticks";
            EXPECT_LE(parser.Pending(), limit + 4096) << c.what;
        }
    }
}

TEST(FtpReplyParser, LogTextShowsControlBytesAsDots) {
    FtpReply reply{220, {"220-a\0b\rc"s, "220 d\te"}};
    EXPECT_EQ(reply.LogText(), "220-a.b.c\r\n220 d\te");
}

TEST(FtpListing, SizeOfTheFileLine) {
    struct Case {
        const char* line;
        int64_t size;
    } cases[] = {
        {"-rw-r--r--    1 0        0          123456 Jan 01 12:00 file.zip", 123456},
        {"-rw-r--r-- 1 ftp ftp 5000000000 Mar  3  2021 my big file.iso", 5000000000},
        {"-rw-r--r-- 1 u g 10 Jan 1 2020 a 5 Feb 3 2021 b", 10},
        {"-rw-r--r-- 1 owner 77 Dec 31 23:59 no group", 77},
        {"-rw-r--r-- 1 Jan users 42 Feb 2 2020 a", 42},
        {"-rw-r--r--+ 1 u g 9 jun 30 2001 acl", 9},
        {"lrwxrwxrwx 1 u g 7 Jan 1 10:00 link -> target", 7},
        // Not a Unix line: the size stands before the last four fields.
        {"123456 Jan 01 12:00 file.zip", 123456},
        {"x 2048 Sep 9 1999 f", 2048},
        {"total 12", -1},
        {"01-15-20  10:30AM  123456 file.zip", -1},
        {"-rw-r--r-- 1 u g big Jan 1 2020 f", -1},
        {"", -1},
        {"garbage", -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ListingSize(c.line), c.size) << c.line;
}

TEST(FtpDataPort, PortArgumentsAndPassiveReplies) {
    EXPECT_EQ(PortArgument("127.0.0.1", 1025), "127,0,0,1,4,1");
    EXPECT_EQ(PortArgument("10.1.2.3", 65535), "10,1,2,3,255,255");

    struct Case {
        const char* reply;
        int epsv;
        int pasv;
    } cases[] = {
        {"229 Entering Extended Passive Mode (|||6446|)", 6446, -1},
        {"229 ok (!!!1025!)", 1025, -1},
        {"229 (||6446|)", -1, -1},
        {"229 (|||abc|)", -1, -1},
        {"229 (|||0|)", -1, -1},
        {"229 (|||70000|)", -1, -1},
        {"227 Entering Passive Mode (127,0,0,1,25,46)", -1, 6446},
        {"227 =10,9,8,7,4,1", -1, 1025},
        {"227 (256,0,0,1,4,1)", -1, -1},
        {"227 (1,2,3,4,5)", -1, -1},
        {"227 (1,2,3,4,0,0)", -1, -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(EpsvPort(c.reply), c.epsv) << c.reply;
        EXPECT_EQ(PasvPort(c.reply), c.pasv) << c.reply;
    }
}
