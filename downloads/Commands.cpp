// The commands of the download list, when each of them can be chosen and what it does.
#include "downloads/VireoDoc.h"

#include "engine/TargetFile.h"
#include "engine/TextCoding.h"
#include "engine/UrlParts.h"
#include "settings/SettingsStore.h"

#include <cstdint>
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

// What a command needs before it can be chosen.
enum class CVireoDoc::Needs : uint8_t {
    Nothing,
    Selection,
    ActiveSelection, // a selected row that runs or waits
    IdleSelection,   // a selected row that neither runs nor waits
    ClipboardText,
    Entries,
    LogWindow, // a selection, logging on and the log window free
    HistoryWindow,
};

struct CVireoDoc::CommandEntry {
    DocCommand command;
    Needs needs;
    void (*run)(CVireoDoc& doc, int selected);
};

const CVireoDoc::CommandEntry* CVireoDoc::FindCommand(int id) {
    using D = CVireoDoc;
    // Every command of the document, once: what it needs and what it does.
    static const CommandEntry kCommands[] = {
        {DocCommand::Stop, Needs::ActiveSelection, [](D& d, int) { d.StopSelected(); }},
        {DocCommand::Start, Needs::IdleSelection, [](D& d, int) { d.StartSelected(); }},
        {DocCommand::Delete, Needs::Selection, [](D& d, int) { d.DeleteSelected(); }},
        {DocCommand::Paste, Needs::ClipboardText, [](D& d, int) { d.Paste(); }},
        {DocCommand::Copy, Needs::Selection,
         [](D& d, int i) { d.m_ui->SetClipboardText(d.Item(i).Url()); }},
        {DocCommand::InsertLink, Needs::Nothing, [](D& d, int) { d.InsertLink(); }},
        {DocCommand::StopAll, Needs::Entries, [](D& d, int) { d.StopAll(); }},
        {DocCommand::StartAll, Needs::Entries, [](D& d, int) { d.StartAll(); }},
        {DocCommand::NewList, Needs::Nothing, [](D& d, int) { d.ClearList(); }},
        {DocCommand::OpenList, Needs::Nothing, [](D& d, int) { d.OpenList(); }},
        {DocCommand::SaveList, Needs::Nothing, [](D& d, int) { d.SaveList(); }},
        {DocCommand::OpenFile, Needs::IdleSelection,
         [](D& d, int i) { d.m_ui->OpenWithShell(d.Item(i).TargetPath(), DownloadDirectory()); }},
        {DocCommand::ViewSource, Needs::IdleSelection,
         [](D& d, int i) { d.m_ui->OpenInTextEditor(d.Item(i).TargetPath()); }},
        {DocCommand::DeleteFile, Needs::IdleSelection, [](D& d, int) { d.DeleteSelectedFile(); }},
        {DocCommand::TargetDirectory, Needs::Nothing,
         [](D& d, int) { d.m_ui->OpenWithShell(DownloadDirectory(), std::string()); }},
        {DocCommand::Log, Needs::LogWindow,
         [](D& d, int i) {
             d.m_ui->CloseLogWindows();
             if (i >= 0)
                 d.m_ui->OpenLogWindow(d.Item(i));
         }},
        {DocCommand::History, Needs::HistoryWindow, [](D& d, int) { d.m_ui->OpenHistoryWindow(); }},
        {DocCommand::Settings, Needs::Nothing, [](D& d, int) { d.ShowSettings(); }},
        {DocCommand::Help, Needs::Nothing, [](D& d, int) { d.m_ui->OpenHelpPage(); }},
    };
    for (const CommandEntry& entry : kCommands)
        if (int(entry.command) == id)
            return &entry;
    return nullptr;
}

bool CVireoDoc::HasCommand(int id) {
    return FindCommand(id) != nullptr;
}

bool CVireoDoc::Satisfied(Needs needs) const {
    int selected = SelectedIndex();
    switch (needs) {
    case Needs::Nothing:
        return true;
    case Needs::Selection:
        return selected >= 0;
    case Needs::ActiveSelection:
        return selected >= 0 && Active(State(selected));
    case Needs::IdleSelection:
        return SelectedIdle();
    case Needs::ClipboardText:
        return m_ui->ClipboardHasText();
    case Needs::Entries:
        return ItemCount() > 0;
    case Needs::LogWindow:
        return selected >= 0 && Settings().GetInt(keys::Log) != 0 && m_logWindowFree;
    case Needs::HistoryWindow:
        return Settings().GetInt(keys::History) != 0 && m_historyWindowFree;
    }
    return false;
}

bool CVireoDoc::CommandEnabled(DocCommand command) const {
    const CommandEntry* entry = FindCommand(int(command));
    return entry && Satisfied(entry->needs);
}

void CVireoDoc::RunCommand(DocCommand command) {
    const CommandEntry* entry = FindCommand(int(command));
    if (entry && Satisfied(entry->needs))
        entry->run(*this, SelectedIndex());
}

void CVireoDoc::ShowSettings() {
    {
        ModalScope modal(m_idle);
        m_ui->ShowSettingsDialog();
    }
    // A changed "maxdown" takes effect at once.
    RecountSlots();
    Schedule();
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
