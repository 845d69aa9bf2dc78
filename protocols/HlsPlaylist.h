#pragma once
// HTTP Live Streaming playlists read into plain values: a master playlist lists the
// variants of one stream, a media playlist its segments. Every address in the result is
// absolute, resolved against the playlist's own. Pure: no socket, no file, no log.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vireo {

struct HlsVariant {
    std::string uri;
    int64_t bandwidth = 0;
    int width = 0, height = 0; // 0 when the tag names no resolution
    std::string codecs;
    bool operator==(const HlsVariant&) const = default;
};

struct HlsKey {
    enum class Method { None, Aes128, SampleAes, Other };
    Method method = Method::None;
    std::string methodName; // as the tag wrote it
    std::string uri;
    bool hasIv = false;
    std::array<uint8_t, 16> iv{};
    bool operator==(const HlsKey&) const = default;
};

struct HlsSegment {
    int64_t sequence = 0;
    double duration = 0;
    std::string uri;
    HlsKey key;
    std::string mapUri; // the initialisation section, empty for none
    bool discontinuity = false;
    bool operator==(const HlsSegment&) const = default;
};

struct HlsPlaylist {
    enum class Kind { Master, Media };
    Kind kind = Kind::Media;
    std::vector<HlsVariant> variants; // Master
    std::vector<HlsSegment> segments; // Media
    int64_t mediaSequence = 0;
    int targetDuration = 0;
    bool endList = false;
};

struct HlsParse {
    bool ok = false;
    std::string error; // why the text is no playlist we can record, in plain words
    HlsPlaylist playlist;
};

HlsParse ParseHlsPlaylist(std::string_view text, std::string_view baseUrl);

// The most a recording's variant may have; 0 is no cap.
struct HlsVariantCap {
    int maxHeight = 0;        // lines
    int64_t maxBandwidth = 0; // bits per second
};

struct HlsVariantChoice {
    const HlsVariant* variant = nullptr; // null when there is none
    std::string why; // for the log: "the highest bandwidth within 480 lines", ...
};

// Among the variants within the cap (one without a resolution passes the height cap) the
// one of the highest bandwidth; when none is within it, the one of the lowest bandwidth,
// and why says so. The first of equals wins.
HlsVariantChoice ChooseVariant(const std::vector<HlsVariant>& variants, const HlsVariantCap& cap);

// The initialisation vector of a segment without an IV attribute: its media sequence
// number as a big-endian 128-bit value.
std::array<uint8_t, 16> SequenceIv(int64_t sequence);

} // namespace vireo
