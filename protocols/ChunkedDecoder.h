#pragma once
// Undoes the chunked transfer coding of an HTTP body. It takes the bytes as they come,
// cut anywhere, and hands on the data of the chunks; it never reads a socket.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace vireo {

class ChunkedDecoder {
public:
    enum class Result { NeedMore, Done, Error };
    using Sink = std::function<bool(const char* data, size_t count)>;

    // Feeds bytes; sink receives chunk data (returning false stops the feed with Error).
    // consumed tells how many input bytes were used (bytes after the end stay unused).
    Result Feed(const char* data, size_t count, const Sink& sink, size_t* consumed = nullptr);
    bool IsDone() const { return m_state == State::Done; }
    void Reset() { *this = ChunkedDecoder(); }

private:
    enum class State { Size, Data, DataEnd, Trailer, Done, Error };
    // Longest size or trailer line taken before the body counts as garbage.
    static constexpr size_t kMaxLine = 8192;

    State m_state = State::Size;
    std::string m_line;
    uint64_t m_left = 0;
};

} // namespace vireo
