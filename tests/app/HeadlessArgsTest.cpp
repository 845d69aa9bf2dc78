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

    p = Parse({"--dir=/x", "--jobs", "32", "--quiet", "-ddir2", "--jobs=1"});
    ASSERT_EQ(p.action, ParsedArgs::Run) << p.error;
    EXPECT_EQ(p.options.dir, "dir2"); // the last one counts
    EXPECT_EQ(p.options.jobs, 1);
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
    };
    for (const Case& c : cases) {
        ParsedArgs p = Parse(c.args);
        EXPECT_EQ(p.action, ParsedArgs::Error) << c.error;
        EXPECT_EQ(p.error, std::string(c.error) + " (see --help)");
        EXPECT_EQ(p.error.find('\n'), std::string::npos);
    }
}
