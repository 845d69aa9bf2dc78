// The document with a long list: loading 100,000 addresses from a list text until each
// entry waits (or runs), and one 200 ms tick over such a list. Items are fakes whose
// starts succeed at once, so only the document's own work is measured.
#include "downloads/ListLines.h"
#include "downloads/VireoDoc.h"
#include "engine/TransferJob.h"
#include "settings/SettingsStore.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <array>

namespace {
constexpr int kEntries = 100000;

// Keeps every text, as a list control would.
class StoredLines : public vireo::ListLines {
public:
    void AppendLine(const std::string& text, int image) override {
        m_lines.push_back({});
        m_lines.back().text[0] = text;
        m_lines.back().image = image;
    }
    void SetText(int line, int column, const std::string& text) override {
        m_lines[size_t(line)].text[size_t(column)] = text;
    }
    void SetProgress(int line, const vireo::LineProgress& progress) override {
        m_lines[size_t(line)].text[vireo::ColSize] = vireo::SizeText(progress);
        m_lines[size_t(line)].text[vireo::ColStatus] = vireo::StatusText(progress);
    }
    void SetImage(int line, int image) override { m_lines[size_t(line)].image = image; }
    void DeleteLine(int line) override { m_lines.erase(m_lines.begin() + line); }
    int SelectedLine() const override { return -1; }
    void SelectLine(int) override {}

private:
    struct Line {
        std::array<std::string, vireo::kColumnCount> text;
        int image = 0;
    };
    std::vector<Line> m_lines;
};

class ProgressJob : public vireo::TransferJob {
public:
    ProgressJob() : TransferJob(nullptr, "", "", 0) {
        m_size = 1 << 20;
        m_bytes = 4096;
        m_speed = 1000;
        m_timeLeft = 1044;
    }
};

class QuickItem : public vireo::DownloadItem {
public:
    using DownloadItem::DownloadItem;
    bool StartItem(const std::string&, const std::string&, bool) override {
        SetJob(std::make_unique<ProgressJob>());
        SetFlags(vireo::IF_DIRTY | vireo::IF_RECEIVING);
        return true;
    }
    void StopTransfer() override { SetJob(nullptr); }
};

class BenchDoc : public vireo::CVireoDoc {
public:
    using CVireoDoc::CVireoDoc;
    std::unique_ptr<vireo::DownloadItem> CreateItem(const std::string& url,
                                                    const std::string& path) override {
        return std::make_unique<QuickItem>(url, path, this);
    }
};

std::string ListOf(int n) {
    std::string text;
    for (int i = 0; i < n; ++i)
        text +=
            "http://h" + std::to_string(i % 97) + ".x/dir/file" + std::to_string(i) + ".bin\r\n";
    return text;
}

void UseSettings(QTemporaryDir& dir, int maxDown) {
    vireo::OpenSettings(dir.path() + "/Vireo.conf");
    vireo::Settings().SetString("downpath", dir.path().toStdString());
    vireo::Settings().SetInt("maxdown", maxDown);
    vireo::Settings().SetInt("animated", 1);
}

// Wall time until all 100,000 entries of a list text are in the list (5 running).
void BM_LoadListText(benchmark::State& state) {
    QTemporaryDir dir;
    UseSettings(dir, 5);
    std::string text = ListOf(kEntries);
    for (auto _ : state) {
        StoredLines lines;
        BenchDoc doc(&lines);
        doc.RecountSlots();
        doc.AddUrlsFromText(text);
        state.PauseTiming();
        if (doc.ItemCount() != kEntries || doc.RunningCount() != 5 ||
            doc.State(kEntries - 1) != vireo::ItemState::Waiting)
            state.SkipWithError("not every entry reached the list");
        state.ResumeTiming();
    }
}
BENCHMARK(BM_LoadListText)->Unit(benchmark::kMillisecond)->Iterations(3);

// One tick over 100,000 entries, of which range(0) run with fresh progress. Each
// iteration is five ticks, one of them the once-a-second refresh; the counter gives the
// time of one tick.
void BM_Tick(benchmark::State& state) {
    QTemporaryDir dir;
    const int running = int(state.range(0));
    UseSettings(dir, running);
    StoredLines lines;
    BenchDoc doc(&lines);
    doc.RecountSlots();
    doc.AddUrlsFromText(ListOf(kEntries));
    if (doc.RunningCount() != running)
        state.SkipWithError("unexpected running count");
    for (auto _ : state) {
        state.PauseTiming();
        for (int i = 0; i < running; ++i)
            doc.Item(i).SetFlags(vireo::IF_DIRTY);
        state.ResumeTiming();
        for (int t = 0; t < 5; ++t)
            doc.OnTick();
    }
    state.counters["per_tick"] = benchmark::Counter(
        double(state.iterations()) * 5, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_Tick)->Arg(5)->Arg(32)->Arg(kEntries)->Unit(benchmark::kMicrosecond);
} // namespace

BENCHMARK_MAIN();
