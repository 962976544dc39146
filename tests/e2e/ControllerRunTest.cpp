// The main window's controller running the harvest against the simulated marketplace: how
// runs end, the proxy window's text in force exactly while it is open, and closing the window
// in the middle of a run.

#include "E2eSupport.h"

#include "app/MainWindowController.h"
#include "app/ProxyWindowController.h"
#include "testmarket/MarketPages.h"
#include "ui/ControlNames.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>

namespace quillet::e2e {
namespace {

using namespace ui::mainwin;
using ::testing::ElementsAre;
using Outcome = harvest::RunOutcome::Kind;

// The program as a user starts it, with quick settings and its files in a temporary folder.
struct Desktop {
    Desktop()
        : app(app::App::Options{folder.gbkFile("settings.ini"), {}})
    {
        app.setUi(&ui);
        main = std::make_unique<app::MainWindowController>(app, ui);
        main->startUp();
        auto set = [this](const ui::ControlName& c, const GbkText& v) { main->window().find(c)->setText(v); };
        set(编辑框商品ID文件, folder.gbkFile("ids.txt"));
        set(编辑框保存目录, folder.gbkFile("out"));
        set(编辑框字数, "0");
        set(编辑框页数, "0");
        set(编辑框每页延时秒, "0");
        set(编辑框组合, g("#评论#\r\n"));
        main->window().find(组合框类型)->setSelectedIndex(0);
        main->window().find(组合框命名方式)->setSelectedIndex(1);
        main->window().find(选择框标题打乱)->setChecked(false);
        main->window().find(选择框内容打乱)->setChecked(false);
    }
    void writeIds(std::string_view bytes) { testsupport::writeFileBytes(folder.file("ids.txt"), bytes); }
    std::string article(const std::string& name) const { return u(testsupport::readFileBytes(folder.file("out") / name)); }

    testsupport::TempFolder folder{"quillet-desktop"};
    ui::HeadlessUi ui;
    app::App app;
    std::unique_ptr<app::MainWindowController> main;
};

TEST(DesktopRun, OutcomesAndTheProxyOnlyWhileItsWindowIsOpen)
{
    MarketSession market(fiveProducts());
    Desktop d;
    EXPECT_EQ(d.main->runClicked().kind, Outcome::IdFileMissing);

    d.writeIds("7000001\r\n7000002\r\n");
    app::ProxyWindowController& proxy = d.main->proxyWindow();
    d.main->handleEvent(图片框代理.gbk(), ui::EventKind::Clicked);
    proxy.window().find(ui::proxywin::编辑框代理IP)->setText(market.address());
    for (bool proxyOpen : {true, false}) {
        SCOPED_TRACE(proxyOpen);
        market.market().clearRequests();
        d.main->window().find(编辑框序号)->setText("1");
        const harvest::RunOutcome outcome = d.main->runClicked();
        EXPECT_EQ(outcome.kind, Outcome::Finished);
        EXPECT_EQ(outcome.articles, 2);
        EXPECT_EQ(outcome.failedWrites, 0);
        const auto requests = market.market().requests();
        ASSERT_EQ(requests.size(), 6u);
        for (const RecordedRequest& r : requests)
            EXPECT_EQ(r.viaProxy, proxyOpen) << r.target;
        (void)d.ui.closeByUser(proxy); // the text stays stored, the proxy goes out of force
    }
    EXPECT_EQ(d.article("7000002.txt"), "p2r1\r\np2r2\r\n");
}

TEST(DesktopRun, ClosingTheWindowDuringARunStopsItThenSavesAndCloses)
{
    MarketSession market(fiveProducts());
    std::atomic<bool> productThreeAsked{false};
    const auto hosts = market.market().hosts();
    market.market().addRoute(hosts.productHost, "/item.htm", [&](const RecordedRequest& r) {
        if (r.queryValue("id") == "7000003")
            productThreeAsked = true;
        testmarket::Response page;
        page.body = testmarket::pages::productPage(*market.catalogue().product(r.queryValue("id")), hosts);
        return page;
    });
    Desktop d;
    d.writeIds("7000001\r\n7000002\r\n7000003\r\n7000004\r\n7000005\r\n");

    // The user closes the window while product 3 is being harvested.
    bool openAfterRequest = false;
    auto watch = std::make_shared<std::function<void()>>();
    *watch = [&, weak = std::weak_ptr<std::function<void()>>(watch)] {
        if (!productThreeAsked) {
            if (auto self = weak.lock())
                d.ui.onNextEvents([self] { (*self)(); });
            return;
        }
        EXPECT_EQ(d.ui.closeByUser(*d.main), ui::CloseAnswer::NotYet);
        openAfterRequest = d.ui.isOpen(*d.main);
    };
    d.ui.onNextEvents([watch] { (*watch)(); });
    const harvest::RunOutcome outcome = d.main->runClicked();

    EXPECT_TRUE(openAfterRequest) << "the window stays while the run still uses it";
    EXPECT_EQ(outcome.kind, Outcome::Stopped);
    EXPECT_FALSE(d.ui.isOpen(*d.main));
    EXPECT_THAT(market.productPagesAsked(), ElementsAre("7000001", "7000002", "7000003"));
    EXPECT_EQ(d.article("7000003.txt"), "p3r1\r\n"); // what was gathered is kept, written whole
    EXPECT_EQ(d.article("7000004.txt"), "");
    ASSERT_GE(d.ui.messages().size(), 2u);
    EXPECT_EQ(d.ui.messages()[d.ui.messages().size() - 2].text, gbk("采集完成！"));

    // The saved settings continue behind the last product.
    app::App again(app::App::Options{d.folder.gbkFile("settings.ini"), {}});
    ui::HeadlessUi againUi;
    again.setUi(&againUi);
    app::MainWindowController restarted(again, againUi);
    restarted.startUp();
    EXPECT_EQ(restarted.window().find(编辑框序号)->text(), "4");
}

} // namespace
} // namespace quillet::e2e
