#include "cli/HarvestSession.h"

#include "app/App.h"
#include "app/MainWindowController.h"
#include "cli/Cli.h"
#include "cli/CliUi.h"
#include "cli/InterruptGuard.h"
#include "cli/ProgressLine.h"
#include "harvest/BatchRun.h"
#include "harvest/ReviewExport.h"
#include "harvest/RunLog.h"
#include "text/Numbers.h"
#include "text/Charset.h"
#include "text/Paths.h"
#include "ui/MainWindow.h"
#include "ui/Window.h"
#include "web/Endpoints.h"

#include <algorithm>
#include <filesystem>
#include <ostream>

namespace quillet::cli {

namespace {

using namespace ui::mainwin;

GbkText pathOption(const std::string& value)
{
    return text::fromNativePath(std::filesystem::path(value));
}

bool isConnectToEntry(std::string_view value)
{
    return web::isValidConnectToEntry(value);
}

std::vector<OptionInfo> makeHarvestTable()
{
    using K = ValueKind;
    std::vector<OptionInfo> t;
    auto add = [&t](std::string_view name, ValueKind kind, std::string_view valueName, std::string_view help) -> OptionInfo& {
        OptionInfo& o = t.emplace_back();
        o.name = name;
        o.kind = kind;
        o.valueName = valueName;
        o.help = help;
        return o;
    };
    add("ids", K::Path, "FILE", "product-ID file, one ID or product address per line").control = 编辑框商品ID文件;
    add("start", K::Count, "N", "first line to harvest (from 1)").control = 编辑框序号;
    {
        OptionInfo& o = add("type", K::Choice, "T", "review type: all, good, neutral, bad, append");
        o.control = 组合框类型;
        o.choices = {"all", "good", "neutral", "bad", "append"};
    }
    add("min-chars", K::Integer, "N", "shortest review kept, in characters").control = 编辑框字数;
    add("pages", K::Integer, "N", "most feed pages per product; 0 = all").control = 编辑框页数;
    add("delay", K::Decimal, "SECONDS", "pause after each feed page").control = 编辑框每页延时秒;
    add("shuffle-title", K::Toggle, "", "shuffle the title's words and add a review phrase").control = 选择框标题打乱;
    add("shuffle-content", K::Toggle, "", "exchange values of one marker between reviews").control = 选择框内容打乱;
    {
        OptionInfo& o = add("replace", K::Text, "LIST", "replace these items (a|b|c) in every review");
        o.control = 编辑框匹配式;
        o.ticks = 选择框过滤;
        o.negatedHelp = "switch replacing off";
    }
    add("with", K::Text, "LIST", "the replacements, item by item").control = 编辑框替换式;
    add("regex", K::Toggle, "", "--replace is one regular expression").control = 选择框正则;
    {
        OptionInfo& o = add("template", K::TextFile, "FILE", "article template file, UTF-8 or GBK");
        o.control = 编辑框组合;
        o.shownDefault = "the built-in template";
    }
    add("empty-as-none", K::Toggle, "", "write 无 for a missing attribute (else a blank)").control = 选择框空无;
    add("preview", K::Toggle, "", "quick preview: one product, printed, nothing written").control = 选择框仅信息框;
    add("out", K::Path, "DIR", "output folder").control = 编辑框保存目录;
    {
        OptionInfo& o = add("naming", K::Choice, "M", "title, id, merged or id-merged");
        o.control = 组合框命名方式;
        o.choices = {"title", "id", "merged", "id-merged"};
    }
    add("ext", K::Text, "EXT", "extension of the article files").control = 编辑框扩展名;
    add("proxy", K::Text, "HOST:PORT", "send the harvest through this HTTP proxy").shownDefault = "direct";
    {
        OptionInfo& o = add("connect-to", K::Text, "H:P:A:P", "connect to address A:P for host H:P (repeatable)");
        o.shownDefault = "none";
        o.repeatable = true;
        o.accepts = isConnectToEntry;
        o.expects = "HOST:PORT:ADDRESS:PORT";
    }
    add("retries", K::Count, "N", "ask a refused page again up to N times (a page lost in\ntransit: up to 2 times)")
        .shownDefault = "3";
    add("backoff", K::Decimal, "SECONDS", "first pause after a refusal that names no wait;\ndoubles with each retry, at most 300")
        .shownDefault = "5";
    add("log", K::Path, "FILE", "append one JSON line per product to FILE: line, product,\npages, reviews, outcome, reason, seconds, time")
        .shownDefault = "none";
    add("export", K::Path, "FILE", "append every review taken to FILE.csv or FILE.jsonl\n(UTF-8; stored by --save)")
        .shownDefault = "settings key 评论导出文件";
    add("settings", K::Path, "FILE", "settings file to read (and write with --save)").shownDefault = "beside the program";
    add("save", K::Switch, "", "store the control states after the run, so the next run\nstarts where this one ended")
        .shownDefault = "off";
    return t;
}

} // namespace

std::span<const OptionInfo> harvestOptionTable()
{
    static const std::vector<OptionInfo> table = makeHarvestTable();
    return table;
}

std::string harvestHelp()
{
    return "Usage: quillet-cli harvest [options]\n"
           "\n"
           "Harvests the reviews of every product in the product-ID file into articles, exactly as\n"
           "the desktop program's run button does. The controls start as the saved settings have them\n"
           "(section \"Quillet\" of the settings file); each option below overrides one control.\n"
           "Defaults shown are the design defaults used when nothing is saved.\n"
           "\n"
        + optionsHelp(harvestOptionTable(), ui::makeMainWindow())
        + "\n"
          "A refused page is asked for again after the wait the marketplace names (or a growing\n"
          "pause); when it stays refused the run stops there, keeping everything gathered, and the\n"
          "start line points at the refused product, so the next run (after --save) resumes there.\n"
          "The products that gave no article are listed in a file beside the product-ID file,\n"
          "named with \".未完成\" before its extension, ready to be harvested again.\n"
          "\n"
          "Ctrl-C stops the run at once (also during a pause) and keeps everything gathered; press\n"
          "it twice to quit at once. Exit status: 0 every product gave its article (also after a\n"
          "preview), 1 the run went through but some products gave no article or some articles\n"
          "could not be written, 2 bad options, 3 the product-ID file cannot be opened, 4 the run\n"
          "stopped because the marketplace refused further requests, 130 stopped by Ctrl-C.\n";
}

int runHarvestSession(const ParsedOptions& options, std::ostream& out, std::ostream& err)
{
    app::App::Options sessionOptions;
    if (const auto settingsFile = options.value("settings"))
        sessionOptions.settingsPath = text::fromNativePath(std::filesystem::path(*settingsFile));
    sessionOptions.connectTo = options.values("connect-to");
    app::App application(std::move(sessionOptions));

    // Ctrl-C is a click on the run button while the run goes on.
    app::MainWindowController* controller = nullptr;
    bool interrupted = false;
    CliUi ui(out, [&]() {
        if (controller && controller->running()) {
            interrupted = true;
            controller->handleEvent(按钮采集.gbk(), ui::EventKind::Clicked);
        }
    });
    application.setUi(&ui);
    app::MainWindowController mainWindow(application, ui);
    controller = &mainWindow;
    mainWindow.startUp();

    if (std::string error; !applyOptions(options, mainWindow.window(), error)) {
        err << "quillet-cli: " << error << "\n";
        return ExitBadOptions;
    }
    mainWindow.applyReplaceRowRule();
    if (const auto proxy = options.value("proxy"))
        mainWindow.setProxyStandIn(text::utf8ToGbk(*proxy));

    harvest::HarvestContext& context = mainWindow.harvestContext();
    applyRetryOptions(options, context.retry);
    if (const auto exportFile = options.value("export")) {
        const GbkText path = pathOption(*exportFile);
        harvest::ReviewExport::Format format{};
        if (!harvest::ReviewExport::formatOf(path, format)) {
            err << "quillet-cli: --export: the file name must end in .csv or .jsonl: " << *exportFile << "\n";
            return ExitBadOptions;
        }
        mainWindow.setExportPath(path);
    }
    harvest::RunLog log;
    if (const auto logFile = options.value("log")) {
        if (!log.open(pathOption(*logFile))) {
            err << "quillet-cli: --log: cannot write " << *logFile << "\n";
            return ExitBadOptions;
        }
        context.onProductDone = [&log](const harvest::ProductReport& report) { (void)log.write(report); };
    }

    ProgressLine progress(err, stderrIsTerminal());
    ui::Window& window = mainWindow.window();
    const int observer = window.addObserver([&](const ui::Window&, const ui::Control* c, ui::Property p) {
        if (c && p == ui::Property::Text && c->name() == 按钮采集)
            progress.show(c->text());
    });
    harvest::RunOutcome outcome;
    {
        InterruptGuard guard;
        outcome = mainWindow.runClicked();
    }
    window.removeObserver(observer);
    progress.finish();

    context.onProductDone = nullptr;
    if (!log.close())
        err << "quillet-cli: --log: the run log could not be written in full\n";

    // The window is not closed (closing saves): only --save stores the controls.
    if (options.has("save")) {
        mainWindow.saveControls();
        mainWindow.saveExportPath();
    }
    using Kind = harvest::RunOutcome::Kind;
    switch (outcome.kind) {
    case Kind::IdFileMissing:
        return ExitNoIdFile;
    case Kind::Refused:
        return ExitRefused;
    case Kind::Stopped:
        if (interrupted)
            return ExitInterrupted;
        break;
    case Kind::Previewed:
        return ExitOk;
    default:
        break;
    }
    return outcome.withoutArticle() > 0 || outcome.startBeyondEnd ? ExitFailure : ExitOk;
}

} // namespace quillet::cli
