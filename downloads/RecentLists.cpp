#include "downloads/RecentLists.h"

#include "settings/SettingsStore.h"

#include <QSettings>

#include <algorithm>

namespace vireo {

namespace {
constexpr const char* kGroup = "Recent File List";

QString Key(int i) {
    return QString("File%1").arg(i + 1);
}
} // namespace

std::vector<std::string> RecentLists::Names() {
    QSettings store(Settings().FilePath(), QSettings::IniFormat);
    store.beginGroup(kGroup);
    std::vector<std::string> names;
    for (int i = 0; i < kMost; ++i) {
        std::string name = store.value(Key(i)).toString().toStdString();
        if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end())
            names.push_back(name);
    }
    return names;
}

void RecentLists::Note(const std::string& name) {
    std::vector<std::string> names = Names();
    names.erase(std::remove(names.begin(), names.end(), name), names.end());
    names.insert(names.begin(), name);
    if (names.size() > size_t(kMost))
        names.resize(size_t(kMost));
    Store(names);
}

void RecentLists::Forget(const std::string& name) {
    std::vector<std::string> names = Names();
    names.erase(std::remove(names.begin(), names.end(), name), names.end());
    Store(names);
}

void RecentLists::Store(const std::vector<std::string>& names) {
    QSettings store(Settings().FilePath(), QSettings::IniFormat);
    store.beginGroup(kGroup);
    for (int i = 0; i < kMost; ++i) {
        if (size_t(i) < names.size())
            store.setValue(Key(i), QString::fromStdString(names[size_t(i)]));
        else
            store.remove(Key(i));
    }
}

} // namespace vireo
