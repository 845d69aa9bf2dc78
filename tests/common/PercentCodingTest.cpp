#include "common/PercentCoding.h"
#include "common/Hex.h"

#include <gtest/gtest.h>

using namespace vireo;
using namespace std::literals;

TEST(PercentCoding, DecodesWithAndWithoutCheckingTheDigits) {
    struct Case {
        std::string_view in, checked, unchecked;
    };
    const Case cases[] = {
        {"us%40er", "us@er", "us@er"},
        {"%2f%2F", "//", "//"},
        {"%41%42", "AB", "AB"},
        {"plain", "plain", "plain"},
        {"end%4", "end%4", "end%4"}, // fewer than two characters after '%'
        {"%", "%", "%"},
        {"%x4Z", "%x4Z", "\x04Z"}, // unchecked, "%x4" is one byte (0 * 16 + 4)
        {"a%zz", "a%zz", "a\0"sv},
        {"%4g!", "%4g!", "@!"},
        {"%00x", "\0x"sv, "\0x"sv},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PercentDecode(c.in, PercentDigits::Checked), c.checked) << c.in;
        EXPECT_EQ(PercentDecode(c.in, PercentDigits::Unchecked), c.unchecked) << c.in;
    }
}

TEST(PercentCoding, EncodesTheChosenBytesWithUpperCaseDigits) {
    auto notLetter = [](unsigned char c) { return c < 'a' || c > 'z'; };
    EXPECT_EQ(PercentEncode("ab c\xff\x01%", notLetter), "ab%20c%FF%01%25");
    EXPECT_EQ(PercentEncode("", notLetter), "");
    // What is encoded reads back whatever the bytes.
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += char(b);
    EXPECT_EQ(PercentDecode(PercentEncode(all, notLetter), PercentDigits::Checked), all);
}

TEST(Hex, DigitsBothWays) {
    for (int v = 0; v < 16; ++v) {
        EXPECT_EQ(HexDigitValue(HexDigit(v)), v);
        EXPECT_EQ(HexDigitValue(char(std::tolower(HexDigit(v)))), v);
    }
    for (char c : "gG/:@`\xff "sv)
        EXPECT_EQ(HexDigitValue(c), -1) << c;
    std::string out;
    AppendHexByte(out, 0x0a);
    AppendHexByte(out, 0xf0);
    EXPECT_EQ(out, "0AF0");
}
