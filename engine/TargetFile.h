#pragma once
// The file a download writes. Blocks are appended at the end, or written at their offset
// for a download in segments; the completion stamp lives in an extended attribute so that
// a resume can tell a whole file from a partial one without asking the server, and a file
// of Vireo's own from one it did not make. Beside it the server's validators of the file
// are kept.

#include "engine/FileValidators.h"
#include "engine/SegmentState.h"
#include "engine/StreamState.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace vireo {

class TargetFile {
public:
    TargetFile() = default;
    ~TargetFile() { Close(); }
    TargetFile(const TargetFile&) = delete;
    TargetFile& operator=(const TargetFile&) = delete;

    // Opens the file for reading and writing, creating it when missing; created tells
    // which happened.
    bool Open(const std::string& path, bool* created = nullptr);
    void Close();
    bool IsOpen() const { return m_fd >= 0; }

    int64_t Length() const { return m_length; }
    bool SetLength(int64_t length);
    // Extends the file to length bytes at once; false when the file system has not the
    // room for the bytes to come.
    bool Allocate(int64_t length);
    bool Append(const char* data, size_t count);
    // Appends exactly count bytes read from the pipe (what is left there after a failure
    // is the caller's to drop).
    bool AppendFromPipe(int pipeFd, size_t count);
    // The same in place at position; a write past the end extends the file.
    bool WriteFromPipeAt(int64_t position, int pipeFd, size_t count);
    std::string ReadHead(size_t count) const;
    // In place; a write past the end extends the file.
    bool WriteAt(int64_t position, const char* data, size_t count);
    // Exactly count bytes at position, or false.
    bool ReadAt(int64_t position, char* data, size_t count) const;

    // "complete" / "incomplete"; a file system without user attributes, or a file that
    // was never stamped, reads as incomplete.
    bool IsStampedComplete() const;
    void Stamp(bool complete);
    static bool IsStampedComplete(const std::string& path);
    static void Stamp(const std::string& path, bool complete);

    // The validators stored with the file; empty ones remove them.
    FileValidators Validators() const;
    void SetValidators(const FileValidators& validators);
    // The ranges still missing of a download in segments; an empty state removes them.
    SegmentState Segments() const;
    void SetSegments(const SegmentState& state);
    // Where the recording of a stream stands; an empty state removes it.
    StreamState Stream() const;
    void SetStream(const StreamState& state);

    // A regular file (not a link) that carries a stamp: Vireo made it.
    static bool IsOwn(const std::string& path);
    // Something is at path that Vireo did not make: it is never written, cut or deleted.
    static bool IsForeign(const std::string& path);

    // Free bytes of the file system holding path; 0 when it cannot be told.
    static uint64_t FreeSpace(const std::string& path);

private:
    int m_fd = -1;
    int64_t m_length = 0;
};

} // namespace vireo
