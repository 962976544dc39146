// The two ID windows' controllers as a front end drives them: restore on showing, events by
// control name, and closing during a run.

#include "CollectorFixture.h"

#include "app/App.h"
#include "app/KeywordIdController.h"
#include "app/ShopIdController.h"
#include "ui/ControlNames.h"

#include <gmock/gmock.h>

namespace quillet::idcollect::testing {
namespace {

using ::testing::HasSubstr;

class ControllerTest : public CollectorFixture {
protected:
    ControllerTest()
    {
        application.setUi(&ui);
        application.setProgramName(g("墨汀·Quillet"));
    }

    testsupport::ScopedEnvironment settingsFile{"QUILLET_SETTINGS", folder.file("config/s.ini").c_str()};
    app::App application;
};

TEST_F(ControllerTest, ClosingDuringARunStopsItThenSavesAndCloses)
{
    GbkText page = "<span class=\"page-info\">1/4</span><ul class=\"shop-list\">"
                   "<li><a href=\"//item.taobao.com/item.htm?id=123456\">a</a></li></ul>";
    serveListing("close.taobao.com", {page});
    app::ShopIdController shop(application, ui);
    ui.showWindow(shop, nullptr);
    shop.window().find(ui::shopwin::编辑框店铺地址)->setText("http://close.taobao.com/");
    shop.window().find(ui::shopwin::编辑框保存目录)->setText(folder.gbkFile("out"));
    bool closedDuringRun = false;
    ui.onNextEvents([&] {
        EXPECT_EQ(ui.closeByUser(shop), ui::CloseAnswer::NotYet);
        closedDuringRun = !ui.isOpen(shop);
    });
    shop.handleEvent(ui::shopwin::按钮开始.gbk(), ui::EventKind::Clicked);

    EXPECT_FALSE(closedDuringRun) << "the window stays while the run still uses it";
    EXPECT_FALSE(ui.isOpen(shop));
    EXPECT_TRUE(shop.lastOutcome().stopped);
    EXPECT_EQ(requestsTo("/search.htm").size(), 1u);

    // What it saved comes back in the next window.
    app::ShopIdController again(application, ui);
    ui.showWindow(again, nullptr);
    EXPECT_EQ(again.window().find(ui::shopwin::编辑框店铺地址)->text(), "http://close.taobao.com/");
}

TEST_F(ControllerTest, EventsReachTheirHandlers)
{
    app::ShopIdController shop(application, ui);
    ui.showWindow(shop, nullptr);
    shop.handleEvent(ui::shopwin::按钮1.gbk(), ui::EventKind::Clicked);
    EXPECT_THAT(lastMessage(), HasSubstr(g("店铺首页地址，类似 ")));
    shop.handleEvent(ui::shopwin::按钮查询宝贝数.gbk(), ui::EventKind::Clicked);
    EXPECT_EQ(shop.window().title(), g("查询完成！"));

    app::KeywordIdController keyword(application, ui);
    ui.showWindow(keyword, nullptr);
    keyword.window().find(ui::keywordwin::编辑框页数)->setText("0");
    keyword.window().find(ui::keywordwin::编辑框保存目录)->setText(folder.gbkFile("out"));
    keyword.handleEvent(ui::keywordwin::按钮选择.gbk(), ui::EventKind::RightClicked);
    ASSERT_FALSE(ui.programsStarted().empty());
    EXPECT_EQ(ui.programsStarted().back().arguments, std::vector<GbkText>{folder.gbkFile("out")});
    keyword.handleEvent(ui::keywordwin::按钮采集.gbk(), ui::EventKind::Clicked);
    EXPECT_TRUE(keyword.lastOutcome().ran);
    EXPECT_THAT(lastMessage(), HasSubstr(g("总采集了 0 条")));
}

} // namespace
} // namespace quillet::idcollect::testing
