// Changes of row state and the starts of entries, with the scheduler kept in step.
#include "downloads/VireoDoc.h"

#include "settings/SettingsStore.h"

namespace vireo {

void CVireoDoc::ChangeState(int index, ItemState state) {
    ItemRow& row = m_entries.Row(index);
    ItemState old = row.state;
    row.state = state;
    DownloadItem& item = m_entries.Item(index);
    m_scheduler.OnStateChanged(index, item, old, state);
    m_presenter.ShowStateChange(index, item, old, state);
    if (old != state)
        m_ui->OnEntryStateChanged(item, index, old, state);
}

void CVireoDoc::RecountSlots() {
    m_scheduler.Recount(Settings().GetInt(keys::MaxDown));
}

void CVireoDoc::SetItemState(DownloadItem& item, ItemState state) {
    int index = IndexOf(item);
    if (index < 0)
        return;
    ItemState old = State(index);
    ChangeState(index, state);
    if (old == ItemState::Running)
        RecountSlots();
    RefreshRow(item);
    item.StopTransfer();
}

bool CVireoDoc::StartEntry(DownloadItem& item) {
    bool received = item.HasFlag(IF_RECEIVED);
    // No file name: the item names its file from the URL again at every start. A file
    // received whole is fetched again from its first byte.
    bool started = item.StartItem(item.Url(), std::string(), !received);
    if (!started)
        return item.HasFlag(IF_RECEIVED); // complete on disk: finished at once
    int index = IndexOf(item);
    // A notification during the start (finished at once, failed) has settled the row
    // already; marking it running now would hold a slot that nothing gives back.
    if (index < 0 || State(index) != ItemState::Waiting)
        return true;
    ChangeState(index, ItemState::Running);
    m_scheduler.TakeSlot();
    RefreshRow(item);
    return true;
}

void CVireoDoc::Schedule() {
    m_scheduler.Schedule([this](int i) {
        DownloadItem& item = m_entries.Item(i);
        if (!StartEntry(item)) {
            int index = IndexOf(item);
            if (index >= 0)
                ChangeState(index, ItemState::Failed);
        }
    });
}

} // namespace vireo
