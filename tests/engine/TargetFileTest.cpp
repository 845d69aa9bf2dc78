// Bytes that go from a socket to the file through a pipe land where plain writes would:
// appended at the end, or in place at an offset (a segment's piece), a write past the end
// extending the file.
#include "engine/TargetFile.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <string>

using namespace vireo;

namespace {
// A pipe holding text, as the socket leaves it for the file.
struct FilledPipe {
    int fds[2] = {-1, -1};
    explicit FilledPipe(const std::string& text) {
        if (::pipe2(fds, O_CLOEXEC) == 0 &&
            ::write(fds[1], text.data(), text.size()) != ssize_t(text.size()))
            fds[0] = -1;
    }
    ~FilledPipe() {
        for (int fd : fds)
            if (fd >= 0)
                ::close(fd);
    }
};

std::string Contents(const std::string& path) {
    std::string out(4096, '\0');
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ssize_t n = fd >= 0 ? ::read(fd, out.data(), out.size()) : -1;
    if (fd >= 0)
        ::close(fd);
    out.resize(n > 0 ? size_t(n) : 0);
    return out;
}
} // namespace

TEST(TargetFile, PipedBytesLandAtTheEndOrAtTheirOffset) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string path = dir.path().toStdString() + "/f.bin";
    TargetFile file;
    ASSERT_TRUE(file.Open(path));
    struct Step {
        int64_t at; // -1: appended
        std::string bytes;
        std::string after;
    } steps[] = {
        {-1, "hello", "hello"},
        {1, "EL", "hELlo"},                               // in place
        {-1, " world", "hELlo world"},                    // the end is where the file ends
        {14, "!", std::string("hELlo world\0\0\0!", 15)}, // past the end: a hole, then it
        {0, "HELLO WORLD", std::string("HELLO WORLD\0\0\0!", 15)},
    };
    for (const Step& s : steps) {
        FilledPipe pipe(s.bytes);
        ASSERT_GE(pipe.fds[0], 0);
        bool ok = s.at < 0 ? file.AppendFromPipe(pipe.fds[0], s.bytes.size())
                           : file.WriteFromPipeAt(s.at, pipe.fds[0], s.bytes.size());
        ASSERT_TRUE(ok) << s.bytes;
        EXPECT_EQ(file.Length(), int64_t(s.after.size())) << s.bytes;
        EXPECT_EQ(Contents(path), s.after) << s.bytes;
    }
    FilledPipe pipe("x");
    EXPECT_FALSE(file.WriteFromPipeAt(-1, pipe.fds[0], 1));
}
