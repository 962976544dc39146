// The batch run driven through the run button against the simulated marketplace: start line,
// stopping, quick preview, product-ID line forms and the four naming methods.

#include "E2eSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace quillet::e2e {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

Catalogue sevenProducts(int reviewsEach, int perPage = 20)
{
    Catalogue c;
    c.setReviewsPerPage(perPage);
    for (int i = 1; i <= 7; ++i)
        c.addProduct(marketProduct(std::to_string(1000000 + i), "item" + std::to_string(i),
                                   numberedReviews(reviewsEach, "p" + std::to_string(i) + "r")));
    return c;
}

const char* const kSevenLines = "1000001\r\n1000002\r\n1000003\r\n1000004\r\n1000005\r\n1000006\r\n1000007\r\n";

TEST(BatchRunStartLine, CompleteRunsShowEachLineAndEndBehindTheLast)
{
    MarketSession market(sevenProducts(1));
    {
        RunBench bench;
        bench.writeIds(kSevenLines);
        bench.setText("编辑框序号", "3");
        std::vector<std::string> shown; // what the box shows while the run goes on
        bench.whenEvents([&]() {
            if (shown.empty() || shown.back() != bench.text("编辑框序号"))
                shown.push_back(bench.text("编辑框序号"));
            return false;
        });
        bench.click();
        EXPECT_THAT(shown, ElementsAre("3", "4", "5", "6", "7"));
        EXPECT_EQ(bench.text("编辑框序号"), "8");
        EXPECT_THAT(market.productPagesAsked(), ElementsAre("1000003", "1000004", "1000005", "1000006", "1000007"));
        EXPECT_THAT(bench.outputNames(),
                    ElementsAre("1000003.txt", "1000004.txt", "1000005.txt", "1000006.txt", "1000007.txt"));
        EXPECT_EQ(bench.outputText("1000004.txt"), "p4r1\r\n");
        EXPECT_THAT(bench.messageTexts(),
                    ElementsAre("采集完成！", "本次采集了 5 个商品：5 篇文章已保存，0 个商品没有文章。"));
        EXPECT_THAT(bench.messageTitles(), ElementsAre("信息：", "信息："));
        EXPECT_EQ(bench.text("按钮采集"), "开始采集");
        EXPECT_TRUE(bench.enabled("组合框命名方式"));
        EXPECT_FALSE(bench.app.stopRequested);
    }
    market.market().clearRequests();
    {
        // An empty start box counts as 0; empty lines are skipped but counted.
        RunBench bench;
        bench.writeIds("1000001\r\n\r\n1000002\n\n");
        bench.setText("编辑框序号", "");
        bench.click();
        EXPECT_THAT(market.productPagesAsked(), ElementsAre("1000001", "1000002"));
        EXPECT_EQ(bench.text("编辑框序号"), "5");
    }
}

TEST(BatchRunStartLine, ComboBoxIsDisabledOnlyWhileRunning)
{
    MarketSession market(sevenProducts(1));
    RunBench bench;
    bench.writeIds("1000001\r\n");
    bool disabledDuringRun = false;
    bench.whenEvents([&]() {
        disabledDuringRun = disabledDuringRun || !bench.enabled("组合框命名方式");
        return false;
    });
    bench.click();
    EXPECT_TRUE(disabledDuringRun);
    EXPECT_TRUE(bench.enabled("组合框命名方式"));
}

TEST(BatchRunStop, ClickDuringProductFiveKeepsItsArticleAndResumesAtSix)
{
    for (int naming : {1, 2}) {
        SCOPED_TRACE(naming);
        MarketSession market(sevenProducts(6, 2)); // three feed pages each
        RunBench bench;
        bench.writeIds(kSevenLines);
        bench.setIndex("组合框命名方式", naming);
        auto captions = bench.recordTexts("按钮采集");
        bench.whenEvents([&]() {
            if (bench.text("编辑框序号") != "5")
                return false;
            bench.click(); // the second click, arriving while the run pumps events
            return true;
        });
        bench.click();

        EXPECT_EQ(bench.text("编辑框序号"), "6");
        EXPECT_EQ(bench.text("按钮采集"), "开始采集");
        EXPECT_NE(std::find(captions->begin(), captions->end(), "正在停止.."), captions->end());
        EXPECT_EQ(bench.messageTexts().at(0), "采集完成！");
        EXPECT_THAT(market.productPagesAsked(), ElementsAre("1000001", "1000002", "1000003", "1000004", "1000005"));
        if (naming == 1) {
            EXPECT_THAT(bench.outputNames(),
                        ElementsAre("1000001.txt", "1000002.txt", "1000003.txt", "1000004.txt", "1000005.txt"));
            EXPECT_EQ(bench.outputText("1000004.txt"), "p4r1\r\np4r2\r\np4r3\r\np4r4\r\np4r5\r\np4r6\r\n");
            // The stop is noticed after the first review taken from then on.
            EXPECT_EQ(bench.outputText("1000005.txt"), "p5r1\r\n");
        } else {
            ASSERT_EQ(bench.outputNames().size(), 1u);
            const auto lines = crlfLines(bench.outputText(bench.outputNames()[0]));
            ASSERT_EQ(lines.size(), 5u);
            EXPECT_EQ(lines[4], "p5r1");
        }

        // The next run starts with product 6.
        market.market().clearRequests();
        bench.click();
        EXPECT_THAT(market.productPagesAsked(), ElementsAre("1000006", "1000007"));
        EXPECT_EQ(bench.text("编辑框序号"), "8");
    }
}

TEST(BatchRunStop, ClickDuringThePauseEndsItAndThePaging)
{
    Catalogue c;
    c.setReviewsPerPage(2);
    c.addProduct(marketProduct("1000001", "paused", numberedReviews(6)));
    MarketSession market(std::move(c));
    RunBench bench;
    bench.writeIds("1000001\r\n");
    bench.setText("编辑框每页延时秒", "600");
    int callsAfterFirstPage = 0;
    bench.whenEvents([&]() {
        if (market.feedRequests().size() != 1 || ++callsAfterFirstPage < 25)
            return false; // (a page from the loopback arrives long before 25 waits)
        bench.click();
        return true;
    });
    bench.click(); // returns long before the ten minutes are up
    EXPECT_EQ(market.feedRequests().size(), 1u);
    EXPECT_EQ(bench.outputText("1000001.txt"), "r1\r\nr2\r\n");
    EXPECT_EQ(bench.text("编辑框序号"), "2");
}

TEST(BatchRunPreview, ShowsTenReviewsOfPageOneAndWritesNothing)
{
    Catalogue c;
    c.addProduct(marketProduct("2000001", "first", numberedReviews(3, "a")));
    c.addProduct(marketProduct("2000002", "three pages", numberedReviews(60, "b")));
    MarketSession market(std::move(c));
    RunBench bench;
    bench.writeIds("2000001\r\n\r\n2000002\r\n2000001\r\n");
    bench.setText("编辑框序号", "2");
    bench.setIndex("组合框命名方式", 2); // even a merged run writes nothing in preview
    bench.setChecked("选择框仅信息框", true);
    auto shown = bench.recordTexts("编辑框序号");
    bench.click();

    ASSERT_EQ(bench.ui.messages().size(), 1u); // the article, and no "采集完成！"
    EXPECT_EQ(bench.messageTitles()[0], "three pages");
    std::string expected;
    for (int i = 1; i <= 10; ++i)
        expected += "b" + std::to_string(i) + "\r\n";
    EXPECT_EQ(bench.messageTexts()[0], expected);
    const auto feeds = market.feedRequests();
    ASSERT_EQ(feeds.size(), 1u);
    EXPECT_EQ(feeds[0].queryValue("currentPageNum"), "1");
    EXPECT_THAT(bench.outputNames(), IsEmpty());
    EXPECT_THAT(*shown, ElementsAre("3", "2"));
    EXPECT_EQ(bench.text("按钮采集"), "开始采集");
}

TEST(BatchRunPreview, ProductWithoutArticleStillEndsThePreview)
{
    MarketSession market(sevenProducts(1));
    RunBench bench;
    bench.writeIds("555555555\r\n1000001\r\n");
    bench.setChecked("选择框仅信息框", true);
    bench.click();
    ASSERT_EQ(bench.ui.messages().size(), 1u);
    EXPECT_EQ(bench.messageTexts()[0], "");
    EXPECT_THAT(market.productPagesAsked(), ElementsAre("555555555"));
    EXPECT_EQ(bench.text("编辑框序号"), "1");
}

TEST(BatchRunIdLines, AnArticleIsKeptWhenTheNextLineAsksForNothing)
{
    // An article is finished while the next product's first request is answered; a line too
    // long to be an address sends no request, and the article before it must still be written.
    MarketSession market(sevenProducts(1));
    const std::string tooLong(2 * 1024 * 1024, '9');
    RunBench bench;
    bench.writeIds("1000001\r\n" + tooLong + "\r\n1000002\r\n" + tooLong + "\r\n");
    bench.click();
    EXPECT_THAT(market.productPagesAsked(), ElementsAre("1000001", "1000002"));
    EXPECT_THAT(bench.outputNames(), ElementsAre("1000001.txt", "1000002.txt"));
    EXPECT_EQ(bench.outputText("1000002.txt"), "p2r1\r\n");
    EXPECT_EQ(bench.messageTexts().at(1).rfind("本次采集了 4 个商品：2 篇文章已保存，2 个商品没有文章", 0), 0u);
}

TEST(BatchRunIdLines, ProductIdIsTakenFromAddressesOrTheWholeLine)
{
    Catalogue c;
    c.addProduct(marketProduct("12345678", "widget", numberedReviews(1)));
    MarketSession market(std::move(c));
    RunBench bench;
    bench.writeIds("12345678\r\n"
                   "http://item.taobao.com/item.htm?spm=x&id=12345678\r\n"
                   "http://item.taobao.com/item.htm?id=12345678&ns=1\r\n"
                   "id=1234\r\n"
                   "abc def\r\n"
                   "\xD6\xD0\t<x>\r\n");
    bench.click();
    EXPECT_THAT(market.productPagesAsked(),
                ElementsAre("12345678", "12345678", "12345678", "id=1234", "abc def", "\xD6\xD0\t<x>"));
    // Whatever the line holds, the request line carries it percent-encoded.
    const auto pages = market.requestsTo("/item.htm");
    ASSERT_EQ(pages.size(), 6u);
    EXPECT_EQ(pages[3].query, "id=id%3D1234");
    EXPECT_EQ(pages[4].query, "id=abc%20def");
    EXPECT_EQ(pages[5].query, "id=%D6%D0%09%3Cx%3E");
    EXPECT_THAT(bench.outputNames(), ElementsAre("12345678.txt"));
    EXPECT_EQ(bench.text("编辑框序号"), "7");
}

TEST(BatchRunNaming, TitleNamesAvoidClashesAndIdNamesOverwrite)
{
    Catalogue c;
    c.addProduct(marketProduct("3000001", "A/B", {review("one")}));
    c.addProduct(marketProduct("3000002", "A/B", {review("two")}));
    c.addProduct(marketProduct("3000003", "A/B", {review("three")}));
    MarketSession market(std::move(c));
    {
        RunBench bench;
        bench.writeIds("3000001\r\n3000002\r\n3000003\r\n");
        bench.setIndex("组合框命名方式", 0);
        bench.setText("编辑框扩展名", "htm");
        bench.click();
        EXPECT_THAT(bench.outputNames(), ElementsAre("A／B.htm", "A／B_1.htm", "A／B_2.htm"));
        EXPECT_EQ(bench.outputText("A／B.htm"), "one\r\n");
        EXPECT_EQ(bench.outputText("A／B_2.htm"), "three\r\n");
    }
    {
        RunBench bench;
        bench.writeIds("3000001\r\n3000001\r\n");
        testsupport::writeFileBytes(bench.outputFolder() / "3000001.txt", "an older and much longer article\r\n");
        bench.click();
        EXPECT_THAT(bench.outputNames(), ElementsAre("3000001.txt"));
        EXPECT_EQ(bench.outputText("3000001.txt"), "one\r\n");
    }
}

TEST(BatchRunNaming, MergedRunsWriteOneLinePerArticle)
{
    Catalogue c;
    c.addProduct(marketProduct("123456", "ab", {review("a\r\nb")}));
    c.addProduct(mallProduct("654321", "cd", {review("c"), review("d")}));
    MarketSession market(std::move(c));
    // The run's start time, "YYYY-MM-DD hh-mm-ss.txt".
    auto isStampName = [](const std::string& name) {
        const std::string shape = "9999-99-99 99-99-99.txt";
        if (name.size() != shape.size())
            return false;
        for (size_t i = 0; i < name.size(); ++i)
            if (shape[i] == '9' ? !std::isdigit(static_cast<unsigned char>(name[i])) : name[i] != shape[i])
                return false;
        return true;
    };
    {
        RunBench bench;
        bench.writeIds("123456\r\n999999\r\n654321\r\n");
        bench.setIndex("组合框命名方式", 3);
        bench.setText("编辑框组合", "#评论#");
        bench.click();
        ASSERT_EQ(bench.outputNames().size(), 1u);
        EXPECT_TRUE(isStampName(bench.outputNames()[0])) << bench.outputNames()[0];
        EXPECT_EQ(bench.outputText(bench.outputNames()[0]), "123456|ab\r\n654321|cd\r\n");
    }
    {
        RunBench bench;
        bench.writeIds("123456\r\n654321\r\n");
        bench.setIndex("组合框命名方式", 2);
        bench.setText("编辑框组合", "[#评论#]\r\n");
        bench.click();
        ASSERT_EQ(bench.outputNames().size(), 1u);
        EXPECT_EQ(bench.outputText(bench.outputNames()[0]), "[ab]\r\n[c][d]\r\n");
    }
    {
        // No product yields an article: the merged file is there and empty.
        RunBench bench;
        bench.writeIds("999999\r\n");
        bench.setIndex("组合框命名方式", 2);
        bench.click();
        ASSERT_EQ(bench.outputNames().size(), 1u);
        EXPECT_EQ(bench.outputText(bench.outputNames()[0]), "");
        EXPECT_THAT(bench.messageTexts(), ElementsAre("采集完成！", ::testing::HasSubstr("1 个商品没有文章")));
    }
}

TEST(BatchRunNaming, HostileTitlesAndExtensionsStayInsideTheFolder)
{
    Catalogue c;
    c.addProduct(marketProduct("3100001", std::string("a\0b", 3), {review("one")}));
    c.addProduct(marketProduct("3100002", std::string("a\0b", 3), {review("two")}));
    Product broken = marketProduct("3100003", "", {review("three")});
    broken.title = "\x81/x"; // a lead byte without its trail, then a slash
    c.addProduct(broken);
    MarketSession market(std::move(c));
    RunBench bench;
    bench.writeIds("3100001\r\n3100002\r\n3100003\r\n");
    bench.setIndex("组合框命名方式", 0);
    bench.setText("编辑框扩展名", "../../x");
    bench.click(); // a NUL in a title once made this run hang
    // The lone lead byte goes: kept, it would swallow the first byte of the full-width slash.
    EXPECT_THAT(bench.outputNames(), ElementsAre("ab...／..／x", "ab_1...／..／x", "／x...／..／x"));
    EXPECT_EQ(bench.messageTexts().at(0), "采集完成！");
    EXPECT_FALSE(std::filesystem::exists(bench.folder.file("x"))); // where "out/ab.../../x" led
}

TEST(BatchRunNaming, FolderAndExtensionChangedDuringARunApplyToTheWholeNextProduct)
{
    Catalogue c;
    for (const char* id : {"3200001", "3200002", "3200003"})
        c.addProduct(mallProduct(id, std::string("T") + id, {review(std::string("r") + id)}));
    MarketSession market(std::move(c));
    RunBench bench;
    const std::filesystem::path other = bench.folder.file("other");
    testsupport::writeFileBytes(other / "T3200003.htm", "kept"); // makes the mall title of product 3 shuffle
    bench.writeIds("3200001\r\n3200002\r\n3200003\r\n");
    bench.setIndex("组合框命名方式", 0);
    bool changed = false;
    bench.whenEvents([&]() {
        // While product 2 is harvested: it keeps the place it started with, product 3 gets the new one.
        if (!changed && bench.text("编辑框序号") == "2") {
            bench.setGbkText("编辑框保存目录", bench.folder.gbkFile("other"));
            bench.setText("编辑框扩展名", "htm");
            changed = true;
        }
        return false;
    });
    bench.click();
    EXPECT_THAT(bench.outputNames(), ElementsAre("T3200001.txt", "T3200002.txt"));
    std::vector<std::string> inOther;
    for (const auto& entry : std::filesystem::directory_iterator(other))
        inOther.push_back(entry.path().filename().string());
    std::sort(inOther.begin(), inOther.end());
    EXPECT_THAT(inOther, ElementsAre("T3200003 r3200003.htm", "T3200003.htm"));
}

TEST(BatchRunIdFile, MissingFileOnlyAsksForOne)
{
    MarketSession market(sevenProducts(1));
    RunBench bench;
    bench.setText("编辑框序号", "4");
    bench.click(); // no ids.txt written
    EXPECT_THAT(bench.messageTexts(), ElementsAre("请先选择保存商品ID或商品地址的文本文件！"));
    EXPECT_EQ(bench.text("编辑框序号"), "4");
    EXPECT_EQ(bench.text("按钮采集"), "开始采集");
    EXPECT_TRUE(market.market().requests().empty());
    bench.setGbkText("编辑框商品ID文件", bench.folder.gbkFile(""));
    bench.click(); // a folder is no product-ID file either
    EXPECT_EQ(bench.ui.messages().size(), 2u);
}

} // namespace
} // namespace quillet::e2e
