// Creating entries, naming their files and showing them as lines of the list.
#include "common/AsciiCase.h"
#include "downloads/VireoDoc.h"
#include "engine/DisplayText.h"
#include "engine/FileNames.h"
#include "engine/TargetFile.h"
#include "engine/TransferJob.h"
#include "engine/UrlParts.h"
#include "settings/SettingsStore.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <sys/stat.h>

namespace vireo {

namespace {
constexpr int kLastIndexName = 666;
// A name that would make the target the download directory itself.
constexpr const char* kFallbackName = "download";

std::string AfterLastSlash(const std::string& text) {
    size_t slash = text.rfind('/');
    return slash == std::string::npos ? text : text.substr(slash + 1);
}

std::string DirectoryOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}
} // namespace

std::string CVireoDoc::TargetPath(const std::string& address) {
    SettingsStore& settings = Settings();
    std::string dir = settings.GetString(keys::DownPath);
    UrlKind kind = ClassifyScheme(address);

    std::string name;
    bool indexName = kind == UrlHttp &&
                     (address.empty() || address.back() == '/' || UrlExtension(address).empty());
    if (indexName) {
        // A name already in the folder is skipped, never replaced: it may be a page saved
        // earlier or a file that is not Vireo's at all.
        int n = settings.GetInt(keys::IndexNum);
        for (int tries = 0; tries <= kLastIndexName; ++tries) {
            if (n < 0 || n > kLastIndexName)
                n = 0;
            name = "index" + std::to_string(n++) + ".htm";
            struct stat st {};
            if (::lstat((dir + "/" + name).c_str(), &st) != 0)
                break;
        }
        settings.SetInt(keys::IndexNum, n);
    } else {
        name = FileNameFromUrl(address);
        if (name.empty() || name == ".")
            name = kFallbackName;
        if (kind == UrlPnm) {
            std::string ext = AsciiLower(UrlExtension(address));
            if (ext != "rm" && ext != "ra") {
                size_t dot = name.rfind('.');
                name = (dot == std::string::npos ? name : name.substr(0, dot)) + ".rm";
            }
        }
    }
    return dir + "/" + name;
}

bool CVireoDoc::AddUrl(const std::string& address, bool filtered) {
    if (!IsValidUrl(address))
        return false;
    std::string path = TargetPath(address);
    if (filtered) {
        std::string name = AfterLastSlash(path);
        size_t dot = name.rfind('.');
        if (!m_filter.Passes(dot == std::string::npos ? name : name.substr(dot + 1)))
            return false;
    }
    while (PathInUse(path) || TargetFile::IsForeign(path))
        path = DirectoryOf(path) + NextNumberedName(AfterLastSlash(path));

    std::unique_ptr<DownloadItem> item = CreateItem(address, path);
    item->SetFlags(IF_RESUME);
    item->SetIndex(int(m_items.size()));
    IndexPath(path, item.get(), true);
    DownloadItem& added = *item;
    m_items.push_back(std::move(item));
    m_rows.push_back(ItemRow{});
    m_listChanged = true;
    if (m_view)
        m_view->AppendLine(path, row_image::Waiting);
    RefreshRow(added);
    Schedule();
    return true;
}

std::unique_ptr<DownloadItem> CVireoDoc::CreateItem(const std::string& url,
                                                    const std::string& targetPath) {
    return std::make_unique<DownloadItem>(url, targetPath, this);
}

int CVireoDoc::IndexOf(const DownloadItem& item) const {
    int i = item.Index();
    if (i >= 0 && i < int(m_items.size()) && m_items[size_t(i)].get() == &item)
        return i;
    return -1;
}

void CVireoDoc::RemoveEntry(int index) {
    if (index < 0 || index >= int(m_items.size()))
        return;
    IndexPath(m_items[size_t(index)]->TargetPath(), m_items[size_t(index)].get(), false);
    m_items.erase(m_items.begin() + index);
    m_rows.erase(m_rows.begin() + index);
    m_listChanged = true;
    for (size_t i = size_t(index); i < m_items.size(); ++i)
        m_items[i]->SetIndex(int(i));
    if (m_view)
        m_view->DeleteLine(index);
}

void CVireoDoc::RefreshRow(DownloadItem& item) {
    int i = IndexOf(item);
    if (i < 0)
        return;
    if (m_view) {
        const TransferJob* job = item.Job();
        std::string status;
        if (item.HasFlag(IF_BUSY))
            status = "busy";
        if (item.HasFlag(IF_RECEIVED))
            status = "received";
        if (item.HasFlag(IF_FAILED))
            status = item.ErrorText();
        if (status.empty())
            status = job ? std::to_string(job->Bytes()) : "0";

        m_view->SetText(i, ColFile, LastPathComponent(item.TargetPath()));
        m_view->SetText(i, ColSize, item.HasFlag(IF_LIVE) ? "live" : std::to_string(item.Size()));
        m_view->SetText(i, ColStatus, status);
        m_view->SetText(i, ColElapsed, FormatElapsed(m_rows[size_t(i)].elapsed));
        m_view->SetText(i, ColLeft, job ? job->TimeLeftText() : std::string());
        m_view->SetText(i, ColSpeed, job ? std::to_string(job->Speed()) : "0");
        m_view->SetText(i, ColAttemp, job ? std::to_string(job->Attempts()) : "0");
        m_view->SetText(i, ColAddress, item.Url());
    }
    UpdateRowIcon(item, i);
}

void CVireoDoc::UpdateRowIcon(DownloadItem& item, int index) {
    ItemRow& row = m_rows[size_t(index)];
    int image = -1;
    switch (row.state) {
    case ItemState::Waiting:
        image = row_image::Waiting;
        break;
    case ItemState::Stopped:
        image = row_image::Stopped;
        break;
    case ItemState::Done:
        image = row_image::Done;
        break;
    case ItemState::Failed:
        image = item.LastError() == ErrAttempts ? row_image::AttemptsUsed
                : item.LastError() == 401       ? row_image::Unauthorized
                                                : row_image::Failed;
        break;
    case ItemState::Running:
        break;
    }
    if (item.HasFlag(IF_BUSY))
        image = row_image::Busy;
    if (image < 0) {
        if (!item.HasFlag(IF_RECEIVING)) {
            image = row_image::Waiting;
        } else if (Settings().GetInt(keys::Animated) != 0) {
            if (row.imageCycle < 0 || row.imageCycle == INT32_MAX)
                row.imageCycle = 0;
            ++row.imageCycle;
            image = row_image::RunningFirst + row.imageCycle % row_image::RunningFrames;
        } else {
            image = row_image::RunningStill;
        }
    }
    if (m_view)
        m_view->SetImage(index, image);
}

bool CVireoDoc::PathInUse(const std::string& path) const {
    return m_pathItems.count(AsciiLower(path)) != 0;
}

void CVireoDoc::IndexPath(const std::string& path, DownloadItem* item, bool add) {
    std::string key = AsciiLower(path);
    std::vector<DownloadItem*>& items = m_pathItems[key];
    if (add) {
        items.push_back(item);
        return;
    }
    auto it = std::find(items.begin(), items.end(), item);
    if (it != items.end())
        items.erase(it);
    if (items.empty())
        m_pathItems.erase(key);
}

void CVireoDoc::OnTargetPathChanged(DownloadItem& item, const std::string& oldPath) {
    if (IndexOf(item) < 0)
        return;
    IndexPath(oldPath, &item, false);
    IndexPath(item.TargetPath(), &item, true);
}

std::string CVireoDoc::StartPath(const DownloadItem& item, const std::string& path) {
    // Two transfers never write one file: a name that a running entry writes to is
    // numbered like a clash.
    auto busy = [&](const std::string& p) {
        auto it = m_pathItems.find(AsciiLower(p));
        if (it == m_pathItems.end())
            return false;
        for (const DownloadItem* other : it->second)
            if (other != &item && other->IsFileOpen())
                return true;
        return false;
    };
    // Nor does a transfer write a file that Vireo did not make.
    std::string result = path;
    while (busy(result) || TargetFile::IsForeign(result))
        result = DirectoryOf(result) + NextNumberedName(AfterLastSlash(result));
    return result;
}

} // namespace vireo
