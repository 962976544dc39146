// The page fetcher against the simulated marketplace on 127.0.0.1. Every host name is
// mapped to the local server by the connect-to map, so no request leaves the machine.

#include "web/Endpoints.h"
#include "web/WebClient.h"

#include "testmarket/Fault.h"
#include "testmarket/TestMarket.h"
#include "text/EventPump.h"
#include "text/GbkText.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <thread>

using quillet::GbkText;
using quillet::testmarket::Fault;
using quillet::testmarket::FaultKind;
using quillet::testmarket::RecordedRequest;
using quillet::testmarket::Response;
using quillet::testmarket::TestMarket;
using quillet::web::WebClient;

namespace {

const char* const kHost = "web.test";
const std::string kGbk = "\xD6\xD0\xCE\xC4"; // "中文"
const std::string kUtf8 = "\xE4\xB8\xAD\xE6\x96\x87";

Response answer(std::string body, std::vector<quillet::testmarket::Header> headers = {}, int status = 200)
{
    Response r;
    r.status = status;
    r.body = std::move(body);
    r.headers = std::move(headers);
    return r;
}

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

bool hasHeader(const RecordedRequest& r, const std::string& name)
{
    for (const auto& h : r.headers) {
        if (h.first.size() == name.size()
            && std::equal(h.first.begin(), h.first.end(), name.begin(),
                          [](char a, char b) { return std::tolower(a) == std::tolower(b); }))
            return true;
    }
    return false;
}

// Saves an environment variable and puts it back when the scope ends.
class EnvGuard {
public:
    explicit EnvGuard(const char* name) : m_name(name)
    {
        if (const char* v = std::getenv(name))
            m_saved = v;
    }
    ~EnvGuard()
    {
        if (m_saved)
            setenv(m_name, m_saved->c_str(), 1);
        else
            unsetenv(m_name);
    }

private:
    const char* m_name;
    std::optional<std::string> m_saved;
};

} // namespace

class FetchTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_market = new TestMarket();
        ASSERT_TRUE(s_market->start());
        s_savedMap = new std::vector<std::string>(quillet::web::connectTo());
        quillet::web::setConnectTo({"::127.0.0.1:" + std::to_string(s_market->port())});
    }
    static void TearDownTestSuite()
    {
        quillet::web::setConnectTo(*s_savedMap);
        delete s_savedMap;
        delete s_market;
        s_market = nullptr;
    }
    void SetUp() override
    {
        s_market->clearFaults();
        s_market->clearRequests();
    }

    static std::string url(const std::string& path) { return std::string("http://") + kHost + path; }
    static std::string proxyAddress() { return "127.0.0.1:" + std::to_string(s_market->port()); }
    static void route(const std::string& path, quillet::testmarket::Handler handler)
    {
        s_market->addRoute(kHost, path, std::move(handler));
    }
    static std::vector<RecordedRequest> seen(const std::string& path)
    {
        std::vector<RecordedRequest> out;
        for (const RecordedRequest& r : s_market->requests())
            if (r.path == path)
                out.push_back(r);
        return out;
    }
    static RecordedRequest lastSeen(const std::string& path)
    {
        const auto all = seen(path);
        return all.empty() ? RecordedRequest{} : all.back();
    }
    static Fault fault(FaultKind kind, const std::string& path)
    {
        Fault f;
        f.kind = kind;
        f.host = kHost;
        f.path = path;
        return f;
    }

    static TestMarket* s_market;
    static std::vector<std::string>* s_savedMap;
};

TestMarket* FetchTest::s_market = nullptr;
std::vector<std::string>* FetchTest::s_savedMap = nullptr;

TEST_F(FetchTest, DefaultRequestAsTheServerSeesIt)
{
    route("/default", [](const RecordedRequest&) { return answer("ok"); });
    WebClient client;
    EXPECT_EQ(client.fetchText("  web.test/default?x=1 "), "ok");

    const RecordedRequest r = lastSeen("/default");
    EXPECT_EQ(r.method, "GET");
    EXPECT_EQ(r.host, kHost);
    EXPECT_EQ(r.query, "x=1");
    EXPECT_FALSE(r.viaProxy);
    EXPECT_EQ(r.header("Referer"), "web.test/default?x=1");
    EXPECT_EQ(r.header("Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(r.header("User-Agent"), "Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; Trident/5.0)");
    EXPECT_FALSE(hasHeader(r, "Cookie"));
    EXPECT_FALSE(hasHeader(r, "Expect"));

    const auto t = client.timeouts();
    EXPECT_EQ(t.resolveMs, 10000);
    EXPECT_EQ(t.connectMs, 10000);
    EXPECT_EQ(t.sendMs, 60000);
    EXPECT_EQ(t.receiveMs, 120000);
    EXPECT_EQ(client.status(), 200);
    EXPECT_EQ(client.statusText(), "OK");
}

TEST_F(FetchTest, RealHostNamesReachTheLocalMarket)
{
    // The catalogue's own product host answers through the connect-to map with its Host header kept.
    WebClient client;
    (void)client.fetchText("http://item.taobao.com/item.htm?id=1");
    const RecordedRequest r = lastSeen("/item.htm");
    EXPECT_EQ(r.host, "item.taobao.com");
    EXPECT_EQ(r.queryValue("id"), "1");
}

TEST_F(FetchTest, RedirectsFollowedByFetchesAndReportedByProbes)
{
    route("/from", [](const RecordedRequest&) { return answer("moved", {{"Location", "/to"}}, 302); });
    route("/to", [](const RecordedRequest&) { return answer("target"); });

    WebClient client;
    EXPECT_EQ(client.fetchText(url("/from")), "target");

    WebClient probe;
    EXPECT_EQ(probe.redirectTarget(url("/from") + " ", false, ""), "/to");
    const RecordedRequest r = lastSeen("/from");
    EXPECT_EQ(r.header("User-Agent"), "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1)");
    EXPECT_EQ(r.header("Accept-Language"), "zh-cn");
    EXPECT_EQ(r.header("Referer"), url("/from"));
    EXPECT_EQ(probe.status(), 302);
    const auto t = probe.timeouts();
    EXPECT_EQ(t.resolveMs + t.connectMs + t.sendMs + t.receiveMs, 25000);

    WebClient quick;
    EXPECT_EQ(quick.quickRedirectTarget(url("/from")), "/to");
    EXPECT_FALSE(hasHeader(lastSeen("/from"), "Referer"));
    // An answer without a redirect has no target.
    EXPECT_EQ(quick.quickRedirectTarget(url("/to")), "");
}

TEST_F(FetchTest, RedirectLoopsAreBounded)
{
    route("/loop", [](const RecordedRequest&) { return answer("", {{"Location", "/loop"}}, 302); });
    WebClient client;
    EXPECT_EQ(client.fetchText(url("/loop")), "");
    EXPECT_EQ(client.lastOutcome().error, quillet::web::TransportError::TooManyRedirects);
    EXPECT_LE(seen("/loop").size(), 21u);
    EXPECT_GE(seen("/loop").size(), 2u);
}

TEST_F(FetchTest, PostByTextAndByBytes)
{
    route("/post", [](const RecordedRequest& r) { return answer(r.method); });
    WebClient client;
    EXPECT_EQ(client.fetchText(url("/post"), "a=1&b=2"), "POST");
    RecordedRequest r = lastSeen("/post");
    EXPECT_EQ(r.body, "a=1&b=2");
    EXPECT_EQ(r.header("Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(r.header("Content-Length"), "7");

    // Bytes win over text, and travel unchanged (NUL included).
    const std::string bytes("\x00\x01\xFF" "bin", 6);
    EXPECT_EQ(client.fetchText(url("/post"), "ignored", 0, 0, "-1", false, bytes, "", nullptr, false, "application/octet-stream"),
              "POST");
    r = lastSeen("/post");
    EXPECT_EQ(r.body, bytes);
    EXPECT_EQ(r.header("Content-Type"), "application/octet-stream");

    // Without a body it is a GET again on the same object.
    EXPECT_EQ(client.fetchText(url("/post")), "GET");
    EXPECT_EQ(lastSeen("/post").body, "");

    // fetchBytes makes the same request and keeps the raw body.
    EXPECT_EQ(client.fetchBytes(url("/post"), "x=1"), "POST");
}

TEST_F(FetchTest, TimeoutsBoundTheWait)
{
    route("/slow", [](const RecordedRequest&) {
        Response r = answer("late");
        r.delayMs = 4000;
        return r;
    });
    WebClient client;
    // 2.5 s: every phase 2500 ms, and the wait lasts 2 whole seconds. (The empty text shows
    // that the fetch ended before the answer came.)
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(client.fetchText(url("/slow"), "", 0, 2.5), "");
    EXPECT_GE(secondsSince(start), 1.9);
    EXPECT_EQ(client.lastOutcome().error, quillet::web::TransportError::TimedOut);
    const auto t = client.timeouts();
    EXPECT_EQ(t.resolveMs, 2500);
    EXPECT_EQ(t.connectMs, 2500);
    EXPECT_EQ(t.sendMs, 2500);
    EXPECT_EQ(t.receiveMs, 2500);

    // A synchronous request is ended by the receive time-out itself.
    start = std::chrono::steady_clock::now();
    EXPECT_EQ(client.fetchText(url("/slow"), "", 0, 1.2, "-1", true), "");
    EXPECT_GE(secondsSince(start), 1.1);
    EXPECT_EQ(client.lastOutcome().error, quillet::web::TransportError::TimedOut);

    // -1 keeps the object's time-outs.
    route("/quick", [](const RecordedRequest&) { return answer("fast"); });
    client.setTimeouts(3000, 3000, 3000, 3000);
    EXPECT_EQ(client.fetchText(url("/quick"), "", 0, -1), "fast");
    EXPECT_EQ(client.timeouts().receiveMs, 3000);
    // Below 1: the standard time-outs.
    EXPECT_EQ(client.fetchText(url("/quick"), "", 0, 0.5), "fast");
    EXPECT_EQ(client.timeouts().receiveMs, 120000);
}

TEST_F(FetchTest, WaitingKeepsTheWindowAlive)
{
    route("/pumped", [](const RecordedRequest&) {
        Response r = answer("done");
        r.delayMs = 300;
        return r;
    });
    int pumps = 0;
    auto previous = quillet::text::setEventPump([&pumps] { ++pumps; });
    WebClient client;
    EXPECT_EQ(client.fetchText(url("/pumped")), "done");
    EXPECT_GE(pumps, 5);
    // A synchronous fetch blocks without pumping.
    pumps = 0;
    EXPECT_EQ(client.fetchText(url("/pumped"), "", 0, 0, "-1", true), "done");
    EXPECT_EQ(pumps, 0);
    quillet::text::setEventPump(previous);
}

TEST_F(FetchTest, ProxyGivenEmptyLeftAsItIsOrFromTheSystem)
{
    route("/via", [](const RecordedRequest&) { return answer("ok"); });
    WebClient client;
    EXPECT_EQ(client.fetchText(url("/via"), "", 0, 0, proxyAddress()), "ok");
    EXPECT_TRUE(lastSeen("/via").viaProxy);
    // "-1" and the default leave the proxy in force.
    EXPECT_EQ(client.fetchText(url("/via"), "", 0, 0, "-1"), "ok");
    EXPECT_TRUE(lastSeen("/via").viaProxy);
    EXPECT_EQ(client.fetchText(url("/via")), "ok");
    EXPECT_TRUE(lastSeen("/via").viaProxy);
    // Empty: direct again.
    EXPECT_EQ(client.fetchText(url("/via"), "", 0, 0, ""), "ok");
    EXPECT_FALSE(lastSeen("/via").viaProxy);

    // "IE": the system's configured proxy, or direct when there is none.
    EnvGuard lower("http_proxy");
    EnvGuard upper("HTTP_PROXY");
    setenv("http_proxy", ("http://" + proxyAddress()).c_str(), 1);
    EXPECT_EQ(client.fetchText(url("/via"), "", 0, 0, "IE"), "ok");
    EXPECT_TRUE(lastSeen("/via").viaProxy);
    unsetenv("http_proxy");
    unsetenv("HTTP_PROXY");
    EXPECT_EQ(client.fetchText(url("/via"), "", 0, 0, "IE"), "ok");
    EXPECT_FALSE(lastSeen("/via").viaProxy);

    // A fresh object goes direct even when the environment names a proxy.
    setenv("http_proxy", ("http://" + proxyAddress()).c_str(), 1);
    WebClient fresh;
    EXPECT_EQ(fresh.fetchText(url("/via")), "ok");
    EXPECT_FALSE(lastSeen("/via").viaProxy);

    // A proxy nobody listens on: the fetch fails.
    EXPECT_EQ(client.fetchText(url("/via"), "", 0, 2, "127.0.0.1:1"), "");
}

TEST_F(FetchTest, CookieArgumentStoredCookieAndResponseCookies)
{
    route("/plain", [](const RecordedRequest&) { return answer("ok"); });
    route("/setter", [](const RecordedRequest&) {
        return answer("ok", {{"Set-Cookie", "a=1; path=/"}, {"X-Other", "y"}, {"Set-Cookie", "b=2; HttpOnly"},
                             {"Set-Cookie", "last=5"}});
    });

    WebClient client;
    client.setStoredCookie("s=1");
    GbkText cookie;
    (void)client.fetchText(url("/plain"), "", 0, 0, "-1", false, {}, "", &cookie);
    EXPECT_EQ(lastSeen("/plain").header("Cookie"), "s=1");
    EXPECT_EQ(cookie, "s=1"); // the stored cookie is written back

    GbkText given = "g=2";
    (void)client.fetchText(url("/plain"), "", 0, 0, "-1", false, {}, "", &given);
    EXPECT_EQ(lastSeen("/plain").header("Cookie"), "g=2");

    GbkText none = "-1";
    (void)client.fetchText(url("/plain"), "", 0, 0, "-1", false, {}, "", &none);
    EXPECT_FALSE(hasHeader(lastSeen("/plain"), "Cookie"));
    EXPECT_EQ(client.storedCookie(), "s=1");

    // Keeping the response's cookies replaces the stored text entirely.
    (void)client.fetchText(url("/setter"), "", 0, 0, "-1", false, {}, "", nullptr, true);
    EXPECT_EQ(client.responseSetCookieLines(), "Set-Cookie: a=1; path=/\r\nSet-Cookie: b=2; HttpOnly\r\nSet-Cookie: last=5\r\n");
    EXPECT_EQ(client.storedCookie(), "a=1; path=/; b=2; HttpOnly; last=5; ");
    EXPECT_EQ(client.responseCookie("a"), "1");
    EXPECT_EQ(client.responseCookie("b"), "2");
    EXPECT_EQ(client.responseCookie("last"), ""); // not ended by ";" on its line
    EXPECT_EQ(client.responseCookie("A"), "");    // names respect letter case
    EXPECT_EQ(client.responseCookie("missing"), "");

    (void)client.fetchText(url("/plain"));
    EXPECT_EQ(lastSeen("/plain").header("Cookie"), "a=1; path=/; b=2; HttpOnly; last=5;"); // trailing blank trimmed by the server
    (void)client.fetchText(url("/plain"), "", 0, 0, "-1", false, {}, "", nullptr, true);
    EXPECT_EQ(client.responseCookies(), "");
    EXPECT_EQ(client.storedCookie(), "");
}

TEST_F(FetchTest, ExtraHeadersSplitAtColonBlank)
{
    route("/headers", [](const RecordedRequest&) { return answer("ok"); });
    WebClient client;
    (void)client.fetchText(url("/headers"), "", 0, 0, "-1", false, {}, "", nullptr, false, "", "",
                     "X-One: 1\r\nX-Two:\r\nX-Three: a: b\r\n: nameless\r\nUser-Agent: mine");
    const RecordedRequest r = lastSeen("/headers");
    EXPECT_EQ(r.header("X-One"), "1");
    EXPECT_FALSE(hasHeader(r, "X-Two"));
    EXPECT_EQ(r.header("X-Three"), "a");
    EXPECT_EQ(r.header("User-Agent"), "mine"); // a later header replaces the earlier one
    EXPECT_EQ(r.header("Referer"), url("/headers"));
}

TEST_F(FetchTest, HeaderAndAddressInjectionIsRefused)
{
    route("/inject", [](const RecordedRequest&) { return answer("ok"); });
    WebClient client;
    // A value holding a lone line feed would start a header of its own: it is not sent.
    EXPECT_EQ(client.fetchText(url("/inject"), "", 0, 0, "-1", false, {}, "", nullptr, false, "", "",
                               "X-Four: ok\nX-Evil: 1"),
              "ok");
    RecordedRequest r = lastSeen("/inject");
    EXPECT_FALSE(hasHeader(r, "X-Four"));
    EXPECT_FALSE(hasHeader(r, "X-Evil"));

    GbkText cookie = "a=1\r\nX-Evil: 2";
    (void)client.fetchText(url("/inject"), "", 0, 0, "-1", false, {}, "", &cookie);
    r = lastSeen("/inject");
    EXPECT_FALSE(hasHeader(r, "X-Evil"));
    EXPECT_FALSE(hasHeader(r, "Cookie"));

    // An address with a line break is never sent at all.
    s_market->clearRequests();
    EXPECT_EQ(client.fetchText(url("/inject") + "\r\nX-Evil: 3"), "");
    EXPECT_EQ(client.fetchText(url("/inject") + std::string("\0x", 2)), "");
    // Nor is one longer than any server would read.
    EXPECT_EQ(client.fetchText(url("/inject?") + std::string(quillet::web::kMaxAddressBytes, 'a')), "");
    EXPECT_EQ(client.lastOutcome().error, quillet::web::TransportError::NotSent);
    EXPECT_TRUE(seen("/inject").empty());
}

TEST_F(FetchTest, CharsetsOfTheAnswer)
{
    // Bytes that are GBK and valid UTF-8 alike, declared GBK by the header: kept as GBK.
    route("/gbk-header", [](const RecordedRequest&) {
        return answer(kUtf8, {{"Content-Type", "text/html; charset=GBK"}});
    });
    // The same bytes with no declaration anywhere: read as UTF-8.
    route("/undeclared", [](const RecordedRequest&) { return answer(kUtf8, {{"Content-Type", "text/html"}}); });
    route("/utf16", [](const RecordedRequest&) {
        return answer(std::string("\xFF\xFE\x2D\x4E\x87\x65", 6), {{"Content-Type", "text/plain"}});
    });
    route("/utf8-text", [](const RecordedRequest&) {
        return answer(kUtf8, {{"Content-Type", "text/plain; charset=utf-8"}});
    });

    WebClient client;
    EXPECT_EQ(client.fetchText(url("/gbk-header")), kUtf8);
    EXPECT_EQ(client.fetchText(url("/undeclared")), kGbk);
    EXPECT_EQ(client.fetchText(url("/utf16")), kGbk);
    // -1: the raw body; -2: the body as responseText decodes it (by its header).
    EXPECT_EQ(client.fetchText(url("/utf16"), "", -1), std::string("\xFF\xFE\x2D\x4E\x87\x65", 6));
    EXPECT_EQ(client.fetchText(url("/utf8-text"), "", -2), kGbk);
    // A requested code overrides the declaration.
    EXPECT_EQ(client.fetchText(url("/gbk-header"), "", 2), kGbk);
}

TEST_F(FetchTest, CharsetFaultsOfTheMarketDecodeToTheSamePage)
{
    route("/page", [](const RecordedRequest&) {
        return answer("<html><head><meta charset=\"gbk\"><title>" + kGbk + "</title></head><body>" + kGbk
                      + "</body></html>");
    });
    WebClient client;
    const GbkText normal = client.fetchText(url("/page"));
    ASSERT_NE(normal.find("<title>" + kGbk + "</title>"), std::string::npos);

    using quillet::testmarket::BodyEncoding;
    using quillet::testmarket::MetaMode;
    struct Case {
        BodyEncoding encoding;
        bool bom;
        MetaMode meta;
    };
    const Case cases[] = {
        {BodyEncoding::Utf8, true, MetaMode::Remove},     {BodyEncoding::Utf8, false, MetaMode::Quoted},
        {BodyEncoding::Utf8, false, MetaMode::Declare},   {BodyEncoding::Utf8, false, MetaMode::Remove},
        {BodyEncoding::Big5, false, MetaMode::Declare},   {BodyEncoding::Big5Hkscs, false, MetaMode::Quoted},
        {BodyEncoding::Utf16LE, true, MetaMode::Remove},  {BodyEncoding::Utf16BE, true, MetaMode::Remove},
        {BodyEncoding::Gbk, false, MetaMode::Remove},
    };
    for (const Case& c : cases) {
        Fault f = fault(FaultKind::Charset, "/page");
        f.encoding = c.encoding;
        f.byteOrderMark = c.bom;
        f.meta = c.meta;
        const int id = s_market->addFault(f);
        const GbkText text = client.fetchText(url("/page"));
        s_market->removeFault(id);
        EXPECT_NE(text.find("<title>" + kGbk + "</title>"), std::string::npos)
            << "encoding " << static_cast<int>(c.encoding) << " meta " << static_cast<int>(c.meta);
    }
}

TEST_F(FetchTest, FailuresGiveTheEmptyTextAndTheirReason)
{
    route("/fault", [](const RecordedRequest&) { return answer("<html>fine " + kGbk + "</html>"); });
    route("/missing", [](const RecordedRequest&) { return answer("not here", {}, 404); });
    route("/huge", [](const RecordedRequest&) {
        Response r = answer("<html>");
        r.fillerBytes = 65LL * 1024 * 1024;
        return r;
    });

    WebClient client;
    ASSERT_EQ(client.fetchText(url("/fault")), "<html>fine " + kGbk + "</html>");

    using quillet::web::TransportError;
    struct Case {
        const char* name;
        Fault fault;
        TransportError error; // what the outcome says happened
        long status;
    };
    Fault serverError = fault(FaultKind::ServerError, "/fault");
    Fault badGateway = serverError;
    badGateway.status = 502;
    Fault truncated = fault(FaultKind::Truncate, "/fault");
    truncated.bytes = 5;
    Fault slow = fault(FaultKind::Latency, "/fault");
    slow.delayMs = 6000;
    const Case cases[] = {
        {"503", serverError, TransportError::None, 503},
        {"502", badGateway, TransportError::None, 502},
        {"reset", fault(FaultKind::Reset, "/fault"), TransportError::Reset, 0},
        {"truncated", truncated, TransportError::Truncated, 0},
        {"empty", fault(FaultKind::EmptyPage, "/fault"), TransportError::None, 200},
        {"redirect loop", fault(FaultKind::RedirectLoop, "/fault"), TransportError::TooManyRedirects, 0},
        {"slow", slow, TransportError::TimedOut, 0},
    };
    for (const Case& c : cases) {
        const int id = s_market->addFault(c.fault);
        EXPECT_EQ(client.fetchText(url("/fault"), "", 0, 2), "") << c.name;
        EXPECT_EQ(client.lastOutcome().error, c.error) << c.name;
        EXPECT_EQ(client.lastOutcome().status, c.status) << c.name;
        EXPECT_FALSE(client.lastOutcome().ok() && c.status != 200) << c.name;
        EXPECT_EQ(client.fetchBytes(url("/fault"), "", 2), "") << c.name;
        EXPECT_EQ(client.lastOutcome().error, c.error) << c.name;
        s_market->removeFault(id);
    }

    // An error status empties the page but the object still reports the status.
    EXPECT_EQ(client.fetchText(url("/missing")), "");
    EXPECT_EQ(client.status(), 404);
    // A body beyond the size limit fails the fetch.
    EXPECT_EQ(client.fetchText(url("/huge")), "");
    EXPECT_EQ(client.status(), 0);
    EXPECT_EQ(client.lastOutcome().error, TransportError::TooBig);
    // Nobody listening (every address leads to the market unless the map is set aside).
    quillet::web::setConnectTo({});
    EXPECT_EQ(client.fetchText("http://127.0.0.1:1/x"), "");
    quillet::web::setConnectTo({"::127.0.0.1:" + std::to_string(s_market->port())});
    EXPECT_EQ(client.lastOutcome().error, TransportError::ConnectFailed);
    EXPECT_EQ(client.lastOutcome().describe(), "connect-failed");
    // The object still works after all of it.
    EXPECT_EQ(client.fetchText(url("/fault")), "<html>fine " + kGbk + "</html>");
}

TEST_F(FetchTest, RefusalsOfTheMarketplaceAreToldApart)
{
    route("/refusing", [](const RecordedRequest&) { return answer("<html>fine</html>"); });
    using quillet::web::RefusalKind;
    struct Case {
        const char* faultText;
        RefusalKind kind;
        std::optional<long long> wait;
        const char* text; // what fetchText gives
    };
    const std::string wait = "jsonp_reviews_list({\"status\":1111,\"wait\":7})";
    const Case cases[] = {
        {"refuse-json", RefusalKind::SecurityCheck, std::nullopt, nullptr},
        {"refuse-punish", RefusalKind::PunishPage, std::nullopt, nullptr},
        {"refuse-wait,wait=7", RefusalKind::FeedWait, 7, wait.c_str()},
        {"status,code=429", RefusalKind::TooManyRequests, std::nullopt, ""},
        {"status,code=429,retry=30", RefusalKind::TooManyRequests, 30, ""},
        {"status,code=403,retry=60", RefusalKind::Forbidden, 60, ""},
        {"status,code=403", RefusalKind::None, std::nullopt, ""},
    };
    WebClient client;
    for (const Case& c : cases) {
        std::optional<Fault> f = Fault::parse(std::string(c.faultText) + ",path=/refusing");
        ASSERT_TRUE(f) << c.faultText;
        const int id = s_market->addFault(*f);
        const GbkText text = client.fetchText(url("/refusing"));
        if (c.text) {
            EXPECT_EQ(text, c.text) << c.faultText;
        }
        const quillet::web::FetchOutcome outcome = client.lastOutcome();
        EXPECT_EQ(outcome.refusal.kind, c.kind) << c.faultText;
        EXPECT_EQ(outcome.refusal.waitSeconds, c.wait) << c.faultText;
        EXPECT_FALSE(outcome.ok()) << c.faultText;
        // The redirect probes see the punish redirect without following it.
        if (c.kind == RefusalKind::PunishPage) {
            EXPECT_EQ(client.redirectTarget(url("/refusing")).rfind("/_____tmd_____/punish?", 0), 0u);
            EXPECT_EQ(client.lastOutcome().refusal.kind, RefusalKind::PunishPage);
            client.option(quillet::web::OptionEnableRedirects, 1LL);
        }
        s_market->removeFault(id);
    }
    EXPECT_EQ(client.fetchText(url("/refusing")), "<html>fine</html>");
    EXPECT_TRUE(client.lastOutcome().ok());
    EXPECT_EQ(client.lastOutcome().describe(), "ok");
}

TEST_F(FetchTest, AsynchronousSendAndWaitByHand)
{
    route("/async", [](const RecordedRequest&) {
        Response r = answer("answer", {{"X-Fold", "a\r\n\tb"}, {"X-Mark", "m"}});
        r.delayMs = 200;
        return r;
    });
    WebClient client;
    client.open("GET", url("/async"), true);
    client.setRequestHeader("X-Test", "1");
    client.send();
    EXPECT_EQ(client.status(), 0); // not answered yet
    EXPECT_TRUE(client.waitForResponse(5));
    EXPECT_EQ(client.status(), 200);
    EXPECT_EQ(client.responseBody(), "answer");
    EXPECT_EQ(client.getResponseHeader("x-mark"), "m");
    // A folded header line is joined to the one it continues, and the next header keeps its own.
    EXPECT_EQ(client.getResponseHeader("X-Fold"), "a b");
    EXPECT_NE(client.getAllResponseHeaders().find("X-Fold: a b\r\nX-Mark: m\r\n"), std::string::npos);
    EXPECT_EQ(lastSeen("/async").header("X-Test"), "1");

    // Headers do not carry over to the next request.
    client.open("GET", url("/async"), false);
    client.send();
    EXPECT_EQ(client.status(), 200);
    EXPECT_FALSE(hasHeader(lastSeen("/async"), "X-Test"));

    // A wait that runs out leaves the request unanswered; abort ends it.
    client.open("GET", url("/async"), true);
    client.send();
    EXPECT_FALSE(client.waitForResponse(0));
    client.abort();
    EXPECT_EQ(client.responseBody(), "");
    EXPECT_TRUE(client.waitForResponse(1));
}

TEST_F(FetchTest, SeveralPendingRequestsOnOneThread)
{
    route("/pending", [](const RecordedRequest& r) {
        Response out = answer("body " + r.queryValue("n"));
        out.delayMs = std::stoi(r.queryValue("ms"));
        return out;
    });
    WebClient a;
    WebClient b;
    WebClient dropped;
    a.open("GET", url("/pending?n=a&ms=400"), true);
    a.send();
    b.open("GET", url("/pending?n=b&ms=100"), true);
    b.send();
    {
        WebClient gone;
        gone.open("GET", url("/pending?n=gone&ms=200"), true);
        gone.send();
    } // destroyed while its request is in flight
    dropped.open("GET", url("/pending?n=dropped&ms=200"), true);
    dropped.send();
    dropped.open("GET", url("/pending?n=again&ms=0"), true); // a new request replaces the pending one

    // Waiting for one request finishes the others that answer meanwhile.
    EXPECT_TRUE(a.waitForResponse(5));
    EXPECT_EQ(a.responseBody(), "body a");
    EXPECT_TRUE(b.waitForResponse(0));
    EXPECT_EQ(b.responseBody(), "body b");
    dropped.send();
    EXPECT_TRUE(dropped.waitForResponse(5));
    EXPECT_EQ(dropped.responseBody(), "body again");
}

TEST_F(FetchTest, PageFetchInTwoStepsSendsFirstAndGivesTheSameText)
{
    route("/ahead", [](const RecordedRequest& r) {
        Response out = answer(kGbk + r.queryValue("n"), {{"Content-Type", "text/html; charset=GBK"}});
        out.delayMs = 50;
        return out;
    });
    WebClient client;
    ASSERT_EQ(client.fetchText(url("/ahead?n=0")), kGbk + "0"); // the connection is open now

    // The request is on its way before anything waits for it.
    client.startText(url("/ahead?n=1"));
    EXPECT_TRUE(client.hasStartedText());
    const auto start = std::chrono::steady_clock::now();
    while (seen("/ahead").size() < 2 && secondsSince(start) < 10)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(seen("/ahead").size(), 2u);
    EXPECT_EQ(client.finishText(), kGbk + "1");
    EXPECT_TRUE(client.lastOutcome().ok());
    EXPECT_FALSE(client.hasStartedText());
    EXPECT_EQ(client.finishText(), ""); // nothing started

    // A request made meanwhile replaces the started one; a dropped one gives nothing later.
    client.startText(url("/ahead?n=2"));
    EXPECT_EQ(client.fetchText(url("/ahead?n=3")), kGbk + "3");
    EXPECT_FALSE(client.hasStartedText());
    client.startText(url("/ahead?n=4"));
    client.dropStartedText();
    EXPECT_FALSE(client.hasStartedText());
    EXPECT_EQ(client.finishText(), "");
    EXPECT_EQ(client.fetchText(url("/ahead?n=5")), kGbk + "5");

    // The answer sent ahead is taken only for its own address.
    client.startText(url("/ahead?n=6"));
    EXPECT_EQ(client.fetchOrFinishText(url("/ahead?n=7")), kGbk + "7");
    client.startText(url("/ahead?n=8"));
    EXPECT_EQ(client.fetchOrFinishText(url("/ahead?n=8")), kGbk + "8");
}
