// Time of scanning one page for its links on the pages that used to make the scan grow
// with the square of the page: the time per byte must stay flat, and the links taken
// stay within their bounds.
#include "downloads/PageLinks.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

// A base of 100,000 bytes and 20,000 empty links after it: 320 KB.
std::string LongBasePage() {
    std::string page = "<base href=\"http://h.x/" + std::string(100000, 'a') + "/\">";
    for (int i = 0; i < 20000; ++i)
        page += "<a href=\"\">";
    return page;
}

// A link climbing 100,000 directories out of the long base.
std::string ClimbingPage() {
    std::string page = LongBasePage() + "<a href=\"";
    for (int i = 0; i < 100000; ++i)
        page += "../";
    return page + "x.zip\">";
}

// 10 MB of tags that never end.
std::string OpenTagsPage() {
    std::string page;
    page.reserve(10 << 20);
    while (page.size() < (10u << 20))
        page += "<a";
    return page;
}

// One '<' and a megabyte of spaces, then "href" over and over in the same tag.
std::string LongTagPage() {
    std::string page = "<" + std::string(1 << 20, ' ');
    for (int i = 0; i < 100000; ++i)
        page += "href";
    return page;
}

// An ordinary page of 20,000 links, for comparison.
std::string OrdinaryPage() {
    std::string page;
    for (int i = 0; i < 20000; ++i)
        page += "<p>text <a href=\"f" + std::to_string(i) + ".zip\">x</a>\n";
    return page;
}

void Scan(benchmark::State& state, const std::string& page) {
    size_t links = 0, bytes = 0;
    for (auto _ : state) {
        std::vector<std::string> found = vireo::PageLinks(page, "http://h.x/dir/p.htm");
        links = found.size();
        bytes = 0;
        for (const std::string& link : found)
            bytes += link.size();
        benchmark::DoNotOptimize(found.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(page.size()));
    state.counters["page_bytes"] = double(page.size());
    state.counters["links"] = double(links);
    state.counters["link_bytes"] = double(bytes);
}

void BM_LongBase(benchmark::State& state) {
    Scan(state, LongBasePage());
}
void BM_Climbing(benchmark::State& state) {
    Scan(state, ClimbingPage());
}
void BM_OpenTags10MB(benchmark::State& state) {
    Scan(state, OpenTagsPage());
}
void BM_LongTag(benchmark::State& state) {
    Scan(state, LongTagPage());
}
void BM_Ordinary(benchmark::State& state) {
    Scan(state, OrdinaryPage());
}

BENCHMARK(BM_LongBase)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Climbing)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenTags10MB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LongTag)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Ordinary)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
