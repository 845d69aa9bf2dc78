#include "settings/SettingsStore.h"

#include <QStandardPaths>
#include <QStringList>

#include <cstdio>

namespace vireo {

namespace {
std::unique_ptr<SettingsStore>& GlobalStore() {
    static std::unique_ptr<SettingsStore> store;
    return store;
}
} // namespace

SettingsStore::SettingsStore(const QString& filePath) : m_store(filePath, QSettings::IniFormat) {}

QString SettingsStore::DefaultPath() {
    QByteArray env = qgetenv("VIREO_CONFIG");
    if (!env.isEmpty())
        return QString::fromLocal8Bit(env);
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Tarnwell/Vireo.conf");
}

QString SettingsStore::StoreKey(std::string_view key) const {
    return QStringLiteral("setup/") + QString::fromUtf8(key.data(), qsizetype(key.size()));
}

bool SettingsStore::Holds(std::string_view key, const QString& text) const {
    // Every sync locks, rewrites and flushes the whole file to the disk: a value written
    // again unchanged (the working folder at each start) must not cost that.
    QVariant stored = m_store.value(StoreKey(key));
    // Values this process wrote are held as numbers until the file is read again.
    int type = stored.typeId();
    return (type == QMetaType::QString || type == QMetaType::Int) && stored.toString() == text;
}

int SettingsStore::GetInt(std::string_view key, int fallback) {
    if (auto it = m_intOverrides.find(key); m_editing == 0 && it != m_intOverrides.end())
        return it->second;
    return StoredInt(key, fallback);
}

int SettingsStore::StoredInt(std::string_view key, int fallback) {
    if (auto it = m_ints.find(key); it != m_ints.end())
        return it->second;
    int value = fallback;
    QVariant stored = m_store.value(StoreKey(key));
    if (stored.isValid()) {
        bool ok = false;
        int parsed = stored.toString().trimmed().toInt(&ok);
        if (ok)
            value = parsed;
    }
    m_ints.emplace(std::string(key), value);
    return value;
}

void SettingsStore::SetInt(std::string_view key, int value) {
    if (m_editing > 0 && m_intOverrides.count(key) != 0 &&
        (!m_store.contains(StoreKey(key)) || StoredInt(key, value) != value))
        DropOverride(key);
    if (auto it = m_ints.find(key); it != m_ints.end())
        it->second = value;
    else
        m_ints.emplace(std::string(key), value);
    QString text = QString::number(value);
    if (Holds(key, text))
        return;
    m_store.setValue(StoreKey(key), value);
    if (m_batches == 0)
        m_store.sync();
}

std::string SettingsStore::GetString(std::string_view key, std::string_view fallback) {
    if (auto it = m_stringOverrides.find(key); m_editing == 0 && it != m_stringOverrides.end())
        return it->second;
    return StoredString(key, fallback);
}

std::string SettingsStore::StoredString(std::string_view key, std::string_view fallback) {
    if (auto it = m_strings.find(key); it != m_strings.end())
        return it->second;
    std::string value(fallback);
    QVariant stored = m_store.value(StoreKey(key));
    if (stored.isValid()) {
        // A hand-edited value with an unquoted comma reads back as a list.
        QString text = stored.typeId() == QMetaType::QStringList
                           ? stored.toStringList().join(QLatin1Char(','))
                           : stored.toString();
        value = text.toStdString();
    }
    m_strings.emplace(std::string(key), value);
    return value;
}

void SettingsStore::SetString(std::string_view key, std::string_view value) {
    if (m_editing > 0 && m_stringOverrides.count(key) != 0 &&
        (!m_store.contains(StoreKey(key)) || StoredString(key, value) != value))
        DropOverride(key);
    if (auto it = m_strings.find(key); it != m_strings.end())
        it->second = std::string(value);
    else
        m_strings.emplace(std::string(key), std::string(value));
    QString text = QString::fromUtf8(value.data(), qsizetype(value.size()));
    if (Holds(key, text))
        return;
    m_store.setValue(StoreKey(key), text);
    if (m_batches == 0)
        m_store.sync();
}

void SettingsStore::OverrideInt(std::string_view key, int value) {
    m_intOverrides.insert_or_assign(std::string(key), value);
}

void SettingsStore::OverrideString(std::string_view key, std::string_view value) {
    m_stringOverrides.insert_or_assign(std::string(key), std::string(value));
}

bool SettingsStore::Contains(std::string_view key) const {
    return m_intOverrides.count(key) != 0 || m_stringOverrides.count(key) != 0 ||
           m_store.contains(StoreKey(key));
}

void SettingsStore::DropOverride(std::string_view key) {
    if (auto it = m_intOverrides.find(key); it != m_intOverrides.end())
        m_intOverrides.erase(it);
    if (auto it = m_stringOverrides.find(key); it != m_stringOverrides.end())
        m_stringOverrides.erase(it);
}

Rect SettingsStore::GetRect(std::string_view key, Rect fallback) {
    std::string text = GetString(key, "");
    Rect r = fallback;
    if (!text.empty()) {
        int v[4] = {fallback.left, fallback.top, fallback.right, fallback.bottom};
        std::sscanf(text.c_str(), "%d %d %d %d", &v[0], &v[1], &v[2], &v[3]);
        r = {v[0], v[1], v[2], v[3]};
    }
    return r;
}

void SettingsStore::SetRect(std::string_view key, const Rect& r) {
    char text[64];
    std::snprintf(text, sizeof text, "%d %d %d %d", r.left, r.top, r.right, r.bottom);
    SetString(key, text);
}

SettingsStore& Settings() {
    auto& store = GlobalStore();
    if (!store)
        store = std::make_unique<SettingsStore>(SettingsStore::DefaultPath());
    return *store;
}

void OpenSettings(const QString& filePath) {
    GlobalStore() = std::make_unique<SettingsStore>(filePath);
}

} // namespace vireo
