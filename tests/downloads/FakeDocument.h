#pragma once
// A document whose items do not transfer anything: a test says how each start goes and
// then plays the item's notifications itself. Also a user interface that records what the
// document asked of it and answers from a script.

#include "common/ByteBuffer.h"
#include "downloads/NullDocumentUi.h"
#include "downloads/VireoDoc.h"
#include "engine/TransferJob.h"

#include <QCoreApplication>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace vireo::test {

// Queued calls need an application object; one serves every test of the program.
inline QCoreApplication& QtApp() {
    static int argc = 1;
    static char name[] = "vireo-test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

inline void RunQueuedCalls() {
    QtApp();
    QCoreApplication::processEvents();
}

class FakeJob : public TransferJob {
public:
    FakeJob() : TransferJob(nullptr, "", "", 0) {}
    void Progress(int64_t size, int64_t bytes, int64_t speed, int64_t left) {
        m_size = size;
        m_bytes = bytes;
        m_speed = speed;
        m_timeLeft = left;
    }
};

// How the next start of an address goes.
enum class StartResult {
    Ok,           // the transfer runs
    Fail,         // StartItem returns false without a notification
    FailNotified, // the item fails inside the start (as when its file cannot be created)
    Complete,     // the file is complete on disk: the item finishes inside the start
    // The item finishes inside the start and still answers that it started.
    CompleteButStarted,
};

struct StartScript {
    std::map<std::string, StartResult> results; // by URL; Ok when missing
    std::vector<std::string> started;           // URLs in the order their starts were asked
};

class FakeItem : public DownloadItem {
public:
    FakeItem(const std::string& url, const std::string& path, ItemOwner* owner, StartScript& script)
        : DownloadItem(url, path, owner), m_script(script) {}

    bool lastResume = false;
    int stops = 0;

    bool StartItem(const std::string& url, const std::string&, bool resume) override {
        m_script.started.push_back(url);
        lastResume = resume;
        SetJob(nullptr);
        SetFlags(IF_NO_NAME | (resume ? IF_RESUME : 0), ~0u);
        auto it = m_script.results.find(url);
        switch (it == m_script.results.end() ? StartResult::Ok : it->second) {
        case StartResult::Ok:
            SetJob(std::make_unique<FakeJob>());
            SetFlags(IF_DIRTY);
            return true;
        case StartResult::Fail:
            return false;
        case StartResult::FailNotified:
            Fail(ErrOpenFile);
            return false;
        case StartResult::Complete:
            Finish();
            return false;
        case StartResult::CompleteButStarted:
            Finish();
            return true;
        }
        return false;
    }
    void StopTransfer() override {
        ++stops;
        SetJob(nullptr);
    }

    FakeJob* Fake() { return static_cast<FakeJob*>(Job()); }
    void Notify(int code, int arg = 0, std::vector<std::string> urls = {}) override {
        m_owner->OnItemEvent(*this, ItemEvent{code, arg, std::move(urls)});
    }
    void Fail(int code) {
        SetLastError(code);
        SetFlags(IF_FAILED);
        Notify(NotifyFailed, code);
    }
    void Finish() {
        SetFlags(IF_RECEIVED);
        Notify(NotifyFinished);
    }

private:
    StartScript& m_script;
};

class FakeDocument : public CVireoDoc {
public:
    using CVireoDoc::CVireoDoc;
    StartScript script;
    std::vector<std::pair<std::string, std::string>> harvested; // url, page
    bool harvestLinks = false; // also queue the page's links as the document does

    std::unique_ptr<DownloadItem> CreateItem(const std::string& url,
                                             const std::string& path) override {
        return std::make_unique<FakeItem>(url, path, this, script);
    }
    FakeItem& Fake(int index) { return static_cast<FakeItem&>(Item(index)); }
    std::vector<ItemState> States() const {
        std::vector<ItemState> out;
        for (int i = 0; i < ItemCount(); ++i)
            out.push_back(State(i));
        return out;
    }

protected:
    void HarvestLinks(const ByteBuffer& page, const std::string& url) override {
        harvested.emplace_back(url, page.ToString());
        if (harvestLinks)
            CVireoDoc::HarvestLinks(page, url);
    }
};

// Answers from fields the test sets; records what it was asked.
class ScriptedUi : public NullDocumentUi {
public:
    std::vector<std::pair<std::string, std::string>> messages;
    std::vector<std::string> questions;
    bool yes = true;
    ContinueAnswer continueAnswer = ContinueAnswer::Cancel;
    CredentialsAnswer credentialsAnswer = CredentialsAnswer::Cancelled;
    Credentials credentials;
    std::vector<std::string> credentialUrls;
    std::optional<InsertLinkAnswer> insertLink;
    std::optional<std::string> fileName;
    std::optional<std::string> clipboard;
    std::vector<std::string> shell; // "target|dir", "editor:path", "help"
    std::vector<std::string> windows;
    int trayStarts = 0, trayStops = 0, settingsShown = 0;
    // The activity counter each dialog saw while it was open.
    std::vector<int> activityInDialog;
    const CVireoDoc* doc = nullptr;
    std::function<void()> duringSettings;

    void ShowMessage(const std::string& caption, const std::string& text) override {
        messages.emplace_back(caption, text);
    }
    bool AskYesNo(const std::string& text) override {
        questions.push_back(text);
        return yes;
    }
    ContinueAnswer AskContinueDownload() override {
        Seen();
        return continueAnswer;
    }
    CredentialsAnswer AskCredentials(const std::string& url, Credentials& out) override {
        Seen();
        credentialUrls.push_back(url);
        out = credentials;
        return credentialsAnswer;
    }
    std::optional<InsertLinkAnswer> AskInsertLink() override {
        Seen();
        return insertLink;
    }
    void ShowSettingsDialog() override {
        Seen();
        ++settingsShown;
        if (duringSettings)
            duringSettings();
    }
    std::optional<std::string> AskOpenFileName(const std::string&, const std::string&) override {
        Seen();
        return fileName;
    }
    std::optional<std::string> AskSaveFileName(const std::string&, const std::string&) override {
        Seen();
        return fileName;
    }
    std::optional<std::string> ClipboardText() override { return clipboard; }
    bool ClipboardHasText() override { return clipboard.has_value(); }
    void SetClipboardText(const std::string& text) override { clipboard = text; }
    void OpenWithShell(const std::string& target, const std::string& dir) override {
        shell.push_back(target + "|" + dir);
    }
    void OpenInTextEditor(const std::string& path) override { shell.push_back("editor:" + path); }
    void OpenHelpPage() override { shell.push_back("help"); }
    bool StartTrayCycle() override { return ++trayStarts, true; }
    bool StopTrayCycle() override { return ++trayStops, true; }
    void ActivateMainWindow() override { windows.push_back("activate"); }
    void HideMainWindow() override { windows.push_back("hide"); }
    void MinimizeMainWindow() override { windows.push_back("minimize"); }
    void ShowToolWindows(bool show) override { windows.push_back(show ? "tools+" : "tools-"); }
    void CloseLogWindows() override { windows.push_back("close logs"); }
    void OpenLogWindow(DownloadItem& item) override { windows.push_back("log " + item.Url()); }
    void OpenHistoryWindow() override { windows.push_back("history"); }

private:
    void Seen() {
        if (doc)
            activityInDialog.push_back(doc->ActivityCounter());
    }
};

} // namespace vireo::test
