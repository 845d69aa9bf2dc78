// The stored PNA hello and the one patch a request makes to it.
#include "protocols/PnaTemplate.h"
#include "common/Endian.h"

#include <gtest/gtest.h>

using namespace vireo;

namespace {
uint16_t At16(std::string_view b, size_t offset) {
    return ReadBE16(reinterpret_cast<const uint8_t*>(b.data()) + offset);
}

class PnaHello : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(PnaTemplate::Load()); }
    std::string_view stored = PnaTemplate::Buffer();
};
} // namespace

TEST_F(PnaHello, StoredTemplateHasTheHelloLayout) {
    EXPECT_EQ(stored.substr(0, 3), "PNA");
    EXPECT_EQ(At16(stored, 3), 10);
    EXPECT_EQ(At16(stored, 5), 20);
    EXPECT_EQ(At16(stored, 7), 2);
    EXPECT_EQ(At16(stored, 9), 1);
    // Every chunk where it belongs, with its length.
    struct Chunk {
        size_t offset;
        uint16_t type, length;
    };
    const Chunk chunks[] = {{11, 0x04, 32},  {47, 0x03, 120}, {171, 0x06, 0}, {175, 0x0A, 0},
                            {179, 0x0C, 0},  {183, 0x0D, 0},  {187, 0x16, 2}, {193, 0x17, 27},
                            {224, 0x05, 4},  {232, 0x08, 0},  {236, 0x0E, 0}, {240, 0x0F, 0},
                            {244, 0x11, 0},  {248, 0x10, 0},  {252, 0x15, 0}, {256, 0x12, 0},
                            {260, 0x13, 36}, {300, 0x18, 16}};
    for (const Chunk& c : chunks) {
        SCOPED_TRACE(c.offset);
        EXPECT_EQ(At16(stored, c.offset), c.type);
        EXPECT_EQ(At16(stored, c.offset + 2), c.length);
    }
    for (char ch : stored.substr(15, 32))
        EXPECT_TRUE(std::isxdigit(uint8_t(ch)) && !std::isupper(uint8_t(ch))) << ch;
    EXPECT_EQ(At16(stored, 51), 1930);
    EXPECT_EQ(stored.substr(53, 4), "pnrv");
    EXPECT_EQ(At16(stored, 51 + 19 * 6), 18);
    EXPECT_EQ(stored.substr(53 + 19 * 6, 4), "lpcJ");
    EXPECT_EQ(At16(stored, 191), 1);
    EXPECT_EQ(stored.substr(197, 27), "[29/07/1998:04:42:32 00:00]");
    EXPECT_EQ(ReadBE32(reinterpret_cast<const uint8_t*>(stored.data()) + 228), 57600u);
    std::string_view guid = stored.substr(264, 36);
    for (size_t i = 0; i < guid.size(); ++i) {
        bool hyphen = i == 8 || i == 13 || i == 18 || i == 23;
        EXPECT_EQ(guid[i] == '-', hyphen) << i;
    }
    EXPECT_EQ(stored.substr(320, 3), std::string_view("\0\0R", 3));
    EXPECT_EQ(uint8_t(stored[326]), 0x63);
    EXPECT_EQ(At16(stored, 327), 37);
    EXPECT_EQ(stored.substr(329, 39),
              std::string_view("WinNT_4.0_5.0.0.97_plus32_PN01_EN_586l\0", 39));
    EXPECT_EQ(At16(stored, 368), 0x52);
    uint16_t storedPath = At16(stored, 370);
    EXPECT_EQ(372u + storedPath + 2, 395u); // the stored hello is 395 bytes
    EXPECT_EQ(stored.substr(372 + storedPath, 2), "yB");
    EXPECT_EQ(stored.substr(395).find_first_not_of('\0'), std::string_view::npos);
}

TEST_F(PnaHello, RequestCarriesThePathAfterTheStoredBytes) {
    std::optional<std::string> request = PnaTemplate::BuildRequest("/music/song.ra");
    ASSERT_TRUE(request);
    ASSERT_EQ(request->size(), 387u);
    EXPECT_EQ(request->substr(0, 370), stored.substr(0, 370));
    EXPECT_EQ(uint8_t((*request)[370]), 0);
    EXPECT_EQ(uint8_t((*request)[371]), 13);
    EXPECT_EQ(request->substr(372), "music/song.rayB");
}

TEST_F(PnaHello, OnlyOneLeadingSlashIsDropped) {
    struct Case {
        std::string path, sent;
    } cases[] = {{"music/a.rm", "music/a.rm"}, {"//live/a.rm", "/live/a.rm"}, {"/", ""}};
    for (const Case& c : cases) {
        std::optional<std::string> request = PnaTemplate::BuildRequest(c.path);
        ASSERT_TRUE(request) << c.path;
        EXPECT_EQ(request->size(), 374 + c.sent.size());
        EXPECT_EQ(At16(*request, 370), c.sent.size());
        EXPECT_EQ(request->substr(372), c.sent + "yB");
    }
}

TEST_F(PnaHello, PathLongerThanTheRequestBufferIsRefused) {
    std::optional<std::string> longest = PnaTemplate::BuildRequest("/" + std::string(1022, 'p'));
    ASSERT_TRUE(longest);
    EXPECT_EQ(longest->size(), 1396u);
    EXPECT_EQ(longest->substr(1394), "yB");
    EXPECT_FALSE(PnaTemplate::BuildRequest("/" + std::string(1023, 'p')));
}
