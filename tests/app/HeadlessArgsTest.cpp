#include "app/CommandLine.h"

#include <gtest/gtest.h>

using namespace vireo;

namespace {
ParsedArgs Parse(std::vector<std::string> args) {
    return ParseArgs(args);
}
} // namespace

TEST(HeadlessArgs, AcceptsEveryFormOfTheOptions) {
    ParsedArgs p = Parse({"--headless", "-d", "/tmp/a", "-j4", "--input=l1.txt", "-i", "l2.txt",
                          "-q", "h.x/f.zip", "--", "-odd.x/name"});
    ASSERT_EQ(p.action, ParsedArgs::Run) << p.error;
    EXPECT_TRUE(p.options.headless);
    EXPECT_EQ(p.options.dir, "/tmp/a");
    EXPECT_EQ(p.options.jobs, 4);
    EXPECT_EQ(p.options.inputs, (std::vector<std::string>{"l1.txt", "l2.txt"}));
    EXPECT_TRUE(p.options.quiet);
    EXPECT_EQ(p.options.urls, (std::vector<std::string>{"h.x/f.zip", "-odd.x/name"}));

    p = Parse({"-o", "out/f.bin", "--proxy=http://p.lan:3128", "--user", "u:p", "--timeout", "5",
               "--tries=3", "--header", "X-A: 1", "--header=X-B: 2", "--user-agent", "probe/1",
               "--ftp-passive", "--ca-certificate", "ca.pem", "--log-dir", "logs", "http://h.x/a"});
    ASSERT_EQ(p.action, ParsedArgs::Run) << p.error;
    EXPECT_EQ(p.options.output, "out/f.bin");
    EXPECT_EQ(p.options.proxy, "http://p.lan:3128");
    EXPECT_EQ(p.options.user, "u:p");
    EXPECT_EQ(p.options.timeout, 5);
    EXPECT_EQ(p.options.tries, 3);
    EXPECT_EQ(p.options.headers, (std::vector<std::string>{"X-A: 1", "X-B: 2"}));
    EXPECT_EQ(p.options.userAgent, "probe/1");
    EXPECT_TRUE(p.options.ftpPassive);
    EXPECT_EQ(p.options.caFile, "ca.pem");
    EXPECT_EQ(p.options.logDir, "logs");
    p = Parse({"--links", "http://h.x/", "--reject", "*.iso;txt", "--no-proxy", "--ask-password",
               "--user", "u"});
    ASSERT_EQ(p.action, ParsedArgs::Run) << p.error;
    EXPECT_EQ(p.options.links, std::vector<std::string>{"http://h.x/"});
    EXPECT_EQ(p.options.reject, "*.iso;txt");
    EXPECT_TRUE(p.options.noProxy && p.options.askPassword);

    p = Parse({"--dir=/x", "--jobs", "32", "--quiet", "-ddir2", "--jobs=1", "-s16", "-s", "8"});
    ASSERT_EQ(p.action, ParsedArgs::Run) << p.error;
    EXPECT_EQ(p.options.dir, "dir2"); // the last one counts
    EXPECT_EQ(p.options.jobs, 1);
    EXPECT_EQ(p.options.segments, 8);
    EXPECT_EQ(Parse({"--segments=1"}).options.segments, 1);
    EXPECT_EQ(Parse({}).options.segments, 0); // the stored setting
    EXPECT_TRUE(p.options.urls.empty());

    EXPECT_EQ(Parse({"http://h.x/a", "--help", "-bogus"}).action, ParsedArgs::Help);
    EXPECT_EQ(Parse({"-h"}).action, ParsedArgs::Help);
    // Addresses are judged when the run adds them, so one bad word spoils nothing here.
    p = Parse({"http://h.x/a.zip", "nohost", "-"});
    ASSERT_EQ(p.action, ParsedArgs::Run) << p.error;
    EXPECT_EQ(p.options.urls, (std::vector<std::string>{"http://h.x/a.zip", "nohost", "-"}));
    EXPECT_EQ(Parse({"--version"}).action, ParsedArgs::Version);
}

TEST(HeadlessArgs, RejectsBadUsageWithOneLine) {
    struct Case {
        std::vector<std::string> args;
        const char* error;
    } cases[] = {
        {{"-x"}, "unknown option '-x'"},
        {{"--dirs=a"}, "unknown option '--dirs=a'"},
        {{"-d"}, "option '--dir' needs a value"},
        {{"--input"}, "option '--input' needs a value"},
        {{"--dir="}, "option '--dir' needs a value"},
        {{"-j", "0"}, "--jobs takes a number from 1 to 32, not '0'"},
        {{"-j33"}, "--jobs takes a number from 1 to 32, not '33'"},
        {{"--jobs=4x"}, "--jobs takes a number from 1 to 32, not '4x'"},
        {{"--jobs", "-1"}, "--jobs takes a number from 1 to 32, not '-1'"},
        {{"-s", "0"}, "--segments takes a number from 1 to 16, not '0'"},
        {{"--segments=17"}, "--segments takes a number from 1 to 16, not '17'"},
        {{"--timeout", "0"}, "--timeout takes seconds from 1 to 86400, not '0'"},
        {{"--tries=x"}, "--tries takes a number from 1 to 1000, not 'x'"},
        {{"--header", "NoColon"}, "--header takes 'Name: value', not 'NoColon'"},
        {{"--header", "Bad Name: v"}, "--header takes 'Name: value', not 'Bad Name: v'"},
        {{"--header", "X: a\r\nY: b"}, "--header takes one line of text"},
        {{"--proxy", "h.x:99999"}, "--proxy takes host:port or http://host:port, not 'h.x:99999'"},
        {{"--proxy", "h.x:1", "--no-proxy"}, "--proxy and --no-proxy exclude each other"},
        {{"--links", "http://h.x/", "--accept", "zip", "--reject", "iso"},
         "--accept and --reject exclude each other"},
        {{"--accept", "zip", "http://h.x/"},
         "--accept and --reject filter the links of --links pages"},
        {{"--ask-password", "--user", "u:p", "http://h.x/"},
         "--ask-password needs --user USER without a password"},
        {{"-o", "f", "http://h.x/a", "http://h.x/b"},
         "--output names the file of exactly one address"},
        {{"-o", "f", "-i", "l.txt", "http://h.x/a"},
         "--output names the file of exactly one address"},
        {{"--limit-rate", "2G"},
         "--limit-rate takes bytes a second, with k or M after the number (500k, 2M), not '2G'"},
        {{"--hls-max-height", "-1"}, "--hls-max-height takes lines from 0 to 100000, not '-1'"},
        {{"--hls-max-height=720p"}, "--hls-max-height takes lines from 0 to 100000, not '720p'"},
        {{"--hls-max-bandwidth", "3G"},
         "--hls-max-bandwidth takes bits a second, with k or M after the number (800k, 2M), not "
         "'3G'"},
        {{"--hls-max-bandwidth", "2048M"},
         "--hls-max-bandwidth takes bits a second, with k or M after the number (800k, 2M), not "
         "'2048M'"},
        {{"--checksum", "sha-256=abc", "http://h.x/a"},
         "--checksum takes sha-256=HEX, sha-1=HEX or md5=HEX, not 'sha-256=abc'"},
        {{"--checksum", "md5=" + std::string(32, 'f'), "http://h.x/a", "http://h.x/b"},
         "--checksum belongs to exactly one address (a list file gives each its own)"},
    };
    for (const Case& c : cases) {
        ParsedArgs p = Parse(c.args);
        EXPECT_EQ(p.action, ParsedArgs::Error) << c.error;
        EXPECT_EQ(p.error, std::string(c.error) + " (see --help)");
        EXPECT_EQ(p.error.find('\n'), std::string::npos);
    }
}

TEST(HeadlessArgs, LimitRateAndChecksumAreKeptForTheRun) {
    ParsedArgs p =
        Parse({"--limit-rate=1.5m", "--checksum", "sha-1=" + std::string(40, 'A'), "http://h.x/a"});
    ASSERT_EQ(p.action, ParsedArgs::Run) << p.error;
    EXPECT_EQ(p.options.limitRate, 1572864);
    EXPECT_EQ(p.options.checksum, "sha-1=" + std::string(40, 'A'));
    EXPECT_EQ(Parse({"http://h.x/a"}).options.limitRate, -1); // the setting's
}

TEST(HeadlessArgs, StreamVariantCaps) {
    ParsedArgs p = Parse({"--hls-max-height", "720", "--hls-max-bandwidth=1.5M", "http://h.x/a"});
    ASSERT_EQ(p.action, ParsedArgs::Run) << p.error;
    EXPECT_EQ(p.options.hlsMaxHeight, 720);
    EXPECT_EQ(p.options.hlsMaxBandwidth, 1572864);
    p = Parse({"--hls-max-height=0", "--hls-max-bandwidth", "0"}); // lifts a stored cap
    EXPECT_EQ(p.options.hlsMaxHeight, 0);
    EXPECT_EQ(p.options.hlsMaxBandwidth, 0);
    p = Parse({});
    EXPECT_EQ(p.options.hlsMaxHeight, -1); // the settings'
    EXPECT_EQ(p.options.hlsMaxBandwidth, -1);
}
