#pragma once
// The document: the download list with its items, their rows and the lines of the view.

#include "downloads/DownloadItem.h"
#include "downloads/ItemRow.h"
#include "downloads/LinkFilter.h"
#include "downloads/ListLines.h"

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace vireo {

class CVireoDoc : public ItemOwner {
public:
    explicit CVireoDoc(ListLines* view = nullptr);
    ~CVireoDoc() override;

    void SetView(ListLines* view) { m_view = view; }
    ListLines* View() const { return m_view; }

    // Appends an entry for a valid address (harvested links must pass the link filter);
    // false when it is refused.
    bool AddUrl(const std::string& address, bool filtered);
    std::string TargetPath(const std::string& address) override;
    void RefreshRow(DownloadItem& item);
    void UpdateRowIcon(DownloadItem& item, int index);
    int IndexOf(const DownloadItem& item) const;
    // Removes entry i from the items, the rows and the view.
    void RemoveEntry(int index);

    int ItemCount() const { return int(m_items.size()); }
    DownloadItem& Item(int index) { return *m_items[size_t(index)]; }
    ItemRow& Row(int index) { return m_rows[size_t(index)]; }

    void SetLinkFilter(LinkFilter filter) { m_filter = std::move(filter); }
    const LinkFilter& CurrentLinkFilter() const { return m_filter; }

    // Starts waiting entries while slots are free. Entries start once the transfer engine
    // exists; until then they stay Waiting.
    void Schedule();

    void OnTargetPathChanged(DownloadItem& item, const std::string& oldPath) override;
    // Makes the item of a new entry (tests give the document items of their own).
    virtual std::unique_ptr<DownloadItem> CreateItem(const std::string& url,
                                                     const std::string& targetPath);
    void OnItemEvent(DownloadItem& item, const ItemEvent& event) override;
    std::string StartPath(const DownloadItem& item, const std::string& path) override;

private:
    bool PathInUse(const std::string& path) const;
    void IndexPath(const std::string& path, DownloadItem* item, bool add);

    std::vector<std::unique_ptr<DownloadItem>> m_items;
    std::vector<ItemRow> m_rows;
    ListLines* m_view;
    LinkFilter m_filter;
    // Target paths of the entries, folded to lower case, with the entries using each: the
    // clash checks must not scan the list.
    std::unordered_map<std::string, std::vector<DownloadItem*>> m_pathItems;
};

} // namespace vireo
