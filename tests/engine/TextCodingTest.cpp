#include "engine/TextCoding.h"

#include <gtest/gtest.h>

using namespace vireo;

TEST(TextCoding, PercentEscape) {
    EXPECT_EQ(PercentEscape("a b#c%d"), "a%20b%23c%25d");
    EXPECT_EQ(PercentEscape("%20"), "%2520");
    EXPECT_EQ(PercentEscape(std::string("\x01\x7f\x80\xff", 4)), "%01\x7f%80%FF");
    EXPECT_EQ(PercentEscape("a/b?c=d&e"), "a/b?c=d&e");
}

TEST(TextCoding, Base64OfRfcVectorsStopsAtNul) {
    struct Case {
        const char *in, *out;
    } cases[] = {{"", ""},
                 {"f", "Zg=="},
                 {"fo", "Zm8="},
                 {"foo", "Zm9v"},
                 {"foob", "Zm9vYg=="},
                 {"fooba", "Zm9vYmE="},
                 {"foobar", "Zm9vYmFy"},
                 {"Aladdin:open sesame", "QWxhZGRpbjpvcGVuIHNlc2FtZQ=="}};
    for (const Case& c : cases)
        EXPECT_EQ(Base64Encode(c.in), c.out) << c.in;
    EXPECT_EQ(Base64Encode(std::string("fo\0bar", 6)), "Zm8=");
    EXPECT_EQ(Base64Encode("\xff\xfe"), "//4=");
}

TEST(TextCoding, MaskTrimAndFirstLine) {
    EXPECT_EQ(MaskText("secret"), "******");
    EXPECT_EQ(MaskText(""), "");
    EXPECT_EQ(TrimText(" \t\r\n http://a.b/ \r\n"), "http://a.b/");
    EXPECT_EQ(TrimText(std::string("\0 \x01", 3)), "");
    EXPECT_EQ(TrimText("\xe9x\xe9"), "\xe9x\xe9");
    std::string buffer = "\xef\xbb\xbf http://a.b/x \xa0";
    TrimTextInPlace(buffer);
    EXPECT_EQ(buffer, "http://a.b/x");
    EXPECT_EQ(FirstLine("  \r\n  first line  \r\nsecond"), "first line");
    EXPECT_EQ(FirstLine("one\rtwo"), "one");
    EXPECT_EQ(FirstLine(" \t "), "");
}
