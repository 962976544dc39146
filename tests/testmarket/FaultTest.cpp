// Faults injected on demand: each behaves as configured and only where configured.

#include "MarketFixture.h"
#include "testmarket/Fault.h"

#include "text/Charset.h"
#include "text/GbkText.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

namespace quillet::testmarket::testing {
namespace {

using quillet::gbk;

Fault faultOf(const std::string& faultText)
{
    const std::optional<Fault> f = Fault::parse(faultText);
    EXPECT_TRUE(f.has_value()) << faultText;
    return f.value_or(Fault{});
}

class FaultTest : public MarketFixture {
protected:
    void SetUp() override
    {
        MarketFixture::SetUp();
        m_page = "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=gbk\" /><title>" +
                 gbk("测试页面") + "</title></head><body>" + gbk("你好，世界") + "</body></html>";
        const std::string page = m_page;
        m_market->addRoute("", "/page.htm", [page](const RecordedRequest&) {
            Response r;
            r.headers.emplace_back("Content-Type", "text/html; charset=GBK");
            r.body = page;
            return r;
        });
        m_productUrl = "http://item.taobao.com/item.htm?id=" + m_catalogue->productIds(Storefront::Marketplace).front();
    }

    std::string m_page;
    std::string m_productUrl;
};

TEST_F(FaultTest, FaultTextsParseAndBadOnesAreRefused)
{
    const Fault f = faultOf("charset,encoding=utf-16le,bom=1,meta=quoted,header=utf-8,host=Rate.Tmall.com,after=3,times=2");
    EXPECT_EQ(f.kind, FaultKind::Charset);
    EXPECT_EQ(f.encoding, BodyEncoding::Utf16LE);
    EXPECT_TRUE(f.byteOrderMark);
    EXPECT_EQ(f.meta, MetaMode::Quoted);
    EXPECT_EQ(f.headerCharset, "utf-8");
    EXPECT_EQ(f.host, "rate.tmall.com");
    EXPECT_EQ(f.afterRequests, 3);
    EXPECT_EQ(f.times, 2);
    for (const char* bad : {"", "explode", "latency,ms=abc", "latency,speed=3", "status,code=42", "charset,encoding=koi8",
                            "charset,bom=2", "latency,ms"})
        EXPECT_FALSE(Fault::parse(bad).has_value()) << bad;
}

TEST_F(FaultTest, LatencyDelaysOnlyTheMatchingHost)
{
    m_market->addFault(faultOf("latency,ms=2000,host=rate.tmall.com"));
    const FetchResult slow = get("http://rate.tmall.com/page.htm");
    EXPECT_TRUE(slow.ok());
    EXPECT_EQ(slow.body, m_page);
    EXPECT_GE(slow.seconds, 1.95);
    // Answered before the fault's delay could have passed: the other host is not delayed.
    const FetchResult quick = get("http://item.taobao.com/page.htm");
    EXPECT_LT(quick.seconds, 1.95);
}

TEST_F(FaultTest, ServerErrorsResetsTruncationAndEmptyPages)
{
    m_market->addFault(faultOf("status,code=502,path=/a"));
    m_market->addFault(faultOf("reset,path=/b"));
    m_market->addFault(faultOf("truncate,bytes=10,path=/page.htm,host=x.taobao.com"));
    m_market->addFault(faultOf("empty,path=/item.htm"));

    const FetchResult error = get("http://item.taobao.com/a");
    EXPECT_TRUE(error.ok());
    EXPECT_EQ(error.status, 502);

    const FetchResult reset = get("http://item.taobao.com/b");
    EXPECT_TRUE(reset.curlCode == CURLE_RECV_ERROR || reset.curlCode == CURLE_GOT_NOTHING) << reset.curlCode;

    const FetchResult cut = get("http://x.taobao.com/page.htm");
    EXPECT_EQ(cut.curlCode, CURLE_PARTIAL_FILE);
    EXPECT_EQ(cut.body, m_page.substr(0, 10));
    EXPECT_EQ(cut.header("Content-Length"), std::to_string(m_page.size()));

    const FetchResult empty = get(m_productUrl);
    EXPECT_TRUE(empty.ok());
    EXPECT_EQ(empty.status, 200);
    EXPECT_TRUE(empty.body.empty());

    EXPECT_EQ(get("http://y.taobao.com/page.htm").body, m_page) << "other paths and hosts are untouched";
}

TEST_F(FaultTest, CharsetFaultsReencodeAndRelabelThePage)
{
    struct Case {
        const char* faultText;
        const char* iconvName;
        std::string prefix;
        const char* contentType;
        const char* meta; // expected meta text, "" when no charset meta must remain
    };
    const Case cases[] = {
        {"charset,encoding=utf-8,bom=1,meta=remove,header=utf-8", "UTF-8", "\xEF\xBB\xBF", "text/html; charset=utf-8", ""},
        {"charset,encoding=utf-8,meta=quoted", "UTF-8", "", "text/html", "<meta charset=\"utf-8\" />"},
        {"charset,encoding=big5,meta=declare", "BIG5", "", "text/html", "charset=Big5\""},
        {"charset,encoding=big5-hkscs,meta=declare", "BIG5-HKSCS", "", "text/html", "charset=Big5-HKSCS\""},
        {"charset,encoding=utf-16le,bom=1,meta=remove", "UTF-16LE", std::string("\xFF\xFE", 2), "text/html", ""},
        {"charset,encoding=utf-16be,bom=1,meta=remove", "UTF-16BE", std::string("\xFE\xFF", 2), "text/html", ""},
        {"charset,encoding=utf-16le,meta=remove", "UTF-16LE", "", "text/html", ""},
        {"charset,encoding=gbk,meta=remove,header=utf-8", "GBK", "", "text/html; charset=utf-8", ""},
        {"charset,encoding=gbk,meta=remove", "GBK", "", "text/html", ""},
    };
    for (const Case& c : cases) {
        m_market->clearFaults();
        m_market->addFault(faultOf(c.faultText));
        const FetchResult r = get("http://item.taobao.com/page.htm");
        ASSERT_TRUE(r.ok()) << c.faultText;
        EXPECT_EQ(r.header("Content-Type"), c.contentType) << c.faultText;
        ASSERT_EQ(r.body.substr(0, c.prefix.size()), c.prefix) << c.faultText;
        const std::string decoded = text::convertToGb18030(r.body.substr(c.prefix.size()), c.iconvName);
        ASSERT_FALSE(decoded.empty()) << c.faultText;
        if (std::string(c.meta).empty()) {
            EXPECT_EQ(decoded.find("charset"), std::string::npos) << c.faultText;
        } else {
            EXPECT_NE(decoded.find(c.meta), std::string::npos) << c.faultText;
        }
        // What the page says survives wherever the target charset can hold it.
        EXPECT_NE(decoded.find("<title>"), std::string::npos) << c.faultText;
        if (std::string(c.iconvName).find("BIG5") == std::string::npos) {
            EXPECT_NE(decoded.find(gbk("你好，世界")), std::string::npos) << c.faultText;
        }
    }
}

TEST_F(FaultTest, BodyEncodingReplacesWhatTheTargetLacksAndKeepsTheRest)
{
    const std::string traditional = text::utf8ToGbk("臺灣 abc");
    EXPECT_EQ(text::convertToGb18030(encodeBody(traditional, BodyEncoding::Big5, false), "BIG5"), traditional);
    // 们 has no Big5 form: one "?" for the whole character.
    EXPECT_EQ(encodeBody(gbk("我们"), BodyEncoding::Big5, false).substr(2), "?");
    EXPECT_EQ(encodeBody(std::string("a\xFF", 2), BodyEncoding::Utf8, false), "a?");
    EXPECT_EQ(rewriteMetaCharset("<html><head><title>x</title></head>", MetaMode::Quoted, "utf-8"),
              "<html><head><meta charset=\"utf-8\" /><title>x</title></head>");
}

TEST_F(FaultTest, RedirectLoopsNeverEnd)
{
    m_market->addFault(faultOf("redirect-loop,path=/page.htm"));
    FetchOptions o;
    o.maxRedirects = 5;
    const FetchResult r = get("http://item.taobao.com/page.htm?x=1", o);
    EXPECT_EQ(r.curlCode, CURLE_TOO_MANY_REDIRECTS);
    o.follow = false;
    const FetchResult one = get("http://item.taobao.com/page.htm?x=1", o);
    EXPECT_EQ(one.status, 302);
    EXPECT_EQ(one.header("Location"), "/page.htm?x=1");
}

TEST_F(FaultTest, HugePagesAreTheNormalPageFollowedByFiller)
{
    m_market->addFault(faultOf("huge,path=/page.htm,host=a.taobao.com"));
    FetchOptions head;
    head.head = true;
    const FetchResult announced = get("http://a.taobao.com/page.htm", head);
    EXPECT_EQ(announced.header("Content-Length"), std::to_string(m_page.size() + 50LL * 1024 * 1024));

    m_market->addFault(faultOf("huge,bytes=3000001,path=/page.htm,host=b.taobao.com"));
    const FetchResult r = get("http://b.taobao.com/page.htm");
    ASSERT_TRUE(r.ok());
    ASSERT_EQ(r.body.size(), m_page.size() + 3000001);
    EXPECT_EQ(r.body.substr(0, m_page.size()), m_page);
    EXPECT_EQ(r.body.substr(m_page.size(), 4), "\xD6\xD0\xD6\xD0");
    EXPECT_EQ(r.body.back(), ' ');
}

TEST_F(FaultTest, RefusalsStartAfterTheGivenNumberOfRequests)
{
    m_market->addFault(faultOf("refuse-json,after=2,host=item.taobao.com"));
    EXPECT_EQ(get(m_productUrl).status, 200);
    EXPECT_NE(get(m_productUrl).body.find(gbk("-淘宝网</title>")), std::string::npos);
    const FetchResult refused = get(m_productUrl);
    EXPECT_EQ(refused.body.rfind("{\"rgv587_flag\":\"sm\",\"url\":\"", 0), 0u) << refused.body;
    EXPECT_NE(refused.body.find("/query.htm?"), std::string::npos);
    EXPECT_EQ(get(m_productUrl).body, refused.body) << "refusal goes on";
}

TEST_F(FaultTest, PunishRedirectLeadsToThePunishPageOnTheSameHost)
{
    m_market->addFault(faultOf("refuse-punish"));
    FetchOptions noFollow;
    noFollow.follow = false;
    const FetchResult redirect = get(m_productUrl, noFollow);
    EXPECT_EQ(redirect.status, 302);
    EXPECT_EQ(redirect.header("Location").rfind("/_____tmd_____/punish?", 0), 0u);
    const FetchResult followed = get(m_productUrl);
    EXPECT_TRUE(followed.ok());
    EXPECT_EQ(followed.status, 200);
    EXPECT_NE(followed.body.find(gbk("访问受限")), std::string::npos);
    const std::vector<RecordedRequest> seen = m_market->requests();
    ASSERT_GE(seen.size(), 3u);
    EXPECT_EQ(seen.back().host, "item.taobao.com");
    EXPECT_EQ(seen.back().path, "/_____tmd_____/punish");
}

TEST_F(FaultTest, FeedWaitAnswerAndLimitedTimes)
{
    const Product& p = *m_catalogue->product(m_catalogue->productIds(Storefront::Marketplace).front());
    const std::string url = "http://rate.taobao.com/feedRateList.htm?userNumId=" + p.sellerId + "&auctionNumId=" + p.id +
                            "&siteID=7&currentPageNum=1&rateType=&orderType=sort_weight&showContent=1&attribute=&"
                            "callback=jsonp_reviews_list";
    const int id = m_market->addFault(faultOf("refuse-wait,path=/feedRateList.htm,times=2"));
    EXPECT_EQ(get(url).body, "jsonp_reviews_list({\"status\":1111,\"wait\":5})");
    EXPECT_EQ(get(url).body, "jsonp_reviews_list({\"status\":1111,\"wait\":5})");
    EXPECT_NE(get(url).body.find("{\"append\":"), std::string::npos) << "two times only";

    m_market->removeFault(id);
    m_market->addFault(faultOf("status,code=500,path=/feedRateList.htm"));
    m_market->addFault(faultOf("refuse-wait,path=/feedRateList.htm"));
    EXPECT_EQ(get(url).status, 500) << "the first matching fault acts";
}

} // namespace
} // namespace quillet::testmarket::testing
