#include "protocols/Inflater.h"

#include <cstring>
#include <string>
#include <zlib.h>

namespace vireo {

struct Inflater::State {
    z_stream z{};
    bool initialised = false;
    bool started = false;   // the first byte was seen
    bool raw = false;       // retried as raw deflate
    bool committed = false; // no raw retry any more: output came, or too much was held
    bool gzip = false;      // a gzip body: another member may follow each one
    bool atEnd = false;     // a stream or member ended and no byte came after it
    std::string held;       // the first bytes, kept for a raw retry
};

Inflater::Inflater() : m_state(std::make_unique<State>()) {}

Inflater::~Inflater() {
    if (m_state->initialised)
        inflateEnd(&m_state->z);
}

bool Inflater::IsDone() const {
    return m_state->atEnd;
}

size_t Inflater::BufferedBytes() const {
    return m_state->held.size();
}

Inflater::Result Inflater::Feed(const char* data, size_t count, const Sink& sink) {
    State& s = *m_state;
    if (count == 0)
        return s.atEnd ? Result::Done : Result::NeedMore;
    if (s.atEnd && !s.gzip) {
        s.atEnd = false; // a zlib or raw stream has one end; nothing follows it
        return Result::Error;
    }
    if (!s.started) {
        s.started = true;
        s.gzip = !s.raw && static_cast<unsigned char>(data[0]) == 0x1f;
    }
    if (!s.initialised) {
        // 15 + 32: zlib or gzip wrapper, detected from the header.
        if (inflateInit2(&s.z, s.raw ? -15 : 15 + 32) != Z_OK)
            return Result::Error;
        s.initialised = true;
    }
    if (!s.committed && !s.raw) {
        // A raw stream is told from the others within its first bytes; a stream that
        // has produced nothing for this long is not going to be retried.
        if (s.held.size() + count > kMaxHeld) {
            s.committed = true;
            std::string().swap(s.held);
        } else {
            s.held.append(data, count);
        }
    }
    s.atEnd = false; // these bytes belong to a member that has not ended yet

    char out[65536];
    s.z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
    s.z.avail_in = uInt(count);
    while (true) {
        s.z.next_out = reinterpret_cast<Bytef*>(out);
        s.z.avail_out = sizeof out;
        int rc = inflate(&s.z, Z_NO_FLUSH);
        size_t produced = sizeof out - s.z.avail_out;
        if (rc == Z_DATA_ERROR && !s.committed && !s.raw) {
            // Not a zlib or gzip stream: start again from the first byte as raw deflate.
            inflateEnd(&s.z);
            s.initialised = false;
            s.raw = true;
            s.gzip = false;
            std::string again = std::move(s.held);
            return Feed(again.data(), again.size(), sink);
        }
        if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR)
            return Result::Error;
        if (produced > 0) {
            if (!s.committed) {
                s.committed = true;
                std::string().swap(s.held);
            }
            if (!sink(out, produced))
                return Result::Error;
        }
        if (rc == Z_STREAM_END) {
            if (!s.gzip) {
                s.atEnd = s.z.avail_in == 0;
                return s.atEnd ? Result::Done : Result::Error;
            }
            s.atEnd = true;
            // Gzip members may follow one another; the body is all of them.
            if (inflateReset2(&s.z, 15 + 16) != Z_OK)
                return Result::Error;
            if (s.z.avail_in == 0)
                return Result::Done;
            s.atEnd = false;
            continue;
        }
        if (s.z.avail_in == 0 && produced < sizeof out)
            return Result::NeedMore;
        if (rc == Z_BUF_ERROR && produced == 0)
            return Result::NeedMore;
    }
}

} // namespace vireo
