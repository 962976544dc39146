// The desktop program as a user meets it: the real controllers behind the Qt windows, widgets
// found by their control names, the simulated marketplace as the internet.

#include "GuiTestSupport.h"

#include "app/App.h"
#include "app/MainWindowController.h"
#include "app/TextDialogController.h"
#include "gui/GuiText.h"
#include "support/TempFolder.h"
#include "testmarket/Catalogue.h"
#include "testmarket/TestMarket.h"
#include "ui/MainWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>

namespace quillet::guitest {
namespace {

// One session of the desktop program with its settings in a temporary folder.
class Desktop {
public:
    explicit Desktop(std::vector<std::string> connectTo = {}) : m_connectTo(std::move(connectTo)) { start(); }
    ~Desktop() { stop(); }

    void start()
    {
        app::App::Options options;
        options.settingsPath = folder.gbkFile("settings.ini");
        options.connectTo = m_connectTo;
        app = std::make_unique<app::App>(options);
        app->setUi(&ui);
        main = std::make_unique<app::MainWindowController>(*app, ui);
        main->startUp();
    }
    void stop()
    {
        if (main)
            ui.closeWindow(*main);
        main.reset();
        app.reset();
    }
    void restart()
    {
        stop();
        start();
    }
    [[nodiscard]] QWidget* view() const { return ui.viewOf(*main); }
    // A top-level window by its model's name, e.g. "TextDialog".
    [[nodiscard]] static QWidget* window(const char* name)
    {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == QLatin1String(name) && w->isVisible())
                return w;
        return nullptr;
    }

    testsupport::TempFolder folder{"quillet-gui"};
    ScriptedQtUi ui;
    std::unique_ptr<app::App> app;
    std::unique_ptr<app::MainWindowController> main;

private:
    std::vector<std::string> m_connectTo;
};

QString q(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

TEST(Desktop, FirstStartShowsEveryDefaultAndTheReplaceRowFollowsItsBoxAcrossARestart)
{
    Desktop d; // a fresh folder: nothing stored yet
    const ui::Window design = ui::makeMainWindow();
    design.forEachControl([&](const ui::Control& c) {
        SCOPED_TRACE(u(c.name()));
        QWidget* w = widget(d.view(), u(c.name()));
        if (auto* e = qobject_cast<QLineEdit*>(w)) {
            EXPECT_EQ(gui::toGbk(e->text()), c.text());
        } else if (auto* p = qobject_cast<QPlainTextEdit*>(w)) {
            EXPECT_EQ(gui::fromWidgetText(p->toPlainText()), c.text());
        } else if (auto* b = qobject_cast<QCheckBox*>(w)) {
            EXPECT_EQ(b->isChecked(), c.checked());
        } else if (auto* box = qobject_cast<QComboBox*>(w)) {
            EXPECT_EQ(box->currentIndex(), c.selectedIndex());
        }
    });
    EXPECT_EQ(widget<QComboBox>(d.view(), "组合框类型")->currentText(), q("好评"));
    const char* const replaceRow[] = {"编辑框匹配式", "编辑框替换式", "选择框正则"};
    for (const char* name : replaceRow)
        EXPECT_FALSE(widget(d.view(), name)->isEnabled()) << name;

    QTest::mouseClick(widget(d.view(), "选择框过滤"), Qt::LeftButton);
    for (const char* name : replaceRow)
        EXPECT_TRUE(widget(d.view(), name)->isEnabled()) << name;
    d.restart();
    EXPECT_TRUE(widget<QCheckBox>(d.view(), "选择框过滤")->isChecked());
    for (const char* name : replaceRow)
        EXPECT_TRUE(widget(d.view(), name)->isEnabled()) << name;
    QTest::mouseClick(widget(d.view(), "选择框过滤"), Qt::LeftButton);
    EXPECT_FALSE(widget(d.view(), "编辑框匹配式")->isEnabled());
}

TEST(Desktop, SavingWritesAtOnceAndCancelledDialogsChangeNothing)
{
    Desktop d;
    auto* pages = widget<QLineEdit>(d.view(), "编辑框页数");
    pages->selectAll();
    QTest::keyClicks(pages, QStringLiteral("4321"));
    QTest::mousePress(widget(d.view(), "链接保存配置"), Qt::LeftButton);
    ASSERT_EQ(d.ui.messages.size(), 1u);
    EXPECT_EQ(d.ui.messages[0].text, "保存完毕！");
    EXPECT_EQ(d.ui.messages[0].title, "信息：");
    // Stored before the window closes: a crash now would not lose it.
    EXPECT_NE(testsupport::readFileBytes(d.folder.file("settings.ini")).find("4321"), std::string::npos);

    const QString idFile = widget<QLineEdit>(d.view(), "编辑框商品ID文件")->text();
    const QString outFolder = widget<QLineEdit>(d.view(), "编辑框保存目录")->text();
    QTest::mouseClick(widget(d.view(), "按钮2"), Qt::LeftButton);
    QTest::mouseClick(widget(d.view(), "按钮选择目录"), Qt::LeftButton);
    ASSERT_EQ(d.ui.fileDialogs.size(), 1u);
    EXPECT_EQ(gui::toQString(d.ui.fileDialogs[0].presetFileName), idFile);
    EXPECT_EQ(d.ui.fileDialogs[0].filter, g("文本文件(*.txt)|*.txt|全部文件(*.*)|*.*"));
    ASSERT_EQ(d.ui.folderDialogs.size(), 1u);
    EXPECT_EQ(gui::toQString(d.ui.folderDialogs[0].first), outFolder);
    EXPECT_EQ(widget<QLineEdit>(d.view(), "编辑框商品ID文件")->text(), idFile);
    EXPECT_EQ(widget<QLineEdit>(d.view(), "编辑框保存目录")->text(), outFolder);
}

// The simulated marketplace with every host mapped onto it, and a product-ID file naming
// `products` of its products.
struct Market {
    explicit Market(int products, int pages = 3)
    {
        testmarket::CatalogueOptions options;
        options.seed = 11;
        options.products = products;
        options.pagesPerFeed = pages;
        options.reviewsPerPage = 20;
        catalogue = std::make_shared<testmarket::Catalogue>(testmarket::Catalogue::generate(options));
        server = std::make_unique<testmarket::TestMarket>(catalogue);
        started = server->start(0);
        const testmarket::MarketHosts hosts = server->hosts();
        for (const std::string& host :
             {hosts.productHost, hosts.mallProductHost, hosts.mallFeedHost, hosts.marketFeedHost, hosts.searchHost})
            connectTo.push_back(host + ":80:127.0.0.1:" + std::to_string(server->port()));
    }
    void writeIds(const std::filesystem::path& file) const
    {
        std::string ids;
        for (const testmarket::Product& p : catalogue->products())
            ids += p.id + "\r\n";
        testsupport::writeFileBytes(file, ids);
    }
    std::shared_ptr<testmarket::Catalogue> catalogue;
    std::unique_ptr<testmarket::TestMarket> server;
    std::vector<std::string> connectTo;
    bool started = false;
};

void prepareRun(Desktop& d, const Market& market, const char* delay)
{
    market.writeIds(d.folder.file("ids.txt"));
    ui::Window& w = d.main->window();
    w.find(ui::mainwin::编辑框商品ID文件)->setText(d.folder.gbkFile("ids.txt"));
    w.find(ui::mainwin::编辑框保存目录)->setText(d.folder.gbkFile("out"));
    w.find(ui::mainwin::编辑框每页延时秒)->setText(delay);
    w.find(ui::mainwin::编辑框页数)->setText("0");
    w.find(ui::mainwin::组合框命名方式)->setSelectedIndex(1); // by product ID
}

TEST(Desktop, TheRunButtonStartsARunAndASecondClickStopsIt)
{
    Market market(6);
    ASSERT_TRUE(market.started);
    Desktop d(market.connectTo);
    prepareRun(d, market, "0.2");
    auto* run = widget<QPushButton>(d.view(), "按钮采集");

    // Click again once the first articles are written (they are written in groups): the click
    // arrives inside the run.
    std::vector<std::string> captions;
    bool namingDisabled = false;
    bool clicked = false;
    QObject watcher;
    const int observer = d.main->window().addObserver([&](const ui::Window&, const ui::Control* c, ui::Property p) {
        if (!c || p != ui::Property::Text || c->name() != ui::mainwin::按钮采集)
            return;
        captions.push_back(u(c->text()));
        namingDisabled = namingDisabled || !widget(d.view(), "组合框命名方式")->isEnabled();
        const std::string& caption = captions.back();
        if (!clicked && caption.find(" 篇") != std::string::npos && caption.find("已生成 0 篇") == std::string::npos) {
            clicked = true;
            QTimer::singleShot(0, &watcher, [&] { QTest::mouseClick(run, Qt::LeftButton); });
        }
    });
    QTest::mouseClick(run, Qt::LeftButton); // returns when the run has ended
    d.main->window().removeObserver(observer);

    EXPECT_TRUE(clicked);
    EXPECT_TRUE(namingDisabled);
    EXPECT_TRUE(std::find(captions.begin(), captions.end(), "正在停止..") != captions.end());
    EXPECT_EQ(run->text(), q("开始采集"));
    EXPECT_TRUE(widget(d.view(), "组合框命名方式")->isEnabled());
    ASSERT_GE(d.ui.messages.size(), 2u);
    EXPECT_EQ(d.ui.messages[d.ui.messages.size() - 2].text, "采集完成！");
    // Stopped early, with the next run to start behind the last line harvested.
    std::size_t written = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(d.folder.file("out")))
        ++written;
    EXPECT_GE(written, 1u);
    EXPECT_LT(written, 6u);
    EXPECT_EQ(widget<QLineEdit>(d.view(), "编辑框序号")->text(), QString::number(written + 1));
}

TEST(Desktop, TheProxyIsInForceExactlyWhileItsWindowIsOpen)
{
    Market market(1, 1);
    ASSERT_TRUE(market.started);
    Desktop d(market.connectTo);
    prepareRun(d, market, "0");
    auto viaProxy = [&] {
        int n = 0;
        for (const testmarket::RecordedRequest& r : market.server->requests())
            n += r.viaProxy ? 1 : 0;
        return n;
    };

    QTest::mousePress(widget(d.view(), "超级链接框代理"), Qt::LeftButton);
    QWidget* proxy = Desktop::window("ProxyWindow");
    ASSERT_NE(proxy, nullptr);
    auto* address = widget<QLineEdit>(proxy, "编辑框代理IP");
    EXPECT_EQ(address->text(), q("IP:端口"));
    address->selectAll();
    QTest::keyClicks(address, QStringLiteral("127.0.0.1:%1").arg(market.server->port()));
    QTest::mouseClick(widget(d.view(), "按钮采集"), Qt::LeftButton);
    const int proxied = viaProxy();
    EXPECT_GT(proxied, 0);

    proxy->close();
    EXPECT_EQ(Desktop::window("ProxyWindow"), nullptr);
    d.main->window().find(ui::mainwin::编辑框序号)->setText("1");
    QTest::mouseClick(widget(d.view(), "按钮采集"), Qt::LeftButton);
    EXPECT_EQ(viaProxy(), proxied);
    EXPECT_GT(market.server->requests().size(), static_cast<std::size_t>(proxied));

    // The typed address is kept for the next opening, also after a restart.
    d.restart();
    QTest::mousePress(widget(d.view(), "超级链接框代理"), Qt::LeftButton);
    EXPECT_EQ(widget<QLineEdit>(Desktop::window("ProxyWindow"), "编辑框代理IP")->text(),
              QStringLiteral("127.0.0.1:%1").arg(market.server->port()));
}

TEST(Desktop, TextDialogShowsHelpAndNotesOneAtATimeAndLaysItselfOut)
{
    Desktop d;
    bool inspected = false;
    QTimer::singleShot(0, [&] {
        QWidget* dialog = Desktop::window("TextDialog");
        ASSERT_NE(dialog, nullptr);
        inspected = true;
        EXPECT_EQ(dialog->windowTitle(), q("墨汀："));
        EXPECT_EQ(widget<QPlainTextEdit>(dialog, "编辑框提示")->toPlainText(), gui::toQString(ui::templateHelpPrompt()));
        auto* body = widget<QPlainTextEdit>(dialog, "编辑框正文");
        EXPECT_TRUE(body->isReadOnly());
        EXPECT_EQ(gui::fromWidgetText(body->toPlainText()), ui::templateHelpText());
        EXPECT_FALSE(widget(dialog, "按钮确定")->isVisible());
        EXPECT_FALSE(widget(dialog, "外形框")->isVisible());
        EXPECT_EQ(widget<QPushButton>(dialog, "按钮取消")->text(), q("关闭(&G)"));

        // A second dialog is refused while this one is open.
        d.main->showNotes();
        int dialogs = 0;
        for (QWidget* w : QApplication::topLevelWidgets())
            dialogs += w->objectName() == QLatin1String("TextDialog") && w->isVisible() ? 1 : 0;
        EXPECT_EQ(dialogs, 1);

        // The layout rule at two sizes.
        for (QSize size : {QSize(640, 480), QSize(300, 260)}) {
            dialog->resize(size);
            const int promptHeight = widget(dialog, "编辑框提示")->height();
            const app::TextDialogLayout expected =
                app::layoutTextDialog(dialog->width(), dialog->height(), 5, promptHeight);
            auto rect = [](const ui::Rect& r) { return QRect(r.left, r.top, r.width, r.height); };
            EXPECT_EQ(widget(dialog, "编辑框正文")->geometry(), rect(expected.text));
            EXPECT_EQ(widget(dialog, "按钮取消")->geometry(), rect(expected.cancel));
            EXPECT_EQ(widget(dialog, "编辑框提示")->geometry(), rect(expected.prompt));
        }
        QTest::mouseClick(widget(dialog, "按钮取消"), Qt::LeftButton);
    });
    QTest::mouseClick(widget(d.view(), "按钮引用说明"), Qt::LeftButton); // modal: returns once closed
    EXPECT_TRUE(inspected);
    EXPECT_EQ(Desktop::window("TextDialog"), nullptr);

    inspected = false;
    QTimer::singleShot(0, [&] {
        QWidget* dialog = Desktop::window("TextDialog");
        ASSERT_NE(dialog, nullptr);
        inspected = true;
        EXPECT_EQ(dialog->windowTitle(), q("疑点说明"));
        EXPECT_TRUE(widget<QPlainTextEdit>(dialog, "编辑框提示")->toPlainText().isEmpty());
        dialog->close();
    });
    QTest::mousePress(widget(d.view(), "链接疑点说明"), Qt::LeftButton);
    EXPECT_TRUE(inspected);
}

} // namespace
} // namespace quillet::guitest
