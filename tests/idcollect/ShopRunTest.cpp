// The shop window: listing addresses, the lines written, the clean-up, the count query, a stop
// during a run and what bad input gives.

#include "CollectorFixture.h"

#include "idcollect/ShopIds.h"
#include "ui/SecondaryWindows.h"

#include <gmock/gmock.h>

namespace quillet::idcollect::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testsupport::readFileBytes;

// A "shop-list" listing page: page count in "page-info", one li per ID.
GbkText listPage(int pages, const std::vector<std::string>& ids, int itemCount = -1)
{
    GbkText page = "<html><head><link rel=\"stylesheet\" href=\"a.css\"></head><body>";
    if (itemCount >= 0)
        page += g("共搜索到<span> ") + std::to_string(itemCount) + g(" </span>个符合条件的商品。");
    page += "<span class=\"page-info\">1/" + std::to_string(pages) + "</span><ul class=\"shop-list\">";
    for (const std::string& id : ids)
        page += "<li class=\"item\"><a href=\"//item.taobao.com/item.htm?id=" + id + "\">t</a></li>";
    return page + "</ul></body></html>";
}

class ShopRunTest : public CollectorFixture {
protected:
    ShopRunTest() { window = ui::makeShopIdWindow(); }

    RunOutcome start(const std::string& address, const GbkText& folderText)
    {
        control("编辑框店铺地址").setText(address);
        control("编辑框保存目录").setText(folderText);
        return shopStartClicked(window, context, ui);
    }
};

TEST_F(ShopRunTest, RunWritesProductAddressesOnceEachAtTheirLastPlace)
{
    serveListing("shop1.taobao.com", {listPage(2, {"111111", "222222", "333333"}), listPage(2, {"222222", "444444"})});
    // Capitals and a port in the address, a folder ending in a backslash.
    const RunOutcome outcome = start("http://Shop1.TAOBAO.com:8080/", folder.gbkFile("out") + "\\");

    const auto requests = requestsTo("/search.htm");
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].host, "shop1.taobao.com");
    EXPECT_EQ(requests[0].query, "pageNo=1&orderType=defaultSort");
    EXPECT_EQ(requests[1].query, "pageNo=2&orderType=defaultSort");

    // The file keeps the address's capitals and its port, with a full-width colon.
    const auto file = folder.file("out") / "Shop1.TAOBAO.com\xEF\xBC\x9A" "8080.txt";
    EXPECT_EQ(outcome.filePath, folder.gbkFile("out") + "\\Shop1.TAOBAO.com\xA3\xBA" "8080.txt");
    const std::string head = "http://item.taobao.com/item.htm?id=";
    EXPECT_EQ(readFileBytes(file), head + "111111\r\n" + head + "333333\r\n" + head + "222222\r\n" + head + "444444");
    EXPECT_EQ(outcome.count, 4);
    EXPECT_EQ(lastMessage(), g("OK！已采集了 4 条宝贝！\r\n\r\n右击 .. 目录可以打开该目录，目录下保存着以关键词命名的商品id文件；"
                               "你可以在【主界面-第一步-商品ID文件】选择本次采集的商品id文件！"));
    EXPECT_EQ(ui.messages().back().title, g("信息："));
    EXPECT_EQ(window.title(), g("采集商品ID_按店铺"));
    EXPECT_EQ(control("按钮开始").text(), g("开始采集"));
}

TEST_F(ShopRunTest, SortPrefixAndMallHost)
{
    serveListing("shop2.tmall.com", {listPage(1, {"555555", "666666"})});
    control("单选框默认").setChecked(false);
    control("单选框销量").setChecked(true);
    (void)start("shop2.tmall.com", folder.gbkFile("out"));
    EXPECT_EQ(requestsTo("/search.htm").back().query, "pageNo=1&orderType=hotsell_desc");
    const std::string head = "http://detail.tmall.com/item.htm?id=";
    EXPECT_EQ(readFileBytes(folder.file("out") / "shop2.tmall.com.txt"), head + "555555\r\n" + head + "666666");

    control("选择框插入").setChecked(false);
    serveListing("shop3.tmall.com", {listPage(1, {"777777"})});
    (void)start("https://shop3.tmall.com/index.htm", folder.gbkFile("out"));
    EXPECT_EQ(readFileBytes(folder.file("out") / "shop3.tmall.com.txt"), "777777\r\n") << "one line stays as written";
}

TEST_F(ShopRunTest, ItemBlocksWhenThereIsNoShopList)
{
    // Only dl elements of class exactly "item" or "item last" are items; four-digit ids and
    // items without a link give nothing; an itemid parameter gives its digits.
    const GbkText page = "<b class=\"ui-page-s-len\">1/1</b>"
                         "<dl class=\"item\"><a href=\"//x/item.htm?itemid=123456\">a</a></dl>"
                         "<dl class=\"item last\"><a href=\"//x/item.htm?id=1234\">b</a></dl>"
                         "<dl class=\"item ad\"><a href=\"//x/item.htm?id=999999\">c</a></dl>"
                         "<dl class=\"item\"><img src=\"p.jpg\"/></dl>"
                         "<DL CLASS=\"Item Last\"><A HREF = \"//x/item.htm?id=654321\">d</A></DL>";
    serveListing("blocks.taobao.com", {page});
    control("选择框插入").setChecked(false);
    (void)start("blocks.taobao.com", folder.gbkFile("out"));
    EXPECT_EQ(readFileBytes(folder.file("out") / "blocks.taobao.com.txt"), "123456\r\n654321");
}

TEST_F(ShopRunTest, CountQueryReportsItemsAndPagesOrEstimatesThem)
{
    serveListing("count.taobao.com", {listPage(3, {"111111"}, 25)});
    control("编辑框店铺地址").setText("http://count.taobao.com/");
    shopCountClicked(window, context, ui);
    EXPECT_EQ(lastMessage(), g("该店有 25 个宝贝，分 3 页显示！"));
    EXPECT_EQ(window.title(), g("查询完成！"));

    // No count line: 20 items on each of 5 pages make 20 x 5 - 20 / 2.
    std::vector<std::string> twenty;
    for (int i = 0; i < 20; ++i)
        twenty.push_back(std::to_string(100000 + i));
    serveListing("estimate.tmall.com", {listPage(5, twenty)});
    control("编辑框店铺地址").setText("http://estimate.tmall.com/");
    shopCountClicked(window, context, ui);
    EXPECT_EQ(lastMessage(), g("该天猫店大概有 90 个宝贝，分 5 页显示！"));
    EXPECT_FALSE(std::filesystem::exists(folder.file("out"))) << "the count query writes nothing";
}

TEST_F(ShopRunTest, StopTakesEffectAfterTheCurrentPage)
{
    serveListing("stop.taobao.com", {listPage(3, {"111111", "222222"}), listPage(3, {"333333"})});
    auto captions = std::make_shared<std::vector<GbkText>>();
    window.addObserver([captions](const ui::Window&, const ui::Control* c, ui::Property p) {
        if (c && p == ui::Property::Text && c->name() == g("按钮开始"))
            captions->push_back(c->text());
    });
    when([this] { return window.title().rfind("(1/3)", 0) == 0; },
         [this] { (void)shopStartClicked(window, context, ui); });
    control("选择框插入").setChecked(false);
    const RunOutcome outcome = start("stop.taobao.com", folder.gbkFile("out"));

    EXPECT_EQ(requestsTo("/search.htm").size(), 1u);
    EXPECT_TRUE(outcome.stopped);
    EXPECT_THAT(*captions, ElementsAre(g("停止"), g("正在停止.."), g("开始采集")));
    EXPECT_EQ(readFileBytes(folder.file("out") / "stop.taobao.com.txt"), "111111\r\n222222");
    EXPECT_THAT(lastMessage(), HasSubstr(g("已采集了 2 条")));
}

TEST_F(ShopRunTest, BadInputGivesAClearResult)
{
    // An address on neither domain: the message, no request, no run.
    const RunOutcome refused = start("http://shop.example.com/", folder.gbkFile("out"));
    EXPECT_FALSE(refused.ran);
    EXPECT_EQ(lastMessage(), g("输入店铺地址错误！您的店铺地址要么挂名在tmall.com下要么就是taobao.com"));
    (void)start("", folder.gbkFile("out"));
    EXPECT_EQ(ui.messages().size(), 2u);
    shopCountClicked(window, context, ui);
    EXPECT_EQ(window.title(), g("查询完成！"));
    EXPECT_TRUE(market.requests().empty());
    EXPECT_EQ(control("按钮开始").text(), g("开始采集"));

    // 2 MB of unclosed tags, a page that is no HTML at all, and no page: nothing found.
    GbkText unclosed;
    while (unclosed.size() < 2'000'000)
        unclosed += "<ul class=\"shop-list\"><li><span class=\"page-info\">";
    serveListing("huge.taobao.com", {unclosed});
    static const char binary[] = "\x00\xFF\x81/\x1A{\"json\":1}";
    serveListing("binary.taobao.com", {GbkText(binary, sizeof binary - 1)});
    for (const char* host : {"huge.taobao.com", "binary.taobao.com", "missing.taobao.com"}) {
        const RunOutcome outcome = start(host, folder.gbkFile("out"));
        EXPECT_EQ(outcome.count, 0) << host;
        EXPECT_FALSE(outcome.fileFailed) << host;
        EXPECT_THAT(lastMessage(), HasSubstr(g("已采集了 0 条"))) << host;
    }

    // A folder that cannot be made: the message says the file was not written, and where.
    testsupport::writeFileBytes(folder.file("blocker"), "x");
    serveListing("ok.taobao.com", {listPage(1, {"111111"})});
    const RunOutcome failed = start("ok.taobao.com", folder.gbkFile("blocker") + "/sub");
    EXPECT_TRUE(failed.fileFailed);
    EXPECT_EQ(failed.count, 0);
    EXPECT_THAT(lastMessage(), HasSubstr(g("注意：商品ID文件未能写入：") + failed.filePath));

    // A shop name that would climb out of the folder stays inside it.
    EXPECT_EQ(shopFilePath("/f", "http://a.taobao.com\\..\\..\\x"), "/f/a.taobao.com\xA3\xDC..\xA3\xDC..\xA3\xDCx.txt");
}

} // namespace
} // namespace quillet::idcollect::testing
