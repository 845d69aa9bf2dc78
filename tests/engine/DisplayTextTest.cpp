#include "engine/DisplayText.h"
#include "engine/ErrorText.h"

#include <gtest/gtest.h>

using namespace vireo;

TEST(DisplayText, ElapsedAndTimeLeft) {
    struct Case {
        int64_t seconds;
        const char *elapsed, *left;
    } cases[] = {
        {0, "0:00:00", "0:00:00"},          {59, "0:00:59", "0:00:59"},
        {3725, "1:02:05", "1:02:05"},       {36000, "10:00:00", "10:00:00"},
        {25 * 3600, "25:00:00", "1:00:00"}, {-1, "0:00:00", "-"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FormatElapsed(c.seconds), c.elapsed) << c.seconds;
        EXPECT_EQ(FormatTimeLeft(c.seconds), c.left) << c.seconds;
    }
}

TEST(DisplayText, ErrorTexts) {
    struct Case {
        int code;
        const char* text;
    } cases[] = {
        {-1, "error creating file"},
        {-2, "error parsing url"},
        {-3, "error createing socket"},
        {-4, "can't establish connection"},
        {-5, "error starting async process"},
        {-6, "error creating protocol"},
        {-7, "(5000000000)"},
        {-8, "file corrupted"},
        {-9, "error opening file"},
        {-10, "disk full"},
        {-11, "unsupported format"},
        {400, "bad request"},
        {401, "unauthorized"},
        {403, "forbidden"},
        {404, "file not found"},
        {500, "err: 500"},
        {10061, "err: 10061"},
        {-99, "err: -99"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ErrorText(c.code, 5000000000LL), c.text) << c.code;
}
