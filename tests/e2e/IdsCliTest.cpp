// quillet-cli ids-shop and ids-keyword against the simulated marketplace, and a harvest run on
// the file ids-shop wrote.

#include "E2eSupport.h"

#include "cli/Cli.h"
#include "testmarket/Fault.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sstream>

namespace quillet::e2e {
namespace {

using ::testing::HasSubstr;

Catalogue shopsAndKeywords()
{
    testmarket::CatalogueOptions o;
    o.seed = 11;
    o.products = 48;
    o.pagesPerFeed = 1;
    o.reviewsPerPage = 3;
    o.shops = 4;
    o.listingPageSize = 5;
    return Catalogue::generate(o);
}

// The IDs in their order with only the last occurrence of each kept.
std::vector<std::string> lastOfEach(std::vector<std::string> ids)
{
    std::vector<std::string> out;
    std::set<std::string> seen;
    for (auto it = ids.rbegin(); it != ids.rend(); ++it)
        if (seen.insert(*it).second)
            out.insert(out.begin(), *it);
    return out;
}

class IdsCli : public ::testing::Test {
protected:
    MarketSession market{shopsAndKeywords()};
    testsupport::TempFolder folder{"quillet-ids-cli"};

    // Only the product host is mapped by name: the shop's own host follows it.
    std::vector<std::string> args(const char* command, std::initializer_list<std::string> more) const
    {
        std::vector<std::string> a = {command, "--settings", folder.file("settings.ini").string(), "--connect-to",
                                      "item.taobao.com:80:" + market.address(), "--connect-to",
                                      "s.taobao.com:80:" + market.address()};
        a.insert(a.end(), more);
        return a;
    }
    const testmarket::Shop& shop(Storefront storefront) const
    {
        for (const testmarket::Shop& s : market.catalogue().shops())
            if (s.storefront == storefront && s.productIds.size() > 5)
                return s;
        return market.catalogue().shops().front();
    }
};

TEST_F(IdsCli, ShopIdsFeedAHarvest)
{
    const testmarket::Shop& marketShop = shop(Storefront::Marketplace);
    const CliResult r = cli(args("ids-shop", {"--shop", "http://" + marketShop.host + "/", "--out",
                                              folder.file("ids").string(), "--sort", "sales"}));
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> expected = market.catalogue().shopListing(marketShop, "hotsell_desc");
    const auto lines = crlfLines(testsupport::readFileBytes(folder.file("ids") / (marketShop.host + ".txt")));
    ASSERT_EQ(lines.size(), expected.size());
    for (std::size_t i = 0; i < lines.size(); ++i)
        EXPECT_EQ(lines[i], "http://item.taobao.com/item.htm?id=" + expected[i]);
    EXPECT_EQ(r.out, "信息：\nOK！已采集了 " + std::to_string(expected.size()) +
                         " 条宝贝！\n\n右击 .. 目录可以打开该目录，目录下保存着以关键词命名的商品id文件；"
                         "你可以在【主界面-第一步-商品ID文件】选择本次采集的商品id文件！\n");

    // The harvest reads that file: one article per product of the shop.
    testsupport::writeFileBytes(folder.file("plain.txt"), "#评论#\n");
    std::vector<std::string> harvest = {"harvest", "--settings", folder.file("settings.ini").string(),
                                        "--ids", (folder.file("ids") / (marketShop.host + ".txt")).string(),
                                        "--out", folder.file("articles").string(), "--naming", "id", "--type", "all",
                                        "--min-chars", "0", "--pages", "1", "--delay", "0", "--start", "1",
                                        "--template", folder.file("plain.txt").string()};
    for (const std::string& entry : market.connectToEntries())
        harvest.insert(harvest.end(), {"--connect-to", entry});
    ASSERT_EQ(cli(harvest).status, 0);
    std::set<std::string> articles;
    for (const auto& entry : std::filesystem::directory_iterator(folder.file("articles")))
        articles.insert(entry.path().stem().string());
    EXPECT_EQ(articles, std::set<std::string>(expected.begin(), expected.end()));
}

TEST_F(IdsCli, MallShopCountAndStop)
{
    const testmarket::Shop& mallShop = shop(Storefront::Mall);
    const int pages = static_cast<int>((mallShop.productIds.size() + 4) / 5);
    const CliResult count = cli(args("ids-shop", {"--shop", mallShop.host, "--count", "--out",
                                                  folder.file("ids").string()}));
    EXPECT_EQ(count.status, 0) << count.err;
    EXPECT_THAT(count.out, HasSubstr("，分 " + std::to_string(pages) + " 页显示！"));
    EXPECT_FALSE(std::filesystem::exists(folder.file("ids")));

    // Ctrl-C is the stop click: the page in hand is finished, then the run ends.
    market.market().clearRequests();
    cli::requestStopFromSignal();
    const CliResult stopped = cli(args("ids-shop", {"--shop", mallShop.host, "--no-prefix", "--out",
                                                    folder.file("ids").string()}));
    EXPECT_EQ(stopped.status, 130) << stopped.err;
    EXPECT_EQ(market.requestsTo("/search.htm").size(), 1u);
    const auto lines = crlfLines(testsupport::readFileBytes(folder.file("ids") / (mallShop.host + ".txt")));
    const auto listing = market.catalogue().shopListing(mallShop, "defaultSort");
    EXPECT_EQ(lines, std::vector<std::string>(listing.begin(), listing.begin() + 5));
}

TEST_F(IdsCli, KeywordIdsAndSavedSettings)
{
    const testmarket::Keyword* keyword = market.catalogue().keyword(g("新款"));
    ASSERT_NE(keyword, nullptr);
    const CliResult r = cli(args("ids-keyword", {"--keyword", "新款", "--pages", "2", "--sort", "sales",
                                                 "--no-prefix", "--out", folder.file("ids").string(), "--save"}));
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::string> expected = market.catalogue().searchResults(*keyword, "sale-desc");
    expected.resize(std::min<std::size_t>(expected.size(), 80));
    EXPECT_EQ(crlfLines(testsupport::readFileBytes(folder.file("ids") / "新款.txt")), lastOfEach(expected));
    EXPECT_THAT(r.out, HasSubstr("OK！总采集了 " + std::to_string(expected.size()) + " 条宝贝！"));

    // The saved controls carry the next run: same keyword, folder, order and pages.
    market.market().clearRequests();
    std::filesystem::remove(folder.file("ids") / "新款.txt");
    ASSERT_EQ(cli(args("ids-keyword", {})).status, 0);
    EXPECT_EQ(market.requestsTo("/search").size(), 2u);
    EXPECT_EQ(market.requestsTo("/search").back().queryValue("sort"), "sale-desc");
    EXPECT_TRUE(std::filesystem::exists(folder.file("ids") / "新款.txt"));
}

TEST_F(IdsCli, RefusedPagesStopTheRunKeepingTheFile)
{
    const testmarket::Shop& mallShop = shop(Storefront::Mall);
    const auto listing = market.catalogue().shopListing(mallShop, "defaultSort");
    const std::string out = folder.file("ids").string();
    const std::vector<std::string> quick = {"--no-prefix", "--out", out, "--retries", "1", "--backoff", "0.01"};
    for (const char* form : {"refuse-wait,wait=0", "refuse-json", "refuse-punish", "status,code=429,retry=0",
                             "status,code=403,retry=0"}) {
        SCOPED_TRACE(form);
        struct Run {
            std::vector<std::string> args;
            const char* path;
            std::string file;
        };
        std::vector<std::string> shopArgs = args("ids-shop", {"--shop", mallShop.host});
        std::vector<std::string> keywordArgs = args("ids-keyword", {"--keyword", "新款", "--pages", "3"});
        shopArgs.insert(shopArgs.end(), quick.begin(), quick.end());
        keywordArgs.insert(keywordArgs.end(), quick.begin(), quick.end());
        for (const Run& run : {Run{shopArgs, "/search.htm", mallShop.host + ".txt"}, Run{keywordArgs, "/search", "新款.txt"}}) {
            SCOPED_TRACE(run.path);
            // Refused from the second page on: one retry, then the run stops with page one's IDs.
            market.market().clearFaults();
            market.market().clearRequests();
            market.market().addFault(*testmarket::Fault::parse(std::string(form) + ",path=" + run.path + ",after=1"));
            const CliResult refused = cli(run.args);
            EXPECT_EQ(refused.status, 4) << refused.err;
            EXPECT_THAT(refused.out, HasSubstr("注意：淘宝拒绝了更多请求（第 2 页），采集已停止；已采集的商品ID都已保存。"));
            EXPECT_EQ(market.requestsTo(run.path).size(), 3u);
            const auto lines = crlfLines(testsupport::readFileBytes(folder.file("ids") / run.file));
            EXPECT_FALSE(lines.empty());
            if (std::string(run.path) == "/search.htm") {
                EXPECT_EQ(lines, std::vector<std::string>(listing.begin(), listing.begin() + 5));
            }

            market.market().clearFaults();
            EXPECT_EQ(cli(run.args).status, 0);
        }
    }
}

TEST_F(IdsCli, BadInputIsRefusedClearly)
{
    const std::string out = folder.file("ids").string();
    struct Case {
        std::vector<std::string> args;
        const char* says;
    };
    const Case cases[] = {
        {args("ids-keyword", {"--keyword", "", "--out", out}), "no keyword"},
        {args("ids-keyword", {"--pages", "abc", "--out", out}), "--pages"},
        {args("ids-keyword", {"--sort", "newest"}), "--sort"},
        {args("ids-shop", {"--shop", "", "--out", out}), "no shop address"},
        {args("ids-shop", {"--shop", "http://shop.example.com/", "--out", out}), "输入店铺地址错误"},
        {args("ids-shop", {"--shop", "http://shop.example.com/", "--count"}), "输入店铺地址错误"},
    };
    for (const Case& c : cases) {
        const CliResult r = cli(c.args);
        EXPECT_EQ(r.status, 2) << c.says;
        EXPECT_THAT(r.err + r.out, HasSubstr(c.says));
    }
    EXPECT_TRUE(market.market().requests().empty());

    const CliResult help = cli({"ids-shop", "--help"});
    for (const char* line : {"--shop ADDRESS", "--out DIR", "--sort ORDER", "--[no-]prefix", "--count", "--proxy",
                             "--connect-to", "--settings FILE", "--save", "[default]", "[on]"})
        EXPECT_THAT(help.out, HasSubstr(line));
    EXPECT_THAT(cli({"ids-keyword", "--help"}).out, HasSubstr("--pages N"));

    // An output folder that cannot be made: the message says so and the status is 1.
    testsupport::writeFileBytes(folder.file("blocker"), "x");
    const CliResult blocked = cli(args("ids-keyword", {"--keyword", "新款", "--pages", "1", "--out",
                                                       folder.file("blocker").string() + "/sub"}));
    EXPECT_EQ(blocked.status, 1);
    EXPECT_THAT(blocked.out, HasSubstr("注意：商品ID文件未能写入："));
}

} // namespace
} // namespace quillet::e2e
