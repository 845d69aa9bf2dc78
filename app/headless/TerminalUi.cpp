#include "app/headless/TerminalUi.h"

#include "app/headless/ProgressReport.h"

#include <utility>

namespace vireo {

void TerminalUi::ShowMessage(const std::string& caption, const std::string& text) {
    m_report.Message(caption, text);
}

void TerminalUi::OnEntryStateChanged(DownloadItem& item, int, ItemState from, ItemState to) {
    m_report.OnStateChanged(item, from, to);
    if (m_hook)
        m_hook();
}

DocumentUi::CredentialsAnswer TerminalUi::AskCredentials(const std::string& url, Credentials& out) {
    if (!m_login || !m_loginGiven.insert(url).second)
        return CredentialsAnswer::Refused;
    out = *m_login;
    return CredentialsAnswer::Entered;
}

std::optional<DocumentUi::InsertLinkAnswer> TerminalUi::AskInsertLink() {
    if (m_page.empty())
        return std::nullopt;
    InsertLinkAnswer answer;
    answer.address = std::exchange(m_page, std::string());
    answer.linkToPage = true;
    return answer;
}

} // namespace vireo
