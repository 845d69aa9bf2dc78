#include "protocols/HlsPlaylist.h"

#include "engine/UrlParts.h"

#include <charconv>
#include <cstdlib>
#include <map>

namespace vireo {

namespace {
using Attributes = std::map<std::string, std::string>;

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

// NAME=VALUE pairs separated by commas; a quoted value may hold commas. False for a
// list that is not of that form.
bool ParseAttributes(std::string_view text, Attributes* out) {
    while (!text.empty()) {
        size_t eq = text.find('=');
        if (eq == 0 || eq == std::string_view::npos)
            return false;
        std::string name(Trim(text.substr(0, eq)));
        text.remove_prefix(eq + 1);
        std::string value;
        if (!text.empty() && text.front() == '"') {
            size_t close = text.find('"', 1);
            if (close == std::string_view::npos)
                return false;
            value = std::string(text.substr(1, close - 1));
            text.remove_prefix(close + 1);
        } else {
            size_t comma = text.find(',');
            value = std::string(Trim(text.substr(0, comma)));
            text.remove_prefix(comma == std::string_view::npos ? text.size() : comma);
        }
        (*out)[name] = value;
        text = Trim(text);
        if (!text.empty()) {
            if (text.front() != ',')
                return false;
            text.remove_prefix(1);
        }
    }
    return true;
}

constexpr int64_t kMaxMediaSequence = int64_t(1) << 62;

bool ReadInt(std::string_view text, int64_t* value) {
    text = Trim(text);
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), *value);
    return !text.empty() && ec == std::errc() && ptr == text.data() + text.size() && *value >= 0;
}

bool ReadDuration(std::string_view text, double* value) {
    std::string copy(Trim(text));
    if (copy.empty())
        return false;
    char* end = nullptr;
    *value = std::strtod(copy.c_str(), &end);
    return end == copy.c_str() + copy.size() && *value >= 0;
}

bool ReadIv(std::string_view text, std::array<uint8_t, 16>* iv) {
    if (!text.starts_with("0x") && !text.starts_with("0X"))
        return false;
    text.remove_prefix(2);
    if (text.empty() || text.size() > 32)
        return false;
    std::string digits = std::string(32 - text.size(), '0') + std::string(text);
    for (size_t i = 0; i < 16; ++i) {
        unsigned value = 0;
        auto [ptr, ec] =
            std::from_chars(digits.data() + 2 * i, digits.data() + 2 * i + 2, value, 16);
        if (ec != std::errc() || ptr != digits.data() + 2 * i + 2)
            return false;
        (*iv)[i] = uint8_t(value);
    }
    return true;
}

HlsParse Error(std::string why, int line) {
    HlsParse result;
    result.error = "line " + std::to_string(line) + ": " + std::move(why);
    return result;
}
} // namespace

std::array<uint8_t, 16> SequenceIv(int64_t sequence) {
    std::array<uint8_t, 16> iv{};
    for (int i = 0; i < 8; ++i)
        iv[size_t(15 - i)] = uint8_t(uint64_t(sequence) >> (8 * i));
    return iv;
}

HlsVariantChoice ChooseVariant(const std::vector<HlsVariant>& variants, const HlsVariantCap& cap) {
    auto within = [&](const HlsVariant& v) {
        return (cap.maxHeight <= 0 || v.height <= cap.maxHeight) &&
               (cap.maxBandwidth <= 0 || v.bandwidth <= cap.maxBandwidth);
    };
    HlsVariantChoice choice;
    const HlsVariant* lowest = nullptr;
    for (const HlsVariant& v : variants) {
        if (within(v) && (!choice.variant || v.bandwidth > choice.variant->bandwidth))
            choice.variant = &v;
        if (!lowest || v.bandwidth < lowest->bandwidth)
            lowest = &v;
    }
    std::string limits;
    if (cap.maxHeight > 0)
        limits = std::to_string(cap.maxHeight) + " lines";
    if (cap.maxBandwidth > 0)
        limits += (limits.empty() ? "" : " and ") + std::to_string(cap.maxBandwidth) + " bits/s";
    if (choice.variant) {
        choice.why = "the highest bandwidth" + (limits.empty() ? "" : " within " + limits);
    } else if (lowest) {
        choice.variant = lowest;
        choice.why = "the lowest bandwidth: none is within " + limits;
    }
    return choice;
}

HlsParse ParseHlsPlaylist(std::string_view text, std::string_view baseUrl) {
    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);
    HlsParse result;
    HlsPlaylist& list = result.playlist;
    bool master = false, media = false, haveTarget = false, haveSequence = false;
    bool pendingInf = false, pendingStream = false, discontinuity = false;
    double duration = 0;
    HlsVariant variant;
    HlsKey key;
    std::string mapUri;
    int lineNumber = 0;
    bool first = true;

    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = Trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        ++lineNumber;
        if (first) {
            if (line != "#EXTM3U")
                return Error("not a playlist: it does not start with #EXTM3U", lineNumber);
            first = false;
            continue;
        }
        if (line.empty())
            continue;
        if (line.front() != '#') {
            std::string uri = ResolveUrl(baseUrl, line);
            if (pendingStream) {
                variant.uri = uri;
                list.variants.push_back(variant);
                variant = HlsVariant();
                pendingStream = false;
            } else if (pendingInf) {
                HlsSegment segment;
                segment.sequence = list.mediaSequence + int64_t(list.segments.size());
                segment.duration = duration;
                segment.uri = uri;
                segment.key = key;
                segment.mapUri = mapUri;
                segment.discontinuity = discontinuity;
                list.segments.push_back(std::move(segment));
                pendingInf = discontinuity = false;
            } else {
                return Error("an address without #EXTINF or #EXT-X-STREAM-INF before it",
                             lineNumber);
            }
            continue;
        }
        if (!line.starts_with("#EXT"))
            continue; // a comment
        size_t colon = line.find(':');
        std::string_view tag = line.substr(0, colon);
        std::string_view value =
            colon == std::string_view::npos ? std::string_view() : line.substr(colon + 1);
        Attributes attrs;
        if (tag == "#EXT-X-STREAM-INF") {
            master = true;
            if (!ParseAttributes(value, &attrs))
                return Error("a malformed attribute list", lineNumber);
            if (!attrs.contains("BANDWIDTH") || !ReadInt(attrs["BANDWIDTH"], &variant.bandwidth))
                return Error("#EXT-X-STREAM-INF without a valid BANDWIDTH", lineNumber);
            if (auto it = attrs.find("RESOLUTION"); it != attrs.end()) {
                size_t x = it->second.find('x');
                int64_t w = 0, h = 0;
                if (x == std::string::npos ||
                    !ReadInt(std::string_view(it->second).substr(0, x), &w) ||
                    !ReadInt(std::string_view(it->second).substr(x + 1), &h))
                    return Error("a malformed RESOLUTION", lineNumber);
                variant.width = int(w);
                variant.height = int(h);
            }
            variant.codecs = attrs["CODECS"];
            pendingStream = true;
        } else if (tag == "#EXTINF") {
            media = true;
            if (!ReadDuration(value.substr(0, value.find(',')), &duration))
                return Error("#EXTINF without a valid duration", lineNumber);
            pendingInf = true;
        } else if (tag == "#EXT-X-TARGETDURATION") {
            media = true;
            int64_t seconds = 0;
            if (!ReadInt(value, &seconds) || seconds > 86400)
                return Error("a malformed #EXT-X-TARGETDURATION", lineNumber);
            list.targetDuration = int(seconds);
            haveTarget = true;
        } else if (tag == "#EXT-X-MEDIA-SEQUENCE") {
            media = true;
            if (haveSequence || !list.segments.empty() || !ReadInt(value, &list.mediaSequence))
                return Error("a malformed or misplaced #EXT-X-MEDIA-SEQUENCE", lineNumber);
            // Numbers are counted on from here (segments, the recording's next one): far
            // below the top of the range, no sum can overflow. No stream comes near it.
            if (list.mediaSequence > kMaxMediaSequence)
                return Error("a media sequence number too large", lineNumber);
            haveSequence = true;
        } else if (tag == "#EXT-X-ENDLIST") {
            media = true;
            list.endList = true;
        } else if (tag == "#EXT-X-DISCONTINUITY") {
            media = true;
            discontinuity = true;
        } else if (tag == "#EXT-X-BYTERANGE") {
            return Error("segments given as byte ranges are not supported", lineNumber);
        } else if (tag == "#EXT-X-MAP") {
            media = true;
            if (!ParseAttributes(value, &attrs) || attrs["URI"].empty())
                return Error("#EXT-X-MAP without a URI", lineNumber);
            if (attrs.contains("BYTERANGE"))
                return Error("#EXT-X-MAP with a byte range is not supported", lineNumber);
            mapUri = ResolveUrl(baseUrl, attrs["URI"]);
        } else if (tag == "#EXT-X-KEY") {
            media = true;
            if (!ParseAttributes(value, &attrs) || attrs["METHOD"].empty())
                return Error("#EXT-X-KEY without a METHOD", lineNumber);
            key = HlsKey();
            key.methodName = attrs["METHOD"];
            if (key.methodName == "NONE") {
                continue;
            } else if (key.methodName == "AES-128") {
                key.method = HlsKey::Method::Aes128;
            } else if (key.methodName == "SAMPLE-AES") {
                key.method = HlsKey::Method::SampleAes;
            } else {
                key.method = HlsKey::Method::Other;
            }
            if (key.method == HlsKey::Method::Aes128 && attrs["URI"].empty())
                return Error("#EXT-X-KEY METHOD=AES-128 without a URI", lineNumber);
            if (!attrs["URI"].empty())
                key.uri = ResolveUrl(baseUrl, attrs["URI"]);
            if (attrs.contains("IV")) {
                if (!ReadIv(attrs["IV"], &key.iv))
                    return Error("a malformed IV", lineNumber);
                key.hasIv = true;
            }
        }
        // Other tags (version, program date, media renditions...) do not change what is
        // recorded.
    }
    if (first)
        return Error("not a playlist: it is empty", 0);
    if (master && media)
        return Error("a playlist with both variants and segments", lineNumber);
    if (pendingStream || pendingInf)
        return Error("the last tag has no address after it", lineNumber);
    if (master) {
        list.kind = HlsPlaylist::Kind::Master;
    } else {
        if (!haveTarget)
            return Error("a media playlist without #EXT-X-TARGETDURATION", lineNumber);
        if (list.segments.empty() && list.endList)
            return Error("a playlist without segments", lineNumber);
    }
    result.ok = true;
    return result;
}

} // namespace vireo
