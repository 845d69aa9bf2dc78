#pragma once
// The bytes of a response header as reads bring them, until the blank line that ends it.
// Each search starts a little before the new bytes: the end may straddle two reads.

#include <cstddef>
#include <string>
#include <string_view>

namespace vireo {

class HttpHeaderBuffer {
public:
    // Appends a read; the length of the header at the start once it has ended, else 0.
    size_t Append(const char* data, size_t count);
    // Drops the first count bytes (an answer that was taken) and looks for the end of
    // the next header in what is left; its length, or 0.
    size_t DropAndFind(size_t count);
    // The bytes after a header of headerLength bytes; the buffer is empty afterwards.
    std::string TakeRest(size_t headerLength);
    std::string_view Bytes() const { return m_bytes; }
    size_t Size() const { return m_bytes.size(); }
    void Clear();

private:
    std::string m_bytes;
};

} // namespace vireo
