// The text a stream recording keeps with its file: what FormatStreamState writes reads
// back the same, and anything else (the attribute is the file system's, any program may
// have written it) reads as "nothing kept".
#include "engine/StreamState.h"

#include <gtest/gtest.h>

#include <string>

using namespace vireo;

namespace {
TEST(StreamState, TextRoundTripAndWhatIsRefused) {
    StreamState plain{"http://h/live.m3u8", "http://h/live.m3u8", 0, 0, ""};
    StreamState fmp4{"http://h/master.m3u8", "http://h/hi/index.m3u8?t=a b", 1234567890123,
                     int64_t(5) << 40, "http://h/hi/init.mp4"};
    EXPECT_EQ(FormatStreamState(fmp4), "playlist http://h/master.m3u8\n"
                                       "variant http://h/hi/index.m3u8?t=a b\n"
                                       "next 1234567890123\n"
                                       "bytes 5497558138880\n"
                                       "map http://h/hi/init.mp4\n");
    for (const StreamState& state : {plain, fmp4})
        EXPECT_EQ(ParseStreamState(FormatStreamState(state)), state) << state.variant;
    EXPECT_EQ(FormatStreamState({}), "");
    // The fields in another order, the last line without its line end.
    EXPECT_EQ(ParseStreamState("bytes 0\nnext 0\nvariant http://h/live.m3u8\n"
                               "playlist http://h/live.m3u8"),
              plain);

    const std::string whole = "playlist p\nvariant v\nnext 3\nbytes 9\n";
    ASSERT_FALSE(ParseStreamState(whole).Empty());
    const std::string bad[] = {
        "",
        std::string(64, '\0'),
        "\xff\xfe garbage",
        "total 100\nmissing 0 10\n", // the segments' attribute, not this one
        whole + "colour blue\n",
        whole + "\n",
        "playlist p\nvariant v\nnext 3\n", // no bytes
        "playlist p\nnext 3\nbytes 9\n",   // no variant
        "variant v\nnext 3\nbytes 9\n",    // no playlist
        "playlist \nvariant v\nnext 3\nbytes 9\n",
        "playlist p\nvariant v\nnext -1\nbytes 9\n",
        "playlist p\nvariant v\nnext 3\nbytes -9\n",
        "playlist p\nvariant v\nnext 3x\nbytes 9\n",
        "playlist p\nvariant v\nnext 3\nbytes 99999999999999999999\n",
        "playlist p\nvariant v\nnext  3\nbytes 9\n",
        "playlist p\r\nvariant v\r\nnext 3\r\nbytes 9\r\n",
        whole.substr(0, whole.size() - 4), // cut inside the last line
    };
    for (const std::string& text : bad)
        EXPECT_TRUE(ParseStreamState(text).Empty()) << text;
}
} // namespace
