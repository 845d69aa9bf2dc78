#include "common/LineSplitter.h"

namespace vireo {

bool LineSplitter::Next(std::string_view* line) {
    if (m_pos >= m_text.size())
        return false;
    size_t end = m_text.find_first_of("\r\n", m_pos);
    if (end == std::string_view::npos) {
        *line = m_text.substr(m_pos);
        m_end = {};
        m_pos = m_text.size();
        return true;
    }
    size_t endLength = m_text.compare(end, 2, "\r\n") == 0 ? 2 : 1;
    *line = m_text.substr(m_pos, end - m_pos);
    m_end = m_text.substr(end, endLength);
    m_pos = end + endLength;
    return true;
}

std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    LineSplitter splitter(text);
    for (std::string_view line; splitter.Next(&line);)
        lines.push_back(line);
    return lines;
}

} // namespace vireo
