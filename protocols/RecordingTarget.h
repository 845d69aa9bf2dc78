#pragma once
// What the stream recorder needs from the transfer that feeds it: the target file (appends
// through the transfer's data path, patches and reads in place), the transfer's size and
// state bits, and its log. The transfer implements it; tests implement it over memory.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vireo {

class RecordingTarget {
public:
    virtual ~RecordingTarget() = default;

    // Bytes the file holds for this recording (the transfer's byte count).
    virtual int64_t ByteCount() const = 0;
    // Appends at the end and counts the bytes; false when the write failed (the item has
    // failed then and the recording must stop).
    virtual bool Append(const void* data, size_t count) = 0;
    // Writes in place, also past the byte count (the index), without counting.
    virtual bool WriteAt(int64_t position, const void* data, size_t count) = 0;
    // Reads exactly count bytes at position; false when the file holds fewer.
    virtual bool ReadAt(int64_t position, void* data, size_t count) = 0;
    // Cuts the file to n bytes; the byte count becomes n.
    virtual void SetStartOffset(int64_t n) = 0;

    // Expected length of the whole recording; 0 while unknown.
    virtual int64_t TotalSize() const = 0;
    virtual void SetTotalSize(int64_t size) = 0;
    virtual bool IsLive() const = 0;
    virtual void SetLive(bool live) = 0;
    // Set while the stream repeats what the partial file already holds.
    virtual bool IsCatchingUp() const = 0;
    virtual void SetCatchingUp(bool on) = 0;
    // When set, the recording is complete once the byte count reaches the total size.
    virtual void SetSizeLimited(bool on) = 0;
    // The display of the item changed (a new size or state).
    virtual void NotifyChanged() = 0;

    virtual void Log(std::string_view text, char kind) = 0;
    virtual void LogField(std::string_view name, std::string_view value, char kind) = 0;
    virtual void LogDump(const void* data, size_t count) = 0;
};

} // namespace vireo
