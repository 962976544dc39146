// The keyword window: the search addresses, the rows it reads, the page cap, a stop in the
// middle of a page and the pages it leaves behind when nothing is found.

#include "CollectorFixture.h"

#include "idcollect/FolderButton.h"
#include "idcollect/KeywordIds.h"
#include "idcollect/ShopIds.h"
#include "settings/SettingsStore.h"
#include "ui/SecondaryWindows.h"

#include <gmock/gmock.h>

namespace quillet::idcollect::testing {
namespace {

using ::testing::HasSubstr;
using testsupport::readFileBytes;

// A search result page holding these rows.
GbkText searchPage(const std::vector<std::string>& rows)
{
    GbkText page = "<html><body><div class=\"items\">";
    for (const std::string& row : rows)
        page += row;
    return page + "</div></body></html>";
}

std::string row(const std::string& id)
{
    return "<div class=\"row item icon\"><a href=\"//item.taobao.com/item.htm?id=" + id + "&ns=1\">t</a></div>";
}

class KeywordRunTest : public CollectorFixture {
protected:
    KeywordRunTest()
    {
        window = ui::makeKeywordIdWindow();
        control("编辑框保存目录").setText(folder.gbkFile("out"));
    }

    RunOutcome run(const GbkText& keyword, const std::string& pages)
    {
        control("编辑框关键词").setText(keyword);
        control("编辑框页数").setText(pages);
        return keywordRunClicked(window, context, ui);
    }

    [[nodiscard]] std::string idFile(const char* utf8Keyword) const
    {
        return readFileBytes(folder.file("out") / (std::string(utf8Keyword) + ".txt"));
    }
};

TEST_F(KeywordRunTest, QueryValuesAreTheKeywordsOwnBytes)
{
    EXPECT_EQ(percentEncodeGbk(g("女装")), "%C5%AE%D7%B0");
    EXPECT_EQ(percentEncodeGbk("a.b_c-D&e f/9"), "a.b_c-D%26e%20f%2F9");
    EXPECT_EQ(searchAddress("s.taobao.com", g("女装"), 1, 3),
              "http://s.taobao.com/search?&style=list&q=%C5%AE%D7%B0&ex_q=@&sort=sale-desc&bcoffset=1&newpre=null&s=80");
}

TEST_F(KeywordRunTest, RowsGiveTheirFirstIdAndTheFileKeepsEachOnce)
{
    serveSearch({searchPage({row("111"), row("222"),
                             "<div class=\"row\"><a href=\"?id=999\">not a row</a></div>",
                             "<DIV CLASS=\"Row Item\"><A HREF=\"//x/y?a=1&id=333\">capitals</A></DIV>",
                             "<div class=\"row item ad\"><a href=\"//click/?p=1\">no id</a></div>",
                             "<div class=\"row item\">?nid=5 <a href=\"//x/item.htm?id = 444\">spaces</a></div>",
                             row("111")}),
                 searchPage({row("555")})});
    control("选择框插入").setChecked(false);
    const RunOutcome outcome = run(g("女装"), "2");

    const auto requests = requestsTo("/search");
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].host, "s.taobao.com");
    EXPECT_EQ(requests[0].query, "&style=list&q=%C5%AE%D7%B0&ex_q=@&sort=renqi-desc&bcoffset=1&newpre=null&s=0");
    EXPECT_EQ(requests[1].queryValue("s"), "40");

    // Every line written counts, repeats included; the file keeps each ID once, at its end.
    EXPECT_EQ(outcome.count, 6);
    EXPECT_EQ(idFile("女装"), "222\r\n333\r\n444\r\n111\r\n555");
    EXPECT_EQ(window.title(), g("采集完成！共 6 个宝贝"));
    EXPECT_EQ(control("按钮采集").text(), g("采集"));
    EXPECT_EQ(lastMessage(), g("OK！总采集了 6 条宝贝！\r\n\r\n右击 .. 目录可以打开该目录，目录下保存着以关键词命名的商品id文件；"
                               "你可以在【主界面-第一步-商品ID文件】选择本次采集的商品id文件！"));
    EXPECT_TRUE(std::filesystem::is_empty(folder.file("prog"))) << "no page is left when IDs were found";
}

TEST_F(KeywordRunTest, AtMostAHundredPagesAndTwoLeftBehindWhenNothingIsFound)
{
    serveSearch({searchPage({}), GbkText("page two")});
    control("组合框排序").setSelectedIndex(2);
    const RunOutcome outcome = run("x", "150");
    EXPECT_EQ(requestsTo("/search").size(), 100u);
    EXPECT_EQ(requestsTo("/search").back().queryValue("s"), "3960");
    EXPECT_EQ(requestsTo("/search").back().queryValue("sort"), "credit-desc");
    EXPECT_EQ(outcome.count, 0);
    EXPECT_EQ(idFile("x"), "");
    EXPECT_EQ(readFileBytes(folder.file("prog") / "提交给墨汀_1.htm"), searchPage({}));
    EXPECT_EQ(readFileBytes(folder.file("prog") / "提交给墨汀_2.htm"), "page two");
    EXPECT_FALSE(std::filesystem::exists(folder.file("prog") / "提交给墨汀_3.htm"));
    EXPECT_THAT(lastMessage(), ::testing::EndsWith(g("商品id文件！"))) << "the pages are where they belong";

    // A program folder that cannot be written: the pages go beside the settings file, and
    // the message says so.
    std::filesystem::remove_all(folder.file("prog"));
    testsupport::writeFileBytes(folder.file("prog"), "not a folder");
    const RunOutcome moved = run("y", "1");
    EXPECT_EQ(moved.dumpFolder, context.settingsFolder);
    EXPECT_EQ(readFileBytes(folder.file("config") / "提交给墨汀_1.htm"), searchPage({}));
    EXPECT_THAT(lastMessage(), HasSubstr(g("没有找到宝贝的页面保存在：") + context.settingsFolder));
}

TEST_F(KeywordRunTest, StopInTheMiddleOfAPageKeepsWhatWasWritten)
{
    serveSearch({searchPage({row("111111"), row("222222"), row("333333"), row("444444")})});
    when([this] { return window.title().find(g(" 页，2 条")) != GbkText::npos; },
         [this] { (void)keywordRunClicked(window, context, ui); });
    const RunOutcome outcome = run("stop", "3");
    EXPECT_TRUE(outcome.stopped);
    EXPECT_EQ(requestsTo("/search").size(), 1u);
    EXPECT_EQ(idFile("stop"), "http://item.taobao.com/item.htm?id=111111\r\nhttp://item.taobao.com/item.htm?id=222222");
    EXPECT_EQ(window.title(), g("采集完成！共 2 个宝贝"));
    EXPECT_EQ(control("按钮采集").text(), g("采集"));
}

TEST_F(KeywordRunTest, NoPagesOrAnUnwritableFolder)
{
    for (const char* pages : {"0", "", "abc", "-3"}) {
        const RunOutcome outcome = run("none", pages);
        EXPECT_EQ(outcome.count, 0) << pages;
        EXPECT_TRUE(std::filesystem::exists(folder.file("out") / "none.txt")) << pages;
        EXPECT_THAT(lastMessage(), HasSubstr(g("总采集了 0 条"))) << pages;
    }
    EXPECT_TRUE(requestsTo("/search").empty());

    serveSearch({searchPage({row("123456")})});
    testsupport::writeFileBytes(folder.file("blocker"), "x");
    control("编辑框保存目录").setText(folder.gbkFile("blocker"));
    const RunOutcome outcome = run("..", "1");
    EXPECT_TRUE(outcome.fileFailed);
    EXPECT_EQ(outcome.filePath, folder.gbkFile("blocker") + "/...txt");
    EXPECT_THAT(lastMessage(), HasSubstr(g("注意：商品ID文件未能写入：") + outcome.filePath));
}

TEST_F(KeywordRunTest, ControlsComeBackAndTheFolderButtonPicksAndShows)
{
    settings::SettingsStore store;
    ASSERT_TRUE(store.openStore(folder.gbkFile("settings.ini")));
    control("编辑框关键词").setText(g("连衣裙"));
    control("组合框排序").setSelectedIndex(1);
    saveKeywordWindow(window, store);
    ui::Window shop = ui::makeShopIdWindow();
    shop.find(g("单选框收藏"))->setChecked(true);
    shop.find(g("单选框默认"))->setChecked(false);
    saveShopWindow(shop, store);

    ui::Window keywordAgain = ui::makeKeywordIdWindow();
    restoreKeywordWindow(keywordAgain, store);
    EXPECT_EQ(keywordAgain.find(g("编辑框关键词"))->text(), g("连衣裙"));
    EXPECT_EQ(keywordAgain.find(g("组合框排序"))->selectedIndex(), 1);
    ui::Window shopAgain = ui::makeShopIdWindow();
    restoreShopWindow(shopAgain, store);
    EXPECT_EQ(shopSortIndex(shopAgain), 5);

    // Cancel keeps the folder, a choice replaces it; a right click shows it.
    chooseSaveFolder(window, ui);
    EXPECT_EQ(control("编辑框保存目录").text(), folder.gbkFile("out"));
    ui.queueFolderAnswer("/chosen");
    chooseSaveFolder(window, ui);
    EXPECT_EQ(control("编辑框保存目录").text(), "/chosen");
    EXPECT_EQ(ui.folderRequests().front().first, folder.gbkFile("out"));
    openSaveFolder(window, ui);
    ASSERT_EQ(ui.programsStarted().size(), 1u);
    EXPECT_EQ(ui.programsStarted()[0].program, "xdg-open");
    EXPECT_EQ(ui.programsStarted()[0].arguments, std::vector<GbkText>{"/chosen"});
}

} // namespace
} // namespace quillet::idcollect::testing
