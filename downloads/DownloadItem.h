#pragma once
// One entry of the download list: an address, its target file and what its transfer
// has reported.

#include "engine/Checksum.h"
#include "engine/ErrorText.h"
#include "engine/FailureCause.h"
#include "engine/ItemEvent.h"
#include "engine/ItemFlags.h"
#include "engine/JobHost.h"
#include "engine/TargetFile.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace vireo {

class DownloadItem;
class TransferJob;

// What a list line or the command line can give an address besides itself.
struct ItemOptions {
    ExpectedDigest digest;
    int64_t speedLimit = 0; // bytes per second; 0 for none
    bool operator==(const ItemOptions&) const = default;
};
class TransferLog;

// What an item needs from the list that owns it.
class ItemOwner {
public:
    virtual ~ItemOwner() = default;
    // The local path an address downloads to.
    virtual std::string TargetPath(const std::string& address) = 0;
    // Called after the item's target path changed, so the owner's lookups stay true.
    virtual void OnTargetPathChanged(DownloadItem& item, const std::string& oldPath) = 0;
    // Every notification of the item's transfer (see ItemNotification).
    virtual void OnItemEvent(DownloadItem& item, const ItemEvent& event) = 0;
    // The path a starting item writes to: path itself unless another running entry
    // writes there, then the next free numbered name.
    virtual std::string StartPath(const DownloadItem& item, const std::string& path) = 0;
};

class DownloadItem : public JobHost {
public:
    // Redirects and metafiles followed in one start before the item fails.
    static constexpr int kMaxRestarts = 20;

    DownloadItem(std::string url, std::string targetPath, ItemOwner* owner);
    ~DownloadItem() override;
    DownloadItem(const DownloadItem&) = delete;
    DownloadItem& operator=(const DownloadItem&) = delete;

    const std::string& Url() const override { return m_url; }
    const std::string& TargetPath() const { return m_targetPath; }
    void SetTargetPath(std::string path);
    const std::string& Credentials() const { return m_credentials; }
    // Credentials the user typed for the server of the current address.
    void SetCredentials(std::string credentials);
    std::string CredentialsFor(const std::string& host) override;

    uint32_t Flags() const { return m_flags; }
    bool HasFlag(uint32_t flag) const { return (m_flags & flag) != 0; }
    void SetFlags(uint32_t set, uint32_t clear = 0) { m_flags = (m_flags & ~clear) | set; }

    int LastError() const { return m_lastError; }
    void SetLastError(int code) { m_lastError = code; }
    // The text of a failure code; 0 means the item's last error.
    std::string ErrorText(int code = 0) const;
    // Why the last failure happened, in plain words ("connection refused"); empty when
    // its error text says it all.
    const std::string& FailureCause() const { return m_failure.words; }
    // Attempts the failed transfer had started.
    int AttemptsMade() const { return m_failure.attempts; }
    // The error text with the cause and the attempts: what a failed entry tells the user.
    std::string FailureText() const;
    void SetFailureCause(vireo::FailureCause cause) { m_failure = std::move(cause); }

    // Starts a transfer of url. An empty fileName derives the target name from the URL at
    // this start; resume keeps what the target file already holds. False when the
    // transfer could not start (the item has failed then).
    virtual bool StartItem(const std::string& url, const std::string& fileName, bool resume);
    // Starts over with another URL (redirects, stream metafiles).
    bool RestartItem(const std::string& url) override;
    // Ends the transfer and closes the target file; what it holds stays for a resume.
    virtual void StopTransfer();

    TransferJob* Job() const { return m_job.get(); }
    // Makes job the item's current transfer, deleting the one it had.
    void SetJob(std::unique_ptr<TransferJob> job);
    // Total size and bytes held, copied from the job whenever there is one.
    int64_t Size() const;
    int64_t Received() const;
    bool IsFileOpen() const { return m_file.IsOpen(); }

    // The item's transfer log, made when it is first needed: entries that never start
    // take no log number and touch no log file.
    TransferLog& Log();
    bool HasLog() const { return m_log != nullptr; }

    // What the job calls.
    void ChangeFlags(uint32_t set, uint32_t clear) override { SetFlags(set, clear); }
    bool WriteData(const char* data, size_t count) override;
    bool TakesPipes() const override { return true; }
    bool WriteFromPipe(int pipeFd, size_t count) override;
    bool WriteFromPipeAt(int64_t position, int pipeFd, size_t count) override;
    void SetFileLength(int64_t length) override;
    int64_t FileLength() override { return m_file.Length(); }
    std::string ReadFileHead(size_t count) override { return m_file.ReadHead(count); }
    bool WriteFileAt(int64_t position, const char* data, size_t count) override {
        return m_file.WriteAt(position, data, count);
    }
    bool ReadFileAt(int64_t position, char* data, size_t count) override {
        return m_file.ReadAt(position, data, count);
    }
    FileValidators StoredValidators() override { return m_file.Validators(); }
    void StoreValidators(const FileValidators& validators) override {
        m_file.SetValidators(validators);
    }
    SegmentState StoredSegments() override { return m_file.Segments(); }
    void StoreSegments(const SegmentState& state) override { m_file.SetSegments(state); }
    StreamState StoredStream() override { return m_file.Stream(); }
    void StoreStream(const StreamState& state) override { m_file.SetStream(state); }
    void NoteVariant(const StreamVariant& variant) override { m_variant = variant; }
    // The master playlist's variant this start records; empty before it is chosen and for
    // every other download.
    const std::optional<StreamVariant>& Variant() const { return m_variant; }
    bool SetTargetExtension(std::string_view extension) override;
    bool AllocateFile(int64_t length) override;
    bool WriteDataAt(int64_t position, const char* data, size_t count) override;
    void FinishItem() override;
    int FailItem(int code) override;
    void Notify(int code, int arg = 0, std::vector<std::string> urls = {}) override;
    void AddRecord(std::string_view text, char kind, bool numbered = true) override;
    void AddField(std::string_view name, std::string_view text, char kind, bool numbered) override;
    void AddDump(const char* data, size_t count) override;

    // The digest the finished file must have; the item fails when it has another.
    const ExpectedDigest& Digest() const { return m_digest; }
    void SetDigest(ExpectedDigest digest) { m_digest = std::move(digest); }
    // How the last check of the digest went.
    enum class DigestCheck { None, Checking, Verified, Mismatch };
    DigestCheck DigestResult() const { return m_digestCheck; }
    // The download's own speed limit, bytes per second; 0 for none.
    int64_t SpeedLimit() const override { return m_speedLimit; }
    void SetSpeedLimit(int64_t bytesPerSecond) { m_speedLimit = bytesPerSecond; }
    ItemOptions Options() const { return {m_digest, m_speedLimit}; }
    void SetOptions(const ItemOptions& options) {
        m_digest = options.digest;
        m_speedLimit = options.speedLimit;
    }

    // Position of the entry in its list (item, row and line share it).
    int Index() const { return m_index; }
    void SetIndex(int index) { m_index = index; }

protected:
    // Derives the name when it comes from the URL, then makes the job for the URL's
    // scheme; false when the item failed.
    bool CreateJob();
    // Opens the target file; false when the item failed. finished tells that a whole
    // file was found and the item completed without a transfer.
    bool OpenTarget(bool resume, bool* finished);
    void DeleteJob();
    // Closes the target file. One that this start created is removed when it never
    // received a byte (a failure leaves nothing behind) or when discard says its bytes are
    // not the download (the answer that sent the item elsewhere).
    void CloseTarget(bool discard = false);
    std::string HostOf(const std::string& url) const;
    // The hashing of the finished file is over (hex empty: it could not be read).
    void OnDigestKnown(const std::string& hex);
    // Completes the item: stamps the file whole and tells the owner.
    void Complete();
    // Runs a write of the target file when the disk has room for it; a refused one fails
    // the item as disk full.
    template <class Write> bool WriteChecked(Write write);

    std::string m_url;
    std::string m_targetPath;
    std::string m_credentials;
    std::string m_credentialsHost; // the server the credentials belong to
    ItemOwner* m_owner;
    TargetFile m_file;
    bool m_createdFile = false; // this start created the open target file
    std::unique_ptr<TransferLog> m_log;
    int m_restarts = 0;
    std::unique_ptr<TransferJob> m_job;
    int m_lastError = 0;
    vireo::FailureCause m_failure;
    uint32_t m_flags = 0;
    mutable int64_t m_received = 0;
    mutable int64_t m_size = 0;
    int m_index = -1;
    ExpectedDigest m_digest;
    DigestCheck m_digestCheck = DigestCheck::None;
    // Alive while this item waits for its file's digest: a result that finds it gone (the
    // item stopped, restarted or deleted meanwhile) is dropped.
    std::shared_ptr<int> m_digestWait;
    int64_t m_speedLimit = 0;
    std::optional<StreamVariant> m_variant;
};

} // namespace vireo
