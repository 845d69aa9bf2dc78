#pragma once
// What the terminal front end prints while a run goes on and when it ends. On a terminal a
// table of the running entries is redrawn in place (at most once a second) below the
// lines of finished and failed entries; otherwise every start, finish and failure is one
// line, so the output can be logged or parsed. With --json every line is one JSON object
// for other programs to read.

#include "downloads/ItemRow.h"

#include <chrono>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace vireo {

class CVireoDoc;
class DownloadItem;

class ProgressReport {
public:
    enum class Mode { Lines, Table, Quiet, Json };
    ProgressReport(std::ostream& out, std::ostream& err, Mode mode);

    // The table's width in columns; the terminal's by default, read at every redraw so
    // that the table follows a resize.
    void SetWidthSource(std::function<int()> width) { m_width = std::move(width); }

    void OnStateChanged(DownloadItem& item, ItemState from, ItemState to);
    // Redraws the table when a second has passed since the last time (or force).
    void Refresh(const CVireoDoc& doc, bool force = false);
    void Message(const std::string& caption, const std::string& text);
    // Clears the table, prints the summary and each failure with its address, error text,
    // cause and attempts; returns the exit status: 0 when every entry is done, else 1.
    int Summary(CVireoDoc& doc, bool interrupted);

    // "1.5 MiB" and the like.
    static std::string Bytes(int64_t n);

private:
    void ClearTable();
    void Line(std::ostream& stream, const std::string& text);
    void DrawTable(const CVireoDoc& doc);
    void ReportProgress(const CVireoDoc& doc);

    std::ostream& m_out;
    std::ostream& m_err;
    Mode m_mode;
    int m_tableLines = 0; // lines of the table now on the screen
    std::vector<std::string> m_pending;
    std::chrono::steady_clock::time_point m_lastDraw{};
    std::function<int()> m_width;
};

} // namespace vireo
