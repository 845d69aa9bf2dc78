#include "engine/FileNames.h"

#include <gtest/gtest.h>

using namespace vireo;

TEST(FileNames, SanitizeKeepsDotsAndLettersAndReplacesWhatNoNameShouldHold) {
    struct Case {
        const char *in, *out;
    } cases[] = {
        // Every dot stays; only a leading one is replaced, so nothing is hidden.
        {"pkg-1.2.3.tar.gz", "pkg-1.2.3.tar.gz"},
        {"a..b.c", "a..b.c"},
        {"trail.", "trail."},
        {".hidden", "_hidden"},
        {".", "_"},
        {"..", "_."},
        {"...", "_.."},
        // Letters of any script, as valid UTF-8.
        {"Über straße.txt", "Über straße.txt"},
        {"файл.zip", "файл.zip"},
        {"文件.pdf", "文件.pdf"},
        {"📦.bin", "📦.bin"},
        // Bytes that are not valid UTF-8 become one '_' each: Latin-1, stray continuation,
        // overlong '/', surrogate, truncated sequence, above U+10FFFF, C1 control (as one).
        {"caf\xe9.txt", "caf_.txt"},
        {"x\x80y", "x_y"},
        {"x\xc0\xafy", "x__y"},
        {"x\xed\xa0\x80y", "x___y"},
        {"x\xe2\x82", "x__"},
        {"\xf4\x90\x80\x80", "____"},
        {"x\xc2\x85y", "x_y"},
        // Separators, controls and the characters other systems cannot store; '+' stays.
        {"x?y", "x_y"},
        {"a\"*:<>?\\|/b", "a_________b"},
        {"a\x01\x1f\x7f.txt", "a___.txt"},
        {"a+b.txt", "a+b.txt"},
        {"name  ", "name"},
        {" ", " "},
        {"  ", " "},
        {"a b.zip", "a b.zip"},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SanitizeFileName(c.in), c.out) << c.in;
    // A NUL inside the name (from %00, say) is replaced, never cuts the name short.
    EXPECT_EQ(SanitizeFileName(std::string_view("a\0b", 3)), "a_b");
}

TEST(FileNames, NameFromUrlIsTheDecodedLastSegment) {
    struct Case {
        const char *url, *name;
    } cases[] = {
        {"http://h.x/dir/with%20space.txt", "with space.txt"},
        {"http://h.x/%C3%BCber.txt", "\xc3\xbc"
                                     "ber.txt"},
        {"http://h.x/a%2Fb%2e.txt", "a_b..txt"},
        {"http://h.x/%2Ehidden", "_hidden"},
        {"http://h.x/%00x%0A", "_x_"},
        {"http://h.x/%FF.bin", "_.bin"},
        {"http://h.x/100%.txt", "100%.txt"},
        {"http://h.x/a%zz%4", "a%zz%4"},
        {"http://h.x/pkg-1.2.3.tar.gz?mirror=1#top", "pkg-1.2.3.tar.gz"},
        {"http://h.x/get?f=a/b:c.zip", "b_c.zip"},
        {"http://h.x/a.zip#part/2", "a.zip"},
        {"ftp://h.x/pub/", ""},
        {"ftp://h.x/pub/..", ""},
        {"ftp://h.x/pub/%2e", ""},
        {"ftp://h.x/pub/a+b.txt", "a+b.txt"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FileNameFromUrl(c.url), c.name) << c.url;
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
