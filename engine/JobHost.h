#pragma once
// What a transfer job needs from the item it serves: the target file, the log, the
// credentials and the way to report progress, completion and failure.

#include "engine/FileValidators.h"
#include "engine/ItemEvent.h"
#include "engine/SegmentState.h"
#include "engine/StreamState.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vireo {

// The variant of a master playlist that a recording records.
struct StreamVariant {
    std::string uri;
    int64_t bandwidth = -1;    // bits per second; -1 when the master playlist does not say
    int width = 0, height = 0; // 0 when it names no resolution
    bool operator==(const StreamVariant&) const = default;
};

class JobHost {
public:
    virtual ~JobHost() = default;

    virtual const std::string& Url() const = 0;
    // The download's own speed limit in bytes per second; 0 for none.
    virtual int64_t SpeedLimit() const { return 0; }
    // "user:password" for the given server; empty when there are none for it, so that a
    // redirect to another server never carries them along.
    virtual std::string CredentialsFor(const std::string& host) = 0;
    // Bits shared by the job's and the item's flag words change on both.
    virtual void ChangeFlags(uint32_t set, uint32_t clear) = 0;

    // Appends a block at the end of the target file; false (and the item failed) when the
    // disk is full or the write fails.
    virtual bool WriteData(const char* data, size_t count) = 0;
    // Whether WriteFromPipe works: the block then goes from the socket to the file
    // without passing through the program's memory.
    virtual bool TakesPipes() const { return false; }
    // Appends the count bytes waiting in the pipe at the end of the target file, as
    // WriteData does; false (and the item failed) when the disk is full or the write fails.
    virtual bool WriteFromPipe(int /*pipeFd*/, size_t /*count*/) { return false; }
    // The count bytes waiting in the pipe at their offset in the target file, as
    // WriteDataAt does.
    virtual bool WriteFromPipeAt(int64_t /*position*/, int /*pipeFd*/, size_t /*count*/) {
        return false;
    }
    // Cuts or extends the target file to length bytes.
    virtual void SetFileLength(int64_t length) = 0;
    virtual int64_t FileLength() = 0;
    // Up to count bytes from the start of the target file.
    virtual std::string ReadFileHead(size_t count) = 0;
    // Writes in place (a header patched after the data); a write past the end extends the
    // file. False when the file is not open or the write failed.
    virtual bool WriteFileAt(int64_t position, const char* data, size_t count) = 0;
    // Reads exactly count bytes at position; false when the file holds fewer.
    virtual bool ReadFileAt(int64_t position, char* data, size_t count) = 0;

    // The server's validators kept with the target file since its first byte arrived.
    virtual FileValidators StoredValidators() = 0;
    virtual void StoreValidators(const FileValidators& validators) = 0;

    // A download in segments. The ranges still missing, kept with the target file.
    virtual SegmentState StoredSegments() { return {}; }
    virtual void StoreSegments(const SegmentState&) {}
    // A stream recording: where it stands, kept with the target file.
    virtual StreamState StoredStream() { return {}; }
    virtual void StoreStream(const StreamState&) {}
    // The recording of a master playlist knows which of its variants it records.
    virtual void NoteVariant(const StreamVariant&) {}
    // The recording's kind is known: the target's name gets this extension (".mp4"). A
    // file this start made and left empty is renamed; a partial file of an earlier run
    // under the new name is opened to be continued. False (and the item failed) when no
    // file can be opened.
    virtual bool SetTargetExtension(std::string_view) { return true; }
    // The target file extended to its whole size at once; false (and the item failed)
    // when the disk cannot hold it.
    virtual bool AllocateFile(int64_t length) {
        SetFileLength(length);
        return true;
    }
    // A block at its offset in the target file; false (and the item failed) when the disk
    // is full or the write fails.
    virtual bool WriteDataAt(int64_t position, const char* data, size_t count) {
        return WriteFileAt(position, data, count);
    }

    virtual void FinishItem() = 0;
    virtual int FailItem(int code) = 0;
    virtual void Notify(int code, int arg = 0, std::vector<std::string> urls = {}) = 0;
    virtual bool RestartItem(const std::string& url) = 0;

    // One line of the item's transfer log; kind is one of '!', 'E', 'I', 'O', 'R'.
    virtual void AddRecord(std::string_view text, char kind, bool numbered = true) = 0;
    // A "name: value" line.
    virtual void AddField(std::string_view name, std::string_view text, char kind,
                          bool numbered) = 0;
    // A hex dump of unexpected data.
    virtual void AddDump(const char* data, size_t count) = 0;
};

} // namespace vireo
