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
    int line = View() ? View()->SelectedLine() : -1;
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
        return ItemCount() > 0;
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
        m_ui->SetClipboardText(Item(selected).Url());
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
        m_ui->OpenWithShell(Item(selected).TargetPath(), DownloadDirectory());
        break;
    case DocCommand::ViewSource:
        m_ui->OpenInTextEditor(Item(selected).TargetPath());
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
            m_ui->OpenLogWindow(Item(selected));
        break;
    case DocCommand::History:
        m_ui->OpenHistoryWindow();
        break;
    case DocCommand::Settings: {
        {
            ModalScope modal(m_idle);
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
    SetItemState(Item(SelectedIndex()), ItemState::Stopped);
    Schedule();
}

void CVireoDoc::StartSelected() {
    int index = SelectedIndex();
    if (index < 0 || Active(State(index)))
        return;
    DownloadItem* item = &Item(index);
    if (State(index) == ItemState::Done) {
        DocumentUi::ContinueAnswer answer;
        {
            ModalScope modal(m_idle);
            answer = m_ui->AskContinueDownload();
        }
        index = m_entries.Find(item);
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
    m_credentialRequests.erase(&Item(index));
    RemoveEntry(index);
    m_scheduler.OnEntryRemoved(index);
}

void CVireoDoc::DeleteSelected() {
    int index = SelectedIndex();
    SetItemState(Item(index), ItemState::Stopped);
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
        ModalScope modal(m_idle);
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
    SetLinkToPage(added, true);
    // A page complete on disk finished inside AddUrl, before it carried the mark.
    if (State(added) == ItemState::Done)
        HarvestFile(Item(added));
}

void CVireoDoc::StopAll() {
    for (int i = 0; i < ItemCount(); ++i)
        if (Active(State(i)))
            SetItemState(Item(i), ItemState::Stopped);
}

void CVireoDoc::StartAll() {
    for (int i = 0; i < ItemCount(); ++i) {
        ItemState state = State(i);
        if (state == ItemState::Failed || state == ItemState::Stopped)
            ChangeState(i, ItemState::Waiting);
    }
    Schedule();
}

void CVireoDoc::ClearList() {
    for (int i = ItemCount() - 1; i >= 0; --i) {
        SetItemState(Item(i), ItemState::Stopped);
        DeleteEntry(i);
    }
}

void CVireoDoc::DeleteSelectedFile() {
    DownloadItem* item = &Item(SelectedIndex());
    std::string path = item->TargetPath();
    if (!m_ui->AskYesNo("Do you really want to delete\n" + path))
        return;
    int index = m_entries.Find(item);
    if (index < 0)
        return;
    SetItemState(*item, ItemState::Stopped);
    DeleteEntry(index);
    Schedule();
    std::remove(path.c_str()); // a file that is not there is no error
}

} // namespace vireo
