#include "common/ByteBuffer.h"
#include "common/Endian.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using vireo::ByteBuffer;

TEST(ByteBuffer, AppendAssignAndTerminatedText) {
    ByteBuffer b;
    b.Append("ab");
    b.AppendText("cd");
    EXPECT_EQ(b.Size(), 5u);
    EXPECT_EQ(b.View(), std::string_view("abcd\0", 5));
    b.Assign("xyz");
    EXPECT_EQ(b.ToString(), "xyz");
}

TEST(ByteBuffer, RemoveClipsRangesPastTheEnd) {
    struct Case {
        size_t pos, n;
        const char* left;
    } cases[] = {{0, 2, "cdef"},   {2, 2, "abef"},   {4, 100, "abcd"},
                 {6, 1, "abcdef"}, {9, 1, "abcdef"}, {0, ByteBuffer::npos, ""}};
    for (const Case& c : cases) {
        ByteBuffer b("abcdef");
        b.Remove(c.pos, c.n);
        EXPECT_EQ(b.ToString(), c.left) << c.pos << "+" << c.n;
    }
}

TEST(ByteBuffer, FindsBytesAndTextsFromAPosition) {
    ByteBuffer b(std::string_view("a\r\nb\r\n\0c", 8));
    EXPECT_EQ(b.Find('\n'), 2u);
    EXPECT_EQ(b.Find('\n', 3), 5u);
    EXPECT_EQ(b.Find(uint8_t(0)), 6u);
    EXPECT_EQ(b.Find("\r\n", 3), 4u);
    EXPECT_EQ(b.Find('z'), ByteBuffer::npos);
    EXPECT_EQ(b.Find('a', 100), ByteBuffer::npos);
    EXPECT_EQ(b.Find("c\r", 0), ByteBuffer::npos);
}

TEST(ByteBuffer, BigEndianReadsStopAtTheEnd) {
    const uint8_t raw[] = {0x12, 0x34, 0x56, 0x78, 0x9a};
    ByteBuffer b(raw, sizeof raw);
    EXPECT_EQ(b.ReadBE16At(0), 0x1234);
    EXPECT_EQ(b.ReadBE32At(1), 0x3456789au);
    EXPECT_EQ(b.ReadBE16At(4), std::nullopt);
    EXPECT_EQ(b.ReadBE32At(2), std::nullopt);
    EXPECT_EQ(b.ReadBE32At(ByteBuffer::npos - 1), std::nullopt);
}

TEST(ByteBuffer, EndianHelpersRoundTrip) {
    uint8_t be[4], le[4];
    vireo::WriteBE32(be, 0xa1b2c3d4);
    vireo::WriteLE32(le, 0xa1b2c3d4);
    EXPECT_EQ(be[0], 0xa1);
    EXPECT_EQ(le[0], 0xd4);
    EXPECT_EQ(vireo::ReadBE32(be), 0xa1b2c3d4u);
    EXPECT_EQ(vireo::ReadLE32(le), 0xa1b2c3d4u);
    vireo::WriteBE16(be, 0xfffe);
    vireo::WriteLE16(le, 0xfffe);
    EXPECT_EQ(vireo::ReadBE16(be), 0xfffe);
    EXPECT_EQ(vireo::ReadLE16(le), 0xfffe);
    EXPECT_EQ(be[0], 0xff);
    EXPECT_EQ(le[0], 0xfe);
}

TEST(ByteBuffer, SplitsLinesAndPieces) {
    using V = std::vector<std::string>;
    EXPECT_EQ(ByteBuffer("a\r\nb\n\nc").SplitLines(), (V{"a", "b", "", "c"}));
    EXPECT_EQ(ByteBuffer("a\n").SplitLines(), (V{"a"}));
    EXPECT_EQ(ByteBuffer("").SplitLines(), V{});
    EXPECT_EQ(ByteBuffer("x;;y;").Split(';'), (V{"x", "", "y", ""}));
}

TEST(ByteBuffer, FilesSaveAppendLoadAndWriteAtAPosition) {
    QTemporaryDir dir;
    std::string path = dir.path().toStdString() + "/f.bin";
    ByteBuffer b;
    EXPECT_FALSE(b.LoadFile(path));
    ASSERT_TRUE(ByteBuffer("hello").SaveFile(path));
    ASSERT_TRUE(ByteBuffer(" world").SaveFile(path, true));
    ASSERT_TRUE(ByteBuffer("J").WriteAt(path, 6));
    ASSERT_TRUE(b.LoadFile(path));
    EXPECT_EQ(b.ToString(), "hello Jorld");
    ASSERT_TRUE(ByteBuffer("new").SaveFile(path));
    ASSERT_TRUE(b.LoadFile(path));
    EXPECT_EQ(b.ToString(), "new");
    EXPECT_FALSE(ByteBuffer("x").WriteAt(dir.path().toStdString() + "/missing", 0));
    EXPECT_FALSE(ByteBuffer("x").SaveFile(dir.path().toStdString() + "/no/such/dir"));
}

TEST(ByteBuffer, LoadsAResourceCompiledIntoTheProgram) {
    ByteBuffer b;
    ASSERT_TRUE(b.LoadResource("test/sample.bin"));
    EXPECT_EQ(b.View(), std::string_view("stored\0bytes", 12));
    EXPECT_FALSE(b.LoadResource("test/missing.bin"));
    EXPECT_EQ(b.Size(), 12u);
}
