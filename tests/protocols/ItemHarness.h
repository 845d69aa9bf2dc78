#pragma once
// Runs one download item against a server and records what it reports, the way the
// document would see it.

#include "TempSettings.h"
#include "downloads/DownloadItem.h"
#include "engine/FileNames.h"
#include "engine/TransferJob.h"
#include "log/TransferLog.h"
#include "peers/TestApp.h"
#include "peers/WaitUntil.h"

#include <QDir>
#include <QFile>

#include <memory>
#include <string>
#include <vector>

#include <csignal>
#include <sys/resource.h>

namespace vireo::test {

// While it lives, no file of this process may grow past bytes: a write beyond fails as on
// a full disk (EFBIG, with the signal it would raise ignored).
class FileSizeCap {
public:
    explicit FileSizeCap(rlim_t bytes) {
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit capped = m_old;
        capped.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &capped);
    }
    ~FileSizeCap() {
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    FileSizeCap(const FileSizeCap&) = delete;
    FileSizeCap& operator=(const FileSizeCap&) = delete;

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
};

class ItemHarness : public ItemOwner {
public:
    ItemHarness() {
        EnsureTestApp();
        dir = settings.Path("/dl");
        QDir().mkpath(QString::fromStdString(dir));
        Settings().SetString(keys::DownPath, dir);
        Settings().SetString(keys::Cwd, settings.Path("/home"));
        Settings().SetInt(keys::Log, 1);
        Settings().SetInt(keys::History, 0);
        Settings().SetInt(keys::Timeout, 5);
        Settings().SetInt(keys::MaxAttemp, 3);
        Settings().SetInt(keys::Proxy, 0);
    }
    ~ItemHarness() override { item.reset(); }

    // Starts url into a name derived from it (or into name); resume keeps the file.
    DownloadItem& Start(const std::string& url, bool resume = false, const std::string& name = "") {
        item = std::make_unique<DownloadItem>(url, "", this);
        started = item->StartItem(url, name, resume);
        return *item;
    }
    // Waits until the item finished or failed.
    bool WaitDone(int ms = 15000) {
        return WaitUntil([&] { return finished > 0 || failed > 0; }, ms);
    }
    // Runs the job's one-second ticks by hand until its attempt ends (its time-out ran
    // out): no real second passes. False when the attempt did not end within limit ticks.
    bool TickUntilTheAttemptEnds(int limit = 100) {
        TransferJob* job = item ? item->Job() : nullptr;
        if (!job)
            return false;
        int attempts = job->Attempts();
        for (int i = 0; i < limit; ++i) {
            // A job that failed was let go of: it is not touched again.
            if (item->Job() != job || failed > 0 || job->Attempts() != attempts)
                return true;
            job->HandleTick();
        }
        return false;
    }
    std::string Path(const std::string& name) const { return dir + "/" + name; }
    QByteArray File(const std::string& name) const {
        QFile f(QString::fromStdString(Path(name)));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    std::string LogText() const {
        QFile f(QString::fromStdString(item->Log().FilePath()));
        return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string();
    }
    bool LogHas(const std::string& text) const { return LogText().find(text) != std::string::npos; }

    std::string TargetPath(const std::string& address) override {
        std::string name =
            SanitizeFileName(LastPathComponent(address.substr(0, address.find('?'))));
        return dir + "/" + (name.empty() ? "index.htm" : name);
    }
    void OnTargetPathChanged(DownloadItem&, const std::string&) override {}
    std::string StartPath(const DownloadItem&, const std::string& path) override { return path; }
    void OnItemEvent(DownloadItem& target, const ItemEvent& event) override {
        events.push_back(event.code);
        // As the document does: an item that finished or failed has its transfer stopped
        // and its file closed inside the notification.
        if (event.code == NotifyFinished) {
            ++finished;
            target.StopTransfer();
        }
        if (event.code == NotifyFailed) {
            ++failed;
            error = event.arg;
            target.StopTransfer();
        }
        if (event.code == NotifyCredentials)
            ++credentialRequests;
        if (event.code == NotifyMoreUrls)
            moreUrls = event.urls;
    }

    TempSettings settings;
    std::string dir;
    std::unique_ptr<DownloadItem> item;
    bool started = false;
    std::vector<int> events;
    int finished = 0, failed = 0, error = 0, credentialRequests = 0;
    std::vector<std::string> moreUrls;
};

} // namespace vireo::test
