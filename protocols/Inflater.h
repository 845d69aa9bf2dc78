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

    // Feeds coded bytes; sink receives the decoded ones. Accepts gzip, zlib and raw
    // deflate (some servers send raw deflate for "deflate").
    Result Feed(const char* data, size_t count, const Sink& sink);
    bool IsDone() const;

private:
    struct State;
    std::unique_ptr<State> m_state;
};

} // namespace vireo
