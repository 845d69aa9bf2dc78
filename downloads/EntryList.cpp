#include "downloads/EntryList.h"

#include "common/AsciiCase.h"

#include <algorithm>

namespace vireo {

int EntryList::IndexOf(const DownloadItem& item) const {
    int i = item.Index();
    if (i >= 0 && i < Count() && m_items[size_t(i)].get() == &item)
        return i;
    return -1;
}

int EntryList::Find(const DownloadItem* item) const {
    for (size_t i = 0; i < m_items.size(); ++i)
        if (m_items[i].get() == item)
            return int(i);
    return -1;
}

DownloadItem& EntryList::Append(std::unique_ptr<DownloadItem> item) {
    item->SetIndex(Count());
    IndexPath(item->TargetPath(), item.get(), true);
    m_items.push_back(std::move(item));
    m_rows.push_back(ItemRow{});
    m_changed = true;
    return *m_items.back();
}

void EntryList::Remove(int index) {
    if (index < 0 || index >= Count())
        return;
    IndexPath(m_items[size_t(index)]->TargetPath(), m_items[size_t(index)].get(), false);
    m_items.erase(m_items.begin() + index);
    m_rows.erase(m_rows.begin() + index);
    m_changed = true;
    for (size_t i = size_t(index); i < m_items.size(); ++i)
        m_items[i]->SetIndex(int(i));
}

void EntryList::Clear() {
    m_items.clear();
    m_rows.clear();
    m_pathItems.clear();
}

bool EntryList::PathInUse(const std::string& path) const {
    return m_pathItems.count(AsciiLower(path)) != 0;
}

bool EntryList::PathWrittenByOther(const std::string& path, const DownloadItem& item) const {
    auto it = m_pathItems.find(AsciiLower(path));
    if (it == m_pathItems.end())
        return false;
    for (const DownloadItem* other : it->second)
        if (other != &item && other->IsFileOpen())
            return true;
    return false;
}

void EntryList::OnPathChanged(DownloadItem& item, const std::string& oldPath) {
    if (IndexOf(item) < 0)
        return;
    IndexPath(oldPath, &item, false);
    IndexPath(item.TargetPath(), &item, true);
}

bool EntryList::TakeChanged() {
    bool changed = m_changed;
    m_changed = false;
    return changed;
}

void EntryList::IndexPath(const std::string& path, DownloadItem* item, bool add) {
    std::string key = AsciiLower(path);
    std::vector<DownloadItem*>& items = m_pathItems[key];
    if (add) {
        items.push_back(item);
        return;
    }
    auto it = std::find(items.begin(), items.end(), item);
    if (it != items.end())
        items.erase(it);
    if (items.empty())
        m_pathItems.erase(key);
}

} // namespace vireo
