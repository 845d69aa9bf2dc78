#include "downloads/RecentUrls.h"

#include "common/ByteBuffer.h"
#include "common/LineSplitter.h"
#include "common/WriteFileAtomically.h"
#include "settings/SettingsStore.h"

#include <algorithm>

namespace vireo {

std::vector<std::string> RecentUrls::Parse(std::string_view text) {
    std::vector<std::string> urls;
    for (std::string_view line : SplitLines(text))
        if (!line.empty())
            urls.emplace_back(line);
    return urls;
}

std::string RecentUrls::Text(const std::vector<std::string>& urls) {
    std::string text;
    for (const std::string& url : urls) {
        text += url;
        text += "\r\n";
    }
    return text;
}

void RecentUrls::Confirm(std::vector<std::string>& urls, const std::string& url) {
    if (url.empty())
        return;
    urls.erase(std::remove(urls.begin(), urls.end(), url), urls.end());
    urls.insert(urls.begin(), url);
    // A list read from a longer, hand-made file shrinks to the limit as well.
    if (urls.size() > kMaxEntries)
        urls.resize(kMaxEntries);
}

std::string RecentUrls::FilePath() {
    return Settings().GetString(keys::Cwd) + "/prefer.dat";
}

std::vector<std::string> RecentUrls::Load() {
    ByteBuffer file;
    if (!file.LoadFile(FilePath()))
        return {};
    return Parse(file.View());
}

bool RecentUrls::Save(const std::vector<std::string>& urls) {
    return WriteFileAtomically(FilePath(), Text(urls));
}

} // namespace vireo
