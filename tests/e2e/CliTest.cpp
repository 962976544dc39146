// quillet-cli run in-process against the simulated marketplace: exit statuses, help, printed
// message boxes, saved controls, the proxy option, template files and Ctrl-C.

#include "E2eSupport.h"

#include "cli/Cli.h"
#include "testmarket/MarketPages.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

namespace quillet::e2e {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

// A harvest over a temporary folder with quick, deterministic settings.
class CliRun {
public:
    explicit CliRun(MarketSession& market) : m_market(market) {}

    testsupport::TempFolder folder{"quillet-cli"};

    std::vector<std::string> base() const
    {
        std::vector<std::string> args = {"harvest", "--settings", settings()};
        for (const std::string& entry : m_market.connectToEntries()) {
            args.push_back("--connect-to");
            args.push_back(entry);
        }
        return args;
    }
    std::vector<std::string> full() const
    {
        std::vector<std::string> args = base();
        for (const char* a : {"--type", "all", "--min-chars", "0", "--pages", "0", "--delay", "0", "--naming", "id",
                              "--no-shuffle-title", "--no-shuffle-content", "--start", "1"})
            args.push_back(a);
        testsupport::writeFileBytes(folder.file("plain.txt"), "#评论#\n");
        for (const std::string& a : {std::string("--ids"), ids(), std::string("--out"), out(), std::string("--template"),
                                     folder.file("plain.txt").string()})
            args.push_back(a);
        return args;
    }
    std::string settings() const { return folder.file("settings.ini").string(); }
    std::string ids() const { return folder.file("ids.txt").string(); }
    std::string out() const { return folder.file("out").string(); }
    std::string article(const std::string& name) const
    {
        return u(testsupport::readFileBytes(folder.file("out") / name));
    }
    void writeIds(std::string_view bytes) const { testsupport::writeFileBytes(folder.file("ids.txt"), bytes); }

private:
    MarketSession& m_market;
};

std::vector<std::string> plus(std::vector<std::string> args, std::initializer_list<std::string> more)
{
    args.insert(args.end(), more);
    return args;
}

TEST(CliHelp, ListsEveryOptionWithItsDefault)
{
    const CliResult top = cli({"--help"});
    EXPECT_EQ(top.status, 0);
    EXPECT_THAT(top.out, HasSubstr("harvest"));
    EXPECT_THAT(top.out, HasSubstr("demo"));

    const CliResult help = cli({"harvest", "--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* option :
         {"--ids FILE", "--start N", "--type", "--min-chars N", "--pages N", "--delay SECONDS", "--[no-]shuffle-title",
          "--[no-]shuffle-content", "--replace LIST", "--no-replace", "--with LIST", "--[no-]regex", "--template FILE",
          "--[no-]empty-as-none", "--[no-]preview", "--out DIR", "--naming", "--ext EXT", "--proxy HOST:PORT",
          "--connect-to", "--settings FILE", "--save"})
        EXPECT_THAT(help.out, HasSubstr(option));
    // Design defaults: start 1, good reviews, 5 characters, 10 pages, 0.01 s, title naming, txt.
    for (const char* shown : {"[1]", "[good]", "[5]", "[10]", "[0.01]", "[title]", "[txt]"})
        EXPECT_THAT(help.out, HasSubstr(shown));
}

TEST(CliOptions, BadOptionsExitWithTwoAndTouchNothing)
{
    MarketSession market(fiveProducts());
    CliRun run(market);
    run.writeIds("7000001\r\n");
    const std::vector<std::vector<std::string>> bad = {
        {"--type", "worst"},   {"--pages", "x"},        {"--start", "-1"},  {"--bogus"},
        {"--delay", "1s"},     {"--naming", "date"},    {"--save=1"},       {"--connect-to", "nonsense"},
        {"--min-chars", "5a"}, {"--template", run.folder.file("missing.txt").string()}, {"--ids"},
    };
    for (const auto& extra : bad) {
        SCOPED_TRACE(extra.front());
        std::vector<std::string> args = run.full();
        args.insert(args.end(), extra.begin(), extra.end());
        const CliResult r = cli(args);
        EXPECT_EQ(r.status, 2);
        EXPECT_FALSE(r.err.empty());
        EXPECT_EQ(r.out, "");
    }
    EXPECT_EQ(cli({}).status, 2);
    EXPECT_EQ(cli({"frobnicate"}).status, 2);
    const CliResult demo = cli({"demo", "--products"});
    EXPECT_EQ(demo.status, 2);
    EXPECT_THAT(demo.err, HasSubstr("--products needs a value"));
    EXPECT_TRUE(market.market().requests().empty());
}

TEST(CliRunResults, MessageBoxesArePrintedAndTheStatusSaysHowItWent)
{
    MarketSession market(fiveProducts());
    CliRun run(market);
    run.writeIds("7000001\r\n7000002\r\n");
    {
        const CliResult r = cli(run.full());
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, "信息：\n采集完成！\n信息：\n本次采集了 2 个商品：2 篇文章已保存，0 个商品没有文章。\n");
        EXPECT_EQ(run.article("7000002.txt"), "p2r1\r\np2r2\r\n");
    }
    {
        testsupport::writeFileBytes(run.folder.file("tpl.txt"), "<#评论#>\n");
        const CliResult preview = cli(plus(run.full(), {"--preview", "--start", "2", "--template",
                                                        run.folder.file("tpl.txt").string()}));
        EXPECT_EQ(preview.status, 0) << preview.err;
        EXPECT_EQ(preview.out, "item 2\n<p2r1>\n<p2r2>\n\n");
    }
    {
        const CliResult r = cli(plus(run.full(), {"--ids", run.folder.file("none.txt").string()}));
        EXPECT_EQ(r.status, 3);
        EXPECT_EQ(r.out, "信息：\n请先选择保存商品ID或商品地址的文本文件！\n");
    }
}

// The demo's list holds a line that names no product and an unknown product on purpose: the
// demo still succeeds and shows an article when every real product got one.
TEST(CliDemo, SucceedsAndShowsAnArticleDespiteTheTwoLinesThatAreNoProducts)
{
    testsupport::TempFolder folder{"quillet-demo"};
    const CliResult demo = cli({"demo", "--folder", folder.file("run").string(), "--products", "3"});
    EXPECT_EQ(demo.status, 0) << demo.out << demo.err;
    EXPECT_THAT(demo.out, HasSubstr("3 article(s) in"));
    EXPECT_THAT(demo.out, HasSubstr("===="));
}

TEST(CliRunResults, SaveLetsTheNextRunStartBehindTheLastLine)
{
    MarketSession market(fiveProducts());
    CliRun run(market);
    run.writeIds("7000001\r\n7000002\r\n7000003\r\n");
    ASSERT_EQ(cli(plus(run.full(), {"--save", "--ext", "art"})).status, 0);
    run.writeIds("7000001\r\n7000002\r\n7000003\r\n7000004\r\n7000005\r\n");
    market.market().clearRequests();

    // Everything comes from the saved controls: file, start line, folder, naming, extension.
    ASSERT_EQ(cli(plus(run.base(), {"--save"})).status, 0);
    EXPECT_THAT(market.productPagesAsked(), ElementsAre("7000004", "7000005"));
    EXPECT_EQ(run.article("7000005.art"), "p5r1\r\np5r2\r\n");

    // Without --save the settings stay as they were: the same lines again.
    market.market().clearRequests();
    ASSERT_EQ(cli(plus(run.base(), {"--start", "5"})).status, 0);
    // The saved start line lies behind the last line: nothing is harvested, and the run says so.
    const CliResult behind = cli(run.base());
    EXPECT_EQ(behind.status, 1);
    EXPECT_THAT(behind.out, HasSubstr("起始序号超出了商品ID文件的行数"));
    EXPECT_THAT(market.productPagesAsked(), ElementsAre("7000005"));
}

TEST(CliRunResults, ProxyOptionSendsTheHarvestThroughTheProxy)
{
    MarketSession market(fiveProducts());
    CliRun run(market);
    run.writeIds("7000001\r\n");
    for (bool proxied : {true, false}) {
        market.market().clearRequests();
        const CliResult r = cli(proxied ? plus(run.full(), {"--proxy", market.address()}) : run.full());
        EXPECT_EQ(r.status, 0) << r.err;
        const auto requests = market.market().requests();
        EXPECT_EQ(requests.size(), 3u);
        for (const RecordedRequest& q : requests)
            EXPECT_EQ(q.viaProxy, proxied) << q.target;
    }
}

TEST(CliRunResults, TemplateFilesInEitherEncoding)
{
    MarketSession market(fiveProducts());
    CliRun run(market);
    run.writeIds("7000001\r\n");
    struct Case {
        const char* name;
        std::string bytes;
        const char* article;
    };
    const Case cases[] = {
        {"utf-8", "\xEF\xBB\xBF评论：#评论#\n", "评论：p1r1\r\n评论：p1r2\r\n"},
        {"gbk", g("评论：#评论#\r\n"), "评论：p1r1\r\n评论：p1r2\r\n"},
        {"empty", "", "p1r1\r\np1r2\r\n"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        testsupport::writeFileBytes(run.folder.file("tpl.txt"), k.bytes);
        const CliResult r = cli(plus(run.full(), {"--template", run.folder.file("tpl.txt").string()}));
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(run.article("7000001.txt"), k.article);
    }
}

TEST(CliRunResults, InterruptStopsTheRunAndKeepsWhatWasGathered)
{
    MarketSession market(fiveProducts());
    const auto hosts = market.market().hosts();
    market.market().addRoute(hosts.productHost, "/item.htm", [&](const RecordedRequest& r) {
        if (r.queryValue("id") == "7000003")
            cli::requestStopFromSignal(); // Ctrl-C while product 3 is being fetched
        testmarket::Response page;
        page.body = testmarket::pages::productPage(*market.catalogue().product(r.queryValue("id")), hosts);
        return page;
    });
    CliRun run(market);
    run.writeIds("7000001\r\n7000002\r\n7000003\r\n7000004\r\n7000005\r\n");
    const CliResult r = cli(plus(run.full(), {"--save"}));
    EXPECT_EQ(r.status, 130);
    EXPECT_EQ(r.out, "信息：\n采集完成！\n信息：\n本次采集了 3 个商品：3 篇文章已保存，0 个商品没有文章。\n");
    EXPECT_THAT(market.productPagesAsked(), ElementsAre("7000001", "7000002", "7000003"));
    EXPECT_EQ(run.article("7000003.txt"), "p3r1\r\n");
    EXPECT_EQ(run.article("7000004.txt"), "");

    // The saved start line continues with product 4.
    market.market().clearRequests();
    EXPECT_EQ(cli(run.base()).status, 0);
    EXPECT_THAT(market.productPagesAsked(), ElementsAre("7000004", "7000005"));
}

} // namespace
} // namespace quillet::e2e
