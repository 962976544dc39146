#pragma once

// The simulated marketplace: a loopback HTTP server that serves, in GBK, every page the
// program reads (product pages of the marketplace and the mall, both review feeds, shop
// listings, keyword search pages) from a deterministic catalogue, injects faults on demand,
// acts as a recording HTTP proxy, and records every request it receives.
//
// This header is the contract between the server and its users (tests, demo, benchmarks).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "MarketHosts.h"

namespace quillet::testmarket {

using Header = std::pair<std::string, std::string>;

// One request as the server received it.
struct RecordedRequest {
    std::string method;              // "GET", "POST", ...
    std::string target;              // as on the request line: "/path?query", or an absolute URL when proxied
    std::string host;                // the Host header (without port)
    std::string path;                // path part of the target ("/item.htm")
    std::string query;               // query part, without "?"
    std::vector<Header> headers;     // in arrival order, names as sent
    std::string body;
    std::int64_t atMs = 0;           // when it arrived, by the marketplace's clock (ms since start)
    bool viaProxy = false;           // a proxy request: the request line carried an absolute URL,
                                     // or it is a CONNECT, or it came through a CONNECT tunnel

    // The first header of that name (case-insensitive), or "".
    [[nodiscard]] std::string header(const std::string& name) const;
    // The value of a query key ("" if absent).
    [[nodiscard]] std::string queryValue(const std::string& key) const;
};

// A response a route or fault produces. The body is sent as raw bytes.
struct Response {
    int status = 200;
    std::vector<Header> headers;     // Content-Length is added by the server unless given
    std::string body;
    int delayMs = 0;                 // wait before answering
    bool resetConnection = false;    // close the socket without answering
    long long truncateAfter = -1;    // announce the full length but send only this many body bytes
    long long fillerBytes = 0;       // this many filler bytes (GBK text) follow the body, streamed
    bool closeAfter = false;         // close the connection after this answer
};

using Handler = std::function<Response(const RecordedRequest&)>;

class Catalogue; // products, sellers and reviews (Catalogue.h)
struct Fault;    // a fault to inject (Fault.h)

// Routes, in order: test routes (addRoute); the punish page of the refusal fault on every
// host; then by Host header:
//   product host       /item.htm?id=           marketplace product page, the mall redirect page
//                                              for a mall product, 404 for an unknown one
//   mall product host  /item.htm?id=           mall product page (404 for others)
//   mall feed host     /list_detail_rate.htm   itemId, currentPage (past the end: the last page again)
//   market feed host   /feedRateList.htm       auctionNumId, currentPageNum, rateType, callback
//   search host        /search                 q (percent-encoded GBK), sort, s (offset, 40 a page)
//   shop hosts         /search.htm             pageNo, orderType
// Anything else: 404. Faults (addFault) then act on the answer.
//
// Proxy mode: a request line with an absolute URL is answered as if addressed to that URL's
// host. CONNECT (to any host and port) is answered "200 Connection established" and the
// connection then carries requests to this very server; nothing is ever forwarded elsewhere.
class TestMarket {
public:
    explicit TestMarket(std::shared_ptr<const Catalogue> catalogue);
    TestMarket(); // the catalogue generated with default options
    ~TestMarket();
    TestMarket(const TestMarket&) = delete;
    TestMarket& operator=(const TestMarket&) = delete;

    // Listens on 127.0.0.1 (port 0: a free port) and serves on background threads.
    bool start(std::uint16_t port = 0);
    void stop();
    [[nodiscard]] std::uint16_t port() const;

    // Extra routes for tests, matched before the catalogue routes: by exact path (and host,
    // when not empty). Handlers run on the connection threads, several at a time.
    void addRoute(const std::string& host, const std::string& path, Handler handler);

    // Every request received so far, in order.
    [[nodiscard]] std::vector<RecordedRequest> requests() const;
    void clearRequests();

    [[nodiscard]] const Catalogue& catalogue() const;

    // Host names served.
    void setHosts(const MarketHosts& hosts);
    [[nodiscard]] MarketHosts hosts() const;

    // Faults: the first fault (in order of adding) that matches a request and still has
    // requests to hit acts on it. Returns an id for removeFault.
    int addFault(const Fault& fault);
    void removeFault(int id);
    void clearFaults();

    // At most this many requests are kept (the oldest go first); 0 keeps none. Default 100000.
    void setRecordLimit(std::size_t limit);
    // The marketplace's clock: milliseconds since start (steady, never set back). Recorded
    // requests carry their arrival time on it.
    [[nodiscard]] std::int64_t clockMs() const;
    // Requests received since start (not affected by the record limit or clearRequests).
    [[nodiscard]] std::uint64_t requestCount() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace quillet::testmarket
