#pragma once
// Undoes gzip or deflate content coding so that the file holds what the server's file
// holds, never the coded bytes.

#include <cstddef>
#include <functional>
#include <memory>

namespace vireo {

class Inflater {
public:
    enum class Result { NeedMore, Done, Error };
    using Sink = std::function<bool(const char* data, size_t count)>;

    Inflater();
    ~Inflater();
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;

    // Most bytes kept before any output, for a retry as raw deflate.
    static constexpr size_t kMaxHeld = 64 * 1024;

    // Feeds coded bytes; sink receives the decoded ones as they come (in pieces of at
    // most 64 KiB), so nothing grows with the decoded size. Accepts gzip, zlib and raw
    // deflate (some servers send raw deflate for "deflate"). A gzip body may hold several
    // members, decoded one after the other as gzip itself does. Done when the bytes fed
    // end where a stream or member ends; bytes after a zlib or raw stream, or after a
    // member that are no member, are an Error.
    Result Feed(const char* data, size_t count, const Sink& sink);
    // The bytes fed so far end where a stream or member ends: the body is whole.
    bool IsDone() const;
    // Bytes held for a possible raw retry (at most kMaxHeld).
    size_t BufferedBytes() const;

private:
    struct State;
    std::unique_ptr<State> m_state;
};

} // namespace vireo
