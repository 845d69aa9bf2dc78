// The main window with 100,000 entries: how long loading them takes, what one 200 ms tick
// costs with the window painting what it changed, and what scrolling a page costs.
// Items are fakes whose starts succeed at once and whose progress moves every second, so
// only the document and the window are measured. Runs on the offscreen platform unless
// QT_QPA_PLATFORM names another (a real X server: QT_QPA_PLATFORM=xcb DISPLAY=...).
#include "app/gui/CMainFrame.h"
#include "app/gui/CVireoList.h"
#include "downloads/VireoDoc.h"
#include "engine/TransferJob.h"
#include "settings/SettingsStore.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {
constexpr int kEntries = 100000;
constexpr int kTicks = 250; // 50 seconds of ticks

class MovingJob : public vireo::TransferJob {
public:
    MovingJob() : TransferJob(nullptr, "", "", 0) {
        m_size = 10 << 20;
        m_speed = 40000;
        m_timeLeft = 250;
    }
    void Advance() {
        m_bytes = std::min(m_bytes + 40000, m_size);
        m_timeLeft = (m_size - m_bytes) / m_speed;
    }
};

class QuickItem : public vireo::DownloadItem {
public:
    using DownloadItem::DownloadItem;
    bool StartItem(const std::string&, const std::string&, bool) override {
        SetJob(std::make_unique<MovingJob>());
        SetFlags(vireo::IF_DIRTY | vireo::IF_RECEIVING);
        return true;
    }
    void StopTransfer() override { SetJob(nullptr); }
};

class BenchDoc : public vireo::CVireoDoc {
public:
    std::unique_ptr<vireo::DownloadItem> CreateItem(const std::string& url,
                                                    const std::string& path) override {
        return std::make_unique<QuickItem>(url, path, this);
    }
};

struct Stats {
    double mean = 0, median = 0, p99 = 0, max = 0;
};

Stats Summarize(std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    Stats s;
    for (double v : ms)
        s.mean += v;
    s.mean /= double(ms.size());
    s.median = ms[ms.size() / 2];
    s.p99 = ms[std::min(ms.size() - 1, ms.size() * 99 / 100)];
    s.max = ms.back();
    return s;
}

void Print(const char* what, const Stats& s) {
    std::printf("%-44s mean %7.3f ms  median %7.3f  p99 %7.3f  max %7.3f\n", what, s.mean, s.median,
                s.p99, s.max);
}

// Ticks of the document, alone and followed by the painting they cause, as the event
// loop runs them.
std::pair<Stats, Stats> MeasureTicks(BenchDoc& doc) {
    std::vector<double> tick, painted;
    QElapsedTimer t;
    QApplication::processEvents();
    for (int i = 0; i < kTicks; ++i) {
        for (vireo::DownloadItem* item : doc.RunningItems()) {
            static_cast<MovingJob*>(item->Job())->Advance();
            item->SetFlags(vireo::IF_DIRTY);
        }
        t.start();
        doc.OnTick();
        tick.push_back(double(t.nsecsElapsed()) / 1e6);
        QApplication::processEvents(); // paints what the tick marked, nothing more
        painted.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    return {Summarize(tick), Summarize(painted)};
}
} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    vireo::OpenSettings(dir.path() + "/Vireo.conf");
    vireo::SettingsStore& settings = vireo::Settings();
    settings.SetInt("version", 1);
    settings.SetString("downpath", dir.path().toStdString());
    settings.SetString("cwd", dir.path().toStdString());
    settings.SetInt("maxdown", 32);
    settings.SetInt("animated", 1);
    settings.SetInt("droptotray", 0);
    for (auto [key, width] : {std::pair{"wfile", 200},
                              {"wsize", 80},
                              {"wstatus", 100},
                              {"welapsed", 50},
                              {"wleft", 50},
                              {"wspeed", 50},
                              {"wattemp", 30},
                              {"waddress", 800}})
        settings.SetInt(key, width);

    BenchDoc doc;
    vireo::CMainFrame frame(doc);
    doc.RecountSlots();
    frame.OnDocumentStarted();
    frame.resize(1000, 700);
    frame.show();
    QApplication::processEvents();

    std::string text;
    for (int i = 0; i < kEntries; ++i)
        text +=
            "http://h" + std::to_string(i % 97) + ".x/dir/file" + std::to_string(i) + ".bin\r\n";
    QElapsedTimer load;
    load.start();
    doc.AddUrlsFromText(text);
    QApplication::processEvents(); // the rows reach the view
    frame.repaint();
    std::printf("%-44s %7.1f ms (%d entries, %d running)\n", "load list into the window",
                double(load.nsecsElapsed()) / 1e6, doc.ItemCount(), doc.RunningCount());

    vireo::CVireoList& list = frame.List();
    auto [tick, painted] = MeasureTicks(doc);
    Print("tick alone, running rows in sight", tick);
    Print("tick + painting, running rows in sight", painted);
    list.verticalScrollBar()->setValue(list.verticalScrollBar()->maximum());
    QApplication::processEvents();
    std::tie(tick, painted) = MeasureTicks(doc);
    Print("tick alone, scrolled to the end", tick);
    Print("tick + painting, scrolled to the end", painted);

    std::vector<double> scroll;
    QElapsedTimer t;
    QScrollBar* bar = list.verticalScrollBar();
    int page = bar->pageStep();
    for (int i = 0; i < 200; ++i) {
        int to = (i % 2 == 0) ? (i * 7919 * page) % bar->maximum() : bar->value() + page / 10;
        t.start();
        bar->setValue(to);
        list.viewport()->repaint();
        scroll.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    Print("scroll (jump or 1/10 page) + repaint", Summarize(scroll));

    QElapsedTimer clear;
    clear.start();
    doc.RunCommand(vireo::DocCommand::NewList);
    QApplication::processEvents();
    std::printf("%-44s %7.1f ms\n", "clear the list (New)", double(clear.nsecsElapsed()) / 1e6);
    frame.ShutDown();
    return 0;
}
