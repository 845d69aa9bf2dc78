#pragma once
// Everything the document asks of a user interface besides the lines of its list: message
// boxes and questions, its modal dialogs, the clipboard, the shell, the tray icon and the
// windows. The window front end answers with widgets, the terminal front end without
// asking anyone, and tests with doubles. Every call comes from the document's thread.

#include "downloads/ItemRow.h"

#include <optional>
#include <string>

namespace vireo {

class DownloadItem;

class DocumentUi {
public:
    virtual ~DocumentUi() = default;

    // An information message box.
    virtual void ShowMessage(const std::string& caption, const std::string& text) = 0;
    // A Yes/No question; true for Yes.
    virtual bool AskYesNo(const std::string& text) = 0;

    // "Continue download" for an entry that is complete already.
    enum class ContinueAnswer { Reload, Continue, Cancel };
    virtual ContinueAnswer AskContinueDownload() = 0;

    // "Enter Network Password" for url. Refuse is for front ends that cannot ask anybody:
    // the entry then fails as unauthorized instead of waiting for the server to say so.
    enum class CredentialsAnswer { Entered, Cancelled, Refused };
    struct Credentials {
        std::string user;
        std::string password;
    };
    virtual CredentialsAnswer AskCredentials(const std::string& url, Credentials& out) = 0;

    struct InsertLinkAnswer {
        std::string address;
        bool linkToPage = false;
    };
    // The insert-link dialog; nothing when it was cancelled.
    virtual std::optional<InsertLinkAnswer> AskInsertLink() = 0;
    // The settings dialog; the document rereads what it needs afterwards.
    virtual void ShowSettingsDialog() = 0;
    // File dialogs of the list files. filter is "Label(*.ext)|*.ext|...||"; the save dialog
    // confirms before an existing file is replaced. Nothing when cancelled.
    virtual std::optional<std::string> AskOpenFileName(const std::string& filter,
                                                       const std::string& defaultExtension) = 0;
    virtual std::optional<std::string> AskSaveFileName(const std::string& filter,
                                                       const std::string& defaultExtension) = 0;

    // Plain text on the clipboard; nothing when it holds no text.
    virtual std::optional<std::string> ClipboardText() = 0;
    virtual bool ClipboardHasText() = 0;
    // Empties the clipboard, then puts text on it.
    virtual void SetClipboardText(const std::string& text) = 0;

    // Lets the desktop open a file, a folder or a web address; workingDir may be empty.
    virtual void OpenWithShell(const std::string& target, const std::string& workingDir) = 0;
    // Opens a file in the user's text editor.
    virtual void OpenInTextEditor(const std::string& path) = 0;
    // The help page shipped with the program, in the browser.
    virtual void OpenHelpPage() = 0;

    // The tray icon's busy cycle; stopping shows the still icon again. False when there is
    // no tray icon (nothing happens then).
    virtual bool StartTrayCycle() = 0;
    virtual bool StopTrayCycle() = 0;

    // The main window: shown normally (or restored) and made active; hidden; minimized.
    virtual void ActivateMainWindow() = 0;
    virtual void HideMainWindow() = 0;
    virtual void MinimizeMainWindow() = 0;
    // The per-item log windows and the history window, all shown or all hidden.
    virtual void ShowToolWindows(bool show) = 0;
    // Closes every per-item log window; opens one for item.
    virtual void CloseLogWindows() = 0;
    virtual void OpenLogWindow(DownloadItem& item) = 0;
    // Discards the history window if there is one and opens a new one.
    virtual void OpenHistoryWindow() = 0;

    // Entry index changed from one state to another (after the change). Front ends that
    // report progress as text listen here; the window needs nothing of it.
    virtual void OnEntryStateChanged(DownloadItem& /*item*/, int /*index*/, ItemState /*from*/,
                                     ItemState /*to*/) {}
};

} // namespace vireo
