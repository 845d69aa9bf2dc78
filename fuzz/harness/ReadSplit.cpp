#include "harness/ReadSplit.h"

namespace vireo::fuzz {

std::vector<std::string_view> CutReads(uint8_t seed, std::string_view stream) {
    std::vector<std::string_view> reads;
    if (seed == 0) {
        if (!stream.empty())
            reads.push_back(stream);
        return reads;
    }
    uint32_t state = uint32_t(seed) * 0x9E3779B1u; // odd multiplier: never 0 for seed > 0
    uint32_t longest = uint32_t(seed) * uint32_t(seed);
    size_t pos = 0;
    while (pos < stream.size()) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        size_t length = 1 + state % longest;
        reads.push_back(stream.substr(pos, length));
        pos += reads.back().size();
    }
    return reads;
}

SocketInput SplitSocketInput(const uint8_t* data, size_t size, size_t fixedBytes) {
    SocketInput in;
    std::string_view all(reinterpret_cast<const char*>(data), size);
    if (all.empty())
        return in;
    in.seed = uint8_t(all[0]);
    all.remove_prefix(1);
    in.fixed = all.substr(0, fixedBytes);
    all.remove_prefix(in.fixed.size());
    in.stream = all;
    return in;
}

} // namespace vireo::fuzz
