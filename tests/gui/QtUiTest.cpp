// The Qt platform services: windows shown and closed through their controllers, modal
// showing, text measures, dialogs' filters, the clipboard and the event pump.

#include "GuiTestSupport.h"

#include "text/EventPump.h"
#include "ui/MainWindow.h"
#include "ui/SecondaryWindows.h"

#include <QApplication>
#include <QClipboard>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

namespace quillet::guitest {
namespace {

TEST(QtUi, WindowsOpenAndCloseThroughTheirControllers)
{
    QtUi ui;
    RecordingController main(ui::makeMainWindow());
    RecordingController proxy(ui::makeProxyWindow());
    RecordingController dialog(ui::makeTextDialog());
    std::vector<std::string> closedOrder;
    main.onClosed = [&] { closedOrder.push_back("main"); };
    proxy.onClosed = [&] { closedOrder.push_back("proxy"); };

    ui.showWindow(main, nullptr);
    EXPECT_EQ(main.createdCount, 1);
    ASSERT_FALSE(main.sizes.empty());
    EXPECT_EQ(main.sizes.front(), std::make_pair(709, 599));
    ui.showWindow(proxy, &main);
    ui.showWindow(proxy, &main); // already open: brought to the front, not built again
    EXPECT_EQ(proxy.createdCount, 1);
    EXPECT_EQ(ui.viewOf(proxy)->parentWidget(), ui.viewOf(main));

    // A controller that says "not yet" keeps its window; the user's close box asks it.
    main.closeAnswer = ui::CloseAnswer::NotYet;
    ui.viewOf(main)->close();
    EXPECT_EQ(main.closeRequests, 1);
    EXPECT_NE(ui.viewOf(main), nullptr);
    EXPECT_EQ(main.closedCount, 0);

    // Closing the owner closes what it owns first, each told once.
    main.closeAnswer = ui::CloseAnswer::CloseNow;
    ui.closeWindow(main);
    EXPECT_EQ(closedOrder, (std::vector<std::string>{"proxy", "main"}));
    EXPECT_EQ(ui.viewOf(main), nullptr);
    EXPECT_EQ(ui.viewOf(proxy), nullptr);

    // A closed window can be shown again; its controller hears created() again.
    ui.showWindow(proxy, nullptr);
    EXPECT_EQ(proxy.createdCount, 2);
    ui.closeAllWindows();
    EXPECT_EQ(proxy.closedCount, 2);

    // Modal: returns once the window has closed.
    QTimer::singleShot(0, [&] { ui.closeWindow(dialog); });
    ui.showModal(dialog, nullptr);
    EXPECT_EQ(dialog.closedCount, 1);
    EXPECT_EQ(ui.viewOf(dialog), nullptr);
}

TEST(QtUi, TextHeightFollowsLinesAndWidth)
{
    QtUi ui;
    const ui::Font font{gbk("宋体"), 15, false};
    const int one = ui.textHeight(g("一行"), 400, font);
    const int three = ui.textHeight(g("一行\r\n二行\r\n三行"), 400, font);
    EXPECT_GE(one, 15);
    EXPECT_GT(three, 2 * (one - 10));
    const GbkText longLine = g("长长长长长长长长长长长长长长长长长长长长长长长长长长长长长长");
    EXPECT_GT(ui.textHeight(longLine, 150, font), ui.textHeight(longLine, 600, font));
}

TEST(QtUi, FiltersClipboardAndEventPump)
{
    QtUi ui;
    const QStringList filters = gui::qtNameFilters(g("文本文件(*.txt)|*.txt|全部文件(*.*)|*.*"));
    EXPECT_EQ(filters, QStringList({QStringLiteral("文本文件(*.txt) (*.txt)"), QStringLiteral("全部文件(*.*) (*)")}));
    EXPECT_EQ(gui::qtNameFilters(g("文本(*.txt;*.ini)|*.txt;*.ini")),
              QStringList({QStringLiteral("文本(*.txt;*.ini) (*.txt *.ini)")}));

    QApplication::clipboard()->setText(QStringLiteral("127.0.0.1:8080\n第二行"));
    EXPECT_EQ(ui.clipboardText(), g("127.0.0.1:8080\r\n第二行"));

    // The core's pump runs the Qt event loop: a queued event arrives inside it.
    bool fired = false;
    QTimer::singleShot(0, [&] { fired = true; });
    QTest::qWait(10); // past the pump's minimum interval
    fired = false;
    QTimer::singleShot(0, [&] { fired = true; });
    QThread::msleep(10);
    text::processEvents();
    EXPECT_TRUE(fired);
}

} // namespace
} // namespace quillet::guitest
