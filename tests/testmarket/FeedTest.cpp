// Product pages and both review feeds, read by the markers the harvesters use.

#include "MarketFixture.h"
#include "testmarket/MarketPages.h"

#include "text/Charset.h"
#include "text/GbkText.h"

#include <gtest/gtest.h>

namespace quillet::testmarket::testing {
namespace {

using quillet::gbk;

std::string replaceAll(std::string text, const std::string& what, const std::string& with)
{
    std::size_t at = 0;
    while ((at = text.find(what, at)) != std::string::npos) {
        text.replace(at, what.size(), with);
        at += with.size();
    }
    return text;
}

// Decodes the character references the catalogue's review texts use.
std::string decodeReferences(std::string text)
{
    text = replaceAll(text, "&ldquo;", gbk("“"));
    text = replaceAll(text, "&rdquo;", gbk("”"));
    text = replaceAll(text, "&nbsp;", " ");
    text = replaceAll(text, "&lt;", "<");
    text = replaceAll(text, "&gt;", ">");
    text = replaceAll(text, "&quot;", "\"");
    text = replaceAll(text, "&amp;", "&");
    std::size_t at;
    while ((at = text.rfind("&#")) != std::string::npos) {
        const std::size_t semi = text.find(';', at);
        if (semi == std::string::npos)
            break;
        const long long n = std::stoll(text.substr(at + 2, semi - at - 2));
        text.replace(at, semi + 1 - at, text::codePointToGbk(n));
    }
    return text;
}

struct Walked {
    std::string text, nick, date, record;
};

std::string mallFeedUrl(const Product& p, int page)
{
    return "http://rate.tmall.com/list_detail_rate.htm?itemId=" + p.id + "&spuId=&sellerId=" + p.sellerId +
           "&order=0&forShop=1&append=0&currentPage=" + std::to_string(page) + "&ismore=1&content=1";
}

std::string marketFeedUrl(const Product& p, int page, const std::string& rateType)
{
    return "http://rate.taobao.com/feedRateList.htm?userNumId=" + p.sellerId + "&auctionNumId=" + p.id +
           "&siteID=7&currentPageNum=" + std::to_string(page) + "&rateType=" + rateType +
           "&orderType=sort_weight&showContent=1&attribute=&callback=jsonp_reviews_list";
}

class FeedTest : public MarketFixture {
protected:
    // Pages through the mall feed until a page repeats the previous page's first record.
    std::vector<Walked> walkMall(const Product& p, int* pagesFetched = nullptr)
    {
        std::vector<Walked> out;
        std::string previousFirst;
        int page = 0;
        while (++page < 100) {
            const FetchResult r = get(mallFeedUrl(p, page));
            EXPECT_EQ(r.status, 200);
            if (r.body.empty())
                break;
            std::size_t pos = 0;
            bool first = true, ended = false;
            std::string record;
            while (!(record = between(r.body, "{\"aliMallSeller\"", "\"userVipPic\":", pos)).empty()) {
                if (first) {
                    if (record == previousFirst) {
                        ended = true;
                        break;
                    }
                    previousFirst = record;
                    first = false;
                }
                const std::string content = between(record, "\"rateContent\":\"", "\",\"rateDate\"");
                out.push_back({decodeReferences(replaceAll(content, "\\\\r\\\\n", "\r\n")),
                               between(record, "\"displayUserNick\":\"", "\""), between(record, "\"rateDate\":\"", "\""),
                               record});
            }
            if (ended)
                break;
        }
        if (pagesFetched)
            *pagesFetched = page;
        return out;
    }

    // Pages through the marketplace feed until the null comments end it.
    std::vector<Walked> walkMarket(const Product& p, const std::string& rateType, int* pagesFetched = nullptr)
    {
        std::vector<Walked> out;
        int page = 0;
        while (++page < 100) {
            const FetchResult r = get(marketFeedUrl(p, page, rateType));
            EXPECT_EQ(r.status, 200);
            if (r.body.empty() || r.body.find(",\"comments\":null})") != std::string::npos)
                break;
            std::size_t pos = 0;
            std::string record;
            while (!(record = between(r.body, "{\"append\":", "\"validscore\":", pos)).empty()) {
                const std::string content = between(record, "\"content\":\"", "\",\"");
                out.push_back({decodeReferences(replaceAll(content, "<br/>\\n", "\r\n")),
                               between(record, "\"nick\":\"", "\""), between(record, "\"date\":\"", "\""), record});
            }
        }
        if (pagesFetched)
            *pagesFetched = page;
        return out;
    }

    static void expectSame(const std::vector<Walked>& walked, const std::vector<const Review*>& expected,
                           const std::string& what)
    {
        ASSERT_EQ(walked.size(), expected.size()) << what;
        for (std::size_t i = 0; i < walked.size(); ++i) {
            EXPECT_EQ(walked[i].text, expected[i]->text) << what << " review " << i;
            EXPECT_EQ(walked[i].nick, expected[i]->nick) << what << " review " << i;
            EXPECT_EQ(walked[i].date, expected[i]->date) << what << " review " << i;
        }
    }
};

TEST_F(FeedTest, ProductPagesCarryTitleSuffixAndSellerByTheHarvestersRules)
{
    int forms[3] = {0, 0, 0};
    for (const Product& p : m_catalogue->products()) {
        ++forms[static_cast<int>(p.sellerForm)];
        const FetchResult first = get("http://item.taobao.com/item.htm?id=" + p.id);
        ASSERT_EQ(first.status, 200) << p.id;
        std::string page = first.body;
        const std::string redirect = "<script>(function(){if('http://detail.tmall.com/item.htm'){window.location.href="
                                     "'http://detail.tmall.com/item.htm'+window.location.search;}})()</script>";
        EXPECT_EQ(page.find(redirect) != std::string::npos, p.isMall()) << p.id;
        if (p.isMall()) {
            const FetchResult mall = get("http://detail.tmall.com/item.htm?id=" + p.id);
            ASSERT_EQ(mall.status, 200);
            page = mall.body;
            EXPECT_EQ(between(page, "<title>", gbk("-tmall.com天猫</title>")), p.title);
            EXPECT_TRUE(between(page, "<title>", gbk("-淘宝网</title>")).empty());
        } else {
            EXPECT_EQ(between(page, "<title>", gbk("-淘宝网</title>")), p.title);
            EXPECT_TRUE(between(page, "<title>", gbk("-tmall.com天猫</title>")).empty());
        }
        std::string seller = between(page, "userid: '", "'");
        if (seller.empty())
            seller = between(page, "userid=", ";");
        EXPECT_EQ(seller, p.sellerId) << p.id;
        EXPECT_EQ(first.header("Content-Type"), "text/html; charset=GBK");
    }
    EXPECT_GT(forms[0], 0);
    EXPECT_GT(forms[1], 0);
    EXPECT_GT(forms[2], 0);
}

TEST_F(FeedTest, UnknownProductsGetTheNotFoundPage)
{
    const FetchResult unknown = get("http://item.taobao.com/item.htm?id=12345");
    EXPECT_EQ(unknown.status, 404);
    EXPECT_EQ(unknown.body.find(gbk("-淘宝网</title>")), std::string::npos);
    const std::string marketId = m_catalogue->productIds(Storefront::Marketplace).front();
    EXPECT_EQ(get("http://detail.tmall.com/item.htm?id=" + marketId).status, 404);
    EXPECT_EQ(get("http://item.taobao.com/nothing.htm").status, 404);
}

TEST_F(FeedTest, MallFeedWalkYieldsEveryReviewAndRepeatsItsLastPage)
{
    int placeholders = 0;
    for (const std::string& id : m_catalogue->productIds(Storefront::Mall)) {
        const Product& p = *m_catalogue->product(id);
        int pages = 0;
        const std::vector<Walked> walked = walkMall(p, &pages);
        std::vector<const Review*> expected;
        for (const Review& r : p.reviews) {
            expected.push_back(&r);
            placeholders += r.isBlankPlaceholder() ? 1 : 0;
        }
        expectSame(walked, expected, "mall " + id);
        const int lastPage = static_cast<int>((p.reviews.size() + 5) / 6);
        EXPECT_EQ(pages, lastPage + 1) << "the page after the last repeats it";
        const FetchResult past = get(mallFeedUrl(p, lastPage + 5));
        const FetchResult last = get(mallFeedUrl(p, lastPage));
        EXPECT_EQ(past.body, last.body);
    }
    EXPECT_GT(placeholders, 0);
}

TEST_F(FeedTest, MarketFeedWalkYieldsEveryReviewOfEachTypeAndEndsWithNullComments)
{
    for (const std::string& id : m_catalogue->productIds(Storefront::Marketplace)) {
        const Product& p = *m_catalogue->product(id);
        for (const std::string type : {"", "1", "0", "-1", "2"}) {
            const std::vector<Walked> walked = walkMarket(p, type);
            expectSame(walked, Catalogue::reviewsOfType(p, type), "market " + id + " type " + type);
        }
        EXPECT_EQ(walkMarket(p, "1").size() + walkMarket(p, "0").size() + walkMarket(p, "-1").size(),
                  p.reviews.size());
    }
}

TEST_F(FeedTest, FeedsAnswerNothingForWrongSellersAndUnknownProducts)
{
    const Product& mall = *m_catalogue->product(m_catalogue->productIds(Storefront::Mall).front());
    Product wrongSeller = mall;
    wrongSeller.sellerId = "1";
    EXPECT_TRUE(get(mallFeedUrl(wrongSeller, 1)).body.empty());

    const Product& market = *m_catalogue->product(m_catalogue->productIds(Storefront::Marketplace).front());
    const FetchResult r = get(marketFeedUrl(mall, 1, ""));
    EXPECT_NE(r.body.find(",\"comments\":null})"), std::string::npos) << "a mall product has no marketplace feed";
    EXPECT_NE(get(marketFeedUrl(market, 1, "7")).body.find(",\"comments\":null})"), std::string::npos);
}

TEST_F(FeedTest, RecordsCarryLineBreaksReferencesAndAttributesInBothForms)
{
    bool mallBreak = false, marketBreak = false, reference = false, textSku = false, objectSku = false;
    for (const Product& p : m_catalogue->products()) {
        const std::vector<Walked> walked = p.isMall() ? walkMall(p) : walkMarket(p, "");
        ASSERT_EQ(walked.size(), p.reviews.size());
        for (std::size_t i = 0; i < walked.size(); ++i) {
            const Review& r = p.reviews[i];
            const std::string& rec = walked[i].record;
            EXPECT_EQ(rec.find_first_of("\r\n"), std::string::npos) << "raw line break in a record";
            mallBreak = mallBreak || rec.find("\\\\r\\\\n") != std::string::npos;
            marketBreak = marketBreak || rec.find("<br/>\\n") != std::string::npos;
            reference = reference || rec.find("&#") != std::string::npos;
            for (const SkuAttribute& a : r.sku) {
                if (r.skuAsObjects) {
                    EXPECT_NE(rec.find("{\"desc\":\"" + a.value + "\",\"name\":\"" + a.name + "\"}"), std::string::npos);
                    objectSku = true;
                } else {
                    EXPECT_NE(rec.find(a.name + ":" + a.value), std::string::npos);
                    textSku = true;
                }
            }
            if (r.sku.empty()) {
                EXPECT_EQ(rec.find(gbk("颜色分类")), std::string::npos);
            }
        }
    }
    EXPECT_TRUE(mallBreak);
    EXPECT_TRUE(marketBreak);
    EXPECT_TRUE(reference);
    EXPECT_TRUE(textSku);
    EXPECT_TRUE(objectSku);
}

TEST_F(FeedTest, MallAttributesAreSeparatedBySemicolonsAndMarketOnesByBlanks)
{
    Catalogue c;
    Product p;
    p.id = "600000000001";
    p.storefront = Storefront::Mall;
    p.sellerId = "42";
    p.title = "t";
    Review r;
    r.text = "ok";
    r.sku = {{gbk("颜色分类"), gbk("黑色")}, {gbk("尺码"), "XL"}};
    p.reviews.push_back(r);
    EXPECT_NE(pages::mallRecord(p, r, 0).find(gbk("\"auctionSku\":\"颜色分类:黑色;尺码:XL\"")), std::string::npos);
    EXPECT_NE(pages::marketRecord(p, r, 0).find(gbk("颜色分类:黑色&nbsp;&nbsp;尺码:XL")), std::string::npos);
}

} // namespace
} // namespace quillet::testmarket::testing
