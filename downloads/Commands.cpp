// The commands of the download list and when each of them can be chosen.
#include "downloads/VireoDoc.h"

#include "engine/TextCoding.h"
#include "engine/UrlParts.h"
#include "settings/SettingsStore.h"

#include "engine/TargetFile.h"

#include <cstdio>

namespace vireo {

namespace {
constexpr const char* kMessageCaption = "Vireo";

bool Active(ItemState state) {
    return state == ItemState::Running || state == ItemState::Waiting;
}

std::string DownloadDirectory() {
    return Settings().GetString(keys::DownPath) + "/";
}
} // namespace

int CVireoDoc::SelectedIndex() const {
    int line = m_view ? m_view->SelectedLine() : -1;
    return line >= 0 && line < ItemCount() ? line : -1;
}

bool CVireoDoc::SelectedIdle() const {
    int i = SelectedIndex();
    return i >= 0 && !Active(State(i));
}

bool CVireoDoc::CommandEnabled(DocCommand command) const {
    int selected = SelectedIndex();
    switch (command) {
    case DocCommand::Stop:
        return selected >= 0 && Active(State(selected));
    case DocCommand::Start:
    case DocCommand::OpenFile:
    case DocCommand::ViewSource:
    case DocCommand::DeleteFile:
        return SelectedIdle();
    case DocCommand::Delete:
    case DocCommand::Copy:
        return selected >= 0;
    case DocCommand::Paste:
        return m_ui->ClipboardHasText();
    case DocCommand::StopAll:
    case DocCommand::StartAll:
        return !m_items.empty();
    case DocCommand::Log:
        return selected >= 0 && Settings().GetInt(keys::Log) != 0 && m_logWindowFree;
    case DocCommand::History:
        return Settings().GetInt(keys::History) != 0 && m_historyWindowFree;
    case DocCommand::InsertLink:
    case DocCommand::NewList:
    case DocCommand::OpenList:
    case DocCommand::SaveList:
    case DocCommand::TargetDirectory:
    case DocCommand::Settings:
    case DocCommand::Help:
        return true;
    }
    return false;
}

void CVireoDoc::RunCommand(DocCommand command) {
    if (!CommandEnabled(command))
        return;
    int selected = SelectedIndex();
    switch (command) {
    case DocCommand::Stop:
        StopSelected();
        break;
    case DocCommand::Start:
        StartSelected();
        break;
    case DocCommand::Delete:
        DeleteSelected();
        break;
    case DocCommand::Paste:
        Paste();
        break;
    case DocCommand::Copy:
        m_ui->SetClipboardText(m_items[size_t(selected)]->Url());
        break;
    case DocCommand::InsertLink:
        InsertLink();
        break;
    case DocCommand::StopAll:
        StopAll();
        break;
    case DocCommand::StartAll:
        StartAll();
        break;
    case DocCommand::NewList:
        ClearList();
        break;
    case DocCommand::OpenList:
        OpenList();
        break;
    case DocCommand::SaveList:
        SaveList();
        break;
    case DocCommand::OpenFile:
        m_ui->OpenWithShell(m_items[size_t(selected)]->TargetPath(), DownloadDirectory());
        break;
    case DocCommand::ViewSource:
        m_ui->OpenInTextEditor(m_items[size_t(selected)]->TargetPath());
        break;
    case DocCommand::DeleteFile:
        DeleteSelectedFile();
        break;
    case DocCommand::TargetDirectory:
        m_ui->OpenWithShell(DownloadDirectory(), std::string());
        break;
    case DocCommand::Log:
        m_ui->CloseLogWindows();
        if (selected >= 0)
            m_ui->OpenLogWindow(*m_items[size_t(selected)]);
        break;
    case DocCommand::History:
        m_ui->OpenHistoryWindow();
        break;
    case DocCommand::Settings: {
        {
            ModalScope modal(*this);
            m_ui->ShowSettingsDialog();
        }
        // A changed "maxdown" takes effect at once.
        RecountSlots();
        Schedule();
        break;
    }
    case DocCommand::Help:
        m_ui->OpenHelpPage();
        break;
    }
}

void CVireoDoc::StopSelected() {
    SetItemState(*m_items[size_t(SelectedIndex())], ItemState::Stopped);
    Schedule();
}

void CVireoDoc::StartSelected() {
    int index = SelectedIndex();
    if (index < 0 || Active(State(index)))
        return;
    DownloadItem* item = m_items[size_t(index)].get();
    if (State(index) == ItemState::Done) {
        DocumentUi::ContinueAnswer answer;
        {
            ModalScope modal(*this);
            answer = m_ui->AskContinueDownload();
        }
        index = FindItem(item);
        if (answer == DocumentUi::ContinueAnswer::Cancel || index < 0)
            return;
        if (answer == DocumentUi::ContinueAnswer::Continue) {
            item->SetFlags(0, IF_RECEIVED); // resume instead of starting over
            MarkTargetIncomplete(*item);
        }
        // Reload keeps the received mark, so the start fetches the file from byte 0.
    }
    ChangeState(index, ItemState::Waiting);
    Schedule();
}

void CVireoDoc::MarkTargetIncomplete(DownloadItem& item) {
    // Only a file of Vireo's own: stamping another would claim it.
    if (TargetFile::IsOwn(item.TargetPath()))
        TargetFile::Stamp(item.TargetPath(), false);
}

void CVireoDoc::DeleteEntry(int index) {
    m_credentialRequests.erase(m_items[size_t(index)].get());
    RemoveEntry(index);
    if (size_t(index) < m_firstWaiting)
        --m_firstWaiting;
}

void CVireoDoc::DeleteSelected() {
    int index = SelectedIndex();
    SetItemState(*m_items[size_t(index)], ItemState::Stopped);
    DeleteEntry(index);
    Schedule();
}

void CVireoDoc::ReportUnparsable(const std::string& address) {
    m_ui->ShowMessage(kMessageCaption, "Error parsing url - \n" + address);
}

void CVireoDoc::Paste() {
    std::optional<std::string> text = m_ui->ClipboardText();
    if (!text)
        return;
    std::string address = NormalizeUrl(TrimText(FirstLine(*text)));
    if (!AddUrl(address, false))
        ReportUnparsable(address);
}

void CVireoDoc::InsertLink() {
    std::optional<DocumentUi::InsertLinkAnswer> answer;
    {
        ModalScope modal(*this);
        answer = m_ui->AskInsertLink();
    }
    if (!answer)
        return;
    std::string address = NormalizeUrl(TrimText(answer->address));
    int added = ItemCount();
    if (!AddUrl(address, false)) {
        ReportUnparsable(address);
        return;
    }
    if (!answer->linkToPage || added >= ItemCount())
        return;
    m_rows[size_t(added)].linkToPage = 1;
    // A page complete on disk finished inside AddUrl, before it carried the mark.
    if (State(added) == ItemState::Done)
        HarvestFile(*m_items[size_t(added)]);
}

void CVireoDoc::StopAll() {
    for (size_t i = 0; i < m_items.size(); ++i)
        if (Active(m_rows[i].state))
            SetItemState(*m_items[i], ItemState::Stopped);
}

void CVireoDoc::StartAll() {
    for (size_t i = 0; i < m_items.size(); ++i) {
        ItemState state = m_rows[i].state;
        if (state == ItemState::Failed || state == ItemState::Stopped)
            ChangeState(int(i), ItemState::Waiting);
    }
    Schedule();
}

void CVireoDoc::ClearList() {
    for (int i = ItemCount() - 1; i >= 0; --i) {
        SetItemState(*m_items[size_t(i)], ItemState::Stopped);
        DeleteEntry(i);
    }
}

void CVireoDoc::DeleteSelectedFile() {
    DownloadItem* item = m_items[size_t(SelectedIndex())].get();
    std::string path = item->TargetPath();
    if (!m_ui->AskYesNo("Do you really want to delete\n" + path))
        return;
    int index = FindItem(item);
    if (index < 0)
        return;
    SetItemState(*item, ItemState::Stopped);
    DeleteEntry(index);
    Schedule();
    std::remove(path.c_str()); // a file that is not there is no error
}

} // namespace vireo
