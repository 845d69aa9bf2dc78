#pragma once
// Bytes as a socket hands them over: one stream, cut into reads at places an input chooses.
//
// Inputs of targets fed from a socket start with one seed byte; the stream follows it
// (after any further fixed fields the target names). The seed decides the read lengths:
//   seed 0    the whole stream arrives in one read;
//   seed 1    one byte a read;
//   seed s    read lengths 1..s*s, drawn in turn from xorshift32 started at s * 0x9E3779B1.
// So a file that starts with byte 7 is cut into reads of 1 to 49 bytes, always at the same
// places. Targets whose parser promises the same events however the reads end feed the
// stream whole and cut, and abort when the events differ.

#include <cstdint>
#include <string_view>
#include <vector>

namespace vireo::fuzz {

// The reads the seed cuts stream into, in order; together they are the whole stream (an
// empty stream gives no reads).
std::vector<std::string_view> CutReads(uint8_t seed, std::string_view stream);

// The seed and the stream of a socket input: byte 0 and the rest (fixed = further bytes
// the target reads before the stream, returned in fixed when the input holds them).
struct SocketInput {
    uint8_t seed = 0;
    std::string_view fixed;
    std::string_view stream;
};
SocketInput SplitSocketInput(const uint8_t* data, size_t size, size_t fixedBytes = 0);

} // namespace vireo::fuzz
