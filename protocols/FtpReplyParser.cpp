#include "protocols/FtpReplyParser.h"

namespace vireo {

namespace {
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The code a line starts with when the three digits are followed by a space, a hyphen
// or nothing; -1 otherwise.
int LineCode(std::string_view line, char* next) {
    if (line.size() < 3 || !IsDigit(line[0]) || !IsDigit(line[1]) || !IsDigit(line[2]))
        return -1;
    *next = line.size() > 3 ? line[3] : '\0';
    if (line.size() > 3 && *next != ' ' && *next != '-')
        return -1;
    return (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
}
} // namespace

std::string FtpReply::LogText() const {
    std::string text;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i != 0)
            text += "\r\n";
        for (char c : lines[i])
            text += (static_cast<unsigned char>(c) < 0x20 && c != '\t') ? '.' : c;
    }
    return text;
}

void FtpReplyParser::Feed(const char* data, size_t count) {
    if (m_error)
        return;
    if (m_pos != 0) {
        m_buffer.erase(0, m_pos);
        m_pos = 0;
    }
    m_buffer.append(data, count);
}

FtpReplyParser::Result FtpReplyParser::Next(FtpReply* reply) {
    while (!m_error) {
        size_t end = m_buffer.find('\n', m_pos + m_searched);
        if (end == std::string::npos) {
            m_searched = m_buffer.size() - m_pos;
            if (Pending() > kMaxReply)
                break;
            return Result::NeedMore;
        }
        std::string_view line(m_buffer.data() + m_pos, end - m_pos);
        m_taken += line.size() + 1;
        m_pos = end + 1;
        m_searched = 0;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        bool complete = TakeLine(line);
        if (m_taken > kMaxReply)
            break;
        if (complete) {
            *reply = std::move(m_current);
            m_current = FtpReply();
            m_multiline = false;
            m_taken = 0;
            return Result::Reply;
        }
    }
    m_error = true;
    m_buffer.clear();
    m_pos = 0;
    return Result::Error;
}

bool FtpReplyParser::TakeLine(std::string_view line) {
    char next = '\0';
    int code = LineCode(line, &next);
    if (m_current.lines.empty()) {
        if (code < 0)
            return false; // no reply starts here
        m_current.code = code;
        m_current.lines.emplace_back(line);
        m_multiline = next == '-';
        return !m_multiline;
    }
    m_current.lines.emplace_back(line);
    return code == m_current.code && next != '-';
}

} // namespace vireo
