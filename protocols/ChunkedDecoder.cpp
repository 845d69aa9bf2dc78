#include "protocols/ChunkedDecoder.h"

#include "common/Hex.h"

namespace vireo {

namespace {

// The chunk size at the start of a size line ("1a3f;ext=1"); false when there is none.
bool ParseSize(std::string_view line, uint64_t* size) {
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
        line.remove_prefix(1);
    uint64_t value = 0;
    size_t digits = 0, significant = 0;
    for (char c : line) {
        int d = HexDigitValue(c);
        if (d < 0)
            break;
        ++digits;
        if (value == 0 && d == 0)
            continue; // leading zeros say nothing of the size
        if (++significant > 15)
            return false; // no real chunk is that large, and 2^63 is never reached
        value = value * 16 + uint64_t(d);
    }
    if (digits == 0)
        return false;
    std::string_view rest = line.substr(digits);
    while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t'))
        rest.remove_prefix(1);
    if (!rest.empty() && rest.front() != ';')
        return false;
    *size = value;
    return true;
}
} // namespace

ChunkedDecoder::Result ChunkedDecoder::Feed(const char* data, size_t count, const Sink& sink,
                                            size_t* consumed) {
    size_t i = 0;
    auto finish = [&](Result r) {
        if (consumed)
            *consumed = i;
        return r;
    };
    while (i < count) {
        switch (m_state) {
        case State::Size:
        case State::DataEnd:
        case State::Trailer: {
            char c = data[i++];
            if (c != '\n') {
                m_line += c;
                if (m_line.size() > kMaxLine) {
                    m_state = State::Error;
                    return finish(Result::Error);
                }
                continue;
            }
            if (!m_line.empty() && m_line.back() == '\r')
                m_line.pop_back();
            std::string line = std::move(m_line);
            m_line.clear();
            if (m_state == State::DataEnd) {
                if (!line.empty()) {
                    m_state = State::Error;
                    return finish(Result::Error);
                }
                m_state = State::Size;
            } else if (m_state == State::Size) {
                if (!ParseSize(line, &m_left)) {
                    m_state = State::Error;
                    return finish(Result::Error);
                }
                m_state = m_left == 0 ? State::Trailer : State::Data;
            } else if (line.empty()) {
                m_state = State::Done;
                return finish(Result::Done);
            }
            break;
        }
        case State::Data: {
            size_t n = size_t(std::min<uint64_t>(m_left, count - i));
            if (!sink(data + i, n)) {
                m_state = State::Error;
                i += n;
                return finish(Result::Error);
            }
            i += n;
            m_left -= n;
            if (m_left == 0)
                m_state = State::DataEnd;
            break;
        }
        case State::Done:
            return finish(Result::Done);
        case State::Error:
            return finish(Result::Error);
        }
    }
    if (m_state == State::Done)
        return finish(Result::Done);
    return finish(m_state == State::Error ? Result::Error : Result::NeedMore);
}

} // namespace vireo
