// Time of one AddUrl as the list grows: the clash check and the row lookup must not
// scan the list, so the time per call stays flat from 1,000 to 100,000 entries.
#include "downloads/ListLines.h"
#include "downloads/VireoDoc.h"
#include "settings/SettingsStore.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {
class NullLines : public vireo::ListLines {
public:
    void AppendLine(const std::string&, int) override {}
    void SetText(int, int, const std::string&) override {}
    void SetProgress(int, const vireo::LineProgress&) override {}
    void SetImage(int, int) override {}
    void DeleteLine(int) override {}
    int SelectedLine() const override { return -1; }
    void SelectLine(int) override {}
};

void BM_AddUrl(benchmark::State& state) {
    QTemporaryDir dir;
    vireo::OpenSettings(dir.path() + "/Vireo.conf");
    vireo::Settings().SetString("downpath", dir.path().toStdString());
    NullLines lines;
    vireo::CVireoDoc doc(&lines);
    const int prefill = int(state.range(0));
    for (int i = 0; i < prefill; ++i)
        doc.AddUrl("http://h.x/pre/file" + std::to_string(i) + "x.bin", false);
    int n = 0;
    for (auto _ : state) {
        // Every other address clashes once with an entry already in the list.
        std::string name =
            (n % 2) ? "file" + std::to_string(n % prefill) + "x" : "new" + std::to_string(n);
        benchmark::DoNotOptimize(doc.AddUrl("http://h.x/add/" + name + ".bin", false));
        ++n;
    }
    state.counters["entries"] = double(doc.ItemCount());
}
BENCHMARK(BM_AddUrl)->Arg(1000)->Arg(10000)->Arg(100000)->Iterations(20000);
} // namespace

BENCHMARK_MAIN();
