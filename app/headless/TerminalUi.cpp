#include "app/headless/TerminalUi.h"

#include "app/headless/ProgressReport.h"

namespace vireo {

void TerminalUi::ShowMessage(const std::string& caption, const std::string& text) {
    m_report.Message(caption, text);
}

void TerminalUi::OnEntryStateChanged(DownloadItem& item, int, ItemState from, ItemState to) {
    m_report.OnStateChanged(item, from, to);
    if (m_hook)
        m_hook();
}

} // namespace vireo
