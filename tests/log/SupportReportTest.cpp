// The support report text: tagged lines in a fixed order around the log file's bytes.
#include "log/SupportReport.h"

#include "TempSettings.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace vireo;

namespace {
struct ReportCase {
    const char* what;
    SupportReportFields fields;
    std::string log;
    std::string expected;
};

const std::string kHead = "##new!\r\n##date: &*date\r\n##ip: &*ip\r\n";

const ReportCase kCases[] = {
    {"plain fields and a log",
     {"Ann", "ann@example.org", "it stops"},
     "#1 ! start\r\n#2 E err: 404\r\n",
     kHead + "##name: Ann\r\n##email: ann@example.org\r\n##comments: it stops\r\n"
             "##report:\r\n#1 ! start\r\n#2 E err: 404\r\n##end\r\n"},
    {"empty fields and no log",
     {"", "", ""},
     "",
     kHead + "##name: \r\n##email: \r\n##comments: \r\n##report:\r\n##end\r\n"},
    {"comments keep their line breaks, the log its bytes",
     {"B", "b@x", "line one\r\nline two\nthree"},
     std::string("#1 I dump: \r\n00 ff\0 #%\r\n", 24),
     kHead +
         "##name: B\r\n##email: b@x\r\n##comments: line one\r\nline two\nthree\r\n"
         "##report:\r\n" +
         std::string("#1 I dump: \r\n00 ff\0 #%\r\n", 24) + "##end\r\n"},
    {"a log cut in mid-line still leaves the end tag a line of its own",
     {"C", "c@x", "x"},
     "#1 ! half a li",
     kHead + "##name: C\r\n##email: c@x\r\n##comments: x\r\n##report:\r\n#1 ! half a li\r\n"
             "##end\r\n"},
};
} // namespace

TEST(SupportReport, TextTable) {
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(BuildSupportReport(c.fields, c.log), c.expected);
    }
}

TEST(SupportReport, ReadsTheLogFileAndToleratesAMissingOne) {
    test::TempSettings dir;
    const std::string path = dir.Path("/7.log");
    const std::string log("#1 ! a\r\n\x01\x80 b\r\n", 14);
    std::ofstream(path, std::ios::binary) << log;
    const SupportReportFields f{"N", "e@x", "c"};
    EXPECT_EQ(BuildSupportReportFromFile(f, path), BuildSupportReport(f, log));
    EXPECT_EQ(BuildSupportReportFromFile(f, dir.Path("/missing.log")), BuildSupportReport(f, ""));
}
