// quillet: the desktop program. Qt widgets over the same window models and handlers the
// command line uses.

#include "gui/DemoMarket.h"
#include "gui/Pictures.h"
#include "gui/QtUi.h"
#include "gui/WindowView.h"

#include "app/App.h"
#include "harvest/BatchRun.h"
#include "text/Charset.h"
#include "ui/MainWindow.h"
#include "web/Endpoints.h"

#include <QApplication>
#include <QDir>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

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

// 0: go on; otherwise the exit status.
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

void setSettingsVariable(const std::string& path)
{
#ifdef _WIN32
    _putenv_s(quillet::app::kSettingsPathVariable, path.c_str());
#else
    setenv(quillet::app::kSettingsPathVariable, path.c_str(), 1);
#endif
}

// Routes the main window's events until the window controllers take over: the run button
// and closing (save, and stop a run first).
class MainRouter : public quillet::ui::WindowController {
public:
    MainRouter(quillet::app::App& app, quillet::ui::Ui& ui)
        : m_app(app)
        , m_ui(ui)
        , m_window(quillet::ui::makeMainWindow())
        , m_context{app.patternRegex, app.whitespaceRegex, app.stopRequested, m_window,
                    [] { return quillet::GbkText(); }}
    {
        m_app.settings.restoreWindowControls(m_window, quillet::ui::mainWindowSection());
    }

    void preset(const quillet::GbkText& idFile, const quillet::GbkText& outputFolder)
    {
        using namespace quillet::ui::mainwin;
        m_window.find(编辑框商品ID文件)->setText(idFile);
        m_window.find(编辑框保存目录)->setText(outputFolder);
        m_window.find(编辑框每页延时秒)->setText("0.3");
    }

    quillet::ui::Window& window() override { return m_window; }

    void handleEvent(const quillet::GbkText& control, quillet::ui::EventKind kind) override
    {
        if (kind != quillet::ui::EventKind::Clicked || control != quillet::ui::mainwin::按钮采集)
            return;
        if (m_running) {
            (void)quillet::harvest::runButtonClicked(m_context, m_ui);
            return;
        }
        m_running = true;
        (void)quillet::harvest::runButtonClicked(m_context, m_ui);
        m_running = false;
        if (m_closeAfterRun)
            m_ui.closeWindow(*this);
    }

    quillet::ui::CloseAnswer closeRequested() override
    {
        if (!m_running)
            return quillet::ui::CloseAnswer::CloseNow;
        if (!m_app.stopRequested)
            (void)quillet::harvest::runButtonClicked(m_context, m_ui);
        m_closeAfterRun = true;
        return quillet::ui::CloseAnswer::NotYet;
    }

    void closed() override
    {
        m_app.settings.saveWindowControls(m_window, quillet::ui::mainWindowSection());
        QTimer::singleShot(0, qApp, &QApplication::quit);
    }

private:
    quillet::app::App& m_app;
    quillet::ui::Ui& m_ui;
    quillet::ui::Window m_window;
    quillet::harvest::HarvestContext m_context;
    bool m_running = false;
    bool m_closeAfterRun = false;
};

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

    gui::DemoMarket demo;
    if (options.demo) {
        std::string error;
        if (!demo.start(std::filesystem::temp_directory_path(), options.products, error)) {
            std::fprintf(stderr, "quillet --demo: %s\n", error.c_str());
            return 1;
        }
        options.settings = demo.settingsFile().string();
        // Every site is reached on the marketplace.
        quillet::web::Endpoints endpoints = quillet::web::currentEndpoints();
        for (const std::string& entry : demo.connectTo())
            endpoints.connectTo.push_back(entry);
        quillet::web::setCurrentEndpoints(endpoints);
        std::printf("Simulated marketplace on 127.0.0.1:%d; demo folder %s\n", demo.port(),
                    demo.folder().string().c_str());
        std::fflush(stdout);
    }
    if (!options.settings.empty())
        setSettingsVariable(options.settings);

    gui::QtUi ui;
    app::App state;
    state.setUi(&ui);
    state.setProgramName(app::defaultProgramName());

    MainRouter main(state, ui);
    if (options.demo)
        main.preset(demo.idFile(), demo.outputFolder());
    ui.showWindow(main, nullptr);
    reportStartupWhenPainted(ui.viewOf(main));
    QApplication::setQuitOnLastWindowClosed(false);
    const int status = QApplication::exec();
    ui.closeAllWindows();
    return status;
}
