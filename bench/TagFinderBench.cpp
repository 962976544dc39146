// Throughput of the markup element finder on shop listings and on pages of nested, unclosed
// elements, at 2 MB and 8 MB: the time must grow with the page (8 MB about 4 times 2 MB).
// Run a Release build:
//     ./tagfinder_bench --benchmark_counters_tabular=true
#include "idcollect/TagFinder.h"

#include <benchmark/benchmark.h>

#include <string>

using namespace quillet;

namespace {

constexpr std::int64_t kMegabyte = 1 << 20;

// A shop listing of about 100 bytes per item (20,000 items in 2 MB): one li per product with
// its link and a Chinese title, in a "shop-list" block.
GbkText listing(std::int64_t bytes)
{
    GbkText page = "<html><head><link rel=\"stylesheet\" href=\"/a.css\"></head><body><ul class=\"shop-list\">\r\n";
    const GbkText title = gbk("新款女装连衣裙");
    for (long long id = 500000000; static_cast<std::int64_t>(page.size()) < bytes; ++id)
        page += "<li class=\"item\"><a href=\"//item.taobao.com/item.htm?id=" + std::to_string(id) + "\">" + title +
                "</a></li>\r\n";
    return page + "</ul></body></html>";
}

// The same amount of elements that open and never close, each inside the one before.
GbkText nestedUnclosed(std::int64_t bytes)
{
    GbkText page;
    while (static_cast<std::int64_t>(page.size()) < bytes)
        page += "<div class=\"row item\"><div class=\"col\"><a href=\"?id=123456\">";
    return page;
}

void run(benchmark::State& state, const GbkText& page, const char* tag, std::vector<GbkText> names,
         std::vector<GbkText> values, bool contains)
{
    idcollect::TagFinder finder;
    int found = 0;
    for (auto _ : state) {
        found = finder.findAll(page, tag, names, values, contains);
        benchmark::DoNotOptimize(found);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(page.size()));
    state.counters["elements"] = found;
}

void listingItems(benchmark::State& state)
{
    const GbkText page = listing(state.range(0));
    run(state, page, "li", {}, {}, false);
}

void listingItemsByClass(benchmark::State& state)
{
    const GbkText page = listing(state.range(0));
    run(state, page, "li", {"class", "class"}, {"item", "item last"}, false);
}

void nestedRows(benchmark::State& state)
{
    const GbkText page = nestedUnclosed(state.range(0));
    run(state, page, "div", {"class"}, {"row item"}, true);
}

} // namespace

BENCHMARK(listingItems)->Arg(2 * kMegabyte)->Arg(8 * kMegabyte)->Unit(benchmark::kMillisecond);
BENCHMARK(listingItemsByClass)->Arg(2 * kMegabyte)->Arg(8 * kMegabyte)->Unit(benchmark::kMillisecond);
BENCHMARK(nestedRows)->Arg(2 * kMegabyte)->Arg(8 * kMegabyte)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
