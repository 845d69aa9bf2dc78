#pragma once
// Cutting a text into lines where CR LF, a lone CR or a lone LF ends a line.

#include <cstddef>
#include <string_view>
#include <vector>

namespace vireo {

class LineSplitter {
public:
    explicit LineSplitter(std::string_view text) : m_text(text) {}

    // The next line, without its end. A last line without an end counts when it is not
    // empty, so a text that ends with a line end has no empty line after it. False when
    // the text is used up.
    bool Next(std::string_view* line);
    // The end of the line Next gave last: "\r\n", "\r", "\n", or empty for a last line
    // without one.
    std::string_view End() const { return m_end; }
    // How many bytes of the text the lines so far took, their ends included.
    size_t Taken() const { return m_pos; }

private:
    std::string_view m_text;
    size_t m_pos = 0;
    std::string_view m_end;
};

// Every line of the text as it stands, empty ones included (see LineSplitter::Next).
std::vector<std::string_view> SplitLines(std::string_view text);

} // namespace vireo
