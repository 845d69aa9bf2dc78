#pragma once
// Section "setup" of the user's settings file. Reads are cached for the life of the
// process (the first reader's fallback is what a missing key keeps answering); writes
// update the cache and reach the file at once.

#include "settings/SettingsKeys.h"

#include <QSettings>

#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace vireo {

struct Rect {
    int left = 0, top = 0, right = 0, bottom = 0;
    bool operator==(const Rect&) const = default;
    bool IsMaximized() const { return left == -1 && top == -1 && right == -1 && bottom == -1; }
};

class SettingsStore {
public:
    // An INI file at the given path.
    explicit SettingsStore(const QString& filePath);

    // $VIREO_CONFIG, else $XDG_CONFIG_HOME/Tarnwell/Vireo.conf.
    static QString DefaultPath();

    int GetInt(std::string_view key, int fallback);
    void SetInt(std::string_view key, int value);
    std::string GetString(std::string_view key, std::string_view fallback);
    void SetString(std::string_view key, std::string_view value);
    Rect GetRect(std::string_view key, Rect fallback);
    void SetRect(std::string_view key, const Rect& r);

    int GetInt(const IntKey& k) { return GetInt(k.name, k.fallback); }
    void SetInt(const IntKey& k, int value) { SetInt(k.name, value); }
    std::string GetString(const StringKey& k) { return GetString(k.name, k.fallback); }
    void SetString(const StringKey& k, std::string_view value) { SetString(k.name, value); }
    Rect GetRect(const RectKey& k, Rect fallback) { return GetRect(k.name, fallback); }
    void SetRect(const RectKey& k, const Rect& r) { SetRect(k.name, r); }

    // Values for this run only, such as a front end's command-line options: reads answer
    // them while writes of the same key still reach the file and leave them in force, so
    // they are never stored.
    void OverrideInt(std::string_view key, int value);
    void OverrideString(std::string_view key, std::string_view value);
    void OverrideInt(const IntKey& k, int value) { OverrideInt(k.name, value); }
    void OverrideString(const StringKey& k, std::string_view value) {
        OverrideString(k.name, value);
    }

    // What the file holds (else the fallback), whatever this run overrides: what a
    // settings editor shows and compares its values with.
    int StoredInt(std::string_view key, int fallback);
    std::string StoredString(std::string_view key, std::string_view fallback);
    int StoredInt(const IntKey& k) { return StoredInt(k.name, k.fallback); }
    std::string StoredString(const StringKey& k) { return StoredString(k.name, k.fallback); }
    // Whether the file holds key (readers with a fallback of their own ask first).
    bool Contains(std::string_view key) const;
    // Ends this run's value of key: reads answer the stored one from now on.
    void DropOverride(std::string_view key);

    // A settings editor at work, while it lives: reads answer the stored values, not this
    // run's, and a write that changes a stored value ends this run's value of its key, so
    // the change takes effect at once while what the editor did not change keeps the run's.
    class StoredValues {
    public:
        explicit StoredValues(SettingsStore& store) : m_store(store) { ++m_store.m_editing; }
        ~StoredValues() { --m_store.m_editing; }
        StoredValues(const StoredValues&) = delete;
        StoredValues& operator=(const StoredValues&) = delete;

    private:
        SettingsStore& m_store;
    };

    // Many writes at once (the first run's values), while it lives: each write reaches the
    // cache at once and the file once, when the last batch ends, instead of the file being
    // written and synced to the disk for every key.
    class Batch {
    public:
        explicit Batch(SettingsStore& store) : m_store(store) { ++m_store.m_batches; }
        ~Batch() {
            if (--m_store.m_batches == 0)
                m_store.m_store.sync();
        }
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;

    private:
        SettingsStore& m_store;
    };

    QString FilePath() const { return m_store.fileName(); }

private:
    QString StoreKey(std::string_view key) const;
    // Whether the file already holds exactly this text for key.
    bool Holds(std::string_view key, const QString& text) const;

    QSettings m_store;
    std::map<std::string, int, std::less<>> m_ints;
    std::map<std::string, std::string, std::less<>> m_strings;
    std::map<std::string, int, std::less<>> m_intOverrides;
    std::map<std::string, std::string, std::less<>> m_stringOverrides;
    int m_editing = 0; // StoredValues alive
    int m_batches = 0; // Batch alive
};

// The program-wide store, opened at DefaultPath() on first use.
SettingsStore& Settings();
// Replaces the program-wide store (a front end's option, a test's private file).
void OpenSettings(const QString& filePath);

} // namespace vireo
