#include "cli/IdsSession.h"

#include "app/App.h"
#include "cli/Cli.h"
#include "cli/CliUi.h"
#include "cli/InterruptGuard.h"
#include "cli/ProgressLine.h"
#include "idcollect/KeywordIds.h"
#include "idcollect/ShopIds.h"
#include "text/Charset.h"
#include "text/Paths.h"
#include "ui/SecondaryWindows.h"
#include "ui/Window.h"
#include "web/Endpoints.h"
#include "web/WebClient.h"

#include <cstdlib>
#include <functional>
#include <ostream>

namespace quillet::cli {

namespace {

bool isConnectToEntry(std::string_view value)
{
    return web::isValidConnectToEntry(value);
}

using AddOption = std::function<OptionInfo&(std::string_view, ValueKind, std::string_view, std::string_view)>;

// The options both ID commands share, after their own.
void addCommonOptions(const AddOption& add, std::string_view connectToHelp)
{
    add("proxy", ValueKind::Text, "HOST:PORT", "fetch the pages through this HTTP proxy").shownDefault = "direct";
    {
        OptionInfo& o = add("connect-to", ValueKind::Text, "H:P:A:P", connectToHelp);
        o.shownDefault = "none";
        o.repeatable = true;
        o.accepts = isConnectToEntry;
        o.expects = "HOST:PORT:ADDRESS:PORT";
    }
    add("retries", ValueKind::Count, "N", "ask a refused page again up to N times").shownDefault = "3";
    add("backoff", ValueKind::Decimal, "SECONDS", "first pause after a refusal that names no wait;\n"
                                                  "doubles with each retry, at most 300")
        .shownDefault = "5";
    add("settings", ValueKind::Path, "FILE", "settings file to read (and write with --save)").shownDefault =
        "beside the program";
    add("save", ValueKind::Switch, "", "store the control states after the run").shownDefault = "off";
}

std::vector<OptionInfo> makeShopTable()
{
    using namespace ui::shopwin;
    std::vector<OptionInfo> t;
    const AddOption add = [&t](std::string_view name, ValueKind kind, std::string_view valueName,
                               std::string_view help) -> OptionInfo& {
        OptionInfo& o = t.emplace_back();
        o.name = name;
        o.kind = kind;
        o.valueName = valueName;
        o.help = help;
        return o;
    };
    add("shop", ValueKind::Text, "ADDRESS", "shop home address on the marketplace or the mall").control =
        编辑框店铺地址;
    add("out", ValueKind::Path, "DIR", "folder of the ID file, named after the shop's host").control =
        编辑框保存目录;
    {
        OptionInfo& o = add("sort", ValueKind::Choice, "ORDER",
                            "default, popular, sales, new, price or favourites");
        o.choices = {"default", "popular", "sales", "new", "price", "favourites"};
        o.choiceControls = {单选框默认, 单选框人气, 单选框销量, 单选框新品, 单选框价格, 单选框收藏};
    }
    add("prefix", ValueKind::Toggle, "", "write product addresses rather than bare IDs").control = 选择框插入;
    add("count", ValueKind::Switch, "", "only tell how many products and listing pages\n"
                                        "the shop has; nothing is written")
        .shownDefault = "off";
    addCommonOptions(add, "connect to address A:P for host H:P (repeatable);\n"
                          "the shop's host goes where the first H:80 entry goes");
    return t;
}

std::vector<OptionInfo> makeKeywordTable()
{
    using namespace ui::keywordwin;
    std::vector<OptionInfo> t;
    const AddOption add = [&t](std::string_view name, ValueKind kind, std::string_view valueName,
                               std::string_view help) -> OptionInfo& {
        OptionInfo& o = t.emplace_back();
        o.name = name;
        o.kind = kind;
        o.valueName = valueName;
        o.help = help;
        return o;
    };
    add("keyword", ValueKind::Text, "TEXT", "search keyword; it also names the ID file").control =
        编辑框关键词;
    add("out", ValueKind::Path, "DIR", "folder of the ID file").control = 编辑框保存目录;
    add("pages", ValueKind::Count, "N", "result pages, 40 products each (at most 100)").control = 编辑框页数;
    {
        OptionInfo& o = add("sort", ValueKind::Choice, "ORDER", "result order: popular, sales or credit");
        o.control = 组合框排序;
        o.choices = {"popular", "sales", "credit"};
    }
    add("prefix", ValueKind::Toggle, "", "write product addresses rather than bare IDs").control = 选择框插入;
    addCommonOptions(add, "connect to address A:P for host H:P (repeatable)");
    return t;
}

// What both sessions set up: the settings, the App, the window restored and overridden by
// the options, the endpoints and the proxy.
class IdsSession {
public:
    IdsSession(const ParsedOptions& options, std::ostream& out, std::ostream& err, ui::Window window)
        : m_options(options)
        , m_err(err)
        , m_ui(out, [this] {
            // A stop asked for before the run has begun is kept for the run.
            if (m_onStop) {
                m_interrupted = true;
                m_onStop();
            } else
                requestStopFromSignal();
        })
        , m_window(std::move(window))
        , m_context{*m_app.webClient, {}, {}, {}}
        , m_progress(err, stderrIsTerminal())
    {
        setSettingsFile(options);
        m_app.setUi(&m_ui);
        m_app.setProgramName(app::defaultProgramName());
    }

    ~IdsSession()
    {
        if (m_observer)
            m_window.removeObserver(m_observer);
    }

    // Restores the window and applies the options; false (with the message given) on a bad one.
    bool prepare(const std::function<void(ui::Window&, settings::SettingsStore&)>& restore)
    {
        restore(m_window, m_app.settings);
        if (std::string error; !applyOptions(m_options, m_window, error)) {
            m_err << "quillet-cli: " << error << "\n";
            return false;
        }
        return true;
    }

    // The endpoints with the given connect-to entries, plus one for `extraHost` (when not empty)
    // going where the first HOST:80 entry goes; the proxy for every page.
    void connect(const GbkText& extraHost)
    {
        web::Endpoints endpoints = web::currentEndpoints();
        const std::vector<std::string> entries = m_options.values("connect-to");
        bool named = false;
        std::string port80Target;
        for (const std::string& entry : entries) {
            endpoints.connectTo.push_back(entry);
            const std::size_t colon = entry.find(':');
            const std::string host = entry.substr(0, colon);
            const std::string rest = entry.substr(colon + 1);
            if (rest.rfind("80:", 0) == 0) {
                if (port80Target.empty())
                    port80Target = rest.substr(3);
                named = named || text::utf8ToGbk(host) == extraHost;
            }
        }
        if (!extraHost.empty() && !named && !port80Target.empty()) {
            const std::string entry = extraHost + ":80:" + port80Target;
            if (web::isValidConnectToEntry(entry))
                endpoints.connectTo.push_back(entry);
        }
        web::setCurrentEndpoints(endpoints);
        m_context.endpoints = endpoints;
        if (const auto proxy = m_options.value("proxy"))
            m_app.webClient->setProxy(2, text::utf8ToGbk(*proxy));

        applyRetryOptions(m_options, m_context.retry);
        m_context.programFolder = text::fromNativePath(text::executableFolder());
        m_context.settingsFolder = text::fromNativePath(text::toNativePath(m_app.settingsPath).parent_path());
    }

    // Runs the button; the window title is the progress line; Ctrl-C is a click on `stop`.
    template <typename Run>
    auto run(Run&& button, std::function<void()> stop)
    {
        m_observer = m_window.addObserver([this](const ui::Window& w, const ui::Control* c, ui::Property p) {
            if (!c && p == ui::Property::WindowTitle)
                m_progress.show(w.title());
        });
        InterruptGuard guard;
        m_onStop = std::move(stop);
        auto result = button();
        m_onStop = nullptr;
        m_progress.finish();
        return result;
    }

    void saveIfAsked(const std::function<void(const ui::Window&, settings::SettingsStore&)>& save)
    {
        if (m_options.has("save"))
            save(m_window, m_app.settings);
    }

    [[nodiscard]] ui::Window& window() { return m_window; }
    [[nodiscard]] idcollect::CollectContext& context() { return m_context; }
    [[nodiscard]] CliUi& ui() { return m_ui; }
    [[nodiscard]] std::ostream& err() { return m_err; }
    // Ctrl-C stopped the run.
    [[nodiscard]] bool interrupted() const { return m_interrupted; }

private:
    static void setSettingsFile(const ParsedOptions& options)
    {
        const auto settingsFile = options.value("settings");
        if (!settingsFile)
            return;
#ifdef _WIN32
        _putenv_s(app::kSettingsPathVariable, settingsFile->c_str());
#else
        setenv(app::kSettingsPathVariable, settingsFile->c_str(), 1);
#endif
    }

    const ParsedOptions& m_options;
    std::ostream& m_err;
    app::App m_app;
    std::function<void()> m_onStop;
    bool m_interrupted = false;
    CliUi m_ui;
    ui::Window m_window;
    idcollect::CollectContext m_context;
    ProgressLine m_progress;
    int m_observer = 0;
};

const GbkText& controlText(const ui::Window& window, const ui::ControlName& name)
{
    static const GbkText none;
    const ui::Control* c = window.find(name);
    return c ? c->text() : none;
}

int statusOf(const idcollect::RunOutcome& outcome, bool interrupted)
{
    if (!outcome.ran)
        return ExitBadOptions;
    if (outcome.fileFailed)
        return ExitFailure;
    if (outcome.refusedPage > 0)
        return ExitRefused;
    return interrupted && outcome.stopped ? ExitInterrupted : ExitOk;
}

const char* const kStatusHelp =
    "A refused page is asked for again after the wait the marketplace names (or a growing\n"
    "pause); when it stays refused the run stops there and keeps the file it wrote.\n"
    "Ctrl-C stops the run as the window's button does (also during such a wait) and keeps\n"
    "what was collected; press it twice to quit at once. Exit status: 0 done, 1 the\n"
    "product-ID file could not be written, 2 bad options (or an address the window refuses),\n"
    "4 stopped because the marketplace refused further requests, 130 stopped by Ctrl-C.\n";

} // namespace

std::span<const OptionInfo> shopIdsOptionTable()
{
    static const std::vector<OptionInfo> table = makeShopTable();
    return table;
}

std::span<const OptionInfo> keywordIdsOptionTable()
{
    static const std::vector<OptionInfo> table = makeKeywordTable();
    return table;
}

std::string shopIdsHelp()
{
    return "Usage: quillet-cli ids-shop --shop ADDRESS --out DIR [options]\n"
           "\n"
           "Collects the product IDs of one shop from its own listing pages into DIR/<shop host>.txt,\n"
           "one ID (or product address) a line, exactly as the window \"by shop\" does. The controls\n"
           "start as the saved settings have them (section \"店铺采集ID\"); each option below\n"
           "overrides one. Defaults shown are the design defaults used when nothing is saved.\n"
           "\n"
        + optionsHelp(shopIdsOptionTable(), ui::makeShopIdWindow()) + "\n" + kStatusHelp;
}

std::string keywordIdsHelp()
{
    return "Usage: quillet-cli ids-keyword --keyword TEXT --out DIR [options]\n"
           "\n"
           "Collects the product IDs a keyword search finds, page by page, into DIR/<keyword>.txt,\n"
           "one ID (or product address) a line, exactly as the window \"by keyword\" does. The\n"
           "controls start as the saved settings have them (section \"关键词采集ID\"); each option\n"
           "below overrides one. Defaults shown are the design defaults used when nothing is saved.\n"
           "\n"
        + optionsHelp(keywordIdsOptionTable(), ui::makeKeywordIdWindow()) + "\n" + kStatusHelp;
}

int runShopIdsSession(const ParsedOptions& options, std::ostream& out, std::ostream& err)
{
    IdsSession session(options, out, err, ui::makeShopIdWindow());
    if (!session.prepare(idcollect::restoreShopWindow))
        return ExitBadOptions;
    const GbkText address = controlText(session.window(), ui::shopwin::编辑框店铺地址);
    if (address.empty()) {
        err << "quillet-cli ids-shop: no shop address: give --shop ADDRESS\n";
        return ExitBadOptions;
    }
    session.connect(idcollect::listingHost(address));
    auto& w = session.window();
    auto& context = session.context();
    auto& ui = session.ui();

    int status = ExitOk;
    if (options.has("count")) {
        if (!session.run([&] { return idcollect::shopCountClicked(w, context, ui); }, nullptr))
            status = ExitBadOptions;
    } else {
        const idcollect::RunOutcome outcome =
            session.run([&] { return idcollect::shopStartClicked(w, context, ui); },
                        [&] { (void)idcollect::shopStartClicked(w, context, ui); });
        status = statusOf(outcome, session.interrupted());
    }
    session.saveIfAsked(idcollect::saveShopWindow);
    return status;
}

int runKeywordIdsSession(const ParsedOptions& options, std::ostream& out, std::ostream& err)
{
    IdsSession session(options, out, err, ui::makeKeywordIdWindow());
    if (!session.prepare(idcollect::restoreKeywordWindow))
        return ExitBadOptions;
    if (controlText(session.window(), ui::keywordwin::编辑框关键词).empty()) {
        err << "quillet-cli ids-keyword: no keyword: give --keyword TEXT\n";
        return ExitBadOptions;
    }
    session.connect(GbkText());
    auto& w = session.window();
    auto& context = session.context();
    auto& ui = session.ui();
    const idcollect::RunOutcome outcome =
        session.run([&] { return idcollect::keywordRunClicked(w, context, ui); },
                    [&] { (void)idcollect::keywordRunClicked(w, context, ui); });
    session.saveIfAsked(idcollect::saveKeywordWindow);
    return statusOf(outcome, session.interrupted());
}

} // namespace quillet::cli
