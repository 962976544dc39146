// The request object's settings and life cycle, without a server (at most a refused
// connection to 127.0.0.1).

#include "web/Request.h"
#include "web/WebClient.h"

#include <gtest/gtest.h>

#include <limits>

using quillet::web::OptionValue;
using quillet::web::Timeouts;
using quillet::web::WebClient;

namespace {
std::string openedUrl(WebClient& client)
{
    return std::get<std::string>(client.option(quillet::web::OptionUrl));
}

bool same(const Timeouts& t, long long r, long long c, long long s, long long v)
{
    return t.resolveMs == r && t.connectMs == c && t.sendMs == s && t.receiveMs == v;
}
} // namespace

TEST(WebClientOpen, AddsTheHttpPrefixOnlyWhenMissing)
{
    WebClient client;
    client.open("a/b");
    EXPECT_EQ(openedUrl(client), "http://a/b");
    client.open("GET", "HTTP://Host/x", false);
    EXPECT_EQ(openedUrl(client), "HTTP://Host/x");
    client.open("GET", "http://host/x", true);
    EXPECT_EQ(openedUrl(client), "http://host/x");
    // Text outside ASCII and blanks go out escaped (GBK as UTF-8).
    client.open("GET", "host/q=" + quillet::gbk("中") + " x", false);
    EXPECT_EQ(openedUrl(client), "http://host/q=%E4%B8%AD%20x");
}

TEST(WebClientOpen, RefusesAddressesThatWouldInjectHeaders)
{
    WebClient client;
    client.open("GET", "host/a\r\nX-Evil: 1", false);
    client.send();
    EXPECT_EQ(client.status(), 0);
    EXPECT_EQ(client.responseBody(), "");
    EXPECT_TRUE(client.waitForResponse(1)); // the refused request counts as finished
    EXPECT_EQ(client.requestObject()->lastError(), CURLE_URL_MALFORMAT);
}

TEST(WebClientTimeouts, PhasesBelowOneTakeTheResolveValue)
{
    WebClient client;
    EXPECT_TRUE(same(client.timeouts(), 0, 60000, 30000, 30000));
    client.setTimeouts(5000, 0, -1, 0);
    EXPECT_TRUE(same(client.timeouts(), 5000, 5000, 5000, 5000));
    client.setTimeouts(1, 2, 3, 4);
    EXPECT_TRUE(same(client.timeouts(), 1, 2, 3, 4));
}

TEST(WebClientOptions, RedirectSwitchAndStoredValues)
{
    WebClient client;
    EXPECT_EQ(std::get<long long>(client.option(quillet::web::OptionEnableRedirects)), 1);
    EXPECT_EQ(std::get<long long>(client.option(quillet::web::OptionEnableRedirects, 0LL)), 0);
    EXPECT_EQ(std::get<long long>(client.option(quillet::web::OptionEnableRedirects, std::string("1"))), 1);
    // The redirect bound cannot be raised past its ceiling.
    EXPECT_EQ(std::get<long long>(client.option(quillet::web::OptionMaxRedirects, 1000LL)), 20);
    // Options without an effect of their own keep what was written.
    EXPECT_TRUE(std::holds_alternative<std::monostate>(client.option(9)));
    EXPECT_EQ(std::get<std::string>(client.option(9, std::string("abc"))), "abc");
}

TEST(WebClientSession, CopiesShareTheRequestObjectAndResetStartsAfresh)
{
    WebClient first;
    first.setStoredCookie("a=1");
    WebClient second = first;
    EXPECT_EQ(second.requestObject(), first.requestObject());
    EXPECT_EQ(second.storedCookie(), "a=1");
    second.setTimeouts(7, 7, 7, 7);
    EXPECT_TRUE(same(first.timeouts(), 7, 7, 7, 7));
    // The cookie is copied, not shared.
    second.setStoredCookie("b=2");
    EXPECT_EQ(first.storedCookie(), "a=1");

    const auto before = first.requestObject();
    first.resetSession();
    EXPECT_NE(first.requestObject(), before);
    EXPECT_EQ(first.storedCookie(), "");
    EXPECT_TRUE(same(first.timeouts(), 0, 60000, 30000, 30000));
    // The copy still drives the old object.
    EXPECT_EQ(second.requestObject(), before);
}

TEST(WebClientResponse, EverythingIsEmptyBeforeAnyRequest)
{
    WebClient client;
    EXPECT_EQ(client.status(), 0);
    EXPECT_EQ(client.statusText(), "");
    EXPECT_EQ(client.responseText(), "");
    EXPECT_EQ(client.responseBody(), "");
    EXPECT_EQ(client.getResponseHeader("Location"), "");
    EXPECT_EQ(client.getAllResponseHeaders(), "");
    EXPECT_EQ(client.responseCookies(), "");
    EXPECT_EQ(client.responseCookie("a"), "");
    EXPECT_FALSE(client.waitForResponse(0));
    client.send(); // no open: nothing happens
    client.abort();
    EXPECT_EQ(client.status(), 0);
}

TEST(WebClientTimeouts, ExtremeValuesStayUsable)
{
    // Huge, negative and non-numeric time-outs must neither overflow nor hang: the request
    // to a closed port fails at once whatever the limits say.
    WebClient client;
    client.setTimeouts(std::numeric_limits<long long>::max(), std::numeric_limits<long long>::max(), -5, 0);
    EXPECT_EQ(client.fetchText("http://127.0.0.1:1/", "", 0, -1), "");
    EXPECT_EQ(client.fetchText("http://127.0.0.1:1/", "", 0, 1e300), "");
    EXPECT_EQ(client.fetchText("http://127.0.0.1:1/", "", 0, std::numeric_limits<double>::quiet_NaN()), "");
    EXPECT_EQ(client.timeouts().receiveMs, 120000); // NaN counts as "below 1"
    EXPECT_EQ(client.fetchBytes("http://127.0.0.1:1/", "", std::numeric_limits<long long>::max()), "");
}
