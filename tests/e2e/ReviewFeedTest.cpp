// Product pages, both review feeds and the article assembly, seen through whole runs against
// the simulated marketplace.

#include "E2eSupport.h"

#include "testmarket/MarketPages.h"
#include "ui/MainWindow.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

namespace quillet::e2e {
namespace {

using ::testing::AnyOf;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

testmarket::Response gbkPage(GbkText body)
{
    testmarket::Response r;
    r.headers.emplace_back("Content-Type", "text/html; charset=GBK");
    r.body = std::move(body);
    return r;
}

std::vector<std::string> pagesAsked(const std::vector<RecordedRequest>& feeds)
{
    std::vector<std::string> pages;
    for (const RecordedRequest& r : feeds)
        pages.push_back(r.path == "/feedRateList.htm" ? r.queryValue("currentPageNum") : r.queryValue("currentPage"));
    return pages;
}

TEST(ReviewFeedPaging, MallFeedEndsWhenAPageRepeatsItsFirstRecord)
{
    Catalogue c;
    c.setReviewsPerPage(2);
    c.addProduct(mallProduct("4000001", "mall two pages", numberedReviews(4)));
    MarketSession market(std::move(c));
    for (const char* pages : {"3", "0"}) {
        SCOPED_TRACE(pages);
        market.market().clearRequests();
        RunBench bench;
        bench.writeIds("4000001\r\n");
        bench.setText("编辑框页数", pages);
        bench.click();
        const auto feeds = market.feedRequests();
        EXPECT_THAT(pagesAsked(feeds), ElementsAre("1", "2", "3"));
        ASSERT_FALSE(feeds.empty());
        EXPECT_EQ(feeds[0].host, "rate.tmall.com");
        EXPECT_EQ(feeds[0].query, "itemId=4000001&spuId=&sellerId=22222222&order=0&forShop=1&append=0&currentPage=1"
                                  "&ismore=1&content=1");
        EXPECT_EQ(bench.outputText("4000001.txt"), "r1\r\nr2\r\nr3\r\nr4\r\n");
    }
}

TEST(ReviewFeedPaging, MarketFeedEndsAtItsEndMarkerOrThePageLimit)
{
    Catalogue c;
    c.setReviewsPerPage(2);
    c.addProduct(marketProduct("4000002", "market two pages", numberedReviews(4)));
    MarketSession market(std::move(c));
    {
        RunBench bench;
        bench.writeIds("4000002\r\n");
        bench.click();
        const auto feeds = market.feedRequests();
        EXPECT_THAT(pagesAsked(feeds), ElementsAre("1", "2", "3"));
        ASSERT_FALSE(feeds.empty());
        EXPECT_EQ(feeds[0].query, "userNumId=11111111&auctionNumId=4000002&siteID=7&currentPageNum=1&rateType="
                                  "&orderType=sort_weight&showContent=1&attribute=&callback=jsonp_reviews_list");
        EXPECT_EQ(bench.outputText("4000002.txt"), "r1\r\nr2\r\nr3\r\nr4\r\n");
    }
    market.market().clearRequests();
    {
        RunBench bench;
        bench.writeIds("4000002\r\n");
        bench.setText("编辑框页数", "1");
        bench.click();
        EXPECT_THAT(pagesAsked(market.feedRequests()), ElementsAre("1"));
        EXPECT_EQ(bench.outputText("4000002.txt"), "r1\r\nr2\r\n");
    }
}

TEST(ReviewFeedPaging, PagesWithoutRecordsArePagedUpToTheLimit)
{
    Catalogue c;
    c.addProduct(mallProduct("4000003", "mall", numberedReviews(2)));
    c.addProduct(marketProduct("4000004", "market", numberedReviews(2)));
    c.addProduct(mallProduct("4000005", "mall without records", numberedReviews(2)));
    MarketSession market(std::move(c));
    const auto hosts = market.market().hosts();
    market.market().addRoute(hosts.marketFeedHost, "/feedRateList.htm", [](const RecordedRequest&) {
        return gbkPage("jsonp_reviews_list({\"qnaDisabled\":true,\"comments\":[]})");
    });
    market.market().addRoute(hosts.mallFeedHost, "/list_detail_rate.htm", [&](const RecordedRequest& r) {
        if (r.queryValue("itemId") == "4000005")
            return gbkPage("\"rateDetail\":{\"rateList\":[],\"paginator\":{\"items\":0}}");
        const Product* p = market.catalogue().product(r.queryValue("itemId"));
        return gbkPage(testmarket::pages::mallFeedPage(*p, std::stoi(r.queryValue("currentPage")), 20));
    });
    RunBench bench;
    bench.writeIds("4000003\r\n4000004\r\n4000005\r\n");
    bench.setText("编辑框页数", "4");
    auto captions = bench.recordTexts("按钮采集");
    bench.click();

    EXPECT_THAT(pagesAsked(market.feedRequests()),
                ElementsAre("1", "2", /* market */ "1", "2", "3", "4", /* mall */ "1", "2", "3", "4"));
    EXPECT_THAT(bench.outputNames(), ElementsAre("4000003.txt"));
    // The progress caption counts the articles written so far (articles are written in groups,
    // so the one of 4000003 is not counted before the run's end) and the page being fetched.
    EXPECT_THAT(*captions, ::testing::Contains("停止..已生成 0 篇|正采集 2 页"));
    EXPECT_THAT(*captions, ::testing::Contains("停止..已生成 0 篇|正采集 4 页"));
    EXPECT_EQ(captions->back(), "开始采集");
}

TEST(ReviewFeedTypes, ReviewTypeReachesOnlyTheMarketFeed)
{
    Catalogue c;
    std::vector<Review> reviews = {review("good"), review("neutral"), review("bad"), review("later")};
    reviews[1].rating = 0;
    reviews[2].rating = -1;
    reviews[3].followUp = true;
    c.addProduct(marketProduct("4000006", "market", reviews));
    c.addProduct(mallProduct("4000007", "mall", reviews));
    MarketSession market(std::move(c));
    const char* const codes[] = {"", "1", "0", "-1", "2"};
    for (int type = 0; type <= 4; ++type) {
        SCOPED_TRACE(type);
        market.market().clearRequests();
        RunBench bench;
        bench.writeIds("4000006\r\n4000007\r\n");
        bench.setIndex("组合框类型", type);
        bench.setText("编辑框组合", "#评论#,");
        bench.click();
        for (const RecordedRequest& r : market.requestsTo("/feedRateList.htm"))
            EXPECT_NE(r.query.find(std::string("&rateType=") + codes[type] + "&"), std::string::npos) << r.query;
        for (const RecordedRequest& r : market.requestsTo("/list_detail_rate.htm"))
            EXPECT_EQ(r.query.find("rateType"), std::string::npos) << r.query;
        EXPECT_EQ(bench.outputText("4000007.txt"), "good,neutral,bad,later,");
        if (type == 3) {
            EXPECT_EQ(bench.outputText("4000006.txt"), "bad,");
        }
    }
}

TEST(ReviewFeedContent, LineBreaksEntitiesPlaceholderAndMinimumLength)
{
    const std::vector<Review> reviews = {review("好看！"),
                                         review("abcd"),
                                         review("abcd\r\n"),
                                         review("好看好看好"),
                                         review("x&y<z>\"q\r\nnext"),
                                         review("此用户没有填写评论!"),
                                         review("")};
    Catalogue c;
    c.addProduct(marketProduct("4000008", "market", reviews));
    c.addProduct(mallProduct("4000009", "mall", reviews));
    MarketSession market(std::move(c));
    RunBench bench;
    bench.writeIds("4000008\r\n4000009\r\n");
    bench.setText("编辑框组合", "[#评论#]");
    bench.click();
    // Every review, the mall's placeholder for an empty review excepted.
    EXPECT_EQ(bench.outputText("4000008.txt"),
              "[好看！][abcd][abcd\r\n][好看好看好][x&y<z>\"q\r\nnext][此用户没有填写评论!][]");
    EXPECT_EQ(bench.outputText("4000009.txt"), "[好看！][abcd][abcd\r\n][好看好看好][x&y<z>\"q\r\nnext][]");

    // At least five characters, a CR LF pair counting as one.
    bench.setText("编辑框字数", "5");
    bench.setText("编辑框序号", "1");
    bench.click();
    EXPECT_EQ(bench.outputText("4000008.txt"),
              "[abcd\r\n][好看好看好][x&y<z>\"q\r\nnext][此用户没有填写评论!]");
    EXPECT_EQ(bench.outputText("4000009.txt"), "[abcd\r\n][好看好看好][x&y<z>\"q\r\nnext]");
}

TEST(ReviewFeedContent, PlainAndRegexFilters)
{
    Catalogue c;
    c.addProduct(marketProduct("4000010", "market", {review("好的好的"), review("差评差"), review("花了100元买的")}));
    MarketSession market(std::move(c));
    struct Case {
        bool filterOn;
        bool regex;
        const char* match;
        const char* replace;
        const char* article;
    };
    const Case cases[] = {
        {false, false, "好|差", "棒|坏", "好的好的/差评差/花了100元买的/"},
        {true, false, "好|差", "棒|坏", "棒的棒的/坏评坏/花了100元买的/"},
        {true, true, "(\\d+)元", "$1块", "好的好的/差评差/花了100块买的/"},
        {true, true, "好|差", "X", "X的X的/X评X/花了100元买的/"},
        // Not an expression: the reviews are kept as they are rather than wiped out.
        {true, true, "(", "X", "好的好的/差评差/花了100元买的/"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.match);
        RunBench bench;
        bench.writeIds("4000010\r\n");
        bench.setText("编辑框组合", "#评论#/");
        bench.setChecked("选择框过滤", k.filterOn);
        bench.setChecked("选择框正则", k.regex);
        bench.setText("编辑框匹配式", k.match);
        bench.setText("编辑框替换式", k.replace);
        bench.click();
        EXPECT_EQ(bench.outputText("4000010.txt"), k.article);
    }
}

TEST(ReviewFeedTitle, ShuffledTitleTakesAPhraseOfTheFirstReviewOnce)
{
    Catalogue c;
    c.addProduct(marketProduct("4000011", "红色 连衣裙 夏季", {review("很好，非常 满意"), review("second")}));
    MarketSession market(std::move(c));
    RunBench bench;
    bench.writeIds("4000011\r\n");
    bench.setIndex("组合框命名方式", 0);
    bench.setChecked("选择框标题打乱", true);
    bench.setText("编辑框组合", "#标题#|#原标题#\r\n");
    bench.click();

    const auto names = bench.outputNames();
    ASSERT_EQ(names.size(), 1u);
    const std::string title = names[0].substr(0, names[0].size() - 4);
    const auto lines = crlfLines(bench.outputText(names[0]));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], title + "|红色 连衣裙 夏季");
    EXPECT_EQ(lines[1], lines[0]); // the title changes once per product
    const size_t cut = title.rfind(' ');
    ASSERT_NE(cut, std::string::npos);
    EXPECT_THAT(title.substr(cut + 1), AnyOf("很好", "非常满意"));
    std::vector<std::string> words;
    for (size_t start = 0; start < cut;) {
        size_t end = std::min(title.find(' ', start), cut);
        words.push_back(title.substr(start, end - start));
        start = end + 1;
    }
    std::sort(words.begin(), words.end());
    EXPECT_THAT(words, ::testing::UnorderedElementsAre("红色", "连衣裙", "夏季"));
}

TEST(ReviewFeedTitle, ExistingFileShufflesOnlyMallTitles)
{
    Catalogue c;
    c.addProduct(mallProduct("4000012", "M title", {review("abc")}));
    c.addProduct(marketProduct("4000013", "K title", {review("def")}));
    MarketSession market(std::move(c));
    RunBench bench;
    testsupport::writeFileBytes(bench.outputFolder() / "M title.txt", "kept");
    testsupport::writeFileBytes(bench.outputFolder() / "K title.txt", "kept");
    bench.writeIds("4000012\r\n4000013\r\n");
    bench.setIndex("组合框命名方式", 0);
    bench.click();
    EXPECT_THAT(bench.outputNames(), ::testing::UnorderedElementsAre("K title.txt", "K title_1.txt", "M title.txt",
                                                                     AnyOf("M title abc.txt", "title M abc.txt")));
    EXPECT_EQ(bench.outputText("M title.txt"), "kept");
    EXPECT_EQ(bench.outputText("K title_1.txt"), "def\r\n");
}

TEST(ReviewFeedAttributes, BothPassesAndBothFormsOnBothFeeds)
{
    const std::vector<Review> reviews = {
        review("a", "n", "d", {{g("颜色分类"), g("黑色")}, {g("尺码"), g("XL")}}),
        review("b", "n", "d", {{g("颜色"), g("白色")}}, true),
        review("c", "n", "d", {{g("颜色分类"), g("红色")}, {g("风味"), g("辣")}}, true),
        review("d"),
    };
    Catalogue c;
    c.addProduct(marketProduct("4000014", "market", reviews));
    c.addProduct(mallProduct("4000015", "mall", reviews));
    MarketSession market(std::move(c));
    for (bool emptyAsNone : {true, false}) {
        SCOPED_TRACE(emptyAsNone);
        RunBench bench;
        bench.writeIds("4000014\r\n4000015\r\n");
        bench.setChecked("选择框空无", emptyAsNone);
        bench.setText("编辑框组合", "#颜色#/#尺码#/#风味#\r\n");
        bench.click();
        const std::string none = emptyAsNone ? "无" : " ";
        const std::string expected = "黑色/XL/" + none + "\r\n" + "白色/" + none + "/" + none + "\r\n" + "红色/" + none
            + "/辣\r\n" + none + "/" + none + "/" + none + "\r\n";
        EXPECT_EQ(bench.outputText("4000014.txt"), expected);
        EXPECT_EQ(bench.outputText("4000015.txt"), expected);
    }
}

TEST(ArticleAssembly, DefaultTemplateFillsOneOfItsThreeFormsPerReview)
{
    std::vector<Review> reviews;
    for (int i = 1; i <= 6; ++i)
        reviews.push_back(review("text" + std::to_string(i), "nick" + std::to_string(i), "2014-05-0" + std::to_string(i),
                                 {{g("颜色分类"), g("色" + std::to_string(i))}, {g("尺码"), g("S" + std::to_string(i))}}));
    Catalogue c;
    c.addProduct(mallProduct("4000016", "mall", reviews));
    MarketSession market(std::move(c));
    RunBench bench;
    bench.writeIds("4000016\r\n");
    bench.setGbkText("编辑框组合", ui::defaultTemplate());
    bench.click();

    const auto lines = crlfLines(bench.outputText("4000016.txt"));
    ASSERT_EQ(lines.size(), 6u);
    std::map<int, int> formsUsed;
    for (int i = 1; i <= 6; ++i) {
        const std::string n = std::to_string(i);
        const std::string forms[] = {
            "【nick" + n + "】在2014-05-0" + n + "买的色" + n + "S" + n + "：Ta说 >> text" + n,
            "nick" + n + "Ta说：text" + n,
            "nick" + n + "买的颜色是色" + n + "，尺码是S" + n + "，Ta的意见是：text" + n,
        };
        const auto form = std::find(std::begin(forms), std::end(forms), lines[static_cast<size_t>(i - 1)]);
        ASSERT_NE(form, std::end(forms)) << lines[static_cast<size_t>(i - 1)];
        ++formsUsed[static_cast<int>(form - std::begin(forms))];
    }
    // Alternatives are drawn without repetition until each has been used.
    EXPECT_THAT(formsUsed, ElementsAre(std::pair(0, 2), std::pair(1, 2), std::pair(2, 2)));

    // Each distinct marker stands at the place of its last appearance.
    const compose::PreparedTemplate prepared = compose::prepareTemplate(ui::defaultTemplate(), bench.app.patternRegex);
    EXPECT_EQ(u(prepared.markers), "#日期#|||#买家#|||#颜色#|||#尺码#|||#评论#");
    EXPECT_EQ(prepared.alternatives.size(), 3u);
    // A marker holding "|||" stays one marker and gets its value.
    compose::PreparedTemplate bars = compose::prepareTemplate("<#a|||b#>", bench.app.patternRegex);
    ASSERT_THAT(bars.markerList, ElementsAre("#a|||b#"));
    bars.columns[0].values = {"v"};
    EXPECT_EQ(compose::assembleArticle(bars, false), "<v>");
}

TEST(ArticleAssembly, ContentShuffleUsesEveryValueOnce)
{
    Catalogue c;
    for (int p = 1; p <= 3; ++p) {
        std::vector<Review> reviews;
        for (int i = 1; i <= 5; ++i)
            reviews.push_back(review("t" + std::to_string(i), "n" + std::to_string(i), "d" + std::to_string(i)));
        c.addProduct(marketProduct("400002" + std::to_string(p), "market", reviews));
    }
    MarketSession market(std::move(c));
    RunBench bench;
    bench.writeIds("4000021\r\n4000022\r\n4000023\r\n");
    bench.setChecked("选择框内容打乱", true);
    bench.setText("编辑框组合", "#评论#/#买家#/#日期#/#买家#\r\n");
    bench.click();
    bool someMixed = false;
    for (const std::string& name : bench.outputNames()) {
        std::multiset<std::string> texts, nicks, dates;
        for (const std::string& line : crlfLines(bench.outputText(name))) {
            char t[8], n[8], d[8], n2[8];
            ASSERT_EQ(std::sscanf(line.c_str(), "%7[^/]/%7[^/]/%7[^/]/%7s", t, n, d, n2), 4) << line;
            EXPECT_STREQ(n, n2); // one marker twice in a form: the same value
            texts.insert(t);
            nicks.insert(n);
            dates.insert(d);
            someMixed = someMixed || t[1] != n[1] || t[1] != d[1];
        }
        EXPECT_THAT(texts, ElementsAre("t1", "t2", "t3", "t4", "t5"));
        EXPECT_THAT(nicks, ElementsAre("n1", "n2", "n3", "n4", "n5"));
        EXPECT_THAT(dates, ElementsAre("d1", "d2", "d3", "d4", "d5"));
    }
    EXPECT_EQ(bench.outputNames().size(), 3u);
    EXPECT_TRUE(someMixed);
}

TEST(ProductPages, SellerMarkersRedirectElementAndTitleSuffixDecide)
{
    Catalogue c;
    Product emptyQuoted = marketProduct("5000001", "empty quoted", {review("a")});
    emptyQuoted.sellerForm = testmarket::SellerForm::EmptyQuoted;
    emptyQuoted.sellerId = "123";
    Product semicolon = marketProduct("5000002", "semicolon", {review("b")});
    semicolon.sellerForm = testmarket::SellerForm::Semicolon;
    Product mallSemicolon = mallProduct("5000003", "mall", {review("c")});
    mallSemicolon.sellerForm = testmarket::SellerForm::Semicolon;
    c.addProduct(emptyQuoted);
    c.addProduct(semicolon);
    c.addProduct(mallSemicolon);
    c.addProduct(mallProduct("5000004", "mall upper case redirect", {review("d")}));
    c.addProduct(mallProduct("5000006", "mall page direct", {review("f")}));
    MarketSession market(std::move(c));
    const auto hosts = market.market().hosts();
    market.market().addRoute(hosts.productHost, "/item.htm", [&](const RecordedRequest& r) {
        const std::string id = r.queryValue("id");
        const Product* p = market.catalogue().product(id);
        if (id == "5000004") {
            GbkText page = testmarket::pages::mallRedirectPage(hosts);
            std::transform(page.begin(), page.end(), page.begin(), [](char ch) {
                return ch >= 'a' && ch <= 'z' ? static_cast<char>(ch - 'a' + 'A') : ch;
            });
            return gbkPage(page);
        }
        if (id == "5000005") // a seller and a title, but neither storefront's title suffix
            return gbkPage("<title>plain-shop</title><script>userid: '77';</script>");
        if (id == "5000006")
            return gbkPage(testmarket::pages::productPage(*p, hosts));
        if (!p) {
            testmarket::Response missing = gbkPage(testmarket::pages::notFoundPage());
            missing.status = 404;
            return missing;
        }
        return gbkPage(p->isMall() ? testmarket::pages::mallRedirectPage(hosts)
                                   : testmarket::pages::productPage(*p, hosts));
    });
    RunBench bench;
    bench.writeIds("5000001\r\n5000002\r\n5000003\r\n5000004\r\n5000005\r\n5000006\r\n");
    bench.click();

    EXPECT_THAT(bench.outputNames(),
                ElementsAre("5000001.txt", "5000002.txt", "5000003.txt", "5000004.txt", "5000006.txt"));
    std::vector<std::string> mallPages;
    for (const RecordedRequest& r : market.requestsTo("/item.htm"))
        if (r.host == hosts.mallProductHost)
            mallPages.push_back(r.queryValue("id"));
    EXPECT_THAT(mallPages, ElementsAre("5000003", "5000004"));
    std::vector<std::string> feeds;
    for (const RecordedRequest& r : market.feedRequests())
        feeds.push_back(r.path == "/feedRateList.htm"
                            ? "market " + r.queryValue("auctionNumId") + " " + r.queryValue("userNumId")
                            : "mall " + r.queryValue("itemId") + " " + r.queryValue("sellerId"));
    feeds.erase(std::unique(feeds.begin(), feeds.end()), feeds.end());
    EXPECT_THAT(feeds, ElementsAre("market 5000001 123", "market 5000002 11111111", "mall 5000003 22222222",
                                   "mall 5000004 22222222", "mall 5000006 22222222"));
}

TEST(ProxyWindow, RequestsGoThroughTheProxyOnlyWhileItsWindowIsOpen)
{
    Catalogue c;
    c.addProduct(marketProduct("5000011", "market", numberedReviews(3)));
    c.addProduct(mallProduct("5000012", "mall", numberedReviews(3)));
    MarketSession market(std::move(c));
    for (bool open : {false, true, false}) {
        SCOPED_TRACE(open);
        market.market().clearRequests();
        RunBench bench;
        bench.writeIds("5000011\r\n5000012\r\n");
        bench.proxyText = g(market.address()); // the window's edit box holds an address either way
        bench.proxyWindowOpen = open;
        bench.click();
        const auto requests = market.market().requests();
        EXPECT_EQ(requests.size(), 7u); // 2 market + 1 mall product pages, 2 feed pages each
        for (const RecordedRequest& r : requests)
            EXPECT_EQ(r.viaProxy, open) << r.host << r.target;
        EXPECT_EQ(bench.outputText("5000011.txt"), "r1\r\nr2\r\nr3\r\n");
        EXPECT_EQ(bench.outputText("5000012.txt"), "r1\r\nr2\r\nr3\r\n");
    }
}

} // namespace
} // namespace quillet::e2e
