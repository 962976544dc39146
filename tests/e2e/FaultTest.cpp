// Runs that meet a failing marketplace, an unwritable output folder or a damaged product-ID
// file: each ends normally with every article it could make.

#include "E2eSupport.h"

#include "testmarket/Fault.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace quillet::e2e {
namespace {

using ::testing::ElementsAre;
using ::testing::IsSupersetOf;
using testmarket::Fault;
using testmarket::FaultKind;

// Five products on both storefronts, two of them with two feed pages.
Catalogue fiveMixedProducts()
{
    Catalogue c;
    c.setReviewsPerPage(2);
    c.addProduct(marketProduct("6000001", "one", numberedReviews(4)));
    c.addProduct(mallProduct("6000002", "two", numberedReviews(4)));
    c.addProduct(marketProduct("6000003", "three", numberedReviews(2)));
    c.addProduct(mallProduct("6000004", "four", numberedReviews(2)));
    c.addProduct(marketProduct("6000005", "five", numberedReviews(2)));
    return c;
}

const char* const kFiveLines = "6000001\r\n6000002\r\n6000003\r\n6000004\r\n6000005\r\n";

Fault fault(FaultKind kind, std::string host, std::string path = {}, int after = 0, int times = -1)
{
    Fault f;
    f.kind = kind;
    f.host = std::move(host);
    f.path = std::move(path);
    f.afterRequests = after;
    f.times = times;
    return f;
}

void expectNormalEnd(const RunBench& bench, const std::string& lastLine)
{
    EXPECT_EQ(bench.text("按钮采集"), "开始采集");
    EXPECT_EQ(bench.text("编辑框序号"), lastLine);
    const std::vector<std::string> texts = bench.messageTexts();
    ASSERT_GE(texts.size(), 2u);
    EXPECT_EQ(texts[texts.size() - 2], "采集完成！");
    EXPECT_THAT(texts.back(), ::testing::HasSubstr("本次采集了"));
}

TEST(FaultsDuringRun, FailedRequestsCostOnlyWhatTheyCarried)
{
    MarketSession market(fiveMixedProducts());
    const std::string all[] = {"6000001.txt", "6000002.txt", "6000003.txt", "6000004.txt", "6000005.txt"};
    struct Case {
        const char* name;
        Fault fault;
        std::vector<std::string> articles;
    };
    Fault truncatedPage = fault(FaultKind::Truncate, "detail.tmall.com", "/item.htm", 0, 1);
    truncatedPage.bytes = 100;
    Fault slow = fault(FaultKind::Latency, "");
    slow.delayMs = 20;
    Fault serverError = fault(FaultKind::ServerError, "rate.taobao.com", "/feedRateList.htm", 1, 1);
    serverError.status = 500;
    const Case cases[] = {
        // (a page lost once is asked for again)
        {"5xx product page", fault(FaultKind::ServerError, "item.taobao.com", "/item.htm", 1, 1),
         {all[0], all[1], all[2], all[3], all[4]}},
        {"5xx second feed page", serverError, {all[0], all[1], all[2], all[3], all[4]}},
        // (a reset on a reused connection is retried once by the HTTP layer, so every answer is one)
        {"reset mall feeds", fault(FaultKind::Reset, "rate.tmall.com"), {all[0], all[2], all[4]}},
        {"truncated mall page", truncatedPage, {all[0], all[1], all[2], all[3], all[4]}},
        {"empty market feeds", fault(FaultKind::EmptyPage, "rate.taobao.com"), {all[1], all[3]}},
        {"empty product pages", fault(FaultKind::EmptyPage, "item.taobao.com"), {}},
        {"latency everywhere", slow, {all[0], all[1], all[2], all[3], all[4]}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        market.market().clearFaults();
        market.market().clearRequests();
        market.market().addFault(k.fault);
        RunBench bench;
        bench.writeIds(kFiveLines);
        bench.click();
        expectNormalEnd(bench, "6");
        EXPECT_EQ(bench.outputNames(), k.articles);
        if (!k.articles.empty() && k.articles.front() == all[0]) {
            EXPECT_EQ(bench.outputText("6000001.txt"), "r1\r\nr2\r\nr3\r\nr4\r\n");
        }
    }
}

TEST(FaultsDuringRun, TruncatedFeedAndHugePageDoNotStopTheRun)
{
    MarketSession market(fiveMixedProducts());
    {
        market.market().addFault(fault(FaultKind::Truncate, "rate.taobao.com", "/feedRateList.htm", 0, 1));
        RunBench bench;
        bench.writeIds(kFiveLines);
        bench.click();
        expectNormalEnd(bench, "6");
        EXPECT_THAT(bench.outputNames(), IsSupersetOf({"6000002.txt", "6000003.txt", "6000004.txt", "6000005.txt"}));
    }
    {
        // 50 MB after the product page of the first product: its markers are still there.
        market.market().clearFaults();
        market.market().addFault(fault(FaultKind::HugePage, "item.taobao.com", "/item.htm", 0, 1));
        RunBench bench;
        bench.writeIds("6000001\r\n6000003\r\n");
        bench.click();
        expectNormalEnd(bench, "3");
        EXPECT_THAT(bench.outputNames(), ElementsAre("6000001.txt", "6000003.txt"));
        EXPECT_EQ(bench.outputText("6000001.txt"), "r1\r\nr2\r\nr3\r\nr4\r\n");
    }
}

TEST(FaultsDuringRun, RefusingFeedStopsTheRunAfterItsRetries)
{
    MarketSession market(fiveMixedProducts());
    Fault refusal = fault(FaultKind::RefuseFeedWait, "rate.taobao.com");
    refusal.waitSeconds = 0;
    market.market().addFault(refusal);
    RunBench bench;
    bench.writeIds("6000002\r\n6000001\r\n6000003\r\n");
    bench.click();
    // One request and three retries; the run stops at the refused product.
    EXPECT_EQ(market.requestsTo("/feedRateList.htm").size(), 4u);
    expectNormalEnd(bench, "2");
    EXPECT_THAT(market.productPagesAsked(), ElementsAre("6000002", "6000001"));
    EXPECT_THAT(bench.outputNames(), ElementsAre("6000002.txt"));
}

TEST(FaultsDuringRun, UnwritableOutputFolderIsReportedAndTheRunGoesOn)
{
    MarketSession market(fiveMixedProducts());
    for (int naming : {0, 1, 2, 3}) {
        SCOPED_TRACE(naming);
        market.market().clearRequests();
        RunBench bench;
        testsupport::writeFileBytes(bench.outputFolder(), "a file where the folder should be");
        bench.writeIds(kFiveLines);
        bench.setIndex("组合框命名方式", naming);
        bench.click();
        // The start line waits at the first article that could not be written.
        expectNormalEnd(bench, "1");
        EXPECT_THAT(market.productPagesAsked(),
                    ElementsAre("6000001", "6000002", "6000003", "6000004", "6000005"));
        ASSERT_EQ(bench.ui.messages().size(), 3u);
        EXPECT_THAT(bench.messageTexts()[0], ::testing::StartsWith("有 5 篇文章未能写入"));
        EXPECT_EQ(testsupport::readFileBytes(bench.outputFolder()), "a file where the folder should be");
    }
}

TEST(FaultsDuringRun, UnreachableProxyEndsTheRunWithoutArticles)
{
    MarketSession market(fiveMixedProducts());
    RunBench bench;
    bench.writeIds(kFiveLines);
    bench.proxyWindowOpen = true;
    bench.proxyText = "127.0.0.1:1";
    bench.click();
    expectNormalEnd(bench, "6");
    EXPECT_TRUE(bench.outputNames().empty());
    EXPECT_TRUE(market.market().requests().empty());
}

TEST(FaultsDuringRun, LongShuffledTitleStillNamesAFile)
{
    std::string longReview;
    for (int i = 0; i < 120; ++i)
        longReview += "好";
    Catalogue c;
    c.addProduct(mallProduct("6000010", "这是一个相当长的商品标题 用来检查文件名的长度 春夏秋冬新款女装连衣裙 包邮", {review(longReview)}));
    MarketSession market(std::move(c));
    RunBench bench;
    bench.writeIds("6000010\r\n6000010\r\n");
    bench.setIndex("组合框命名方式", 0);
    bench.setChecked("选择框标题打乱", true);
    bench.click();
    expectNormalEnd(bench, "3");
    EXPECT_EQ(bench.messageTexts().size(), 2u);
    const auto names = bench.outputNames();
    ASSERT_EQ(names.size(), 2u);
    for (const std::string& name : names) {
        EXPECT_LE(name.size(), 255u);
        EXPECT_EQ(bench.outputText(name), longReview + "\r\n");
    }
}

TEST(FaultsDuringRun, DamagedProductIdFile)
{
    MarketSession market(fiveMixedProducts());
    RunBench bench;
    std::string ids = "6000001";
    ids += '\0';
    ids += "6000002\r\n";
    ids += std::string(1 << 20, '7') + "\r\n";                      // a 1 MB line of digits
    ids += std::string(1 << 20, 'x') + "?id=6000003\r\n";          // an address at the end of 1 MB
    ids += "6000004\x1A";
    ids += "\r\r\n";                                                // a lone CR is part of the entry
    ids += std::string(3, '\0') + "6000005";                       // no line end at the end
    bench.writeIds(ids);
    bench.click();
    expectNormalEnd(bench, "11");
    // The 1 MB product ID makes a request line the marketplace may refuse to read; either way
    // the lines around it are harvested.
    std::vector<std::string> asked;
    for (const std::string& id : market.productPagesAsked())
        if (id.size() < 1000)
            asked.push_back(id);
    EXPECT_THAT(asked, ElementsAre("6000001", "6000002", "6000003", "6000004", "\r", "6000005"));
    EXPECT_THAT(bench.outputNames(),
                ElementsAre("6000001.txt", "6000002.txt", "6000003.txt", "6000004.txt", "6000005.txt"));
}

} // namespace
} // namespace quillet::e2e
