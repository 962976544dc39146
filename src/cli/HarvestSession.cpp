#include "cli/HarvestSession.h"

#include "app/App.h"
#include "cli/Cli.h"
#include "cli/CliUi.h"
#include "harvest/BatchRun.h"
#include "text/Charset.h"
#include "text/Paths.h"
#include "ui/MainWindow.h"
#include "ui/Window.h"
#include "web/Endpoints.h"

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <ostream>
#include <sstream>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace quillet::cli {

namespace {

const char* const kTypes[] = {"all", "good", "neutral", "bad", "append"};
const char* const kNamings[] = {"title", "id", "merged", "id-merged"};

int indexIn(const char* const* names, int count, const std::string& value)
{
    for (int i = 0; i < count; ++i)
        if (value == names[i])
            return i;
    return -1;
}

bool isWholeNumber(const std::string& s, bool allowSign)
{
    size_t i = 0;
    if (allowSign && !s.empty() && (s[0] == '-' || s[0] == '+'))
        i = 1;
    if (i >= s.size())
        return false;
    for (; i < s.size(); ++i)
        if (s[i] < '0' || s[i] > '9')
            return false;
    return true;
}

bool isDecimal(const std::string& s)
{
    bool digits = false;
    bool dot = false;
    for (char c : s) {
        if (c >= '0' && c <= '9')
            digits = true;
        else if (c == '.' && !dot)
            dot = true;
        else
            return false;
    }
    return digits;
}

} // namespace

bool parseHarvestOptions(const std::vector<std::string>& args, HarvestOptions& o, std::string& error)
{
    for (size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> inlineValue;
        if (name.rfind("--", 0) == 0) {
            const size_t eq = name.find('=');
            if (eq != std::string::npos) {
                inlineValue = name.substr(eq + 1);
                name = name.substr(0, eq);
            }
        }
        auto value = [&](std::string& into) -> bool {
            if (inlineValue) {
                into = *inlineValue;
                return true;
            }
            if (i + 1 >= args.size()) {
                error = "option " + name + " needs a value";
                return false;
            }
            into = args[++i];
            return true;
        };
        auto flag = [&](std::optional<bool>& into, bool v) -> bool {
            if (inlineValue) {
                error = "option " + name + " takes no value";
                return false;
            }
            into = v;
            return true;
        };
        std::string v;
        if (name == "--help" || name == "-h") {
            o.help = true;
        } else if (name == "--ids") {
            if (!value(v))
                return false;
            o.ids = v;
        } else if (name == "--start") {
            if (!value(v))
                return false;
            if (!isWholeNumber(v, false)) {
                error = "--start needs a whole number, not \"" + v + "\"";
                return false;
            }
            o.start = v;
        } else if (name == "--type") {
            if (!value(v))
                return false;
            const int index = indexIn(kTypes, 5, v);
            if (index < 0) {
                error = "--type takes all, good, neutral, bad or append, not \"" + v + "\"";
                return false;
            }
            o.type = index;
        } else if (name == "--min-chars" || name == "--pages") {
            if (!value(v))
                return false;
            if (!isWholeNumber(v, true)) {
                error = name + " needs a whole number, not \"" + v + "\"";
                return false;
            }
            (name == "--pages" ? o.pages : o.minChars) = v;
        } else if (name == "--delay") {
            if (!value(v))
                return false;
            if (!isDecimal(v)) {
                error = "--delay needs a number of seconds such as 0.5, not \"" + v + "\"";
                return false;
            }
            o.delay = v;
        } else if (name == "--shuffle-title" || name == "--no-shuffle-title") {
            if (!flag(o.shuffleTitle, name == "--shuffle-title"))
                return false;
        } else if (name == "--shuffle-content" || name == "--no-shuffle-content") {
            if (!flag(o.shuffleContent, name == "--shuffle-content"))
                return false;
        } else if (name == "--replace") {
            if (!value(v))
                return false;
            o.filter = true;
            o.matchList = v;
        } else if (name == "--no-replace") {
            if (!flag(o.filter, false))
                return false;
        } else if (name == "--with") {
            if (!value(v))
                return false;
            o.replaceList = v;
        } else if (name == "--regex" || name == "--no-regex") {
            if (!flag(o.regex, name == "--regex"))
                return false;
        } else if (name == "--template") {
            if (!value(v))
                return false;
            o.templateFile = v;
        } else if (name == "--empty-as-none" || name == "--no-empty-as-none") {
            if (!flag(o.emptyAsNone, name == "--empty-as-none"))
                return false;
        } else if (name == "--preview" || name == "--no-preview") {
            if (!flag(o.preview, name == "--preview"))
                return false;
        } else if (name == "--out") {
            if (!value(v))
                return false;
            o.out = v;
        } else if (name == "--naming") {
            if (!value(v))
                return false;
            const int index = indexIn(kNamings, 4, v);
            if (index < 0) {
                error = "--naming takes title, id, merged or id-merged, not \"" + v + "\"";
                return false;
            }
            o.naming = index;
        } else if (name == "--ext") {
            if (!value(v))
                return false;
            o.ext = v;
        } else if (name == "--proxy") {
            if (!value(v))
                return false;
            o.proxy = v;
        } else if (name == "--connect-to") {
            if (!value(v))
                return false;
            if (!web::isValidConnectToEntry(v)) {
                error = "--connect-to takes HOST:PORT:ADDRESS:PORT, not \"" + v + "\"";
                return false;
            }
            o.connectTo.push_back(v);
        } else if (name == "--settings") {
            if (!value(v))
                return false;
            o.settings = v;
        } else if (name == "--save") {
            if (inlineValue) {
                error = "option --save takes no value";
                return false;
            }
            o.save = true;
        } else {
            error = "unknown option \"" + args[i] + "\"";
            return false;
        }
    }
    return true;
}

std::string harvestHelp()
{
    const ui::Window design = ui::makeMainWindow();
    auto def = [&design](const char* control) {
        const ui::Control* c = design.find(gbk(control));
        return c ? text::gbkToUtf8(c->text()) : std::string();
    };
    auto tick = [&design](const char* control) {
        const ui::Control* c = design.find(gbk(control));
        return c && c->checked() ? std::string("on") : std::string("off");
    };
    auto pick = [&design](const char* control, const char* const* names) {
        const ui::Control* c = design.find(gbk(control));
        return c && c->selectedIndex() >= 0 ? std::string(names[c->selectedIndex()]) : std::string("-");
    };
    std::ostringstream h;
    h << "Usage: quillet-cli harvest [options]\n"
         "\n"
         "Harvests the reviews of every product in the product-ID file into articles, exactly as\n"
         "the desktop program's run button does. The controls start as the saved settings have them\n"
         "(section \"Quillet\" of the settings file); each option below overrides one control.\n"
         "Defaults shown are the design defaults used when nothing is saved.\n"
         "\n"
         "  --ids FILE              product-ID file, one ID or product address per line   [" << def("编辑框商品ID文件") << "]\n"
         "  --start N               first line to harvest (from 1)                       [" << def("编辑框序号") << "]\n"
         "  --type T                review type: all, good, neutral, bad, append          [" << pick("组合框类型", kTypes) << "]\n"
         "  --min-chars N           shortest review kept, in characters                   [" << def("编辑框字数") << "]\n"
         "  --pages N               most feed pages per product; 0 = all                  [" << def("编辑框页数") << "]\n"
         "  --delay SECONDS         pause after each feed page                            [" << def("编辑框每页延时秒") << "]\n"
         "  --[no-]shuffle-title    shuffle the title's words and add a review phrase     [" << tick("选择框标题打乱") << "]\n"
         "  --[no-]shuffle-content  exchange values of one marker between reviews         [" << tick("选择框内容打乱") << "]\n"
         "  --replace LIST          replace these items (a|b|c) in every review           [" << def("编辑框匹配式") << ", " << tick("选择框过滤") << "]\n"
         "  --no-replace            switch replacing off\n"
         "  --with LIST             the replacements, item by item                        [" << def("编辑框替换式") << "]\n"
         "  --[no-]regex            --replace is one regular expression                   [" << tick("选择框正则") << "]\n"
         "  --template FILE         article template file, UTF-8 or GBK                   [the built-in template]\n"
         "  --[no-]empty-as-none    write 无 for a missing attribute (else a blank)       [" << tick("选择框空无") << "]\n"
         "  --[no-]preview          quick preview: one product, printed, nothing written   [" << tick("选择框仅信息框") << "]\n"
         "  --out DIR               output folder                                         [" << def("编辑框保存目录") << "]\n"
         "  --naming M              title, id, merged or id-merged                        [" << pick("组合框命名方式", kNamings) << "]\n"
         "  --ext EXT               extension of the article files                        [" << def("编辑框扩展名") << "]\n"
         "  --proxy HOST:PORT       send the harvest through this HTTP proxy              [direct]\n"
         "  --connect-to H:P:A:P    connect to address A:P for host H:P (repeatable)      [none]\n"
         "  --settings FILE         settings file to read (and write with --save)         [beside the program]\n"
         "  --save                  store the control states after the run, so the next run\n"
         "                          starts where this one ended                           [off]\n"
         "\n"
         "Ctrl-C stops the run at its next check and keeps everything gathered; press it twice to\n"
         "quit at once. Exit status: 0 done (also after a preview), 2 bad options, 3 the\n"
         "product-ID file cannot be opened.\n";
    return h.str();
}

bool readTemplateFile(const std::string& path, GbkText& templateText)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false;
    std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (file.bad())
        return false;
    if (bytes.rfind("\xEF\xBB\xBF", 0) == 0)
        bytes.erase(0, 3);
    // Valid UTF-8 is taken as UTF-8 (a plain ASCII file is the same either way); anything
    // else is the program's own GBK.
    GbkText converted = text::convertToGb18030(bytes, "UTF-8");
    GbkText gbkText = converted.empty() ? bytes : converted;
    // Articles use CR LF line ends, as a template typed into the window has them.
    templateText.clear();
    templateText.reserve(gbkText.size() + gbkText.size() / 16);
    for (size_t i = 0; i < gbkText.size(); ++i) {
        if (gbkText[i] == '\n' && (i == 0 || gbkText[i - 1] != '\r'))
            templateText += '\r';
        templateText += gbkText[i];
    }
    return true;
}

namespace {

void setText(ui::Window& w, const char* name, const GbkText& value)
{
    if (ui::Control* c = w.find(gbk(name)))
        c->setText(value);
}
void setChecked(ui::Window& w, const char* name, bool value)
{
    if (ui::Control* c = w.find(gbk(name)))
        c->setChecked(value);
}
void setIndex(ui::Window& w, const char* name, int value)
{
    if (ui::Control* c = w.find(gbk(name)))
        c->setSelectedIndex(value);
}

GbkText fromArg(const std::string& utf8)
{
    return text::utf8ToGbk(utf8);
}

void applyOptions(const HarvestOptions& o, ui::Window& w, const GbkText& templateText, bool haveTemplate)
{
    if (o.ids)
        setText(w, "编辑框商品ID文件", fromArg(*o.ids));
    if (o.start)
        setText(w, "编辑框序号", *o.start);
    if (o.type)
        setIndex(w, "组合框类型", *o.type);
    if (o.minChars)
        setText(w, "编辑框字数", *o.minChars);
    if (o.pages)
        setText(w, "编辑框页数", *o.pages);
    if (o.delay)
        setText(w, "编辑框每页延时秒", *o.delay);
    if (o.shuffleTitle)
        setChecked(w, "选择框标题打乱", *o.shuffleTitle);
    if (o.shuffleContent)
        setChecked(w, "选择框内容打乱", *o.shuffleContent);
    if (o.filter)
        setChecked(w, "选择框过滤", *o.filter);
    if (o.matchList)
        setText(w, "编辑框匹配式", fromArg(*o.matchList));
    if (o.replaceList)
        setText(w, "编辑框替换式", fromArg(*o.replaceList));
    if (o.regex)
        setChecked(w, "选择框正则", *o.regex);
    if (haveTemplate)
        setText(w, "编辑框组合", templateText);
    if (o.emptyAsNone)
        setChecked(w, "选择框空无", *o.emptyAsNone);
    if (o.preview)
        setChecked(w, "选择框仅信息框", *o.preview);
    if (o.out)
        setText(w, "编辑框保存目录", fromArg(*o.out));
    if (o.naming)
        setIndex(w, "组合框命名方式", *o.naming);
    if (o.ext)
        setText(w, "编辑框扩展名", fromArg(*o.ext));
}

// The progress caption as one live line on a terminal.
class ProgressLine {
public:
    ProgressLine(std::ostream& err, bool live) : m_err(err), m_live(live) {}
    ~ProgressLine() { finish(); }
    void show(const GbkText& caption)
    {
        if (!m_live)
            return;
        m_err << "\r\x1b[K" << text::gbkToUtf8(caption);
        m_err.flush();
        m_shown = true;
    }
    void finish()
    {
        if (m_shown)
            m_err << "\r\x1b[K";
        m_err.flush();
        m_shown = false;
    }

private:
    std::ostream& m_err;
    bool m_live;
    bool m_shown = false;
};

bool stderrIsTerminal()
{
#ifdef _WIN32
    return false;
#else
    return isatty(STDERR_FILENO) == 1;
#endif
}

extern "C" void onInterrupt(int)
{
    requestStopFromSignal();
}

// Ctrl-C asks the run to stop (once); a second Ctrl-C ends the program as usual.
class InterruptGuard {
public:
    InterruptGuard()
    {
#ifndef _WIN32
        struct sigaction action {};
        action.sa_handler = onInterrupt;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESETHAND;
        sigaction(SIGINT, &action, &m_previous);
#else
        m_previous = std::signal(SIGINT, onInterrupt);
#endif
    }
    ~InterruptGuard()
    {
#ifndef _WIN32
        sigaction(SIGINT, &m_previous, nullptr);
#else
        std::signal(SIGINT, m_previous);
#endif
    }
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

private:
#ifndef _WIN32
    struct sigaction m_previous {};
#else
    void (*m_previous)(int) = nullptr;
#endif
};

} // namespace

int runHarvestSession(const HarvestOptions& options, std::ostream& out, std::ostream& err)
{
    GbkText templateText;
    const bool haveTemplate = options.templateFile.has_value();
    if (haveTemplate && !readTemplateFile(*options.templateFile, templateText)) {
        err << "quillet-cli: cannot read the template file \"" << *options.templateFile << "\"\n";
        return ExitBadOptions;
    }
    if (options.settings) {
#ifdef _WIN32
        _putenv_s(app::kSettingsPathVariable, options.settings->c_str());
#else
        setenv(app::kSettingsPathVariable, options.settings->c_str(), 1);
#endif
    }

    app::App application;
    harvest::HarvestContext* running = nullptr;
    CliUi ui(out, [&]() {
        if (running)
            harvest::runButtonClicked(*running, ui); // the click on the run button
    });
    application.setUi(&ui);
    application.setProgramName(app::defaultProgramName());

    ui::Window mainWindow = ui::makeMainWindow();
    application.settings.restoreWindowControls(mainWindow, ui::mainWindowSection());
    applyOptions(options, mainWindow, templateText, haveTemplate);

    if (!options.connectTo.empty()) {
        web::Endpoints endpoints = web::currentEndpoints();
        for (const std::string& entry : options.connectTo)
            endpoints.connectTo.push_back(entry);
        web::setCurrentEndpoints(endpoints);
    }

    const GbkText proxyText = options.proxy ? fromArg(*options.proxy) : GbkText();
    harvest::HarvestContext context{application.patternRegex, application.whitespaceRegex,
                                    application.stopRequested, mainWindow,
                                    [&]() { return proxyText; }};

    ProgressLine progress(err, stderrIsTerminal());
    const GbkText& runButtonName = gbk("按钮采集");
    const int observer = mainWindow.addObserver([&](const ui::Window&, const ui::Control* c, ui::Property p) {
        if (c && p == ui::Property::Text && c->name() == runButtonName)
            progress.show(c->text());
    });

    const size_t messagesBefore = ui.messages().size();
    {
        InterruptGuard guard;
        running = &context;
        harvest::runButtonClicked(context, ui);
        running = nullptr;
    }
    mainWindow.removeObserver(observer);
    progress.finish();

    bool idFileMissing = false;
    for (size_t i = messagesBefore; i < ui.messages().size(); ++i)
        if (ui.messages()[i].text == gbk("请先选择保存商品ID或商品地址的文本文件！"))
            idFileMissing = true;

    if (options.save)
        application.settings.saveWindowControls(mainWindow, ui::mainWindowSection());
    return idFileMissing ? ExitNoIdFile : ExitOk;
}

} // namespace quillet::cli
