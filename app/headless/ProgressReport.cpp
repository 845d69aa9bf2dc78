#include "app/headless/ProgressReport.h"

#include "downloads/VireoDoc.h"
#include "engine/FileNames.h"
#include "engine/TransferJob.h"

#include <cstdio>

namespace vireo {

namespace {
constexpr auto kRedrawInterval = std::chrono::seconds(1);
constexpr size_t kNameWidth = 32;

std::string Fit(std::string text, size_t width) {
    if (text.size() > width)
        text = text.substr(0, width - 1) + "~";
    return text;
}

std::string Row(const std::string& file, const std::string& size, const std::string& received,
                const std::string& percent, const std::string& speed, const std::string& left) {
    char line[256];
    std::snprintf(line, sizeof line, "%-32s %10s %10s %5s %12s %9s", Fit(file, kNameWidth).c_str(),
                  size.c_str(), received.c_str(), percent.c_str(), speed.c_str(), left.c_str());
    return line;
}
} // namespace

ProgressReport::ProgressReport(std::ostream& out, std::ostream& err, Mode mode)
    : m_out(out), m_err(err), m_mode(mode) {}

std::string ProgressReport::Bytes(int64_t n) {
    static const char* const kUnits[] = {"KiB", "MiB", "GiB", "TiB"};
    if (n < 1024)
        return std::to_string(n) + " B";
    double value = double(n);
    int unit = -1;
    while (value >= 1024 && unit < 3) {
        value /= 1024;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", value, kUnits[unit]);
    return text;
}

void ProgressReport::Line(std::ostream& stream, const std::string& text) {
    stream << text << '\n';
    stream.flush();
}

void ProgressReport::OnStateChanged(DownloadItem& item, ItemState from, ItemState to) {
    std::string text;
    if (to == ItemState::Running && from != ItemState::Running)
        text = "started " + item.Url() + " -> " + item.TargetPath();
    else if (to == ItemState::Done)
        text = "done " + item.Url() + " -> " + item.TargetPath() + " (" +
               std::to_string(item.Received()) + " bytes" +
               (item.DigestResult() == DownloadItem::DigestCheck::Verified
                    ? ", " + DigestName(item.Digest().type) + " verified"
                    : "") +
               ")";
    else if (to == ItemState::Failed)
        text = "failed " + item.Url() + ": " + item.FailureText();
    if (text.empty())
        return;
    switch (m_mode) {
    case Mode::Lines:
        Line(m_out, text);
        break;
    case Mode::Table:
        // Starts show in the table; the rest scroll above it at the next redraw.
        if (to != ItemState::Running)
            m_pending.push_back(text);
        break;
    case Mode::Quiet:
        break;
    }
}

void ProgressReport::Message(const std::string& caption, const std::string& text) {
    ClearTable();
    std::string oneLine = text;
    for (char& c : oneLine)
        if (c == '\n')
            c = ' ';
    Line(m_err, "vireo: " + caption + ": " + oneLine);
}

void ProgressReport::ClearTable() {
    if (m_tableLines > 0) {
        m_out << "\x1b[" << m_tableLines << "A\x1b[J";
        m_tableLines = 0;
    }
}

void ProgressReport::Refresh(const CVireoDoc& doc, bool force) {
    if (m_mode != Mode::Table)
        return;
    auto now = std::chrono::steady_clock::now();
    if (!force && m_lastDraw != std::chrono::steady_clock::time_point{} &&
        now - m_lastDraw < kRedrawInterval)
        return;
    m_lastDraw = now;
    ClearTable();
    for (const std::string& text : m_pending)
        m_out << text << '\n';
    m_pending.clear();

    std::vector<std::string> table;
    table.push_back(Row("File", "Size", "Received", "%", "Speed", "Left"));
    for (DownloadItem* item : doc.RunningItems()) {
        const TransferJob* job = item->Job();
        int64_t size = item->Size();
        int64_t received = item->Received();
        bool live = item->HasFlag(IF_LIVE);
        std::string percent = !live && size > 0 ? std::to_string(received * 100 / size) + "%" : "-";
        table.push_back(Row(LastPathComponent(item->TargetPath()),
                            live ? "live" : (size > 0 ? Bytes(size) : "?"), Bytes(received),
                            percent, job ? Bytes(job->Speed()) + "/s" : "-",
                            job ? job->TimeLeftText() : "-"));
    }
    for (const std::string& line : table)
        m_out << line << '\n';
    m_tableLines = int(table.size());
    m_out.flush();
}

int ProgressReport::Summary(CVireoDoc& doc, bool interrupted) {
    ClearTable();
    for (const std::string& text : m_pending)
        m_out << text << '\n';
    m_pending.clear();

    int done = 0, failed = 0, other = 0;
    for (int i = 0; i < doc.ItemCount(); ++i) {
        switch (doc.State(i)) {
        case ItemState::Done:
            ++done;
            break;
        case ItemState::Failed:
            ++failed;
            m_err << "vireo: failed: " << doc.Item(i).Url() << ": " << doc.Item(i).FailureText()
                  << '\n';
            break;
        default:
            ++other;
            break;
        }
    }
    m_err.flush();
    m_out << done << " done, " << failed << " failed";
    if (other > 0)
        m_out << ", " << other << (interrupted ? " stopped" : " not finished");
    m_out << '\n';
    m_out.flush();
    return done == doc.ItemCount() ? 0 : 1;
}

} // namespace vireo
