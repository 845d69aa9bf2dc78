#pragma once
// The entries of the download list: each item with its row, in list order, and the index
// of their target paths that the clash checks read instead of scanning the list.

#include "downloads/DownloadItem.h"
#include "downloads/ItemRow.h"

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace vireo {

class EntryList {
public:
    int Count() const { return int(m_items.size()); }
    DownloadItem& Item(int index) { return *m_items[size_t(index)]; }
    const DownloadItem& Item(int index) const { return *m_items[size_t(index)]; }
    // Rows are changed by the document's parts only; the document shows them read-only.
    ItemRow& Row(int index) { return m_rows[size_t(index)]; }
    const ItemRow& Row(int index) const { return m_rows[size_t(index)]; }
    ItemState State(int index) const { return m_rows[size_t(index)].state; }

    // The entry's position, read from the item and checked; -1 when it is not listed.
    int IndexOf(const DownloadItem& item) const;
    // By address only, so an item that may be gone is never touched; -1 when not listed.
    int Find(const DownloadItem* item) const;

    // Appends the item with a waiting row and indexes its target path.
    DownloadItem& Append(std::unique_ptr<DownloadItem> item);
    // Removes entry i with its row and path; the later entries move up one.
    void Remove(int index);
    // Deletes every item (each ends its transfer and closes its file).
    void Clear();

    // Whether any entry targets this path, compared without regard to case.
    bool PathInUse(const std::string& path) const;
    // Whether an entry other than item has this path (any case) open for writing.
    bool PathWrittenByOther(const std::string& path, const DownloadItem& item) const;
    // Moves a listed item's index entry from its old path to its current one.
    void OnPathChanged(DownloadItem& item, const std::string& oldPath);

    // True once after entries were added or removed.
    bool TakeChanged();

private:
    void IndexPath(const std::string& path, DownloadItem* item, bool add);

    std::vector<std::unique_ptr<DownloadItem>> m_items;
    std::vector<ItemRow> m_rows;
    // Target paths, folded to lower case, with the entries using each.
    std::unordered_map<std::string, std::vector<DownloadItem*>> m_pathItems;
    bool m_changed = false;
};

} // namespace vireo
