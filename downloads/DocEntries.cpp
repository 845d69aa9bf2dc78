// Creating and removing entries and naming their files.
#include "common/AsciiCase.h"
#include "downloads/VireoDoc.h"
#include "engine/FileNames.h"
#include "engine/TargetFile.h"
#include "engine/UrlParts.h"
#include "settings/SettingsStore.h"

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
        // A stream playlist is recorded, not saved: MPEG-TS until the playlist says
        // otherwise (the recording renames an empty file to .mp4 for fragmented MP4).
        if (kind == UrlHttp && AsciiLower(UrlExtension(address)) == "m3u8")
            name = name.substr(0, name.rfind('.')) + ".ts";
    }
    return dir + "/" + name;
}

bool CVireoDoc::AddUrl(const std::string& address, bool filtered, const ItemOptions& options) {
    if (!IsValidUrl(address))
        return false;
    std::string path = TargetPath(address);
    if (filtered) {
        std::string name = AfterLastSlash(path);
        size_t dot = name.rfind('.');
        if (!m_filter.Passes(dot == std::string::npos ? name : name.substr(dot + 1)))
            return false;
    }
    while (m_entries.PathInUse(path) || TargetFile::IsForeign(path))
        path = DirectoryOf(path) + NextNumberedName(AfterLastSlash(path));

    std::unique_ptr<DownloadItem> item = CreateItem(address, path);
    item->SetFlags(IF_RESUME);
    item->SetOptions(options);
    DownloadItem& added = m_entries.Append(std::move(item));
    m_presenter.AppendLine(path);
    RefreshRow(added);
    Schedule();
    return true;
}

std::unique_ptr<DownloadItem> CVireoDoc::CreateItem(const std::string& url,
                                                    const std::string& targetPath) {
    return std::make_unique<DownloadItem>(url, targetPath, this);
}

void CVireoDoc::RemoveEntry(int index) {
    if (index < 0 || index >= ItemCount())
        return;
    m_entries.Remove(index);
    m_presenter.DeleteLine(index);
}

void CVireoDoc::RefreshRow(DownloadItem& item) {
    m_presenter.Refresh(item);
}

void CVireoDoc::UpdateRowIcon(DownloadItem& item, int index) {
    m_presenter.UpdateImage(item, index);
}

void CVireoDoc::OnTargetPathChanged(DownloadItem& item, const std::string& oldPath) {
    m_entries.OnPathChanged(item, oldPath);
}

std::string CVireoDoc::StartPath(const DownloadItem& item, const std::string& path) {
    // Two transfers never write one file: a name that a running entry writes to is
    // numbered like a clash. Nor does a transfer write a file that Vireo did not make.
    std::string result = path;
    while (m_entries.PathWrittenByOther(result, item) || TargetFile::IsForeign(result))
        result = DirectoryOf(result) + NextNumberedName(AfterLastSlash(result));
    return result;
}

} // namespace vireo
