// Request rate of the simulated marketplace: it must never be the bottleneck of a benchmark
// that fetches pages from it.

#include "testmarket/Catalogue.h"
#include "testmarket/TestMarket.h"

#include "text/GbkText.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

using namespace quillet::testmarket;

namespace {

// A keep-alive client on a plain socket: sends one GET and reads one answer by Content-Length.
class KeepAliveClient {
public:
    explicit KeepAliveClient(std::uint16_t port)
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(port);
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const int yes = 1;
        ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
        if (::connect(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~KeepAliveClient()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    KeepAliveClient(const KeepAliveClient&) = delete;
    KeepAliveClient& operator=(const KeepAliveClient&) = delete;

    // The body size of the answer, or -1.
    long long get(const std::string& request)
    {
        if (m_fd < 0 || ::send(m_fd, request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size()))
            return -1;
        m_buffer.clear();
        std::size_t headEnd = std::string::npos;
        long long length = -1;
        char chunk[65536];
        while (true) {
            if (headEnd == std::string::npos) {
                headEnd = m_buffer.find("\r\n\r\n");
                if (headEnd != std::string::npos) {
                    const std::size_t at = m_buffer.find("Content-Length: ");
                    if (at == std::string::npos || at > headEnd)
                        return -1;
                    length = std::stoll(m_buffer.substr(at + 16));
                }
            }
            if (headEnd != std::string::npos &&
                static_cast<long long>(m_buffer.size() - headEnd - 4) >= length)
                return length;
            const ssize_t n = ::recv(m_fd, chunk, sizeof chunk, 0);
            if (n <= 0)
                return -1;
            m_buffer.append(chunk, static_cast<std::size_t>(n));
        }
    }

private:
    int m_fd = -1;
    std::string m_buffer;
};

std::string gbkPage(std::size_t size)
{
    std::string page = "<html><head><meta charset=\"gbk\"><title>" + quillet::gbk("测试页面-淘宝网") + "</title></head><body>";
    const std::string& line = quillet::gbk("质量很好，做工精细，物流很快，第二天就到了。<br/>\r\n");
    while (page.size() < size)
        page += line;
    return page + "</body></html>";
}

struct Server {
    Server()
    {
        market = std::make_unique<TestMarket>(std::make_shared<const Catalogue>(Catalogue::generate()));
        const std::string page = gbkPage(30 * 1024);
        market->addRoute("", "/page30k.htm", [page](const RecordedRequest&) {
            Response r;
            r.headers.emplace_back("Content-Type", "text/html; charset=GBK");
            r.body = page;
            return r;
        });
        market->setRecordLimit(10000);
        market->start();
    }
    std::unique_ptr<TestMarket> market;
};

Server& server()
{
    static Server s;
    return s;
}

void runKeepAlive(benchmark::State& state, const std::string& request)
{
    KeepAliveClient client(server().market->port());
    long long bytes = 0;
    for (auto _ : state) {
        const long long n = client.get(request);
        if (n < 0) {
            state.SkipWithError("request failed");
            break;
        }
        bytes += n;
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(bytes);
}

void BM_Page30kKeepAlive(benchmark::State& state)
{
    runKeepAlive(state, "GET /page30k.htm HTTP/1.1\r\nHost: item.taobao.com\r\nUser-Agent: bench\r\n"
                        "Accept: */*\r\n\r\n");
}
BENCHMARK(BM_Page30kKeepAlive)->UseRealTime();

void BM_Page30kNewConnection(benchmark::State& state)
{
    const std::string request = "GET /page30k.htm HTTP/1.1\r\nHost: item.taobao.com\r\n\r\n";
    for (auto _ : state) {
        KeepAliveClient client(server().market->port());
        if (client.get(request) < 0) {
            state.SkipWithError("request failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Page30kNewConnection)->UseRealTime();

void BM_ProductPageKeepAlive(benchmark::State& state)
{
    const std::string id = server().market->catalogue().products().front().id;
    runKeepAlive(state, "GET /item.htm?id=" + id + " HTTP/1.1\r\nHost: item.taobao.com\r\n\r\n");
}
BENCHMARK(BM_ProductPageKeepAlive)->UseRealTime();

void BM_MarketFeedPageKeepAlive(benchmark::State& state)
{
    const Product& p = server().market->catalogue().products().front();
    runKeepAlive(state, "GET /feedRateList.htm?userNumId=" + p.sellerId + "&auctionNumId=" + p.id +
                            "&siteID=7&currentPageNum=1&rateType=&orderType=sort_weight&showContent=1&attribute=&"
                            "callback=jsonp_reviews_list HTTP/1.1\r\nHost: rate.taobao.com\r\n\r\n");
}
BENCHMARK(BM_MarketFeedPageKeepAlive)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
