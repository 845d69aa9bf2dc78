#pragma once

#include <functional>
#include <optional>
#include <set>
#include <string>
// The document's user interface when nobody can be asked: messages go to the report
// (standard error), a finished file is continued rather than fetched again, a question
// whose Yes would delete something is answered No, and a password request fails its entry
// as unauthorized instead of waiting for a person.

#include "downloads/NullDocumentUi.h"

namespace vireo {

class ProgressReport;

class TerminalUi : public NullDocumentUi {
public:
    explicit TerminalUi(ProgressReport& report) : m_report(report) {}

    void ShowMessage(const std::string& caption, const std::string& text) override;
    bool AskYesNo(const std::string&) override { return false; }
    ContinueAnswer AskContinueDownload() override { return ContinueAnswer::Continue; }
    // The login of --user, once for each address; without one, or asked again for the
    // same address, Refused.
    CredentialsAnswer AskCredentials(const std::string& url, Credentials& out) override;
    void SetLogin(Credentials login) { m_login = std::move(login); }
    // The next Insert link command takes this page, with "link to page" on.
    std::optional<InsertLinkAnswer> AskInsertLink() override;
    void SetPageToHarvest(std::string url) { m_page = std::move(url); }
    void OnEntryStateChanged(DownloadItem& item, int index, ItemState from, ItemState to) override;
    // Called after every change of an entry's state (from inside the document's calls).
    void SetStateChangeHook(std::function<void()> hook) { m_hook = std::move(hook); }

private:
    ProgressReport& m_report;
    std::function<void()> m_hook;
    std::optional<Credentials> m_login;
    std::set<std::string> m_loginGiven; // addresses the login went to
    std::string m_page;
};

} // namespace vireo
