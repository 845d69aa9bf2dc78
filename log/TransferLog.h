#pragma once
// The transfer log of one download item: numbered records with a kind letter,
// written to "n.log" in the user's log directory (TransferLogDirectory) while the setting
// "log" is on, and shown live by at most one attached log window.
//
// No operation reports an error: a file that cannot be opened, written, copied or
// deleted makes the operation a no-op. Every writer tests "log" at each call, so callers
// never do.

#include "log/LogFormat.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace vireo {

class LogWindowSink;

class TransferLog {
public:
    // Takes the next file number from "lognum" (2..667, stored at once) and fixes the
    // path in the log directory; when "log" is on, empties (or creates) the file.
    TransferLog();
    // Closes the attached window, then removes the file (when "log" is on).
    virtual ~TransferLog();
    TransferLog(const TransferLog&) = delete;
    TransferLog& operator=(const TransferLog&) = delete;

    // One line: "#%d %c %s\r\n" when numbered (the counter advances first), else
    // "%s\r\n".
    void AddRecord(std::string_view text, char kind, bool numbered = true);
    // One name/value line: "#%d %c %s: %s\r\n" when numbered, else "%s: %s\r\n".
    void AddField(std::string_view name, std::string_view text, char kind, bool numbered = true);
    // A numbered "dump: " record of the given kind, then length / 16 + 1 unnumbered rows.
    void AddDump(const void* data, size_t length, char kind);

    // Replaces the file at destination by a copy of the log file; nothing happens when
    // the log file cannot be read or the destination cannot be opened.
    void CopyTo(const std::string& destination) const;
    // Deletes the log file when "log" is on; a failure is ignored. The counter stays, and
    // the next record creates the file again.
    void RemoveFile();

    // The window that shows this log (not owned).
    void AttachWindow(LogWindowSink* window);
    // Forgets the attached window, only if it is this one.
    void DetachWindow(LogWindowSink* window);
    // Makes the attached window close at once, then forgets it.
    void CloseWindow();
    LogWindowSink* Window() const { return m_window; }

    const std::string& FilePath() const { return m_path; }
    // The most recently formatted line, with its CR LF (set even when the write failed).
    const std::string& LastRecord() const { return m_lastRecord; }
    // The number of the last numbered record; 0 after construction.
    int Counter() const { return m_counter; }

    // The file number that follows a stored "lognum": values above 666 (and, on this
    // platform, below 1) start again, so numbers run 2..667.
    static int NextFileNumber(int storedLogNum);

private:
    static bool LogOn();
    int NextNumber();
    // Sets LastRecord, appends it to the file, then notifies the window.
    void WriteLine(std::string line);
    void NotifyWindow();

    int m_counter = 0;
    std::string m_lastRecord;
    LogWindowSink* m_window = nullptr;
    std::string m_path;
};

} // namespace vireo
