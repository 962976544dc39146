// Throughput of the text operations on realistic GBK text (Chinese with ASCII, tags and
// character references) at three sizes. Run a Release or RelWithDebInfo build:
//     ./text_bench --benchmark_counters_tabular=true
#include "compose/TextOps.h"
#include "regex/RegexObject.h"

#include <benchmark/benchmark.h>

#include <map>
#include <random>

using namespace quillet;
using namespace quillet::compose;

namespace {

constexpr std::int64_t kSizes[] = {64 << 10, 1 << 20, 8 << 20};

class TextMaker {
public:
    explicit TextMaker(unsigned seed) : m_rng(seed) {}

    // One common Chinese character (GB2312 area), now and then one of the GBK extension whose
    // second byte lies in the ASCII range.
    void chinese(GbkText& out)
    {
        if (pick(40) == 0) {
            out.push_back(static_cast<char>(0x81 + pick(0x20)));
            out.push_back(static_cast<char>(0x40 + pick(0x3F)));
            return;
        }
        out.push_back(static_cast<char>(0xB0 + pick(0x28)));
        out.push_back(static_cast<char>(0xA1 + pick(0x5E)));
    }

    // A review-like sentence: Chinese runs, full-width punctuation, ASCII words, a tag or a
    // character reference here and there.
    GbkText sentence()
    {
        static const char* const kAscii[] = {"iPhone", "OK", "5G", "XL", "100%", "good", "A+"};
        static const char* const kTags[] = {"<br/>", "<b>", "</b>", "<img src=\"//img.example/a.jpg\">",
                                            "<span class=\"tag\">", "</span>"};
        static const char* const kRefs[] = {"&amp;", "&lt;", "&gt;", "&quot;", "&nbsp;", "&#20013;", "&hellip;"};
        GbkText out;
        const int parts = 3 + static_cast<int>(pick(6));
        for (int p = 0; p < parts; ++p) {
            const unsigned run = 2 + pick(10);
            for (unsigned k = 0; k < run; ++k)
                chinese(out);
            switch (pick(8)) {
            case 0: out += kAscii[pick(7)]; break;
            case 1: out += kTags[pick(6)]; break;
            case 2: out += kRefs[pick(7)]; break;
            case 3: out += "#" + std::string(1, static_cast<char>('a' + pick(26))) + "#"; break;
            default: break;
            }
            out += pick(3) == 0 ? "\xA1\xA3" : "\xA3\xAC"; // 。 or ，
        }
        return out;
    }

    GbkText page(std::size_t size)
    {
        GbkText out;
        out.reserve(size + 512);
        while (out.size() < size) {
            out += "<p>" + sentence() + "</p>\r\n";
        }
        out.resize(size);
        return out;
    }

    // The mall's review feed: one record per review.
    GbkText feed(std::size_t size)
    {
        GbkText out;
        out.reserve(size + 512);
        int n = 0;
        while (out.size() < size) {
            ++n;
            out += "{\"rateContent\":\"" + sentence() + "\",\"rateDate\":\"2024-05-" + std::to_string(10 + n % 20)
                   + " 12:3" + std::to_string(n % 10) + ":00\",\"displayUserNick\":\"t***" + std::to_string(n % 10)
                   + "\",\"auctionSku\":\"" + "\xD1\xD5\xC9\xAB\xB7\xD6\xC0\xE0:\xBA\xEC\xC9\xAB" + "\"},";
        }
        return out;
    }

private:
    unsigned pick(unsigned n) { return std::uniform_int_distribution<unsigned>(0, n - 1)(m_rng); }
    std::mt19937 m_rng;
};

const GbkText& pageOf(std::size_t size)
{
    static std::map<std::size_t, GbkText> pages;
    auto it = pages.find(size);
    if (it == pages.end())
        it = pages.emplace(size, TextMaker(1234).page(size)).first;
    return it->second;
}

const GbkText& feedOf(std::size_t size)
{
    static std::map<std::size_t, GbkText> feeds;
    auto it = feeds.find(size);
    if (it == feeds.end())
        it = feeds.emplace(size, TextMaker(99).feed(size)).first;
    return it->second;
}

void finish(benchmark::State& state, std::size_t bytes)
{
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(bytes));
}

void BM_CharCount(benchmark::State& state)
{
    const GbkText& text = pageOf(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(charCount(text, 1));
    finish(state, text.size());
}

void BM_TextBetweenExWalk(benchmark::State& state)
{
    const GbkText& text = feedOf(static_cast<std::size_t>(state.range(0)));
    std::size_t values = 0;
    for (auto _ : state) {
        GbkText start = "\"rateContent\":\"";
        GbkText end = "\",\"rateDate\":\"";
        long long position = 0;
        values = 0;
        for (;;) {
            GbkText value = textBetweenEx(text, start, end, 0, 0, position);
            if (value.empty())
                break;
            ++values;
            benchmark::DoNotOptimize(value);
        }
    }
    state.counters["values"] = static_cast<double>(values);
    finish(state, text.size());
}

// A long search item (2,001 bytes) over 8 MB. "Worst": every byte of the item is common in the
// text and nearly every position starts a long partial match ("a" x 2,001 in runs of 2,000
// "a"). "Page": a 2,001-byte slice of the page with its last character changed, so it is
// found nowhere.
void BM_LongNeedleWorst(benchmark::State& state)
{
    static const GbkText text = [] {
        GbkText t;
        const GbkText unit = GbkText(2000, 'a') + "b";
        while (t.size() < (8u << 20))
            t += unit;
        return t;
    }();
    const GbkText needle(2001, 'a');
    for (auto _ : state)
        benchmark::DoNotOptimize(findText(text, needle, 1));
    finish(state, text.size());
}

void BM_LongNeedlePage(benchmark::State& state)
{
    const GbkText& text = pageOf(8 << 20);
    GbkText needle = text.substr(text.size() / 2, 2001);
    needle.back() = '~';
    for (auto _ : state)
        benchmark::DoNotOptimize(findText(text, needle, 1));
    finish(state, text.size());
}

void BM_ReplaceLists(benchmark::State& state)
{
    const GbkText& text = pageOf(static_cast<std::size_t>(state.range(0)));
    const GbkText matches = "<BR/>|\xA3\xAC|good";
    const GbkText replacements = "\r\n| |fine";
    for (auto _ : state)
        benchmark::DoNotOptimize(replaceLists(text, matches, replacements));
    finish(state, text.size());
}

void BM_DecodeEntities(benchmark::State& state)
{
    const GbkText& text = pageOf(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(decodeEntities(text));
    finish(state, text.size());
}

void BM_StripTags(benchmark::State& state)
{
    const GbkText& text = pageOf(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(stripTags(text));
    finish(state, text.size());
}

void BM_RegexExecute(benchmark::State& state)
{
    const GbkText& text = pageOf(static_cast<std::size_t>(state.range(0)));
    RegexObject regex;
    regex.compile("#.+?#");
    int matches = 0;
    for (auto _ : state) {
        matches = regex.execute(text);
        benchmark::DoNotOptimize(matches);
    }
    state.counters["matches"] = matches;
    finish(state, text.size());
}

void sizes(benchmark::internal::Benchmark* b)
{
    for (auto size : kSizes)
        b->Arg(size);
    b->Unit(benchmark::kMillisecond);
}

} // namespace

BENCHMARK(BM_CharCount)->Apply(sizes);
BENCHMARK(BM_TextBetweenExWalk)->Apply(sizes);
BENCHMARK(BM_ReplaceLists)->Apply(sizes);
BENCHMARK(BM_LongNeedleWorst)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LongNeedlePage)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeEntities)->Apply(sizes);
BENCHMARK(BM_StripTags)->Apply(sizes);
BENCHMARK(BM_RegexExecute)->Apply(sizes);

BENCHMARK_MAIN();
