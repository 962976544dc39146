// quillet_screenshots OUT-DIR: shows every window of the desktop program through its real
// controller on the current X display and saves each, with the window manager's frame, as a
// PNG: main.png, main-running.png (a demo run in progress), text-dialog-help.png,
// text-dialog-notes.png, proxy.png, ids-by-shop.png, ids-by-keyword.png.
// scripts/screenshots.sh runs it under Xvfb with a window manager.

#include "app/App.h"
#include "app/MainWindowController.h"
#include "gui/DemoMarket.h"
#include "gui/Pictures.h"
#include "gui/QtUi.h"
#include "gui/WindowView.h"
#include "support/TempFolder.h"
#include "text/Charset.h"
#include "ui/ControlNames.h"

#include <QApplication>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

namespace {

// Message boxes are printed instead of waiting for a click.
class QuietUi : public quillet::gui::QtUi {
public:
    quillet::ui::MessageAnswer messageBox(const quillet::GbkText& text, const quillet::GbkText&,
                                          quillet::ui::MessageButtons) override
    {
        std::printf("message: %s\n", quillet::text::gbkToUtf8(text).c_str());
        return quillet::ui::MessageAnswer::Ok;
    }
    using Ui::messageBox;
};

QString g_folder;
int g_failures = 0;

QWidget* topLevel(const char* name)
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String(name) && w->isVisible())
            return w;
    return nullptr;
}

// Waits for the window to be on the screen, framed and painted, then saves it with its frame.
void shoot(QWidget* window, const char* file)
{
    if (!window || !QTest::qWaitForWindowExposed(window)) {
        std::fprintf(stderr, "quillet_screenshots: no window for %s\n", file);
        ++g_failures;
        return;
    }
    QTest::qWait(600);
    const QRect frame = window->frameGeometry();
    const QPixmap shot = window->screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
    const QString path = g_folder + QLatin1Char('/') + QLatin1String(file);
    if (!shot.save(path)) {
        std::fprintf(stderr, "quillet_screenshots: cannot write %s\n", path.toUtf8().constData());
        ++g_failures;
        return;
    }
    std::printf("%s\n", path.toUtf8().constData());
}

// Shoots the modal text dialog the action opens, then closes it.
void shootModal(const std::function<void()>& open, const char* file)
{
    QTimer::singleShot(0, [file] {
        QWidget* dialog = topLevel("TextDialog");
        shoot(dialog, file);
        if (dialog)
            dialog->close();
    });
    open();
}

} // namespace

int main(int argc, char** argv)
{
    using namespace quillet;
    QApplication application(argc, argv);
    QApplication::setWindowIcon(gui::programIcon());
    if (argc != 2) {
        std::fputs("usage: quillet_screenshots OUT-DIR\n", stderr);
        return 2;
    }
    g_folder = QString::fromLocal8Bit(argv[1]);

    testsupport::TempFolder work("quillet-screenshots");
    gui::DemoMarket demo;
    std::string error;
    // The demo's own place (short paths, as a user of --demo sees them), removed afterwards.
    if (!demo.start(std::filesystem::temp_directory_path(), 8, error)) {
        std::fprintf(stderr, "quillet_screenshots: %s\n", error.c_str());
        return 1;
    }
    app::App::Options options;
    options.settingsPath = work.gbkFile("settings.ini");
    options.connectTo = demo.connectTo();
    app::App state(options);
    QuietUi ui;
    state.setUi(&ui);
    app::MainWindowController main(state, ui);
    main.startUp();
    ui::Window& model = main.window();
    model.find(ui::mainwin::编辑框商品ID文件)->setText(demo.idFile());
    model.find(ui::mainwin::编辑框保存目录)->setText(demo.outputFolder());
    QWidget* mainView = ui.viewOf(main);
    shoot(mainView, "main.png");

    // A run in progress: shot once a few articles are written, then stopped.
    model.find(ui::mainwin::编辑框每页延时秒)->setText("0.2");
    auto* run = mainView->findChild<QPushButton*>(QStringLiteral("按钮采集"));
    bool shot = false;
    const int observer = model.addObserver([&](const ui::Window&, const ui::Control* c, ui::Property p) {
        if (shot || !c || p != ui::Property::Text || c->name() != ui::mainwin::按钮采集)
            return;
        // Articles are counted as their group is committed, so the count may jump: shoot at
        // the first caption that shows two or more.
        const std::string caption = text::gbkToUtf8(c->text());
        const std::size_t at = caption.find("已生成 ");
        if (at == std::string::npos || std::atoi(caption.c_str() + at + std::string("已生成 ").size()) < 2)
            return;
        shot = true;
        QTimer::singleShot(0, [&] {
            shoot(mainView, "main-running.png");
            QTest::mouseClick(run, Qt::LeftButton);
        });
    });
    QTest::mouseClick(run, Qt::LeftButton);
    model.removeObserver(observer);

    shootModal([&] { main.showTemplateHelp(); }, "text-dialog-help.png");
    shootModal([&] { main.showNotes(); }, "text-dialog-notes.png");
    main.openProxyWindow();
    shoot(topLevel("ProxyWindow"), "proxy.png");
    main.openShopIdWindow();
    shoot(topLevel("ShopIdWindow"), "ids-by-shop.png");
    main.openKeywordIdWindow();
    shoot(topLevel("KeywordIdWindow"), "ids-by-keyword.png");
    ui.closeAllWindows();
    std::error_code ec;
    std::filesystem::remove_all(demo.folder(), ec);
    return g_failures == 0 ? 0 : 1;
}
