#pragma once
// The download history: the single program-wide store of "history.vro" in the
// directory of setting "cwd". Add, Remove and Trim do nothing while setting "history" is
// 0; Add keeps at most "historymax" records by trimming the oldest tenth.
//
// Every operation reads the file, changes its image in memory (HistoryFile) and writes
// the whole file anew beside the old one, flushed to disk and renamed over it: an
// operation that fails at any step leaves the previous file, with every record it had,
// in place. Nothing stays open between operations. Outcomes are never shown to the user;
// the results say whether the file now reflects the operation.
//
// The results of checksum checks live beside it in "history-checks.txt" (one line per file:
// the result, a tab, the file name; the last 1000 files): the history file's layout has no
// room for another field that older readers would pass over.
//
// Loading, at the start of every Add, Remove and Trim:
// - no file: a fresh one is written (36 bytes) and the operation goes on with it;
// - a file that exists but cannot be read: the operation does nothing, the file stays;
// - shorter than 16 bytes: the operation does nothing, the file stays (until Clear);
// - wrong magic, a header length that is not the file's length, or any other broken
//   invariant of the format (index or records that do not fit or do not add up): the
//   file is replaced by a fresh one and the operation goes on with it.

#include "history/HistoryEntry.h"
#include "history/HistoryFile.h"

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace vireo {

class HistoryWindowSink;

class HistoryStore {
public:
    static constexpr std::string_view kFileName = "history.vro";
    static constexpr std::string_view kChecksName = "history-checks.txt";
    static constexpr size_t kMaxChecks = 1000;

    // An empty directory follows the setting "cwd" at every operation (the program's
    // store); another names the directory outright (tests).
    explicit HistoryStore(std::string directory = {});
    // Closes the attached window.
    ~HistoryStore();
    HistoryStore(const HistoryStore&) = delete;
    HistoryStore& operator=(const HistoryStore&) = delete;

    // Records that an item started a transfer into fileName from url (today's record for
    // the same file name, any ASCII case, is replaced).
    bool Add(std::string_view fileName, std::string_view url);
    // Deletes today's record for fileName, if any (true also when there is none).
    bool Remove(std::string_view fileName);
    // Deletes the count oldest records (a count below 0 counts as 0).
    bool Trim(int count);
    // Writes a fresh, empty history whatever "history" says.
    bool Clear();

    // Records how the check of fileName's digest went ("verified", "mismatch"), replacing
    // what an earlier check of it said. Nothing while "history" is 0.
    bool NoteCheck(std::string_view fileName, std::string_view result);
    // The results by file name; empty when there are none or the file cannot be read.
    std::map<std::string, std::string> ReadChecks() const;

    // The records for display, read from the file without the index (see
    // HistoryFile::ReadRecords); empty when the file cannot be read.
    std::vector<HistoryEntry> ReadEntries() const;

    // dir + "/history.vro".
    std::string FilePath() const;
    // dir + "/history-checks.txt".
    std::string ChecksPath() const;
    // The index as last read or written, and whether there has been one yet.
    bool IsLoaded() const { return m_loaded; }
    const std::vector<HistoryGroup>& Index() const { return m_index; }

    void AttachWindow(HistoryWindowSink* window);
    // Forgets the attached window, only if it is this one.
    void DetachWindow(HistoryWindowSink* window);
    // Makes the attached window close at once, then forgets it.
    void CloseWindow();
    HistoryWindowSink* Window() const { return m_window; }

    // The clock of the timestamps (local time by default); tests set their own days.
    using Clock = std::function<HistoryTime()>;
    void SetClock(Clock clock);

private:
    static bool HistoryOn();
    HistoryTime Now() const;
    // Loading as laid out above; false when the operation must do nothing.
    bool Load(const HistoryTime& now, HistoryFile& image);
    // Replaces the file by image; on success the index follows it.
    bool Store(const HistoryFile& image);
    // Sets a history that cannot be read aside and begins a new one; false when it could
    // not be moved (it is then left as it is).
    bool StartOverDamaged(const HistoryTime& now, HistoryFile& image);

    std::string m_directory;
    Clock m_clock;
    std::vector<HistoryGroup> m_index;
    bool m_loaded = false;
    HistoryWindowSink* m_window = nullptr;
};

// The program-wide store (following "cwd"), made on first use.
HistoryStore& History();
// Replaces the program-wide store by a new one, not loaded, in directory (empty: follow
// "cwd"); the old one closes its window first.
void OpenHistory(std::string directory = {});

} // namespace vireo
