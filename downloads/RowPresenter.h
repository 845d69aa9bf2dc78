#pragma once
// What the lines of the list show for the entries: the texts of the columns, the state
// images, the tip of a failed row, and the 200 ms tick that keeps running rows current.

#include "downloads/EntryList.h"
#include "downloads/ListLines.h"

#include <string>
#include <vector>

namespace vireo {

class RowPresenter {
public:
    RowPresenter(EntryList& entries, ListLines* view) : m_entries(entries), m_view(view) {}

    void SetView(ListLines* view) { m_view = view; }
    ListLines* View() const { return m_view; }

    // A new entry's line, before its first refresh.
    void AppendLine(const std::string& path);
    void DeleteLine(int index);
    // Every column and the image of a listed item's line.
    void Refresh(DownloadItem& item);
    void UpdateImage(DownloadItem& item, int index);
    // Row i went from old to now: a row that does not run shows its image at once (the
    // tick redraws only running ones), and a failed row tells why on its tip.
    void ShowStateChange(int index, DownloadItem& item, ItemState old, ItemState now);

    // One 200 ms tick over the running entries: their images every tick; once a second
    // their progress (when it changed) and elapsed time. True on the tick that ends a
    // second.
    bool Tick(const std::vector<DownloadItem*>& running);
    int TickCounter() const { return m_tickCounter; }

private:
    EntryList& m_entries;
    ListLines* m_view;
    int m_tickCounter = 0;
};

} // namespace vireo
