#pragma once
// A user interface that shows nothing and declines every question: the document's own
// until a front end gives it one, and a base for front ends and doubles that answer only
// part of it.

#include "downloads/DocumentUi.h"

namespace vireo {

class NullDocumentUi : public DocumentUi {
public:
    void ShowMessage(const std::string&, const std::string&) override {}
    bool AskYesNo(const std::string&) override { return false; }
    ContinueAnswer AskContinueDownload() override { return ContinueAnswer::Cancel; }
    CredentialsAnswer AskCredentials(const std::string&, Credentials&) override {
        return CredentialsAnswer::Cancelled;
    }
    std::optional<InsertLinkAnswer> AskInsertLink() override { return std::nullopt; }
    void ShowSettingsDialog() override {}
    std::optional<std::string> AskOpenFileName(const std::string&, const std::string&) override {
        return std::nullopt;
    }
    std::optional<std::string> AskSaveFileName(const std::string&, const std::string&) override {
        return std::nullopt;
    }
    std::optional<std::string> ClipboardText() override { return std::nullopt; }
    bool ClipboardHasText() override { return false; }
    void SetClipboardText(const std::string&) override {}
    void OpenWithShell(const std::string&, const std::string&) override {}
    void OpenInTextEditor(const std::string&) override {}
    void OpenHelpPage() override {}
    bool StartTrayCycle() override { return false; }
    bool StopTrayCycle() override { return false; }
    void ActivateMainWindow() override {}
    void HideMainWindow() override {}
    void MinimizeMainWindow() override {}
    void ShowToolWindows(bool) override {}
    void CloseLogWindows() override {}
    void OpenLogWindow(DownloadItem&) override {}
    void OpenHistoryWindow() override {}
};

} // namespace vireo
