#include "protocols/HlsPlaylist.h"

#include <gtest/gtest.h>

using namespace vireo;

namespace {
const char kBase[] = "http://h.example/live/main.m3u8";

TEST(HlsPlaylist, MasterListsVariantsWithAddressesResolved) {
    HlsParse p = ParseHlsPlaylist("#EXTM3U\n#EXT-X-VERSION:3\n"
                                  "#EXT-X-STREAM-INF:BANDWIDTH=800000,RESOLUTION=320x240,"
                                  "CODECS=\"avc1.42e00a,mp4a.40.2\"\nlow/index.m3u8\n"
                                  "#EXT-X-STREAM-INF:BANDWIDTH=2500000,RESOLUTION=1280x720\r\n"
                                  "/hi/index.m3u8\r\n"
                                  "#EXT-X-STREAM-INF:BANDWIDTH=1200000\n"
                                  "http://other.example/mid.m3u8\n",
                                  kBase);
    ASSERT_TRUE(p.ok) << p.error;
    ASSERT_EQ(p.playlist.kind, HlsPlaylist::Kind::Master);
    ASSERT_EQ(p.playlist.variants.size(), 3u);
    EXPECT_EQ(p.playlist.variants[0], (HlsVariant{"http://h.example/live/low/index.m3u8", 800000,
                                                  320, 240, "avc1.42e00a,mp4a.40.2"}));
    EXPECT_EQ(p.playlist.variants[1].uri, "http://h.example/hi/index.m3u8");
    EXPECT_EQ(p.playlist.variants[1].height, 720);
    EXPECT_EQ(p.playlist.variants[2].uri, "http://other.example/mid.m3u8");
}

TEST(HlsPlaylist, ChooseVariantKeepsWithinTheCapOrTakesTheLowest) {
    // As listed: bandwidth, then the resolution's height (0: the tag names none).
    const std::vector<HlsVariant> variants{
        {"v240", 800000, 320, 240, ""},     {"v720", 2500000, 1280, 720, ""},
        {"vnone", 1200000, 0, 0, ""},       {"v480", 1500000, 854, 480, ""},
        {"v1080", 5000000, 1920, 1080, ""}, {"v480b", 1500000, 640, 480, ""},
    };
    struct Case {
        int maxHeight;
        int64_t maxBandwidth;
        const char* uri;
        const char* why;
    } cases[] = {
        {0, 0, "v1080", "the highest bandwidth"},
        {720, 0, "v720", "the highest bandwidth within 720 lines"},
        {719, 0, "v480", "the highest bandwidth within 719 lines"},  // first of equals
        {240, 0, "vnone", "the highest bandwidth within 240 lines"}, // no resolution passes
        {0, 2000000, "v480", "the highest bandwidth within 2000000 bits/s"},
        {0, 2500000, "v720", "the highest bandwidth within 2500000 bits/s"}, // the cap itself
        {1080, 1499999, "vnone", "the highest bandwidth within 1080 lines and 1499999 bits/s"},
        {0, 799999, "v240", "the lowest bandwidth: none is within 799999 bits/s"},
        {100, 100, "v240", "the lowest bandwidth: none is within 100 lines and 100 bits/s"},
    };
    for (const Case& c : cases) {
        HlsVariantChoice choice = ChooseVariant(variants, {c.maxHeight, c.maxBandwidth});
        ASSERT_NE(choice.variant, nullptr) << c.uri;
        EXPECT_EQ(choice.variant->uri, c.uri) << c.maxHeight << " " << c.maxBandwidth;
        EXPECT_EQ(choice.why, c.why);
    }
    // Only variants without a resolution, and a height cap: they all pass it.
    std::vector<HlsVariant> audio{{"a1", 64000, 0, 0, ""}, {"a2", 128000, 0, 0, ""}};
    EXPECT_EQ(ChooseVariant(audio, {144, 0}).variant, &audio[1]);
    EXPECT_EQ(ChooseVariant({}, {480, 0}).variant, nullptr);
}

TEST(HlsPlaylist, MediaSegmentsCarrySequenceKeyMapAndDiscontinuity) {
    HlsParse p = ParseHlsPlaylist("#EXTM3U\n#EXT-X-TARGETDURATION:4\n"
                                  "#EXT-X-MEDIA-SEQUENCE:41\n"
                                  "#EXT-X-MAP:URI=\"init.mp4\"\n"
                                  "#EXTINF:3.967,\nseg41.m4s\n"
                                  "# a comment\n"
                                  "#EXT-X-KEY:METHOD=AES-128,URI=\"../k/key.bin\",IV=0x0102\n"
                                  "#EXTINF:4,title, with comma\nseg42.m4s\n"
                                  "#EXT-X-KEY:METHOD=NONE\n"
                                  "#EXT-X-DISCONTINUITY\n"
                                  "#EXTINF:2.5\nseg43.m4s?x=1\n"
                                  "#EXT-X-ENDLIST\n",
                                  kBase);
    ASSERT_TRUE(p.ok) << p.error;
    const HlsPlaylist& list = p.playlist;
    EXPECT_EQ(list.kind, HlsPlaylist::Kind::Media);
    EXPECT_EQ(list.targetDuration, 4);
    EXPECT_EQ(list.mediaSequence, 41);
    EXPECT_TRUE(list.endList);
    ASSERT_EQ(list.segments.size(), 3u);
    EXPECT_EQ(list.segments[0].sequence, 41);
    EXPECT_DOUBLE_EQ(list.segments[0].duration, 3.967);
    EXPECT_EQ(list.segments[0].uri, "http://h.example/live/seg41.m4s");
    EXPECT_EQ(list.segments[0].mapUri, "http://h.example/live/init.mp4");
    EXPECT_EQ(list.segments[0].key.method, HlsKey::Method::None);
    const HlsKey& key = list.segments[1].key;
    EXPECT_EQ(key.method, HlsKey::Method::Aes128);
    EXPECT_EQ(key.uri, "http://h.example/k/key.bin");
    ASSERT_TRUE(key.hasIv);
    EXPECT_EQ(key.iv[14], 0x01);
    EXPECT_EQ(key.iv[15], 0x02);
    EXPECT_EQ(key.iv[0], 0x00);
    EXPECT_FALSE(list.segments[1].discontinuity);
    EXPECT_EQ(list.segments[2].sequence, 43);
    EXPECT_EQ(list.segments[2].key.method, HlsKey::Method::None);
    EXPECT_TRUE(list.segments[2].discontinuity);
    EXPECT_EQ(list.segments[2].uri, "http://h.example/live/seg43.m4s?x=1");
}

TEST(HlsPlaylist, LiveWithoutEndListAndOtherMethodsAreRead) {
    HlsParse p = ParseHlsPlaylist("\xEF\xBB\xBF#EXTM3U\n#EXT-X-TARGETDURATION:2\n"
                                  "#EXT-X-KEY:METHOD=SAMPLE-AES,URI=\"skd://k\"\n"
                                  "#EXTINF:2,\na.ts\n",
                                  kBase);
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_FALSE(p.playlist.endList);
    EXPECT_EQ(p.playlist.mediaSequence, 0);
    EXPECT_EQ(p.playlist.segments[0].key.method, HlsKey::Method::SampleAes);
    EXPECT_EQ(ParseHlsPlaylist("#EXTM3U\n#EXT-X-TARGETDURATION:2\n"
                               "#EXT-X-KEY:METHOD=AES-256,URI=\"k\"\n#EXTINF:2,\na.ts\n",
                               kBase)
                  .playlist.segments[0]
                  .key.methodName,
              "AES-256");
}

TEST(HlsPlaylist, BadInputGetsAClearError) {
    struct Case {
        const char* text;
        const char* error;
    } cases[] = {
        {"", "not a playlist: it is empty"},
        {"<html>hello</html>\n", "not a playlist: it does not start with #EXTM3U"},
        {"#EXTM3U\n#EXTINF:2,\n", "the last tag has no address after it"},
        {"#EXTM3U\n#EXT-X-TARGETDURATION:2\na.ts\n", "an address without #EXTINF"},
        {"#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXTINF:abc,\na.ts\n",
         "#EXTINF without a valid duration"},
        {"#EXTM3U\n#EXTINF:2,\na.ts\n#EXT-X-ENDLIST\n", "without #EXT-X-TARGETDURATION"},
        {"#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXT-X-ENDLIST\n", "a playlist without segments"},
        {"#EXTM3U\n#EXT-X-STREAM-INF:RESOLUTION=1x1\nv.m3u8\n", "without a valid BANDWIDTH"},
        {"#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=1,RESOLUTION=big\nv.m3u8\n",
         "a malformed RESOLUTION"},
        {"#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=1\nv.m3u8\n#EXT-X-TARGETDURATION:2\n"
         "#EXTINF:2,\na.ts\n",
         "both variants and segments"},
        {"#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXT-X-KEY:METHOD=AES-128\n#EXTINF:2,\na.ts\n",
         "AES-128 without a URI"},
        {"#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXT-X-KEY:METHOD=AES-128,URI=\"k\",IV=12\n",
         "a malformed IV"},
        {"#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXT-X-KEY:METHOD=AES-128,URI=\"k\n",
         "#EXT-X-KEY without a METHOD"},
        {"#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXT-X-MAP:URI=\"i.mp4\",BYTERANGE=\"10@0\"\n",
         "byte range is not supported"},
        {"#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXT-X-BYTERANGE:100@0\n",
         "byte ranges are not supported"},
        {"#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXTINF:2,\na.ts\n#EXT-X-MEDIA-SEQUENCE:4\n",
         "misplaced #EXT-X-MEDIA-SEQUENCE"},
        // Counting on from it would pass the top of the range.
        {"#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXT-X-MEDIA-SEQUENCE:9223372036854775806\n"
         "#EXTINF:2,\na.ts\n#EXTINF:2,\nb.ts\n#EXTINF:2,\nc.ts\n",
         "a media sequence number too large"},
    };
    for (const Case& c : cases) {
        HlsParse p = ParseHlsPlaylist(c.text, kBase);
        EXPECT_FALSE(p.ok) << c.text;
        EXPECT_NE(p.error.find(c.error), std::string::npos) << c.text << " -> " << p.error;
    }
}

TEST(HlsPlaylist, SequenceIvIsTheNumberBigEndian) {
    std::array<uint8_t, 16> iv = SequenceIv(0x0102030405);
    std::array<uint8_t, 16> want{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4, 5};
    EXPECT_EQ(iv, want);
}
} // namespace
