#pragma once
// The download slots: which entries run, how many more may start, and the pass that
// offers the waiting entries a start in list order while slots are free.

#include "downloads/EntryList.h"

#include <vector>

namespace vireo {

class Scheduler {
public:
    explicit Scheduler(const EntryList& entries) : m_entries(entries) {}

    // Keeps the running entries and the first waiting row in step with a row whose state
    // went from old to now. Call it for every change of a row's state.
    void OnStateChanged(int index, DownloadItem& item, ItemState old, ItemState now);
    // After entry i, which must not be running, left the list.
    void OnEntryRemoved(int index);
    // Forgets the running entries; for the end of the document.
    void Clear() { m_running.clear(); }

    // free slots = maxDown minus the running entries, never below 0.
    void Recount(int maxDown);
    int FreeSlots() const { return m_freeSlots; }
    // An entry has started and holds a slot until the next Recount.
    void TakeSlot() { --m_freeSlots; }
    int RunningCount() const { return int(m_running.size()); }
    // The running entries in list order.
    const std::vector<DownloadItem*>& Running() const { return m_running; }
    bool HasWaiting() const;

    // Calls start(i) for each waiting row i in list order while slots are free. start
    // settles the row (running, failed, done, ...) and may run a nested pass.
    template <class Start> void Schedule(Start&& start);

private:
    const EntryList& m_entries;
    // Running entries in list order: the tick and the slot count visit only these, so a
    // long list of waiting or finished entries costs nothing per tick.
    std::vector<DownloadItem*> m_running;
    int m_freeSlots = 0;
    // No row before this one is waiting, so a pass need not walk past them again.
    size_t m_firstWaiting = 0;
};

template <class Start> void Scheduler::Schedule(Start&& start) {
    // Both the slots and the rows are read afresh at every step: a start that fails runs
    // a nested pass, and this pass then continues past its work.
    for (size_t i = m_firstWaiting; m_freeSlots > 0 && i < size_t(m_entries.Count()); ++i) {
        if (m_entries.State(int(i)) == ItemState::Waiting)
            start(int(i));
        if (i == m_firstWaiting && i < size_t(m_entries.Count()) &&
            m_entries.State(int(i)) != ItemState::Waiting)
            m_firstWaiting = i + 1;
    }
}

} // namespace vireo
