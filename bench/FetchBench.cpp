// The page fetcher against a bare libcurl loop: the same 30 KB GBK page fetched 5,000 times
// from the simulated marketplace on 127.0.0.1 through fetchText (with its headers, time-outs,
// event pumping and charset detection) and through the plainest libcurl code that makes the
// same requests, the two in alternation request by request so that both see the same load; the
// counters give each one's time per request (bare_us, fetch_us) and their ratio (vs_bare).

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

size_t appendBody(char* data, size_t size, size_t count, void* out)
{
    static_cast<std::string*>(out)->append(data, size * count);
    return size * count;
}

// The plainest libcurl code that makes the same request as fetchText: one easy handle,
// configured once, connection kept alive.
class BareFetcher {
public:
    BareFetcher()
    {
        m_connectTo = curl_slist_append(nullptr, ("::127.0.0.1:" + std::to_string(market().port())).c_str());
        m_headers = curl_slist_append(nullptr, "Referer: http://bench.test/item.htm?id=123456");
        m_headers = curl_slist_append(m_headers, "Content-Type: application/x-www-form-urlencoded");
        curl_easy_setopt(m_easy, CURLOPT_URL, kUrl);
        curl_easy_setopt(m_easy, CURLOPT_CONNECT_TO, m_connectTo);
        curl_easy_setopt(m_easy, CURLOPT_HTTPHEADER, m_headers);
        curl_easy_setopt(m_easy, CURLOPT_USERAGENT, "Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; Trident/5.0)");
        curl_easy_setopt(m_easy, CURLOPT_PROXY, "");
        curl_easy_setopt(m_easy, CURLOPT_WRITEFUNCTION, appendBody);
        curl_easy_setopt(m_easy, CURLOPT_WRITEDATA, &m_body);
    }
    ~BareFetcher()
    {
        curl_slist_free_all(m_headers);
        curl_slist_free_all(m_connectTo);
        curl_easy_cleanup(m_easy);
    }
    BareFetcher(const BareFetcher&) = delete;
    BareFetcher& operator=(const BareFetcher&) = delete;

    size_t fetch()
    {
        m_body.clear();
        return curl_easy_perform(m_easy) == CURLE_OK ? m_body.size() : 0;
    }

private:
    CURL* m_easy = curl_easy_init();
    curl_slist* m_connectTo = nullptr;
    curl_slist* m_headers = nullptr;
    std::string m_body;
};

using Clock = std::chrono::steady_clock;

void BareLibcurl(benchmark::State& state)
{
    market();
    BareFetcher bare;
    size_t bytes = 0;
    for (auto _ : state) {
        const size_t n = bare.fetch();
        if (n < 30 * 1024)
            state.SkipWithError("bare request failed");
        bytes += n;
    }
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
    state.SetItemsProcessed(state.iterations());
}

// The fetcher and the bare loop in alternation, request by request, so both see the same load
// of a shared machine: the counters give each one's time per request and their ratio.
void fetchAgainstBare(benchmark::State& state, bool fresh)
{
    market();
    BareFetcher bare;
    quillet::web::WebClient shared;
    Clock::duration bareTime{};
    Clock::duration fetchTime{};
    for (auto _ : state) {
        const auto t0 = Clock::now();
        if (bare.fetch() < 30 * 1024)
            state.SkipWithError("bare request failed");
        const auto t1 = Clock::now();
        size_t size = 0;
        if (fresh) {
            quillet::web::WebClient client;
            size = client.fetchText(kUrl).size();
        } else {
            size = shared.fetchText(kUrl).size();
        }
        const auto t2 = Clock::now();
        if (size < 30 * 1024)
            state.SkipWithError("fetch failed");
        bareTime += t1 - t0;
        fetchTime += t2 - t1;
    }
    const double n = static_cast<double>(state.iterations());
    const double bareUs = std::chrono::duration<double, std::micro>(bareTime).count() / n;
    const double fetchUs = std::chrono::duration<double, std::micro>(fetchTime).count() / n;
    state.counters["bare_us"] = bareUs;
    state.counters["fetch_us"] = fetchUs;
    state.counters["vs_bare"] = fetchUs / bareUs;
}

// One WebClient for all requests, as the product-ID windows use the process-wide one.
void FetchTextSharedClient(benchmark::State& state) { fetchAgainstBare(state, false); }
// A fresh WebClient for every request, as the review run creates one per product.
void FetchTextFreshClient(benchmark::State& state) { fetchAgainstBare(state, true); }

} // namespace

BENCHMARK(BareLibcurl)->Iterations(kRequests)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(FetchTextSharedClient)->Iterations(kRequests)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(FetchTextFreshClient)->Iterations(kRequests)->Unit(benchmark::kMicrosecond)->UseRealTime();

BENCHMARK_MAIN();
