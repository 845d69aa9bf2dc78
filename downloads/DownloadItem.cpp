#include "downloads/DownloadItem.h"

#include "engine/TransferJob.h"
#include "log/TransferLog.h"

namespace vireo {

DownloadItem::DownloadItem(std::string url, std::string targetPath, ItemOwner* owner)
    : m_url(std::move(url)), m_targetPath(std::move(targetPath)), m_owner(owner) {}

DownloadItem::~DownloadItem() = default;

void DownloadItem::SetTargetPath(std::string path) {
    if (path == m_targetPath)
        return;
    std::string old = std::move(m_targetPath);
    m_targetPath = std::move(path);
    if (m_owner)
        m_owner->OnTargetPathChanged(*this, old);
}

void DownloadItem::SetJob(std::unique_ptr<TransferJob> job) {
    m_job = std::move(job);
}

std::string DownloadItem::ErrorText(int code) const {
    return vireo::ErrorText(code == 0 ? m_lastError : code, Received());
}

std::string DownloadItem::FailureText() const {
    return FailureSummary(m_lastError, Received(), m_failure);
}

int64_t DownloadItem::Size() const {
    if (m_job)
        m_size = m_job->Size();
    return m_size;
}

int64_t DownloadItem::Received() const {
    if (m_job)
        m_received = m_job->Bytes();
    return m_received;
}

} // namespace vireo
