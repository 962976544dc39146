#include "E2eSupport.h"
#include "cli/Cli.h"

#include "harvest/BatchRun.h"
#include "testmarket/MarketPages.h"
#include "text/Charset.h"
#include "ui/MainWindow.h"

#include <algorithm>
#include <sstream>
#include <system_error>

namespace quillet::e2e {

namespace fs = std::filesystem;

GbkText g(std::string_view utf8)
{
    return text::utf8ToGbk(std::string(utf8));
}

std::string u(const GbkText& gbkText)
{
    return text::gbkToUtf8(gbkText);
}

Review review(std::string_view textUtf8, std::string_view nickUtf8, std::string date, std::vector<SkuAttribute> sku,
              bool skuAsObjects)
{
    Review r;
    r.text = g(textUtf8);
    r.nick = g(nickUtf8);
    r.date = std::move(date);
    r.sku = std::move(sku);
    r.skuAsObjects = skuAsObjects;
    return r;
}

namespace {
Product makeProduct(std::string id, Storefront storefront, std::string_view titleUtf8, std::vector<Review> reviews)
{
    Product p;
    p.id = std::move(id);
    p.storefront = storefront;
    p.sellerId = storefront == Storefront::Mall ? "22222222" : "11111111";
    p.shopHost = storefront == Storefront::Mall ? "store1.tmall.com" : "shop11111111.taobao.com";
    p.title = g(titleUtf8);
    p.reviews = std::move(reviews);
    return p;
}
} // namespace

Product marketProduct(std::string id, std::string_view titleUtf8, std::vector<Review> reviews)
{
    return makeProduct(std::move(id), Storefront::Marketplace, titleUtf8, std::move(reviews));
}

Product mallProduct(std::string id, std::string_view titleUtf8, std::vector<Review> reviews)
{
    return makeProduct(std::move(id), Storefront::Mall, titleUtf8, std::move(reviews));
}

std::vector<Review> numberedReviews(int n, const std::string& prefix)
{
    std::vector<Review> out;
    for (int i = 1; i <= n; ++i)
        out.push_back(review(prefix + std::to_string(i), "nick" + std::to_string(i)));
    return out;
}

// ---- MarketSession ---------------------------------------------------------------------

MarketSession::MarketSession(Catalogue catalogue)
    : m_catalogue(std::make_shared<Catalogue>(std::move(catalogue)))
    , m_market(std::make_unique<testmarket::TestMarket>(m_catalogue))
    , m_previous(web::currentEndpoints())
{
    if (!m_market->start(0))
        return;
    web::Endpoints endpoints = m_previous;
    for (const std::string& entry : connectToEntries())
        endpoints.connectTo.push_back(entry);
    web::setCurrentEndpoints(endpoints);
}

MarketSession::~MarketSession()
{
    web::setCurrentEndpoints(m_previous);
    m_market->stop();
}

std::string MarketSession::address() const
{
    return "127.0.0.1:" + std::to_string(m_market->port());
}

std::vector<std::string> MarketSession::connectToEntries() const
{
    const testmarket::MarketHosts hosts = m_market->hosts();
    std::vector<std::string> entries;
    for (const std::string& host :
         {hosts.productHost, hosts.mallProductHost, hosts.mallFeedHost, hosts.marketFeedHost, hosts.searchHost})
        entries.push_back(host + ":80:" + address());
    return entries;
}

std::vector<RecordedRequest> MarketSession::requestsTo(std::string_view path) const
{
    std::vector<RecordedRequest> out;
    for (RecordedRequest& r : m_market->requests())
        if (r.path == path)
            out.push_back(std::move(r));
    return out;
}

std::vector<RecordedRequest> MarketSession::feedRequests() const
{
    std::vector<RecordedRequest> out;
    for (RecordedRequest& r : m_market->requests())
        if (r.path == "/feedRateList.htm" || r.path == "/list_detail_rate.htm")
            out.push_back(std::move(r));
    return out;
}

std::vector<std::string> MarketSession::productPagesAsked() const
{
    std::vector<std::string> ids;
    for (const RecordedRequest& r : m_market->requests())
        if (r.path == "/item.htm" && r.host == m_market->hosts().productHost)
            ids.push_back(testmarket::pages::percentDecode(r.queryValue("id")));
    return ids;
}

// ---- RunBench ----------------------------------------------------------------------------

RunBench::RunBench()
    : folder("quillet-e2e")
    , settingsVariable(app::kSettingsPathVariable, folder.file("settings.ini").string().c_str())
    , window(ui::makeMainWindow())
    , context{app.patternRegex, app.whitespaceRegex, app.stopRequested, window,
              [this]() { return proxyWindowOpen ? proxyText : GbkText(); }}
{
    app.setUi(&ui);
    app.setProgramName(app::defaultProgramName());
    // Retries after short pauses: the tests count them, they need not wait like a real client.
    context.retry.firstRefusalPauseMs = 20;
    context.retry.firstFailurePauseMs = 10;
    setGbkText("编辑框商品ID文件", folder.gbkFile("ids.txt"));
    setGbkText("编辑框保存目录", folder.gbkFile("out"));
    setText("编辑框序号", "1");
    setIndex("组合框类型", 0);
    setText("编辑框字数", "0");
    setText("编辑框页数", "0");
    setText("编辑框每页延时秒", "0");
    setChecked("选择框标题打乱", false);
    setChecked("选择框内容打乱", false);
    setText("编辑框组合", "#评论#\r\n");
    setIndex("组合框命名方式", 1);
}

void RunBench::setText(std::string_view controlUtf8, std::string_view valueUtf8)
{
    setGbkText(controlUtf8, g(valueUtf8));
}

void RunBench::setGbkText(std::string_view controlUtf8, const GbkText& value)
{
    if (ui::Control* c = window.find(g(controlUtf8)))
        c->setText(value);
}

void RunBench::setChecked(std::string_view controlUtf8, bool checked)
{
    if (ui::Control* c = window.find(g(controlUtf8)))
        c->setChecked(checked);
}

void RunBench::setIndex(std::string_view controlUtf8, int index)
{
    if (ui::Control* c = window.find(g(controlUtf8)))
        c->setSelectedIndex(index);
}

std::string RunBench::text(std::string_view controlUtf8) const
{
    const ui::Control* c = window.find(g(controlUtf8));
    return c ? u(c->text()) : std::string("<no control>");
}

bool RunBench::enabled(std::string_view controlUtf8) const
{
    const ui::Control* c = window.find(g(controlUtf8));
    return c && c->enabled();
}

void RunBench::writeIds(std::string_view bytes)
{
    testsupport::writeFileBytes(folder.file("ids.txt"), bytes);
}

void RunBench::click()
{
    harvest::runButtonClicked(context, ui);
}

void RunBench::whenEvents(std::function<bool()> check)
{
    auto step = std::make_shared<std::function<void()>>();
    *step = [this, check = std::move(check), weak = std::weak_ptr<std::function<void()>>(step)]() {
        if (check())
            return;
        if (auto self = weak.lock())
            ui.onNextEvents([self]() { (*self)(); });
    };
    ui.onNextEvents([step]() { (*step)(); });
}

std::shared_ptr<std::vector<std::string>> RunBench::recordTexts(std::string_view controlUtf8)
{
    auto seen = std::make_shared<std::vector<std::string>>();
    const GbkText name = g(controlUtf8);
    window.addObserver([seen, name](const ui::Window&, const ui::Control* c, ui::Property p) {
        if (c && p == ui::Property::Text && c->name() == name)
            seen->push_back(u(c->text()));
    });
    return seen;
}

std::vector<std::string> RunBench::outputNames() const
{
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(outputFolder(), ec))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string RunBench::outputText(const std::string& nameUtf8) const
{
    return u(testsupport::readFileBytes(outputFolder() / fs::path(nameUtf8)));
}

std::vector<std::string> RunBench::messageTexts() const
{
    std::vector<std::string> out;
    for (const auto& m : ui.messages())
        out.push_back(u(m.text));
    return out;
}

std::vector<std::string> RunBench::messageTitles() const
{
    std::vector<std::string> out;
    for (const auto& m : ui.messages())
        out.push_back(u(m.title));
    return out;
}

std::vector<std::string> crlfLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

CliResult cli(const std::vector<std::string>& args)
{
    std::ostringstream out, err;
    CliResult r;
    r.status = cli::runCli(args, out, err);
    r.out = out.str();
    r.err = err.str();
    return r;
}

Catalogue fiveProducts()
{
    Catalogue c;
    for (int i = 1; i <= 5; ++i)
        c.addProduct(marketProduct(std::to_string(7000000 + i), "item " + std::to_string(i),
                                   numberedReviews(2, "p" + std::to_string(i) + "r")));
    return c;
}

} // namespace quillet::e2e
