#pragma once
// The item harness for FTP: ftp addresses, and the sizes the list was shown while the
// transfer ran.

#include "ItemHarness.h"

#include <QString>

#include <vector>

namespace vireo::test {

class FtpHarness : public ItemHarness {
public:
    void OnItemEvent(DownloadItem& item, const ItemEvent& event) override {
        ItemHarness::OnItemEvent(item, event);
        if (event.code == NotifyAttempt && item.Size() > 0)
            shownSizes.push_back(item.Size());
    }
    // The texts of the log's records of one kind, in order ("USER anonymous" for 'O').
    std::vector<std::string> Records(char kind) const {
        std::vector<std::string> texts;
        std::string log = LogText();
        for (size_t pos = 0, end; pos < log.size(); pos = end + 2) {
            end = log.find("\r\n", pos);
            if (end == std::string::npos)
                end = log.size();
            std::string line = log.substr(pos, end - pos);
            size_t space = line.find(' ');
            if (line.size() > space + 3 && line[0] == '#' && line[space + 1] == kind &&
                line[space + 2] == ' ')
                texts.push_back(line.substr(space + 3));
        }
        return texts;
    }

    std::vector<int64_t> shownSizes;
};

inline std::string FtpUrl(quint16 port, const std::string& path) {
    return "ftp://127.0.0.1:" + std::to_string(port) + path;
}

} // namespace vireo::test
