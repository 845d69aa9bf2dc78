// Fetches one address into a directory with one download item and nothing else around
// it: the transfer engine as the document drives it, for whole-process comparisons with
// other download tools (bench/ftp_compare.sh).
//
//   fetch_item [--passive] [--log] DIR URL
//
// Exits 0 when the item finished, 1 when it failed, 2 on bad usage. The settings are a
// file of its own in DIR, so the user's configuration is never read or changed.
#include "downloads/DownloadItem.h"
#include "engine/FileNames.h"
#include "settings/SettingsStore.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace {
class Owner : public vireo::ItemOwner {
public:
    explicit Owner(std::string dir) : m_dir(std::move(dir)) {}

    std::string TargetPath(const std::string& address) override {
        std::string name =
            vireo::SanitizeFileName(vireo::LastPathComponent(address.substr(0, address.find('?'))));
        return m_dir + "/" + (name.empty() ? "index.htm" : name);
    }
    void OnTargetPathChanged(vireo::DownloadItem&, const std::string&) override {}
    std::string StartPath(const vireo::DownloadItem&, const std::string& path) override {
        return path;
    }
    void OnItemEvent(vireo::DownloadItem& item, const vireo::ItemEvent& event) override {
        if (event.code == vireo::NotifyFinished) {
            m_result = 0;
            QCoreApplication::exit(0);
        } else if (event.code == vireo::NotifyFailed) {
            std::fprintf(stderr, "fetch_item: %s\n", item.ErrorText(event.arg).c_str());
            m_result = 1;
            QCoreApplication::exit(1);
        }
    }
    int Result() const { return m_result; }

private:
    std::string m_dir;
    int m_result = -1;
};
} // namespace

int main(int argc, char** argv) {
    bool passive = false;
    bool log = false;
    int arg = 1;
    for (; arg < argc && argv[arg][0] == '-'; ++arg) {
        if (std::strcmp(argv[arg], "--passive") == 0)
            passive = true;
        else if (std::strcmp(argv[arg], "--log") == 0)
            log = true;
        else
            break;
    }
    if (argc - arg != 2) {
        std::fputs("usage: fetch_item [--passive] [--log] DIR URL\n", stderr);
        return 2;
    }
    QCoreApplication app(argc, argv);
    std::string dir = QDir(QString::fromLocal8Bit(argv[arg])).absolutePath().toStdString();
    std::string url = argv[arg + 1];
    QDir().mkpath(QString::fromStdString(dir));

    vireo::OpenSettings(QString::fromStdString(dir + "/.fetch_item.conf"));
    vireo::SettingsStore& settings = vireo::Settings();
    settings.SetString("downpath", dir);
    settings.SetString("cwd", dir);
    settings.SetInt("log", log ? 1 : 0);
    settings.SetInt("history", 0);
    settings.SetInt("timeout", 40);
    settings.SetInt("maxattemp", 5);
    settings.SetInt("proxy", 0);
    settings.SetInt("ftppassive", passive ? 1 : 0);

    Owner owner(dir);
    auto item = std::make_unique<vireo::DownloadItem>(url, "", &owner);
    if (!item->StartItem(url, "", false) && owner.Result() != 0)
        return 1;
    int result = owner.Result() >= 0 ? owner.Result() : app.exec();
    item.reset();
    return result;
}
