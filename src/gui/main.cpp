// quillet: the desktop program. Qt widgets over the same window controllers the command
// line uses.

#include "gui/DemoMarket.h"
#include "gui/Pictures.h"
#include "gui/QtUi.h"
#include "gui/WindowView.h"

#include "app/App.h"
#include "app/MainWindowController.h"
#include "text/Paths.h"
#include "ui/ControlNames.h"

#include <QApplication>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

const char* const kHelp =
    "Usage: quillet [--demo [--products N]] [--settings FILE]\n"
    "\n"
    "Opens the review harvester's main window.\n"
    "\n"
    "  --demo          start the simulated marketplace on 127.0.0.1 (nothing leaves this\n"
    "                  machine), write a sample product-ID file into a fresh folder and open\n"
    "                  the main window set up to harvest it: press the run button and watch\n"
    "  --products N    products in the demo's sample list            [12]\n"
    "  --settings FILE the settings file to use                      [beside the program]\n"
    "  --help          this text\n"
    "\n"
    "Qt's own options (such as -platform offscreen) are accepted too.\n";

struct Options {
    bool demo = false;
    int products = 12;
    std::string settings;
};

// 0: go on; -1: done (help shown); otherwise the exit status.
int parseOptions(const QStringList& arguments, Options& options)
{
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        auto value = [&](std::string& into) {
            if (i + 1 >= arguments.size()) {
                std::fprintf(stderr, "quillet: %s needs a value\n", a.toUtf8().constData());
                return false;
            }
            into = arguments[++i].toStdString();
            return true;
        };
        std::string v;
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            std::fputs(kHelp, stdout);
            return -1;
        } else if (a == QLatin1String("--demo")) {
            options.demo = true;
        } else if (a == QLatin1String("--products")) {
            if (!value(v))
                return 2;
            options.products = std::atoi(v.c_str());
            if (options.products < 1 || options.products > 1000) {
                std::fputs("quillet: --products takes 1 to 1000\n", stderr);
                return 2;
            }
        } else if (a == QLatin1String("--settings")) {
            if (!value(options.settings))
                return 2;
        } else {
            std::fprintf(stderr, "quillet: unknown option \"%s\"\n\n%s", a.toUtf8().constData(), kHelp);
            return 2;
        }
    }
    return 0;
}

// With QUILLET_STARTUP_REPORT set, the moment the main window has been painted for the first
// time goes to stderr as "main-window-shown <nanoseconds of the real-time clock>" (the startup
// benchmark compares it with the moment it started the process); with the value "quit" the
// program then ends.
class FirstPaintReporter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !m_done) {
            m_done = true;
            QTimer::singleShot(0, this, [] {
                const auto now = std::chrono::system_clock::now().time_since_epoch();
                std::fprintf(stderr, "main-window-shown %lld\n",
                             static_cast<long long>(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()));
                if (qgetenv("QUILLET_STARTUP_REPORT") == "quit")
                    QApplication::quit();
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool m_done = false;
};

void reportStartupWhenPainted(QWidget* mainWindow)
{
    if (!mainWindow || qEnvironmentVariableIsEmpty("QUILLET_STARTUP_REPORT"))
        return;
    mainWindow->installEventFilter(new FirstPaintReporter(mainWindow));
}

} // namespace

int main(int argc, char** argv)
{
    using namespace quillet;
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("quillet"));
    QApplication::setDesktopFileName(QStringLiteral("quillet"));
    QApplication::setWindowIcon(gui::programIcon());

    Options options;
    if (const int status = parseOptions(QApplication::arguments(), options); status != 0)
        return status < 0 ? 0 : status;

    app::App::Options session;
    gui::DemoMarket demo;
    if (options.demo) {
        std::string error;
        if (!demo.start(std::filesystem::temp_directory_path(), options.products, error)) {
            std::fprintf(stderr, "quillet --demo: %s\n", error.c_str());
            return 1;
        }
        session.settingsPath = text::fromNativePath(demo.settingsFile());
        session.connectTo = demo.connectTo();
        std::printf("Simulated marketplace on 127.0.0.1:%d; demo folder %s\n", demo.port(),
                    demo.folder().string().c_str());
        std::fflush(stdout);
    }
    if (!options.settings.empty())
        session.settingsPath = text::fromNativePath(std::filesystem::path(options.settings));

    app::App state(session);
    gui::QtUi ui;
    state.setUi(&ui);
    app::MainWindowController main(state, ui);
    main.startUp();
    gui::WindowView* view = ui.viewOf(main);
    if (!view)
        return 1;
    if (options.demo) {
        ui::Window& window = main.window();
        window.find(ui::mainwin::编辑框商品ID文件)->setText(demo.idFile());
        window.find(ui::mainwin::编辑框保存目录)->setText(demo.outputFolder());
        window.find(ui::mainwin::编辑框每页延时秒)->setText("0.3"); // slow enough to watch
    }
    // The program ends when the main window has closed (its controller has saved by then).
    QObject::connect(view, &gui::WindowView::closed, &application, &QApplication::quit, Qt::QueuedConnection);
    QApplication::setQuitOnLastWindowClosed(false);
    reportStartupWhenPainted(view);
    const int status = QApplication::exec();
    ui.closeAllWindows();
    return status;
}
