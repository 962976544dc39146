#pragma once

// What the end-to-end suites share: catalogues built by hand, a running simulated marketplace
// reached under its real host names, and a main window with a headless Ui and an App whose
// settings live in a temporary folder.

#include "app/App.h"
#include "harvest/Harvest.h"
#include "support/TempFolder.h"
#include "testmarket/Catalogue.h"
#include "testmarket/TestMarket.h"
#include "ui/HeadlessUi.h"
#include "ui/Window.h"
#include "web/Endpoints.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quillet::e2e {

using testmarket::Catalogue;
using testmarket::Product;
using testmarket::RecordedRequest;
using testmarket::Review;
using testmarket::SkuAttribute;
using testmarket::Storefront;

// GBK from a UTF-8 literal, and back.
[[nodiscard]] GbkText g(std::string_view utf8);
[[nodiscard]] std::string u(const GbkText& gbkText);

// A review; text may hold CR LF line breaks.
[[nodiscard]] Review review(std::string_view textUtf8, std::string_view nickUtf8 = "buyer",
                            std::string date = "2014-05-06", std::vector<SkuAttribute> sku = {},
                            bool skuAsObjects = false);
[[nodiscard]] Product marketProduct(std::string id, std::string_view titleUtf8, std::vector<Review> reviews);
[[nodiscard]] Product mallProduct(std::string id, std::string_view titleUtf8, std::vector<Review> reviews);
// n reviews "<prefix>1" .. "<prefix>n".
[[nodiscard]] std::vector<Review> numberedReviews(int n, const std::string& prefix = "r");

// The simulated marketplace on 127.0.0.1 with every host it serves mapped onto it; the
// previous endpoint configuration comes back when the object ends.
class MarketSession {
public:
    explicit MarketSession(Catalogue catalogue);
    ~MarketSession();
    MarketSession(const MarketSession&) = delete;
    MarketSession& operator=(const MarketSession&) = delete;

    [[nodiscard]] testmarket::TestMarket& market() { return *m_market; }
    [[nodiscard]] const Catalogue& catalogue() const { return *m_catalogue; }
    [[nodiscard]] std::string address() const; // "127.0.0.1:PORT", also the recording proxy
    [[nodiscard]] std::vector<std::string> connectToEntries() const;

    // Requests by path ("/item.htm", "/feedRateList.htm", "/list_detail_rate.htm").
    [[nodiscard]] std::vector<RecordedRequest> requestsTo(std::string_view path) const;
    // Feed requests of both storefronts, in order.
    [[nodiscard]] std::vector<RecordedRequest> feedRequests() const;
    // The product IDs whose marketplace product page was asked for, in order.
    [[nodiscard]] std::vector<std::string> productPagesAsked() const;

private:
    std::shared_ptr<Catalogue> m_catalogue;
    std::unique_ptr<testmarket::TestMarket> m_market;
    web::Endpoints m_previous;
};

// The main window at its design defaults, adjusted for quick deterministic runs: every review
// type, no minimum length, no page limit, no pause, no shuffling, template "#评论#" CR LF, the
// product-ID file and the output folder in a temporary folder.
class RunBench {
public:
    RunBench();

    testsupport::TempFolder folder;
    testsupport::ScopedEnvironment settingsVariable;
    ui::HeadlessUi ui;
    app::App app;
    ui::Window window;
    bool proxyWindowOpen = false;
    GbkText proxyText;
    harvest::HarvestContext context;

    void setText(std::string_view controlUtf8, std::string_view valueUtf8);
    void setGbkText(std::string_view controlUtf8, const GbkText& value);
    void setChecked(std::string_view controlUtf8, bool checked);
    void setIndex(std::string_view controlUtf8, int index);
    [[nodiscard]] std::string text(std::string_view controlUtf8) const; // UTF-8
    [[nodiscard]] bool enabled(std::string_view controlUtf8) const;

    // Writes the product-ID file (raw bytes).
    void writeIds(std::string_view bytes);
    [[nodiscard]] std::filesystem::path outputFolder() const { return folder.file("out"); }

    // A click on the run button.
    void click();
    // Runs check() at every processEvents call until it returns true.
    void whenEvents(std::function<bool()> check);
    // Every text the control held, in order, from now on.
    [[nodiscard]] std::shared_ptr<std::vector<std::string>> recordTexts(std::string_view controlUtf8);

    // Output files, sorted by name, and the text of one (UTF-8, line ends kept).
    [[nodiscard]] std::vector<std::string> outputNames() const;
    [[nodiscard]] std::string outputText(const std::string& nameUtf8) const;
    // Message texts and titles (UTF-8).
    [[nodiscard]] std::vector<std::string> messageTexts() const;
    [[nodiscard]] std::vector<std::string> messageTitles() const;
};

// The lines of a CR LF text, without the line ends (a last empty line dropped).
[[nodiscard]] std::vector<std::string> crlfLines(const std::string& text);

// What `quillet-cli` with these arguments printed and returned.
struct CliResult {
    int status = -1;
    std::string out;
    std::string err;
};
[[nodiscard]] CliResult cli(const std::vector<std::string>& args);

// Five marketplace products "7000001" to "7000005" with two reviews each.
[[nodiscard]] Catalogue fiveProducts();

} // namespace quillet::e2e
