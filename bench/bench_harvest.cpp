// "--links" on a big page: from the page's arrival (its file read back, as a finished
// page marked "link to page" is) until each of its 20,000 links is an entry of the list,
// with a link filter that runs for every link and keeps them all. Items are fakes whose
// starts succeed at once, so the document's own work is measured.
#include "common/ByteBuffer.h"
#include "downloads/VireoDoc.h"
#include "engine/TransferJob.h"
#include "settings/SettingsStore.h"

#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {
constexpr int kLinks = 20000;
constexpr size_t kPageSize = 1 << 20;

class QuickItem : public vireo::DownloadItem {
public:
    using DownloadItem::DownloadItem;
    bool StartItem(const std::string&, const std::string&, bool) override {
        SetJob(std::make_unique<vireo::TransferJob>(nullptr, "", "", 0));
        SetFlags(vireo::IF_DIRTY | vireo::IF_RECEIVING);
        return true;
    }
    void StopTransfer() override { SetJob(nullptr); }
};

class BenchDoc : public vireo::CVireoDoc {
public:
    using CVireoDoc::HarvestLinks;
    std::unique_ptr<vireo::DownloadItem> CreateItem(const std::string& url,
                                                    const std::string& path) override {
        return std::make_unique<QuickItem>(url, path, this);
    }
};

// About 1 MB of HTML holding kLinks links, relative and absolute, in a few folders.
QByteArray Page() {
    QByteArray page = "<html><head><title>files</title></head><body><table>\n";
    for (int i = 0; i < kLinks; ++i) {
        QByteArray name = "file" + QByteArray::number(i) + (i % 3 ? ".zip" : ".iso");
        QByteArray href = i % 4 == 0
                              ? "http://mirror.lan/pub/d" + QByteArray::number(i % 50) + "/" + name
                              : "d" + QByteArray::number(i % 50) + "/" + name;
        page += "<tr><td><a href=\"" + href + "\">" + name + "</a></td><td>" +
                QByteArray::number(1000 + i) + " KB</td></tr>\n";
    }
    page += "</table>";
    while (size_t(page.size()) < kPageSize - 32)
        page += "<p>padding of the page to its full size.</p>\n";
    return page + "</body></html>\n";
}

void BM_HarvestPage(benchmark::State& state) {
    QTemporaryDir dir;
    vireo::OpenSettings(dir.path() + "/Vireo.conf");
    vireo::Settings().SetString("downpath", dir.path().toStdString());
    vireo::Settings().SetInt("maxdown", 5);
    // --reject with an extension no link has: every link is judged, every link stays.
    vireo::Settings().OverrideInt("filter", 1);
    vireo::Settings().OverrideString("except", "none");
    const QString path = dir.path() + "/index.htm";
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(Page()) < qint64(kPageSize) - 64)
        state.SkipWithError("cannot write the page");
    file.close();
    for (auto _ : state) {
        state.PauseTiming();
        auto doc = std::make_unique<BenchDoc>();
        doc->RecountSlots();
        state.ResumeTiming();
        vireo::ByteBuffer page;
        page.LoadFile(path.toStdString());
        doc->HarvestLinks(page, "http://mirror.lan/pub/index.htm");
        state.PauseTiming();
        if (doc->ItemCount() != kLinks || doc->RunningCount() != 5)
            state.SkipWithError("not every link was queued");
        doc.reset(); // the list's teardown is not part of the harvest
        state.ResumeTiming();
    }
    state.counters["links"] = kLinks;
}
BENCHMARK(BM_HarvestPage)->Unit(benchmark::kMillisecond)->Iterations(5);
} // namespace

BENCHMARK_MAIN();
