#include "AsciiText.h"
#include "TestMarket.h"

#include "Catalogue.h"
#include "Fault.h"
#include "HttpRequestReader.h"
#include "MarketHosts.h"
#include "MarketPages.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <list>
#include <mutex>
#include <thread>

namespace quillet::testmarket {

namespace {


// Leading decimal digits of a query value (0 when there are none).
long long leadingNumber(std::string_view s)
{
    long long v = 0;
    std::size_t i = 0;
    const bool negative = !s.empty() && s[0] == '-';
    if (negative)
        i = 1;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9' && v < 1000000000000LL; ++i)
        v = v * 10 + (s[i] - '0');
    return negative ? -v : v;
}

const char* reasonPhrase(int status)
{
    switch (status) {
    case 100: return "Continue";
    case 200: return "OK";
    case 204: return "No Content";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 304: return "Not Modified";
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 413: return "Payload Too Large";
    case 431: return "Request Header Fields Too Large";
    case 500: return "Internal Server Error";
    case 501: return "Not Implemented";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    case 504: return "Gateway Timeout";
    default: return "Status";
    }
}

Response htmlResponse(GbkText body, int status = 200)
{
    Response r;
    r.status = status;
    r.headers.emplace_back("Content-Type", "text/html; charset=GBK");
    r.body = std::move(body);
    return r;
}

bool validCallback(const std::string& name)
{
    if (name.empty() || name.size() > 64)
        return false;
    for (char c : name)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '.' ||
              c == '$'))
            return false;
    return true;
}

// Sends everything, or gives false when the peer is gone.
bool sendAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool sendTwo(int fd, const std::string& head, const char* body, std::size_t bodySize)
{
    iovec parts[2];
    parts[0].iov_base = const_cast<char*>(head.data());
    parts[0].iov_len = head.size();
    parts[1].iov_base = const_cast<char*>(body);
    parts[1].iov_len = bodySize;
    msghdr msg{};
    msg.msg_iov = parts;
    msg.msg_iovlen = 2;
    std::size_t total = head.size() + bodySize;
    while (total > 0) {
        const ssize_t n = ::sendmsg(fd, &msg, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        std::size_t sent = static_cast<std::size_t>(n);
        total -= sent;
        while (sent > 0 && msg.msg_iovlen > 0) {
            if (sent >= msg.msg_iov[0].iov_len) {
                sent -= msg.msg_iov[0].iov_len;
                ++msg.msg_iov;
                --msg.msg_iovlen;
            } else {
                msg.msg_iov[0].iov_base = static_cast<char*>(msg.msg_iov[0].iov_base) + sent;
                msg.msg_iov[0].iov_len -= sent;
                sent = 0;
            }
        }
    }
    return true;
}

} // namespace

std::string RecordedRequest::header(const std::string& name) const
{
    const std::string wanted = lower(name);
    for (const Header& h : headers)
        if (lower(h.first) == wanted)
            return h.second;
    return {};
}

std::string RecordedRequest::queryValue(const std::string& key) const
{
    std::size_t start = 0;
    while (start <= query.size()) {
        std::size_t amp = query.find('&', start);
        if (amp == std::string::npos)
            amp = query.size();
        const std::string_view item = std::string_view(query).substr(start, amp - start);
        const std::size_t eq = item.find('=');
        if (item.substr(0, eq) == key)
            return eq == std::string_view::npos ? std::string() : std::string(item.substr(eq + 1));
        start = amp + 1;
    }
    return {};
}

struct TestMarket::Impl {
    struct Route {
        std::string host;
        std::string path;
        Handler handler;
    };
    struct FaultEntry {
        int id = 0;
        Fault fault;
        long long seen = 0;
        long long hits = 0;
        std::int64_t firstHitMs = -1;
    };
    struct Connection {
        int fd = -1;
        bool done = false;
        std::thread thread;
    };

    std::shared_ptr<const Catalogue> catalogue;
    MarketHosts hosts;

    mutable std::mutex mutex; // routes, faults, the request log
    std::vector<Route> routes;
    std::vector<FaultEntry> faults;
    int nextFaultId = 1;
    std::deque<RecordedRequest> log;
    std::size_t recordLimit = 100000;
    std::atomic<std::uint64_t> requestCount{0};
    const std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
    [[nodiscard]] std::int64_t clockMs() const
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count();
    }

    std::mutex connMutex; // connections
    std::list<Connection> connections;
    std::condition_variable stopCv; // wakes delayed answers on stop
    std::mutex stopMutex;

    std::atomic<bool> running{false};
    int listenFd = -1;
    std::atomic<std::uint16_t> port{0};
    std::thread acceptThread;

    void acceptLoop();
    void reapFinished();
    void serve(Connection* connection);
    Response answer(const RecordedRequest& request);
    Response catalogueAnswer(const RecordedRequest& request, const MarketHosts& hosts) const;
    void record(const RecordedRequest& request);
    bool waitFor(int ms);
    bool writeResponse(int fd, const Response& r, bool headOnly, bool keepAlive);
};

TestMarket::TestMarket(std::shared_ptr<const Catalogue> catalogue) : m_impl(std::make_unique<Impl>())
{
    m_impl->catalogue = catalogue ? std::move(catalogue) : std::make_shared<const Catalogue>();
}

TestMarket::TestMarket() : TestMarket(std::make_shared<const Catalogue>(Catalogue::generate())) {}

TestMarket::~TestMarket()
{
    stop();
}

bool TestMarket::start(std::uint16_t port)
{
    Impl& d = *m_impl;
    if (d.running)
        return false;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const int yes = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 128) != 0) {
        ::close(fd);
        return false;
    }
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    d.listenFd = fd;
    d.port = ntohs(addr.sin_port);
    d.running = true;
    d.acceptThread = std::thread([&d] { d.acceptLoop(); });
    return true;
}

void TestMarket::stop()
{
    Impl& d = *m_impl;
    if (!d.running.exchange(false))
        return;
    {
        std::lock_guard<std::mutex> lock(d.stopMutex);
    }
    d.stopCv.notify_all();
    ::shutdown(d.listenFd, SHUT_RDWR);
    if (d.acceptThread.joinable())
        d.acceptThread.join();
    ::close(d.listenFd);
    d.listenFd = -1;
    std::list<Impl::Connection> connections;
    {
        std::lock_guard<std::mutex> lock(d.connMutex);
        for (Impl::Connection& c : d.connections)
            if (c.fd >= 0)
                ::shutdown(c.fd, SHUT_RDWR);
        connections.swap(d.connections);
    }
    for (Impl::Connection& c : connections)
        if (c.thread.joinable())
            c.thread.join();
}

std::uint16_t TestMarket::port() const
{
    return m_impl->port.load();
}

void TestMarket::addRoute(const std::string& host, const std::string& path, Handler handler)
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->routes.push_back({lower(host), path, std::move(handler)});
}

std::vector<RecordedRequest> TestMarket::requests() const
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return {m_impl->log.begin(), m_impl->log.end()};
}

void TestMarket::clearRequests()
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->log.clear();
}

const Catalogue& TestMarket::catalogue() const
{
    return *m_impl->catalogue;
}

void TestMarket::setHosts(const MarketHosts& hosts)
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->hosts = hosts;
}

MarketHosts TestMarket::hosts() const
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->hosts;
}

int TestMarket::addFault(const Fault& fault)
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    const int id = m_impl->nextFaultId++;
    m_impl->faults.push_back({id, fault, 0, 0});
    return id;
}

void TestMarket::removeFault(int id)
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    auto& f = m_impl->faults;
    f.erase(std::remove_if(f.begin(), f.end(), [id](const Impl::FaultEntry& e) { return e.id == id; }), f.end());
}

void TestMarket::clearFaults()
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->faults.clear();
}

void TestMarket::setRecordLimit(std::size_t limit)
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->recordLimit = limit;
    while (m_impl->log.size() > limit)
        m_impl->log.pop_front();
}

std::int64_t TestMarket::clockMs() const
{
    return m_impl->clockMs();
}

std::uint64_t TestMarket::requestCount() const
{
    return m_impl->requestCount.load();
}

void TestMarket::Impl::acceptLoop()
{
    while (running) {
        const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            if (!running)
                break;
            if (errno == EMFILE || errno == ENFILE || errno == ENOMEM)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        const int yes = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
        reapFinished();
        std::lock_guard<std::mutex> lock(connMutex);
        if (!running) {
            ::close(fd);
            break;
        }
        connections.emplace_back();
        Connection* c = &connections.back();
        c->fd = fd;
        c->thread = std::thread([this, c] { serve(c); });
    }
}

void TestMarket::Impl::reapFinished()
{
    std::lock_guard<std::mutex> lock(connMutex);
    for (auto it = connections.begin(); it != connections.end();) {
        if (it->done) {
            it->thread.join();
            it = connections.erase(it);
        } else {
            ++it;
        }
    }
}

bool TestMarket::Impl::waitFor(int ms)
{
    std::unique_lock<std::mutex> lock(stopMutex);
    return !stopCv.wait_for(lock, std::chrono::milliseconds(ms), [this] { return !running.load(); });
}

void TestMarket::Impl::record(const RecordedRequest& request)
{
    ++requestCount;
    std::lock_guard<std::mutex> lock(mutex);
    if (recordLimit == 0)
        return;
    log.push_back(request);
    while (log.size() > recordLimit)
        log.pop_front();
}

void TestMarket::Impl::serve(Connection* connection)
{
    const int fd = connection->fd;
    HttpRequestReader reader(fd);
    bool open = true;
    bool tunnelled = false;
    while (open && running) {
        RecordedRequest request;
        const HttpRequestReader::Result result = reader.next(request);
        if (result == HttpRequestReader::Result::Closed)
            break;
        if (result != HttpRequestReader::Result::Ok) {
            // Garbage, an oversized head or body: answer once and hang up.
            const int status = result == HttpRequestReader::Result::TooLarge ? 413 : 400;
            writeResponse(fd, htmlResponse("<html><body>" + std::to_string(status) + "</body></html>", status), false,
                          false);
            break;
        }
        // Everything inside a tunnel came through the proxy.
        request.viaProxy = request.viaProxy || tunnelled;
        request.atMs = clockMs();
        record(request);
        if (request.method == "CONNECT") {
            // The only place a tunnel can lead is this server itself: the connection goes on
            // as a plain HTTP connection whose requests count as proxied.
            static const std::string established = "HTTP/1.1 200 Connection established\r\n\r\n";
            if (!sendAll(fd, established.data(), established.size()))
                break;
            tunnelled = true;
            continue;
        }
        const std::string connectionHeader = lower(request.header("Connection"));
        bool keepAlive = reader.lastVersionMinor() >= 1 ? connectionHeader != "close" : connectionHeader == "keep-alive";
        Response response = answer(request);
        if (response.delayMs > 0 && !waitFor(response.delayMs))
            break;
        if (response.resetConnection) {
            const linger hard{1, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
            break;
        }
        if (response.closeAfter || response.truncateAfter >= 0)
            keepAlive = false;
        open = writeResponse(fd, response, request.method == "HEAD", keepAlive) && keepAlive;
    }
    std::lock_guard<std::mutex> lock(connMutex);
    ::close(connection->fd);
    connection->fd = -1;
    connection->done = true;
}

bool TestMarket::Impl::writeResponse(int fd, const Response& r, bool headOnly, bool keepAlive)
{
    const long long fullLength = static_cast<long long>(r.body.size()) + std::max(0LL, r.fillerBytes);
    std::string head = "HTTP/1.1 " + std::to_string(r.status) + " " + reasonPhrase(r.status) + "\r\n";
    bool hasLength = false;
    bool hasType = false;
    for (const Header& h : r.headers) {
        const std::string name = lower(h.first);
        hasLength = hasLength || name == "content-length";
        hasType = hasType || name == "content-type";
        head += h.first + ": " + h.second + "\r\n";
    }
    if (!hasType && fullLength > 0)
        head += "Content-Type: text/html; charset=GBK\r\n";
    if (!hasLength)
        head += "Content-Length: " + std::to_string(fullLength) + "\r\n";
    head += "Server: Tengine\r\n";
    head += keepAlive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";
    if (headOnly)
        return sendAll(fd, head.data(), head.size());

    std::size_t bodyBytes = r.body.size();
    if (r.truncateAfter >= 0)
        bodyBytes = static_cast<std::size_t>(std::min<long long>(r.truncateAfter, static_cast<long long>(bodyBytes)));
    if (!sendTwo(fd, head, r.body.data(), bodyBytes))
        return false;
    if (r.truncateAfter >= 0 || r.fillerBytes <= 0)
        return true;
    // Filler: GBK text ("中" = D6 D0), streamed so a huge page costs no memory.
    std::string chunk(64 * 1024, '\0');
    for (std::size_t i = 0; i < chunk.size(); i += 2) {
        chunk[i] = '\xD6';
        chunk[i + 1] = '\xD0';
    }
    long long left = r.fillerBytes;
    while (left > 0) {
        if (!running)
            return false;
        const std::size_t n = static_cast<std::size_t>(std::min<long long>(left, static_cast<long long>(chunk.size())));
        // An odd tail byte is an ASCII space, so the text never ends on half a character.
        if (n < chunk.size() && n % 2 == 1) {
            std::string tail = chunk.substr(0, n);
            tail.back() = ' ';
            if (!sendAll(fd, tail.data(), tail.size()))
                return false;
        } else if (!sendAll(fd, chunk.data(), n)) {
            return false;
        }
        left -= static_cast<long long>(n);
    }
    return true;
}

Response TestMarket::Impl::answer(const RecordedRequest& request)
{
    Handler handler;
    std::optional<Fault> fault;
    MarketHosts names;
    {
        std::lock_guard<std::mutex> lock(mutex);
        names = hosts;
        for (const Route& route : routes) {
            if (route.path == request.path && (route.host.empty() || route.host == request.host)) {
                handler = route.handler;
                break;
            }
        }
        const bool punishPage = request.path == kPunishPath;
        for (FaultEntry& e : faults) {
            if (!e.fault.matches(request) || (punishPage && e.fault.path != kPunishPath))
                continue;
            ++e.seen;
            const bool lifted = e.fault.lastsMs >= 0 && e.firstHitMs >= 0 && request.atMs - e.firstHitMs >= e.fault.lastsMs;
            if (!fault && !lifted && e.seen > e.fault.afterRequests && (e.fault.times < 0 || e.hits < e.fault.times)) {
                if (e.firstHitMs < 0)
                    e.firstHitMs = request.atMs;
                ++e.hits;
                fault = e.fault;
            }
        }
    }
    // A fault that replaces the answer outright does not need the normal one.
    const bool needsNormal = !fault || fault->kind == FaultKind::Latency || fault->kind == FaultKind::Truncate ||
                             fault->kind == FaultKind::EmptyPage || fault->kind == FaultKind::Charset ||
                             fault->kind == FaultKind::HugePage;
    Response normal;
    if (needsNormal)
        normal = handler ? handler(request) : catalogueAnswer(request, names);
    return fault ? applyFault(*fault, request, std::move(normal)) : normal;
}

Response TestMarket::Impl::catalogueAnswer(const RecordedRequest& request, const MarketHosts& hosts) const
{
    const Catalogue& c = *catalogue;
    const std::string& host = request.host;
    const std::string& path = request.path;
    if (path == kPunishPath)
        return htmlResponse(pages::punishPage());

    if (host == hosts.productHost && path == "/item.htm") {
        const Product* p = c.product(request.queryValue("id"));
        if (!p)
            return htmlResponse(pages::notFoundPage(), 404);
        return htmlResponse(p->isMall() ? pages::mallRedirectPage(hosts) : pages::productPage(*p, hosts));
    }
    if (host == hosts.mallProductHost && path == "/item.htm") {
        const Product* p = c.product(request.queryValue("id"));
        if (!p || !p->isMall())
            return htmlResponse(pages::notFoundPage(), 404);
        return htmlResponse(pages::productPage(*p, hosts));
    }
    if (host == hosts.mallFeedHost && path == "/list_detail_rate.htm") {
        const Product* p = c.product(request.queryValue("itemId"));
        const std::string seller = request.queryValue("sellerId");
        if (!p || !p->isMall() || (!seller.empty() && seller != p->sellerId))
            return htmlResponse({});
        const long long page = leadingNumber(request.queryValue("currentPage"));
        return htmlResponse(pages::mallFeedPage(*p, static_cast<int>(std::clamp(page, 1LL, 1000000LL)),
                                                c.reviewsPerPage()));
    }
    if (host == hosts.marketFeedHost && path == "/feedRateList.htm") {
        const Product* p = c.product(request.queryValue("auctionNumId"));
        const std::string seller = request.queryValue("userNumId");
        if (p && (p->isMall() || (!seller.empty() && seller != p->sellerId)))
            p = nullptr;
        std::string callback = request.queryValue("callback");
        if (!validCallback(callback))
            callback = "jsonp_reviews_list";
        const long long page = leadingNumber(request.queryValue("currentPageNum"));
        return htmlResponse(pages::marketFeedPage(p, pages::percentDecode(request.queryValue("rateType")),
                                                  static_cast<int>(std::clamp(page, 1LL, 1000000LL)),
                                                  c.reviewsPerPage(), callback));
    }
    if (host == hosts.searchHost && path == "/search") {
        const GbkText word = pages::percentDecode(request.queryValue("q"));
        const long long offset = leadingNumber(request.queryValue("s"));
        return htmlResponse(pages::searchPage(c, c.keyword(word), word, request.queryValue("sort"),
                                              std::max(0LL, offset), hosts));
    }
    if (path == "/search.htm") {
        if (const Shop* shop = c.shop(host)) {
            const long long page = leadingNumber(request.queryValue("pageNo"));
            return htmlResponse(pages::shopListingPage(c, *shop, hosts,
                                                       static_cast<int>(std::clamp(page, 1LL, 1000000LL)),
                                                       request.queryValue("orderType")));
        }
    }
    return htmlResponse(pages::notFoundPage(), 404);
}

} // namespace quillet::testmarket
