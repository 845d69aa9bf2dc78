#include "protocols/Inflater.h"

#include <cstring>
#include <string>
#include <zlib.h>

namespace vireo {

struct Inflater::State {
    z_stream z{};
    bool initialised = false;
    bool raw = false;    // retried as raw deflate
    bool output = false; // produced something (a raw retry is only possible before)
    bool done = false;
    std::string held; // the first bytes, kept for a raw retry
};

Inflater::Inflater() : m_state(std::make_unique<State>()) {}

Inflater::~Inflater() {
    if (m_state->initialised)
        inflateEnd(&m_state->z);
}

bool Inflater::IsDone() const {
    return m_state->done;
}

Inflater::Result Inflater::Feed(const char* data, size_t count, const Sink& sink) {
    State& s = *m_state;
    if (s.done)
        return Result::Done;
    if (!s.initialised) {
        // 15 + 32: zlib or gzip wrapper, detected from the header.
        if (inflateInit2(&s.z, s.raw ? -15 : 15 + 32) != Z_OK)
            return Result::Error;
        s.initialised = true;
    }
    if (!s.output && !s.raw)
        s.held.append(data, count);

    char out[65536];
    s.z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
    s.z.avail_in = uInt(count);
    while (true) {
        s.z.next_out = reinterpret_cast<Bytef*>(out);
        s.z.avail_out = sizeof out;
        int rc = inflate(&s.z, Z_NO_FLUSH);
        size_t produced = sizeof out - s.z.avail_out;
        if (rc == Z_DATA_ERROR && !s.output && !s.raw) {
            // Not a zlib or gzip stream: start again from the first byte as raw deflate.
            inflateEnd(&s.z);
            s.initialised = false;
            s.raw = true;
            std::string again = std::move(s.held);
            return Feed(again.data(), again.size(), sink);
        }
        if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR)
            return Result::Error;
        if (produced > 0) {
            s.output = true;
            s.held.clear();
            if (!sink(out, produced))
                return Result::Error;
        }
        if (rc == Z_STREAM_END) {
            s.done = true;
            return Result::Done;
        }
        if (s.z.avail_in == 0 && produced < sizeof out)
            return Result::NeedMore;
        if (rc == Z_BUF_ERROR && produced == 0)
            return Result::NeedMore;
    }
}

} // namespace vireo
