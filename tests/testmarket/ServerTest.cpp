// The HTTP side: recording, proxy requests, keep-alive, bad input and stopping.

#include "MarketFixture.h"

#include "testmarket/HttpRequestReader.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace quillet::testmarket::testing {
namespace {

using ServerTest = MarketFixture;

TEST_F(ServerTest, RecordsEveryRequestAsReceived)
{
    FetchOptions o;
    o.post = true;
    o.postBody = std::string("a=1&b=\x00\xC4\xE3", 8);
    o.headers = {"Referer: http://item.taobao.com/", "X-Extra: one"};
    get("http://rate.tmall.com/list_detail_rate.htm?itemId=1&currentPage=2#frag", o);
    get("http://S.TAOBAO.COM:8080/search?q=x");
    const std::vector<RecordedRequest> seen = m_market->requests();
    ASSERT_EQ(seen.size(), 2u);
    const RecordedRequest& post = seen[0];
    EXPECT_EQ(post.method, "POST");
    EXPECT_EQ(post.target, "/list_detail_rate.htm?itemId=1&currentPage=2");
    EXPECT_EQ(post.host, "rate.tmall.com");
    EXPECT_EQ(post.path, "/list_detail_rate.htm");
    EXPECT_EQ(post.queryValue("currentPage"), "2");
    EXPECT_EQ(post.queryValue("missing"), "");
    EXPECT_EQ(post.header("referer"), "http://item.taobao.com/");
    EXPECT_EQ(post.header("X-EXTRA"), "one");
    EXPECT_EQ(post.body, o.postBody);
    EXPECT_FALSE(post.viaProxy);
    EXPECT_EQ(seen[1].host, "s.taobao.com") << "host without port, lower case";
    EXPECT_EQ(m_market->requestCount(), 2u);

    m_market->clearRequests();
    EXPECT_TRUE(m_market->requests().empty());
    m_market->setRecordLimit(1);
    get("http://item.taobao.com/1");
    get("http://item.taobao.com/2");
    ASSERT_EQ(m_market->requests().size(), 1u);
    EXPECT_EQ(m_market->requests()[0].path, "/2");
    EXPECT_EQ(m_market->requestCount(), 4u);
}

TEST_F(ServerTest, ProxyRequestsAreMarkedAndAnsweredForTheirHost)
{
    const Product& p = *m_catalogue->product(m_catalogue->productIds(Storefront::Marketplace).front());
    FetchOptions proxy;
    proxy.viaProxy = true;
    const FetchResult viaProxy = get("http://item.taobao.com/item.htm?id=" + p.id, proxy);
    const FetchResult direct = get("http://item.taobao.com/item.htm?id=" + p.id);
    EXPECT_EQ(viaProxy.status, 200);
    EXPECT_EQ(viaProxy.body, direct.body);
    const std::vector<RecordedRequest> seen = m_market->requests();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_TRUE(seen[0].viaProxy);
    EXPECT_EQ(seen[0].target, "http://item.taobao.com/item.htm?id=" + p.id);
    EXPECT_EQ(seen[0].host, "item.taobao.com");
    EXPECT_EQ(seen[0].path, "/item.htm");
    EXPECT_EQ(seen[0].queryValue("id"), p.id);
    EXPECT_FALSE(seen[1].viaProxy);


    // libcurl with a proxy and a connect-to mapping tunnels: the tunnel leads into the server.
    m_market->clearRequests();
    proxy.tunnel = true;
    const FetchResult tunnelled = get("http://item.taobao.com/item.htm?id=" + p.id, proxy);
    EXPECT_EQ(tunnelled.body, direct.body);
    const std::vector<RecordedRequest> inTunnel = m_market->requests();
    ASSERT_EQ(inTunnel.size(), 2u);
    EXPECT_EQ(inTunnel[0].method, "CONNECT");
    EXPECT_TRUE(inTunnel[0].viaProxy);
    EXPECT_EQ(inTunnel[0].host, "127.0.0.1");
    EXPECT_TRUE(inTunnel[1].viaProxy);
    EXPECT_EQ(inTunnel[1].host, "item.taobao.com");
    EXPECT_EQ(inTunnel[1].path, "/item.htm");

    const std::string answer = rawExchange(m_market->port(), "CONNECT item.taobao.com:443 HTTP/1.1\r\nHost: x\r\n\r\n"
                                                             "GET /z HTTP/1.1\r\nHost: s.taobao.com\r\n"
                                                             "Connection: close\r\n\r\n");
    EXPECT_EQ(answer.rfind("HTTP/1.1 200 Connection established\r\n\r\nHTTP/1.1 404", 0), 0u) << answer;
    EXPECT_EQ(m_market->requests().back().host, "s.taobao.com");
    EXPECT_TRUE(m_market->requests().back().viaProxy);
}

TEST_F(ServerTest, TestRoutesComeFirstAndMatchByHostAndPath)
{
    m_market->addRoute("rate.tmall.com", "/list_detail_rate.htm", [](const RecordedRequest& r) {
        Response out;
        out.body = "custom " + r.queryValue("n");
        out.headers.emplace_back("X-Route", "yes");
        return out;
    });
    const FetchResult mine = get("http://rate.tmall.com/list_detail_rate.htm?n=5");
    EXPECT_EQ(mine.body, "custom 5");
    EXPECT_EQ(mine.header("X-Route"), "yes");
    EXPECT_EQ(get("http://rate.taobao.com/list_detail_rate.htm?n=5").status, 404);
}

TEST_F(ServerTest, KeepAliveServesPipelinedRequestsOnOneConnection)
{
    const std::string two = "GET /a HTTP/1.1\r\nHost: item.taobao.com\r\n\r\n"
                            "GET /b HTTP/1.1\r\nHost: item.taobao.com\r\nConnection: close\r\n\r\n";
    const std::string answer = rawExchange(m_market->port(), two);
    std::size_t first = answer.find("HTTP/1.1 404");
    ASSERT_NE(first, std::string::npos);
    EXPECT_NE(answer.find("HTTP/1.1 404", first + 1), std::string::npos) << answer;
    EXPECT_NE(answer.find("Connection: keep-alive"), std::string::npos);
    EXPECT_NE(answer.find("Connection: close"), std::string::npos);
    ASSERT_EQ(m_market->requests().size(), 2u);

    // HTTP/1.0 closes unless asked otherwise; the answer arrives without waiting for a time-out.
    const auto start = std::chrono::steady_clock::now();
    const std::string old = rawExchange(m_market->port(), "GET /c HTTP/1.0\r\n\r\n", false, 5000);
    EXPECT_NE(old.find("Connection: close"), std::string::npos);
    // Well before the client's own 5 s time-out would have ended the exchange.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(4500));
}

TEST_F(ServerTest, GarbageAndHalfClosedConnectionsLeaveTheServerServing)
{
    const std::uint16_t port = m_market->port();
    const char tlsLike[] = "\x16\x03\x01\x02\x00garbage\r\n\r\n";
    EXPECT_EQ(rawExchange(port, std::string(tlsLike, sizeof tlsLike - 1)).rfind("HTTP/1.1 400", 0), 0u);
    EXPECT_EQ(rawExchange(port, "GET\r\n\r\n").rfind("HTTP/1.1 400", 0), 0u);
    EXPECT_EQ(rawExchange(port, "GET /x HTTP/1.1\r\nno colon here\r\n\r\n").rfind("HTTP/1.1 400", 0), 0u);
    EXPECT_EQ(rawExchange(port, "GET /x HTTP/1.1\r\nContent-Length: 12x\r\n\r\n").rfind("HTTP/1.1 400", 0), 0u);
    EXPECT_EQ(rawExchange(port, "GET /x HTTP/1.1\r\nHost: a\r\nX: " + std::string(70000, 'a') + "\r\n\r\n")
                  .rfind("HTTP/1.1 413", 0),
              0u);
    EXPECT_EQ(rawExchange(port, "POST /x HTTP/1.1\r\nContent-Length: 999999999999\r\n\r\n").rfind("HTTP/1.1 413", 0),
              0u);
    // A request cut off inside its head, and one cut inside its body: no answer, no harm.
    EXPECT_EQ(rawExchange(port, "GET /x HTTP/1.1\r\nHost: a", true), "HTTP/1.1 400 Bad Request\r\n"
                                                                     "Content-Type: text/html; charset=GBK\r\n"
                                                                     "Content-Length: 29\r\nServer: Tengine\r\n"
                                                                     "Connection: close\r\n\r\n"
                                                                     "<html><body>400</body></html>");
    EXPECT_EQ(rawExchange(port, "POST /x HTTP/1.1\r\nContent-Length: 10\r\n\r\nabc", true).rfind("HTTP/1.1 400", 0), 0u);
    // A complete request followed by a half-close still gets its answer.
    const std::string answered = rawExchange(port, "GET /y HTTP/1.1\r\nHost: item.taobao.com\r\n\r\n", true);
    EXPECT_EQ(answered.rfind("HTTP/1.1 404", 0), 0u);
    // Connections opened and dropped without a byte.
    for (int i = 0; i < 20; ++i)
        rawExchange(port, "", true, 200);
    EXPECT_EQ(get("http://item.taobao.com/item.htm?id=" + m_catalogue->products().front().id).status, 200);
}

TEST_F(ServerTest, ChunkedAndContinuedBodiesArriveWhole)
{
    const std::string chunked = rawExchange(m_market->port(),
                                            "POST /c HTTP/1.1\r\nHost: a\r\nConnection: close\r\nTransfer-Encoding: chunked\r\n\r\n"
                                            "5\r\nhello\r\n6;ext=1\r\n world\r\n0\r\n\r\n");
    EXPECT_EQ(chunked.rfind("HTTP/1.1 404", 0), 0u);
    FetchOptions big;
    big.post = true;
    big.postBody = std::string(3 * 1024 * 1024, 'x');
    big.headers = {"Expect: 100-continue"};
    EXPECT_EQ(get("http://item.taobao.com/upload", big).status, 404);
    const std::vector<RecordedRequest> seen = m_market->requests();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].body, "hello world");
    EXPECT_EQ(seen[1].body.size(), big.postBody.size());
}

TEST_F(ServerTest, HeadParsingTakesAbsoluteAndOriginForms)
{
    RecordedRequest r;
    int minor = -1;
    ASSERT_TRUE(HttpRequestReader::parseHead("GET http://user@Item.Taobao.com:81?id=5 HTTP/1.0\r\nHost: other", r, minor));
    EXPECT_TRUE(r.viaProxy);
    EXPECT_EQ(r.host, "item.taobao.com");
    EXPECT_EQ(r.path, "/");
    EXPECT_EQ(r.query, "id=5");
    EXPECT_EQ(minor, 0);
    RecordedRequest v6;
    ASSERT_TRUE(HttpRequestReader::parseHead("GET /p HTTP/1.1\nHost: [::1]:8080\nX-Long: a\n  b", v6, minor));
    EXPECT_EQ(v6.host, "[::1]");
    EXPECT_EQ(v6.header("x-long"), "a b");
    RecordedRequest bad;
    EXPECT_FALSE(HttpRequestReader::parseHead("GET relative HTTP/1.1", bad, minor));
    EXPECT_FALSE(HttpRequestReader::parseHead("GET /a HTTP/2.0", bad, minor));
    EXPECT_FALSE(HttpRequestReader::parseHead("G(T /a HTTP/1.1", bad, minor));
}

TEST_F(ServerTest, StopEndsSlowAnswersAndOpenConnectionsPromptly)
{
    m_market->addRoute("", "/slow", [](const RecordedRequest&) {
        Response r;
        r.delayMs = 30000;
        return r;
    });
    std::thread client([this] {
        FetchOptions o;
        o.timeoutMs = 20000;
        get("http://item.taobao.com/slow", o);
    });
    std::thread idle([this] { rawExchange(m_market->port(), "", false, 20000); });
    while (m_market->requestCount() == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const auto start = std::chrono::steady_clock::now();
    m_market->stop();
    // Long before the delayed answer (30 s) or the idle client's time-out (20 s).
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
    client.join();
    idle.join();
    EXPECT_FALSE(get("http://item.taobao.com/").ok());
    // It starts again, on a fresh port.
    EXPECT_TRUE(m_market->start());
    EXPECT_EQ(get("http://item.taobao.com/item.htm?id=" + m_catalogue->products().front().id).status, 200);
}

TEST_F(ServerTest, ManyClientsAtOnceAreAllServedAndRecorded)
{
    std::vector<std::thread> clients;
    std::atomic<int> good{0};
    for (int i = 0; i < 8; ++i)
        clients.emplace_back([this, &good] {
            for (int k = 0; k < 10; ++k)
                if (get("http://item.taobao.com/item.htm?id=" + m_catalogue->products().front().id).status == 200)
                    ++good;
        });
    for (std::thread& t : clients)
        t.join();
    EXPECT_EQ(good.load(), 80);
    EXPECT_EQ(m_market->requests().size(), 80u);
}

} // namespace
} // namespace quillet::testmarket::testing
