#include "engine/FileNames.h"

#include <gtest/gtest.h>

using namespace vireo;

TEST(FileNames, SanitizeKeepsOnlyTheLastDotAndReplacesBadCharacters) {
    struct Case {
        const char *in, *out;
    } cases[] = {
        {"a.b.c.zip", "abc.zip"},
        {"a..b.c", "ab.c"},
        {"x?y", "x_y"},
        {"a\"*+:<>?\\|b", "a_________b"},
        {"..", "."},
        {"...", "."},
        {"a\x01\x7f\xc3\xa9.txt", "a_\x7f__.txt"},
        {"name  ", "name"},
        {" ", " "},
        {"  ", " "},
        {".hidden", ".hidden"},
        {"a b.zip", "a b.zip"},
        {"", ""},
        {"trail.", "trail."},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SanitizeFileName(c.in), c.out) << c.in;
}

TEST(FileNames, NextNumberedNameCountsUp) {
    struct Case {
        const char *in, *out;
    } cases[] = {
        {"file.zip", "file1.zip"},
        {"file1.zip", "file2.zip"},
        {"a9", "a10"},
        {"readme", "readme1"},
        {"x09.tar", "x10.tar"},
        {"1.zip", "2.zip"},
        {".bashrc", "1.bashrc"},
        {"v1.2", "v2.2"},
        {"f99999999999999999999.bin", "f100000000000000000000.bin"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(NextNumberedName(c.in), c.out) << c.in;
}

TEST(FileNames, LastPathComponent) {
    EXPECT_EQ(LastPathComponent("/home/u/Downloads/a.zip"), "a.zip");
    EXPECT_EQ(LastPathComponent("a.zip"), "a.zip");
    EXPECT_EQ(LastPathComponent("/dir/"), "");
}
