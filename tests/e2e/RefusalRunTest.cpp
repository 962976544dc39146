// Runs against a marketplace that refuses, loses pages or leaves no room on the disk: the
// requests stay bounded, the waits are honoured by the marketplace's clock, the run stops
// cleanly where it was refused and resumes there, and the outcome is told honestly.

#include "E2eSupport.h"

#include "cli/Cli.h"
#include "harvest/BatchRun.h"
#include "testmarket/Fault.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <chrono>
#include <sstream>
#include <thread>

namespace quillet::e2e {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using testmarket::Fault;

// Three products of one storefront, one feed page each (two requests: the page and the end).
Catalogue threeProducts(bool mall)
{
    Catalogue c;
    c.setReviewsPerPage(2);
    for (int i = 1; i <= 3; ++i) {
        const std::string id = std::to_string(8000000 + i);
        const std::vector<Review> reviews = numberedReviews(2, "p" + std::to_string(i) + "r");
        c.addProduct(mall ? mallProduct(id, "item " + id, reviews) : marketProduct(id, "item " + id, reviews));
    }
    return c;
}

// The refusal forms, as fault texts, with waits of 0 so the client's own (small) back-off runs.
const char* const kRefusalForms[] = {"refuse-wait,wait=0", "refuse-json", "refuse-punish", "status,code=429,retry=0",
                                     "status,code=403,retry=0"};

Fault faultOf(const std::string& text)
{
    const std::optional<Fault> fault = Fault::parse(text);
    EXPECT_TRUE(fault) << text;
    return fault.value_or(Fault());
}

class HarvestCli {
public:
    explicit HarvestCli(MarketSession& market) : m_market(market)
    {
        testsupport::writeFileBytes(folder.file("t.txt"), "#评论#\n");
    }

    testsupport::TempFolder folder{"quillet-refusal"};

    // Quick settings; the start line comes from the settings file (saved by --save).
    std::vector<std::string> args(std::initializer_list<std::string> more = {}) const
    {
        std::vector<std::string> a = {"harvest", "--settings", folder.file("settings.ini").string(), "--ids", ids(),
                                      "--out", folder.file("out").string(), "--template", folder.file("t.txt").string(),
                                      "--type", "all", "--min-chars", "0", "--pages", "0", "--delay", "0", "--naming",
                                      "id", "--retries", "2", "--backoff", "0.01", "--save"};
        for (const std::string& entry : m_market.connectToEntries()) {
            a.push_back("--connect-to");
            a.push_back(entry);
        }
        a.insert(a.end(), more);
        return a;
    }
    std::string ids() const { return folder.file("ids.txt").string(); }
    std::string unfinished() const { return testsupport::readFileBytes(folder.file("ids.未完成.txt")); }
    std::vector<std::string> articles() const
    {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(folder.file("out"), ec))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    MarketSession& m_market;
};

const char* const kThreeIds = "8000001\r\n8000002\r\n8000003\r\n";

TEST(RefusedHarvest, StopsAtTheRefusedProductAndResumesThere)
{
    for (const bool mall : {false, true}) {
        MarketSession market(threeProducts(mall));
        const std::string feedHost = mall ? "rate.tmall.com" : "rate.taobao.com";
        const std::string itemHost = mall ? "detail.tmall.com" : "item.taobao.com";
        // Refused from the second product on: its feed page, or (second row) its product page.
        for (const std::string& where : {"host=" + feedHost + ",after=2", "host=" + itemHost + ",after=1"}) {
            for (const char* form : kRefusalForms) {
                SCOPED_TRACE(std::string(mall ? "mall " : "market ") + where + " " + form);
                market.market().clearFaults();
                market.market().clearRequests();
                market.market().addFault(faultOf(std::string(form) + "," + where));
                HarvestCli run(market);
                testsupport::writeFileBytes(run.ids(), kThreeIds);

                const CliResult refused = cli(run.args());
                EXPECT_EQ(refused.status, 4);
                EXPECT_THAT(refused.out, HasSubstr("淘宝拒绝了更多请求：商品 8000002"));
                EXPECT_THAT(refused.out, HasSubstr("下次从第 2 行（该商品）继续"));
                // One request and two retries for the refused page, nothing for the third product.
                std::size_t refusedAsked = 0;
                for (const RecordedRequest& r : market.market().requests())
                    refusedAsked += r.host == (where.find(feedHost) != std::string::npos ? feedHost : itemHost)
                        && (r.queryValue("auctionNumId") == "8000002" || r.queryValue("itemId") == "8000002"
                            || r.queryValue("id") == "8000002");
                EXPECT_EQ(refusedAsked, 3u);
                EXPECT_THAT(market.productPagesAsked(), Not(::testing::Contains("8000003")));
                EXPECT_THAT(run.articles(), ElementsAre("8000001.txt"));
                EXPECT_EQ(run.unfinished(), ""); // the refused product waits at the start line instead

                // The marketplace lets the client in again: the next run begins at product 2.
                market.market().clearFaults();
                market.market().clearRequests();
                const CliResult resumed = cli(run.args());
                EXPECT_EQ(resumed.status, 0) << resumed.out;
                EXPECT_THAT(market.productPagesAsked(), ElementsAre("8000002", "8000003"));
                EXPECT_THAT(run.articles(), ElementsAre("8000001.txt", "8000002.txt", "8000003.txt"));
            }
        }
    }
}

TEST(RefusedHarvest, TheServersWaitIsHonouredByItsClock)
{
    MarketSession market(threeProducts(false));
    // The marketplace asks for one second and lets the client in again half a second after
    // its first refusal: a client that waits as asked is let in at its first retry.
    for (const char* form : {"refuse-wait,wait=1", "status,code=429,retry=1"}) {
        SCOPED_TRACE(form);
        market.market().clearFaults();
        market.market().clearRequests();
        market.market().addFault(faultOf(std::string(form) + ",host=rate.taobao.com,after=2,lasts=500"));
        HarvestCli run(market);
        testsupport::writeFileBytes(run.ids(), kThreeIds);
        EXPECT_EQ(cli(run.args({"--retries", "1"})).status, 0);
        const std::vector<RecordedRequest> feed = market.requestsTo("/feedRateList.htm");
        ASSERT_EQ(feed.size(), 7u); // two per product and the one refused
        EXPECT_GE(feed[3].atMs - feed[2].atMs, 1000);
        EXPECT_EQ(feed[2].queryValue("currentPageNum"), feed[3].queryValue("currentPageNum"));
    }
}

TEST(FailingHarvest, TransientFailuresAreRetriedAndTheOutcomeIsTold)
{
    MarketSession market(threeProducts(false));
    HarvestCli run(market);
    testsupport::writeFileBytes(run.ids(), kThreeIds);

    // Two lost feed pages in a row are asked for again: every product still gives its article.
    for (const char* lost : {"status,code=503,times=2", "reset,times=2", "truncate,times=2,bytes=10"}) {
        SCOPED_TRACE(lost);
        market.market().clearFaults();
        market.market().addFault(faultOf(std::string(lost) + ",host=rate.taobao.com"));
        const CliResult r = cli(run.args({"--start", "1"}));
        EXPECT_EQ(r.status, 0) << r.out;
        EXPECT_THAT(r.out, HasSubstr("本次采集了 3 个商品：3 篇文章已保存，0 个商品没有文章。"));
    }

    // A product page that keeps failing is given up after its retries; an unknown product is
    // not found; a feed without reviews gives nothing. The run goes on and says so.
    market.market().clearFaults();
    market.market().clearRequests();
    market.market().addFault(faultOf("status,code=500,host=item.taobao.com,path=/item.htm,after=1,times=3"));
    std::filesystem::remove_all(run.folder.file("out"));
    testsupport::writeFileBytes(run.ids(), "8000001\r\n8000002\r\n999999999\r\n8000003\r\n");
    const CliResult r = cli(run.args({"--start", "1", "--min-chars", "100", "--log", run.folder.file("run.log").string()}));
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.out, HasSubstr("本次采集了 4 个商品：0 篇文章已保存，4 个商品没有文章（商品不存在或页面无法识别 1，"
                                 "网络多次失败 1，没有通过筛选的评论 2）。"));
    EXPECT_THAT(r.out, HasSubstr("ids.未完成.txt"));
    EXPECT_EQ(run.unfinished(), "8000001\r\n8000002\r\n999999999\r\n8000003\r\n");
    EXPECT_EQ(market.productPagesAsked().size(), 6u);
    const std::vector<std::string> log = crlfLines(testsupport::readFileBytes(run.folder.file("run.log")));
    ASSERT_EQ(log.size(), 1u); // JSON lines end in LF alone
    EXPECT_THAT(log[0], HasSubstr("{\"line\":3,\"product\":\"999999999\",\"pages\":0,\"reviews\":0,"
                                  "\"outcome\":\"not-found\",\"reason\":\"HTTP 404\""));
    EXPECT_THAT(log[0], HasSubstr("\"outcome\":\"network-failed\",\"reason\":\"HTTP 500\""));
    EXPECT_THAT(log[0], HasSubstr("{\"line\":4,\"product\":\"8000003\",\"pages\":2,\"reviews\":0,"
                                  "\"outcome\":\"no-reviews\""));
}

TEST(FailingHarvest, AFeedOfEmptyPagesEndsEvenWithoutAPageLimit)
{
    MarketSession market(threeProducts(false));
    market.market().addRoute("rate.taobao.com", "/feedRateList.htm", [](const RecordedRequest&) {
        testmarket::Response r;
        r.body = "jsonp_reviews_list({\"comments\":[]})";
        return r;
    });
    HarvestCli run(market);
    testsupport::writeFileBytes(run.ids(), "8000001\r\n");
    EXPECT_EQ(cli(run.args()).status, 1);
    EXPECT_EQ(market.requestsTo("/feedRateList.htm").size(), static_cast<std::size_t>(harvest::kMaxEmptyFeedPages));
}

TEST(StoppedHarvest, CtrlCEndsALongPauseOrWaitAtOnce)
{
    Catalogue c;
    c.setReviewsPerPage(2);
    c.addProduct(marketProduct("8000001", "item", numberedReviews(6)));
    c.addProduct(marketProduct("8000002", "item", numberedReviews(2)));
    MarketSession market(std::move(c));
    // A 30 s pause after the first feed page, or a 30 s wait after its refusal; Ctrl-C comes
    // while it runs.
    for (const bool refused : {false, true}) {
        SCOPED_TRACE(refused ? "wait after a refusal" : "pause between pages");
        market.market().clearFaults();
        market.market().clearRequests();
        if (refused)
            market.market().addFault(faultOf("refuse-json,host=rate.taobao.com"));
        HarvestCli run(market);
        testsupport::writeFileBytes(run.ids(), "8000001\r\n8000002\r\n");
        std::thread ctrlC([&market] {
            while (market.requestsTo("/feedRateList.htm").empty())
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            cli::requestStopFromSignal();
        });
        const auto start = std::chrono::steady_clock::now();
        const CliResult r = cli(run.args({"--delay", "30", "--backoff", "30"}));
        const auto took = std::chrono::steady_clock::now() - start;
        ctrlC.join();
        EXPECT_LT(took, std::chrono::seconds(20)); // ended long before the pause could have
        EXPECT_EQ(r.status, 130);
        EXPECT_EQ(market.requestsTo("/feedRateList.htm").size(), 1u);
        EXPECT_THAT(market.productPagesAsked(), ElementsAre("8000001"));
        // What the first page gave is kept; a refused product gave nothing and waits at the start line.
        const std::vector<std::string> kept = refused ? std::vector<std::string>{} : std::vector<std::string>{"8000001.txt"};
        EXPECT_EQ(run.articles(), kept);
        market.market().clearFaults();
        market.market().clearRequests();
        EXPECT_EQ(cli(run.args()).status, 0);
        const std::vector<std::string> resumedFrom =
            refused ? std::vector<std::string>{"8000001", "8000002"} : std::vector<std::string>{"8000002"};
        EXPECT_EQ(market.productPagesAsked(), resumedFrom);
    }
}

// A small tmpfs as the output folder, filled up to `freePages` free pages; unmounted at the end.
class SmallDisk {
public:
    explicit SmallDisk(const std::filesystem::path& where) : m_path(where)
    {
        std::filesystem::create_directories(m_path);
        m_mounted = ::mount("tmpfs", m_path.c_str(), "tmpfs", 0, "size=256k") == 0;
    }
    ~SmallDisk()
    {
        if (m_mounted)
            ::umount(m_path.c_str());
    }
    [[nodiscard]] bool mounted() const { return m_mounted; }
    void leaveFree(unsigned long pages) const
    {
        struct statvfs fs {};
        ASSERT_EQ(::statvfs(m_path.c_str(), &fs), 0);
        const unsigned long total = fs.f_bfree;
        ASSERT_GT(total, pages);
        testsupport::writeFileBytes(m_path / "filler", std::string((total - pages) * fs.f_bsize, 'x'));
    }

private:
    std::filesystem::path m_path;
    bool m_mounted = false;
};

TEST(FullDisk, ArticlesThatFindNoRoomAreToldAndTheStartLineWaitsForThem)
{
    Catalogue c;
    for (int i = 1; i <= 5; ++i)
        c.addProduct(marketProduct(std::to_string(8000000 + i), "item", numberedReviews(2)));
    MarketSession market(std::move(c));
    struct Case {
        const char* naming;
        unsigned long freePages;
        const char* written;
        const char* startLine;
    };
    // Per-file: two articles find room, three do not; merged: the merged file gets no byte.
    for (const Case& k : {Case{"id", 2, "2", "3"}, Case{"merged", 0, "0", "1"}}) {
        SCOPED_TRACE(k.naming);
        HarvestCli run(market);
        SmallDisk disk(run.folder.file("out"));
        if (!disk.mounted())
            GTEST_SKIP() << "no tmpfs can be mounted here (needs root)";
        disk.leaveFree(k.freePages);
        testsupport::writeFileBytes(run.ids(), "8000001\r\n8000002\r\n8000003\r\n8000004\r\n8000005\r\n");
        const std::string logFile = run.folder.file("run.log").string();
        const CliResult r = cli(run.args({"--naming", k.naming, "--start", "1", "--log", logFile}));
        EXPECT_EQ(r.status, 1);
        EXPECT_THAT(r.out, HasSubstr(std::string("本次采集了 5 个商品：") + k.written + " 篇文章已保存"));
        const int lost = 5 - std::stoi(k.written);
        EXPECT_THAT(r.out, HasSubstr("文章未能写入 " + std::to_string(lost)));
        // The run log tells the lost articles too, also those lost when their group was committed.
        const std::string log = testsupport::readFileBytes(logFile);
        std::size_t logged = 0;
        for (std::size_t at = log.find("\"write-failed\""); at != std::string::npos; at = log.find("\"write-failed\"", at + 1))
            ++logged;
        EXPECT_EQ(logged, static_cast<std::size_t>(lost));
        // The saved start line does not pass the first article that was lost.
        market.market().clearRequests();
        (void)cli(run.args({"--naming", k.naming}));
        ASSERT_FALSE(market.productPagesAsked().empty());
        EXPECT_EQ(market.productPagesAsked().front(), std::string("800000") + k.startLine);
    }
}

TEST(ReviewExport, RawReviewsGoBesideTheArticlesAsCsvOrJsonLines)
{
    Catalogue c;
    c.addProduct(marketProduct("8000001", "标题一", {review("好看，\"真的\"", "小明", "2014-05-06",
                                                        {{g("颜色分类"), g("黑色")}, {g("尺码"), "XL"}})}));
    c.addProduct(mallProduct("8000002", "标题二", {review("不错", "nick", "2014-05-07", {{g("颜色"), g("红色")}}, true)}));
    MarketSession market(std::move(c));
    HarvestCli run(market);
    testsupport::writeFileBytes(run.ids(), "8000001\r\n8000002\r\n");
    const std::string csv = run.folder.file("reviews.csv").string();
    const std::string jsonl = run.folder.file("reviews.jsonl").string();
    EXPECT_EQ(cli(run.args({"--start", "1", "--export", csv})).status, 0);
    EXPECT_EQ(cli(run.args({"--start", "1", "--export", jsonl})).status, 0);
    EXPECT_EQ(testsupport::readFileBytes(csv),
              "product_id,title,storefront,nick,date,attributes,review\r\n"
              "8000001,标题一,marketplace,小明,2014-05-06,颜色分类=黑色; 尺码=XL,\"好看，\"\"真的\"\"\"\r\n"
              "8000002,标题二,mall,nick,2014-05-07,颜色=红色,不错\r\n");
    EXPECT_EQ(testsupport::readFileBytes(jsonl),
              "{\"product_id\":\"8000001\",\"title\":\"标题一\",\"storefront\":\"marketplace\",\"nick\":\"小明\","
              "\"date\":\"2014-05-06\",\"attributes\":{\"颜色分类\":\"黑色\",\"尺码\":\"XL\"},\"review\":\"好看，\\\"真的\\\"\"}\n"
              "{\"product_id\":\"8000002\",\"title\":\"标题二\",\"storefront\":\"mall\",\"nick\":\"nick\","
              "\"date\":\"2014-05-07\",\"attributes\":{\"颜色\":\"红色\"},\"review\":\"不错\"}\n");
    // --save stored the file in the settings: the next run exports to it without the option.
    EXPECT_EQ(cli(run.args({"--start", "1"})).status, 0);
    const std::string exported = testsupport::readFileBytes(jsonl);
    EXPECT_EQ(std::count(exported.begin(), exported.end(), '\n'), 4);
    EXPECT_EQ(cli(run.args({"--export", run.folder.file("reviews.txt").string()})).status, 2);
}

} // namespace
} // namespace quillet::e2e
