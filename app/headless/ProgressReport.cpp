#include "app/headless/ProgressReport.h"

#include "downloads/VireoDoc.h"
#include "engine/FileNames.h"
#include "engine/TransferJob.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace vireo {

namespace {
constexpr auto kRedrawInterval = std::chrono::seconds(1);
// Everything of a row but the file's name: the numbers' columns and the spaces between.
constexpr int kNumbersWidth = 51;
constexpr int kMinNameWidth = 8;

// Characters of a UTF-8 text: every byte but the continuation bytes starts one.
long Characters(std::string_view text) {
    return long(std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

// The text cut to at most width characters (UTF-8 sequences kept whole), "~" marking a cut.
std::string Fit(const std::string& text, int width) {
    if (width <= 0)
        return {};
    if (Characters(text) <= width)
        return text;
    size_t end = 0;
    for (int kept = 0; end < text.size(); ++end) {
        if ((text[end] & 0xC0) != 0x80 && ++kept == width)
            break; // end is where the character that has no room starts
    }
    return text.substr(0, end) + "~";
}

std::string Row(const std::string& file, int nameWidth, const std::string& size,
                const std::string& received, const std::string& percent, const std::string& speed,
                const std::string& left) {
    std::string name = Fit(file, nameWidth);
    name.append(size_t(std::max(0L, nameWidth - Characters(name))), ' ');
    char numbers[128];
    std::snprintf(numbers, sizeof numbers, " %10s %10s %5s %12s %9s", size.c_str(),
                  received.c_str(), percent.c_str(), speed.c_str(), left.c_str());
    return name + numbers;
}

int TerminalWidth() {
    winsize size{};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

QJsonObject Event(const char* name, const DownloadItem& item) {
    QJsonObject event;
    event["event"] = name;
    event["url"] = QString::fromStdString(item.Url());
    event["file"] = QString::fromStdString(item.TargetPath());
    return event;
}

// Bytes held and the size (null while unknown and for live streams).
void AddCounts(QJsonObject& event, const DownloadItem& item) {
    event["bytes"] = qint64(item.Received());
    int64_t size = item.Size();
    event["size"] = size > 0 && !item.HasFlag(IF_LIVE) ? QJsonValue(qint64(size)) : QJsonValue();
}

// The check of an expected digest, when the entry had one: {"type": "sha-256", "result":
// "verified" | "mismatch"}.
void AddChecksum(QJsonObject& event, const DownloadItem& item) {
    DownloadItem::DigestCheck check = item.DigestResult();
    if (check != DownloadItem::DigestCheck::Verified &&
        check != DownloadItem::DigestCheck::Mismatch)
        return;
    QJsonObject checksum;
    checksum["type"] = QString::fromStdString(DigestName(item.Digest().type));
    checksum["result"] = check == DownloadItem::DigestCheck::Verified ? "verified" : "mismatch";
    event["checksum"] = checksum;
}

// The variant a master playlist's recording chose: {"uri", "bandwidth" (bits/s),
// "resolution": "1280x720"}, bandwidth and resolution when the playlist names them.
void AddVariant(QJsonObject& event, const DownloadItem& item) {
    const std::optional<StreamVariant>& chosen = item.Variant();
    if (!chosen)
        return;
    QJsonObject variant;
    variant["uri"] = QString::fromStdString(chosen->uri);
    if (chosen->bandwidth >= 0)
        variant["bandwidth"] = qint64(chosen->bandwidth);
    if (chosen->width > 0 && chosen->height > 0)
        variant["resolution"] = QString("%1x%2").arg(chosen->width).arg(chosen->height);
    event["variant"] = variant;
}

std::string JsonLine(const QJsonObject& event) {
    return QJsonDocument(event).toJson(QJsonDocument::Compact).toStdString();
}
} // namespace

ProgressReport::ProgressReport(std::ostream& out, std::ostream& err, Mode mode)
    : m_out(out), m_err(err), m_mode(mode), m_width(TerminalWidth) {}

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
    if (m_mode == Mode::Json) {
        QJsonObject event;
        if (to == ItemState::Running && from != ItemState::Running) {
            event = Event("start", item);
        } else if (to == ItemState::Done) {
            event = Event("done", item);
            AddCounts(event, item);
            AddChecksum(event, item);
            AddVariant(event, item);
        } else if (to == ItemState::Failed) {
            event = Event("failed", item);
            AddCounts(event, item);
            AddChecksum(event, item);
            AddVariant(event, item);
            event["error"] = item.LastError();
            event["text"] = QString::fromStdString(item.FailureText());
        } else {
            return;
        }
        Line(m_out, JsonLine(event));
        return;
    }
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
    case Mode::Json:
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
    if (m_mode != Mode::Table && m_mode != Mode::Json)
        return;
    auto now = std::chrono::steady_clock::now();
    if (!force && m_lastDraw != std::chrono::steady_clock::time_point{} &&
        now - m_lastDraw < kRedrawInterval)
        return;
    m_lastDraw = now;
    if (m_mode == Mode::Json)
        ReportProgress(doc);
    else
        DrawTable(doc);
}

void ProgressReport::ReportProgress(const CVireoDoc& doc) {
    for (const DownloadItem* item : doc.RunningItems()) {
        const TransferJob* job = item->Job();
        if (!job)
            continue;
        QJsonObject event = Event("progress", *item);
        AddCounts(event, *item);
        AddVariant(event, *item);
        event["speed"] = qint64(job->Speed());
        m_out << JsonLine(event) << '\n';
    }
    m_out.flush();
}

void ProgressReport::DrawTable(const CVireoDoc& doc) {
    ClearTable();
    for (const std::string& text : m_pending)
        m_out << text << '\n';
    m_pending.clear();

    // Lines longer than the terminal would wrap, and the next redraw would then wipe too
    // few of them.
    int width = std::max(m_width(), 1);
    int nameWidth = std::max(width - kNumbersWidth, kMinNameWidth);
    std::vector<std::string> table;
    table.push_back(Row("File", nameWidth, "Size", "Received", "%", "Speed", "Left"));
    int64_t totalSpeed = 0;
    for (const DownloadItem* item : doc.RunningItems()) {
        const TransferJob* job = item->Job();
        int64_t size = item->Size();
        int64_t received = item->Received();
        bool live = item->HasFlag(IF_LIVE);
        std::string percent = !live && size > 0 ? std::to_string(received * 100 / size) + "%" : "-";
        if (job)
            totalSpeed += job->Speed();
        table.push_back(Row(LastPathComponent(item->TargetPath()), nameWidth,
                            live ? "live" : (size > 0 ? Bytes(size) : "?"), Bytes(received),
                            percent, job ? Bytes(job->Speed()) + "/s" : "-",
                            job ? job->TimeLeftText() : "-"));
    }
    int done = 0, failed = 0, running = 0;
    int64_t totalBytes = 0;
    for (int i = 0; i < doc.ItemCount(); ++i) {
        ItemState state = doc.State(i);
        done += state == ItemState::Done;
        failed += state == ItemState::Failed;
        running += state == ItemState::Running;
        totalBytes += doc.Item(i).Received();
    }
    table.push_back(std::to_string(done) + " done, " + std::to_string(failed) + " failed, " +
                    std::to_string(running) + " running, " + Bytes(totalBytes) + ", " +
                    Bytes(totalSpeed) + "/s");
    for (const std::string& line : table)
        m_out << Fit(line, width) << '\n';
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
    if (m_mode == Mode::Json) {
        QJsonObject event;
        event["event"] = "summary";
        event["done"] = done;
        event["failed"] = failed;
        event[interrupted ? "stopped" : "unfinished"] = other;
        Line(m_out, JsonLine(event));
        return done == doc.ItemCount() ? 0 : 1;
    }
    m_out << done << " done, " << failed << " failed";
    if (other > 0)
        m_out << ", " << other << (interrupted ? " stopped" : " not finished");
    m_out << '\n';
    m_out.flush();
    return done == doc.ItemCount() ? 0 : 1;
}

} // namespace vireo
