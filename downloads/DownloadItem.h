#pragma once
// One entry of the download list: an address, its target file and what its transfer
// has reported.

#include "engine/ErrorText.h"
#include "engine/ItemEvent.h"
#include "engine/ItemFlags.h"

#include <cstdint>
#include <memory>
#include <string>

namespace vireo {

class DownloadItem;
class TransferJob;

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
};

class DownloadItem {
public:
    DownloadItem(std::string url, std::string targetPath, ItemOwner* owner);
    virtual ~DownloadItem();
    DownloadItem(const DownloadItem&) = delete;
    DownloadItem& operator=(const DownloadItem&) = delete;

    const std::string& Url() const { return m_url; }
    const std::string& TargetPath() const { return m_targetPath; }
    void SetTargetPath(std::string path);
    const std::string& Credentials() const { return m_credentials; }
    void SetCredentials(std::string credentials) { m_credentials = std::move(credentials); }

    uint32_t Flags() const { return m_flags; }
    bool HasFlag(uint32_t flag) const { return (m_flags & flag) != 0; }
    void SetFlags(uint32_t set, uint32_t clear = 0) { m_flags = (m_flags & ~clear) | set; }

    int LastError() const { return m_lastError; }
    void SetLastError(int code) { m_lastError = code; }
    // The text of a failure code; 0 means the item's last error.
    std::string ErrorText(int code = 0) const;

    // Starts a transfer of url. An empty fileName derives the target name from the URL at
    // this start; resume keeps what the target file already holds. False when the
    // transfer could not start (the item has failed then).
    virtual bool StartItem(const std::string& url, const std::string& fileName, bool resume);
    // Starts over with another URL (redirects, stream metafiles).
    virtual bool RestartItem(const std::string& url);
    // Ends the transfer and closes the target file; what it holds stays for a resume.
    virtual void StopTransfer();

    TransferJob* Job() const { return m_job.get(); }
    // Makes job the item's current transfer, deleting the one it had.
    void SetJob(std::unique_ptr<TransferJob> job);
    // Total size and bytes held, copied from the job whenever there is one.
    int64_t Size() const;
    int64_t Received() const;

    // Position of the entry in its list (item, row and line share it).
    int Index() const { return m_index; }
    void SetIndex(int index) { m_index = index; }

protected:
    std::string m_url;
    std::string m_targetPath;
    std::string m_credentials;
    ItemOwner* m_owner;
    std::unique_ptr<TransferJob> m_job;
    int m_lastError = 0;
    uint32_t m_flags = 0;
    mutable int64_t m_received = 0;
    mutable int64_t m_size = 0;
    int m_index = -1;
};

} // namespace vireo
