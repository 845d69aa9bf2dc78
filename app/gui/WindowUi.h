#pragma once
// The document's user interface in the window front end: message boxes, the dialogs,
// the clipboard, the desktop's handlers for files and pages, the tray icon and the main
// window.

#include "downloads/DocumentUi.h"

#include <QObject>
#include <QPointer>

#include <functional>

namespace vireo {

class CMainFrame;
class HistoryWindow;
class LogWindow;

class WindowUi : public QObject, public DocumentUi {
    Q_OBJECT
public:
    explicit WindowUi(CMainFrame& frame);

    void ShowMessage(const std::string& caption, const std::string& text) override;
    bool AskYesNo(const std::string& text) override;
    ContinueAnswer AskContinueDownload() override;
    CredentialsAnswer AskCredentials(const std::string& url, Credentials& out) override;
    std::optional<InsertLinkAnswer> AskInsertLink() override;
    void ShowSettingsDialog() override;
    std::optional<std::string> AskOpenFileName(const std::string& filter,
                                               const std::string& defaultExtension) override;
    std::optional<std::string> AskSaveFileName(const std::string& filter,
                                               const std::string& defaultExtension) override;

    std::optional<std::string> ClipboardText() override;
    bool ClipboardHasText() override { return m_clipboardHasText; }
    void SetClipboardText(const std::string& text) override;

    void OpenWithShell(const std::string& target, const std::string& workingDir) override;
    void OpenInTextEditor(const std::string& path) override;
    void OpenHelpPage() override;

    bool StartTrayCycle() override;
    bool StopTrayCycle() override;

    void ActivateMainWindow() override;
    void HideMainWindow() override;
    void MinimizeMainWindow() override;
    void ShowToolWindows(bool show) override;
    void CloseLogWindows() override;
    void OpenLogWindow(DownloadItem& item) override;
    void OpenHistoryWindow() override;
    void OnEntryStateChanged(DownloadItem& item, int index, ItemState from, ItemState to) override;

    // Hears every change of an entry's state (the desktop notifications).
    using EntryObserver = std::function<void(DownloadItem&, ItemState, ItemState)>;
    void SetEntryObserver(EntryObserver observer) { m_entryObserver = std::move(observer); }

    // Closes the log and history windows, storing their placements (at exit).
    void CloseToolWindows();
    // The open log and history windows, if any.
    LogWindow* CurrentLogWindow() const;
    HistoryWindow* CurrentHistoryWindow() const;

    // "Label(*.a)|*.a|Other (*.*)|*.*||" as a file dialog's filter.
    static QString FileDialogFilter(const std::string& filter);

private:
    CMainFrame& m_frame;
    bool m_clipboardHasText = false;
    QPointer<LogWindow> m_logWindow;
    QPointer<HistoryWindow> m_historyWindow;
    EntryObserver m_entryObserver;
};

} // namespace vireo
