#include "engine/TargetFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace vireo {

namespace {
constexpr const char* kStampName = "user.vireo.stamp";
constexpr const char* kValidatorsName = "user.vireo.validators";
constexpr const char* kSegmentsName = "user.vireo.segments";
constexpr const char* kStreamName = "user.vireo.stream";
constexpr const char kComplete[] = "complete";
constexpr const char kIncomplete[] = "incomplete";

bool IsComplete(const char* value, ssize_t n) {
    return n == ssize_t(sizeof kComplete - 1) && std::memcmp(value, kComplete, size_t(n)) == 0;
}
} // namespace

bool TargetFile::Open(const std::string& path, bool* created) {
    Close();
    // A link at the target path is not followed: it may point at anything.
    int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
    bool made = false;
    if (fd < 0 && errno == ENOENT) {
        fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
        made = fd >= 0;
    }
    if (fd < 0)
        return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    m_fd = fd;
    m_length = st.st_size;
    if (created)
        *created = made;
    return true;
}

void TargetFile::Close() {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_length = 0;
}

bool TargetFile::SetLength(int64_t length) {
    if (m_fd < 0)
        return false;
    // Truncating to the length the file has already is not free: some file systems then
    // flush the whole file when it is closed.
    if (length == m_length)
        return true;
    if (::ftruncate(m_fd, off_t(length)) != 0)
        return false;
    m_length = length;
    return true;
}

bool TargetFile::Allocate(int64_t length) {
    if (m_fd < 0)
        return false;
    if (length <= m_length)
        return SetLength(length);
    // The space is checked, not reserved: writes into reserved (unwritten) extents cost
    // the file system a conversion each, which made eight segments slower than one.
    struct statvfs vfs {};
    if (::fstatvfs(m_fd, &vfs) == 0 &&
        uint64_t(vfs.f_bavail) * uint64_t(vfs.f_frsize) < uint64_t(length - m_length))
        return false;
    return SetLength(length);
}

bool TargetFile::Append(const char* data, size_t count) {
    if (m_fd < 0)
        return false;
    while (count > 0) {
        ssize_t n = ::pwrite(m_fd, data, count, off_t(m_length));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        count -= size_t(n);
        m_length += n;
    }
    return true;
}

bool TargetFile::AppendFromPipe(int pipeFd, size_t count) {
    return WriteFromPipeAt(m_length, pipeFd, count);
}

bool TargetFile::WriteFromPipeAt(int64_t position, int pipeFd, size_t count) {
    if (m_fd < 0 || position < 0)
        return false;
    while (count > 0) {
        loff_t at = position;
        ssize_t n = ::splice(pipeFd, nullptr, m_fd, &at, count, SPLICE_F_MOVE);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP))
            break; // a file system that takes no pipes: through memory
        if (n <= 0)
            return false;
        count -= size_t(n);
        position += n;
        m_length = std::max(m_length, position);
    }
    char block[64 * 1024];
    while (count > 0) {
        ssize_t n = ::read(pipeFd, block, std::min(count, sizeof block));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 || !WriteAt(position, block, size_t(n)))
            return false;
        count -= size_t(n);
        position += n;
    }
    return true;
}

std::string TargetFile::ReadHead(size_t count) const {
    std::string out(count, '\0');
    ssize_t n = m_fd >= 0 ? ::pread(m_fd, out.data(), count, 0) : -1;
    out.resize(n > 0 ? size_t(n) : 0);
    return out;
}

bool TargetFile::WriteAt(int64_t position, const char* data, size_t count) {
    if (m_fd < 0 || position < 0)
        return false;
    int64_t end = position + int64_t(count);
    while (count > 0) {
        ssize_t n = ::pwrite(m_fd, data, count, off_t(position));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        count -= size_t(n);
        position += n;
    }
    m_length = std::max(m_length, end);
    return true;
}

bool TargetFile::ReadAt(int64_t position, char* data, size_t count) const {
    if (m_fd < 0 || position < 0)
        return false;
    while (count > 0) {
        ssize_t n = ::pread(m_fd, data, count, off_t(position));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        count -= size_t(n);
        position += n;
    }
    return true;
}

bool TargetFile::IsStampedComplete() const {
    if (m_fd < 0)
        return false;
    char value[32];
    ssize_t n = ::fgetxattr(m_fd, kStampName, value, sizeof value);
    return IsComplete(value, n);
}

bool TargetFile::IsStampedComplete(const std::string& path) {
    char value[32];
    ssize_t n = ::getxattr(path.c_str(), kStampName, value, sizeof value);
    return IsComplete(value, n);
}

void TargetFile::Stamp(bool complete) {
    if (m_fd < 0)
        return;
    const char* value = complete ? kComplete : kIncomplete;
    // A file system without user attributes keeps no stamp: every file then counts as
    // incomplete and a resume asks the server.
    ::fsetxattr(m_fd, kStampName, value, std::strlen(value), 0);
}

void TargetFile::Stamp(const std::string& path, bool complete) {
    const char* value = complete ? kComplete : kIncomplete;
    ::lsetxattr(path.c_str(), kStampName, value, std::strlen(value), 0);
}

FileValidators TargetFile::Validators() const {
    if (m_fd < 0)
        return {};
    char value[2048];
    ssize_t n = ::fgetxattr(m_fd, kValidatorsName, value, sizeof value);
    return n > 0 ? ParseValidators(std::string_view(value, size_t(n))) : FileValidators{};
}

void TargetFile::SetValidators(const FileValidators& validators) {
    if (m_fd < 0)
        return;
    std::string text = FormatValidators(validators);
    if (text.empty())
        ::fremovexattr(m_fd, kValidatorsName);
    else
        ::fsetxattr(m_fd, kValidatorsName, text.data(), text.size(), 0);
}

SegmentState TargetFile::Segments() const {
    if (m_fd < 0)
        return {};
    char value[8192];
    ssize_t n = ::fgetxattr(m_fd, kSegmentsName, value, sizeof value);
    return n > 0 ? ParseSegments(std::string_view(value, size_t(n))) : SegmentState{};
}

void TargetFile::SetSegments(const SegmentState& state) {
    if (m_fd < 0)
        return;
    std::string text = FormatSegments(state);
    if (text.empty())
        ::fremovexattr(m_fd, kSegmentsName);
    else
        ::fsetxattr(m_fd, kSegmentsName, text.data(), text.size(), 0);
}

StreamState TargetFile::Stream() const {
    if (m_fd < 0)
        return {};
    char value[8192];
    ssize_t n = ::fgetxattr(m_fd, kStreamName, value, sizeof value);
    return n > 0 ? ParseStreamState(std::string_view(value, size_t(n))) : StreamState{};
}

void TargetFile::SetStream(const StreamState& state) {
    if (m_fd < 0)
        return;
    std::string text = FormatStreamState(state);
    if (text.empty())
        ::fremovexattr(m_fd, kStreamName);
    else
        ::fsetxattr(m_fd, kStreamName, text.data(), text.size(), 0);
}

bool TargetFile::IsOwn(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    char value[32];
    ssize_t n = ::lgetxattr(path.c_str(), kStampName, value, sizeof value);
    return IsComplete(value, n) || (n == ssize_t(sizeof kIncomplete - 1) &&
                                    std::memcmp(value, kIncomplete, size_t(n)) == 0);
}

bool TargetFile::IsForeign(const std::string& path) {
    struct stat st {};
    // Where the file system keeps no attributes every file reads as foreign: a new name
    // costs a refetch, a wrong guess would cost the user's file.
    return ::lstat(path.c_str(), &st) == 0 && !IsOwn(path);
}

uint64_t TargetFile::FreeSpace(const std::string& path) {
    std::string dir = path;
    size_t slash = dir.rfind('/');
    dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : dir.substr(0, slash));
    struct statvfs vfs {};
    if (::statvfs(dir.c_str(), &vfs) != 0)
        return 0;
    return uint64_t(vfs.f_bavail) * uint64_t(vfs.f_frsize);
}

} // namespace vireo
