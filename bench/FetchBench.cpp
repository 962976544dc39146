// The page fetcher against a bare libcurl loop: the same 30 KB GBK page fetched 5,000 times in
// a row from the simulated marketplace on 127.0.0.1, once through fetchText (with its headers,
// time-outs, event pumping and charset detection) and once through the plainest libcurl code
// that makes the same requests. The fetcher's runs report their time relative to the bare loop.

#include "web/Endpoints.h"
#include "web/WebClient.h"

#include "testmarket/TestMarket.h"
#include "text/GbkText.h"

#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <chrono>
#include <memory>
#include <string>

namespace {

constexpr int kRequests = 5000;
const char* const kUrl = "http://bench.test/item.htm?id=123456";

quillet::testmarket::TestMarket& market()
{
    static std::unique_ptr<quillet::testmarket::TestMarket> instance = [] {
        auto m = std::make_unique<quillet::testmarket::TestMarket>();
        // A product page of about 30 KB in GBK, declared as GBK like the real pages.
        std::string page = "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=gbk\">"
                           "<title>"
                           + quillet::gbk("商品标题") + "-" + quillet::gbk("淘宝网") + "</title></head><body>";
        const std::string line = "<p>" + quillet::gbk("这是一段用来填充页面的中文文字，包含标点和数字123。") + "</p>\n";
        while (page.size() < 30 * 1024)
            page += line;
        page += "</body></html>";
        m->addRoute("bench.test", "/item.htm", [page](const quillet::testmarket::RecordedRequest&) {
            quillet::testmarket::Response r;
            r.body = page;
            r.headers.emplace_back("Content-Type", "text/html; charset=GBK");
            return r;
        });
        m->setRecordLimit(0);
        if (!m->start())
            return std::unique_ptr<quillet::testmarket::TestMarket>();
        quillet::web::setConnectTo({"::127.0.0.1:" + std::to_string(m->port())});
        return m;
    }();
    return *instance;
}

double g_bareSeconds = 0;

size_t appendBody(char* data, size_t size, size_t count, void* out)
{
    static_cast<std::string*>(out)->append(data, size * count);
    return size * count;
}

void BareLibcurl(benchmark::State& state)
{
    market();
    CURL* easy = curl_easy_init();
    curl_slist* connectTo = curl_slist_append(nullptr, ("::127.0.0.1:" + std::to_string(market().port())).c_str());
    curl_slist* headers = curl_slist_append(nullptr, "Referer: http://bench.test/item.htm?id=123456");
    headers = curl_slist_append(headers, "Content-Type: application/x-www-form-urlencoded");
    std::string body;
    curl_easy_setopt(easy, CURLOPT_URL, kUrl);
    curl_easy_setopt(easy, CURLOPT_CONNECT_TO, connectTo);
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(easy, CURLOPT_USERAGENT, "Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; Trident/5.0)");
    curl_easy_setopt(easy, CURLOPT_PROXY, "");
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, appendBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &body);
    size_t bytes = 0;
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        body.clear();
        if (curl_easy_perform(easy) != CURLE_OK || body.size() < 30 * 1024)
            state.SkipWithError("bare request failed");
        bytes += body.size();
    }
    g_bareSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
    state.SetItemsProcessed(state.iterations());
    curl_slist_free_all(headers);
    curl_slist_free_all(connectTo);
    curl_easy_cleanup(easy);
}

void reportRatio(benchmark::State& state, double seconds)
{
    state.SetItemsProcessed(state.iterations());
    if (g_bareSeconds > 0)
        state.counters["vs_bare"] = seconds / g_bareSeconds;
}

// One WebClient for all requests, as the product-ID windows use the process-wide one.
void FetchTextSharedClient(benchmark::State& state)
{
    market();
    quillet::web::WebClient client;
    size_t bytes = 0;
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        const quillet::GbkText page = client.fetchText(kUrl);
        if (page.size() < 30 * 1024)
            state.SkipWithError("fetch failed");
        bytes += page.size();
    }
    reportRatio(state, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
}

// A fresh WebClient for every request, as the review run creates one per product.
void FetchTextFreshClient(benchmark::State& state)
{
    market();
    size_t bytes = 0;
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        quillet::web::WebClient client;
        const quillet::GbkText page = client.fetchText(kUrl);
        if (page.size() < 30 * 1024)
            state.SkipWithError("fetch failed");
        bytes += page.size();
    }
    reportRatio(state, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
}

} // namespace

BENCHMARK(BareLibcurl)->Iterations(kRequests)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(FetchTextSharedClient)->Iterations(kRequests)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(FetchTextFreshClient)->Iterations(kRequests)->Unit(benchmark::kMicrosecond)->UseRealTime();

BENCHMARK_MAIN();
