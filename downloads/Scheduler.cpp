// Row states, the free slots and the scheduler that starts waiting entries.
#include "downloads/VireoDoc.h"

#include "settings/SettingsStore.h"

#include <algorithm>

namespace vireo {

void CVireoDoc::ChangeState(int index, ItemState state) {
    ItemRow& row = m_rows[size_t(index)];
    ItemState old = row.state;
    row.state = state;
    DownloadItem* item = m_items[size_t(index)].get();
    if (old == ItemState::Running && state != ItemState::Running) {
        m_running.erase(std::find(m_running.begin(), m_running.end(), item));
    } else if (old != ItemState::Running && state == ItemState::Running) {
        // Items keep their relative order, so the set stays in list order.
        auto at = std::lower_bound(
            m_running.begin(), m_running.end(), index,
            [](const DownloadItem* running, int i) { return running->Index() < i; });
        m_running.insert(at, item);
    }
    if (state == ItemState::Waiting)
        m_firstWaiting = std::min(m_firstWaiting, size_t(index));
    // Only running rows are redrawn by the tick; any other row shows its image now.
    if (state != ItemState::Running)
        UpdateRowIcon(*item, index);
    if (m_view && (state == ItemState::Failed || old == ItemState::Failed))
        m_view->SetTip(index, state == ItemState::Failed ? item->FailureText() : std::string());
    if (old != state)
        m_ui->OnEntryStateChanged(*item, index, old, state);
}

void CVireoDoc::RecountSlots() {
    int maxDown = Settings().GetInt(keys::MaxDown);
    int running = RunningCount();
    m_freeSlots = running < maxDown ? maxDown - running : 0;
}

bool CVireoDoc::HasWaitingEntries() const {
    for (size_t i = m_firstWaiting; i < m_rows.size(); ++i)
        if (m_rows[i].state == ItemState::Waiting)
            return true;
    return false;
}

void CVireoDoc::SetItemState(DownloadItem& item, ItemState state) {
    int index = IndexOf(item);
    if (index < 0)
        return;
    ItemState old = m_rows[size_t(index)].state;
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
    if (index < 0 || m_rows[size_t(index)].state != ItemState::Waiting)
        return true;
    ChangeState(index, ItemState::Running);
    --m_freeSlots;
    RefreshRow(item);
    return true;
}

void CVireoDoc::Schedule() {
    // Both the slots and the rows are read afresh at every step: a start that fails runs
    // a nested pass from inside StartEntry, and this pass then continues past its work.
    for (size_t i = m_firstWaiting; m_freeSlots > 0 && i < m_rows.size(); ++i) {
        if (m_rows[i].state == ItemState::Waiting) {
            DownloadItem& item = *m_items[i];
            if (!StartEntry(item)) {
                int index = IndexOf(item);
                if (index >= 0)
                    ChangeState(index, ItemState::Failed);
            }
        }
        if (i == m_firstWaiting && i < m_rows.size() && m_rows[i].state != ItemState::Waiting)
            m_firstWaiting = i + 1;
    }
}

} // namespace vireo
