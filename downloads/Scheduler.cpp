#include "downloads/Scheduler.h"

#include <algorithm>

namespace vireo {

void Scheduler::OnStateChanged(int index, DownloadItem& item, ItemState old, ItemState now) {
    if (old == ItemState::Running && now != ItemState::Running) {
        m_running.erase(std::find(m_running.begin(), m_running.end(), &item));
    } else if (old != ItemState::Running && now == ItemState::Running) {
        // Items keep their relative order, so the set stays in list order.
        auto at = std::lower_bound(
            m_running.begin(), m_running.end(), index,
            [](const DownloadItem* running, int i) { return running->Index() < i; });
        m_running.insert(at, &item);
    }
    if (now == ItemState::Waiting)
        m_firstWaiting = std::min(m_firstWaiting, size_t(index));
}

void Scheduler::OnEntryRemoved(int index) {
    if (size_t(index) < m_firstWaiting)
        --m_firstWaiting;
}

void Scheduler::Recount(int maxDown) {
    int running = RunningCount();
    m_freeSlots = running < maxDown ? maxDown - running : 0;
}

bool Scheduler::HasWaiting() const {
    for (int i = int(m_firstWaiting); i < m_entries.Count(); ++i)
        if (m_entries.State(i) == ItemState::Waiting)
            return true;
    return false;
}

} // namespace vireo
