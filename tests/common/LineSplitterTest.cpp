#include "common/LineSplitter.h"

#include <gtest/gtest.h>

#include <string>

using namespace vireo;
using namespace std::literals;

namespace {
// Each line followed by its end written as <CRLF>, <CR>, <LF> or <> for none.
std::string Described(std::string_view text) {
    std::string out;
    LineSplitter splitter(text);
    for (std::string_view line; splitter.Next(&line);) {
        out += line;
        std::string_view end = splitter.End();
        out += end == "\r\n" ? "<CRLF>" : end == "\r" ? "<CR>" : end == "\n" ? "<LF>" : "<>";
    }
    EXPECT_EQ(splitter.Taken(), text.size()) << "every byte is taken";
    return out;
}
} // namespace

TEST(LineSplitter, EachEndKindEndsOneLine) {
    struct Case {
        std::string_view text, lines;
    };
    const Case cases[] = {
        {"", ""},
        {"a", "a<>"},
        {"a\r\nb", "a<CRLF>b<>"},
        {"a\rb\nc", "a<CR>b<LF>c<>"},
        {"a\n", "a<LF>"}, // no empty line after the last end
        {"\r\n\r\n", "<CRLF><CRLF>"},
        {"a\n\rb", "a<LF><CR>b<>"},     // LF CR is two ends
        {"a\r\r\nb", "a<CR><CRLF>b<>"}, // a CR before CR LF ends an empty line
        {"a\r", "a<CR>"},               // a CR at the very end is a whole end
        {"a\0b\n"sv, "a\0b<LF>"sv},     // NUL is an ordinary byte
        {" x \t\n", " x \t<LF>"},       // nothing is trimmed
    };
    for (const Case& c : cases)
        EXPECT_EQ(Described(c.text), c.lines) << c.text;
}

TEST(LineSplitter, SplitLinesKeepsEmptyLinesInOrder) {
    using V = std::vector<std::string_view>;
    EXPECT_EQ(SplitLines("a\r\n\nb\r\rc"), (V{"a", "", "b", "", "c"}));
    EXPECT_EQ(SplitLines(""), V{});
    EXPECT_EQ(SplitLines("\n"), V{""});
}
