#include "cli/Cli.h"
#include "cli/HarvestSession.h"

#include "testmarket/Catalogue.h"
#include "testmarket/TestMarket.h"
#include "text/Charset.h"
#include "ui/Window.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <ostream>
#include <string>
#include <system_error>

namespace quillet::cli {

namespace {

std::vector<OptionInfo> makeDemoTable()
{
    std::vector<OptionInfo> t(2);
    t[0].name = "folder";
    t[0].kind = ValueKind::Path;
    t[0].valueName = "DIR";
    t[0].help = "where to put the demo's files";
    t[0].shownDefault = "./quillet-demo-<date>-<time>";
    t[1].name = "products";
    t[1].kind = ValueKind::Count;
    t[1].valueName = "N";
    t[1].help = "products in the sample list, 2 to 1000";
    t[1].shownDefault = "6";
    return t;
}

std::span<const OptionInfo> demoTable()
{
    static const std::vector<OptionInfo> table = makeDemoTable();
    return table;
}

std::string demoHelp()
{
    return "Usage: quillet-cli demo [--folder DIR] [--products N]\n"
           "\n"
           "Starts the simulated marketplace on 127.0.0.1 (nothing leaves this machine), writes a\n"
           "sample product-ID file (mall and marketplace products, one line that names no product,\n"
           "one unknown product), harvests it with the design defaults into a fresh folder, and\n"
           "prints where the articles are and the first one.\n"
           "\n"
        + optionsHelp(demoTable(), ui::Window());
}

std::string stamp()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%Y%m%d-%H%M%S", &local);
    return buffer;
}

} // namespace

int runDemo(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    ParsedOptions parsed;
    if (std::string error; !parseOptions(demoTable(), args, parsed, error)) {
        err << "quillet-cli demo: " << error << "\n" << demoHelp();
        return ExitBadOptions;
    }
    if (parsed.help) {
        out << demoHelp();
        return ExitOk;
    }
    std::filesystem::path folder = parsed.value("folder").value_or("");
    int productCount = 6;
    if (const auto products = parsed.value("products")) {
        productCount = products->size() > 4 ? 0 : std::atoi(products->c_str());
        if (productCount < 2 || productCount > 1000) {
            err << "quillet-cli demo: --products takes 2 to 1000\n";
            return ExitBadOptions;
        }
    }
    if (folder.empty())
        folder = std::filesystem::current_path() / ("quillet-demo-" + stamp());

    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        err << "quillet-cli demo: cannot create the folder " << folder.string() << ": " << ec.message() << "\n";
        return ExitFailure;
    }

    // The marketplace: a catalogue with a few more products than the list names.
    testmarket::CatalogueOptions catalogueOptions;
    catalogueOptions.seed = 2026;
    catalogueOptions.products = productCount + 4;
    catalogueOptions.pagesPerFeed = 3;
    catalogueOptions.reviewsPerPage = 20;
    auto catalogue = std::make_shared<testmarket::Catalogue>(testmarket::Catalogue::generate(catalogueOptions));
    testmarket::TestMarket market(catalogue);
    if (!market.start(0)) {
        err << "quillet-cli demo: the simulated marketplace could not start on 127.0.0.1\n";
        return ExitFailure;
    }
    const std::string port = std::to_string(market.port());
    out << "Simulated marketplace listening on 127.0.0.1:" << port << "\n";

    // The sample list: mall and marketplace products (some as product addresses), a line
    // that names no product and a product the marketplace does not know.
    const std::filesystem::path idFile = folder / "product-ids.txt";
    {
        std::ofstream ids(idFile, std::ios::binary);
        int written = 0;
        for (const testmarket::Product& p : catalogue->products()) {
            if (written == productCount)
                break;
            if (written % 3 == 1)
                ids << "http://" << (p.isMall() ? "detail.tmall.com" : "item.taobao.com") << "/item.htm?spm=a1z10&id="
                    << p.id << "\r\n";
            else
                ids << p.id << "\r\n";
            ++written;
            if (written == 2)
                ids << text::utf8ToGbk("这一行不是商品") << "\r\n";
        }
        ids << "99999999999\r\n";
        if (!ids) {
            err << "quillet-cli demo: cannot write " << idFile.string() << "\n";
            return ExitFailure;
        }
    }

    std::vector<std::string> harvestArgs = {"--ids", idFile.string(), "--out", (folder / "articles").string(), "--start",
                                            "1", "--settings", (folder / "demo-settings.ini").string()};
    const testmarket::MarketHosts hosts = market.hosts();
    for (const std::string& host : {hosts.productHost, hosts.mallProductHost, hosts.mallFeedHost, hosts.marketFeedHost,
                                    hosts.searchHost}) {
        harvestArgs.push_back("--connect-to");
        harvestArgs.push_back(host + ":80:127.0.0.1:" + port);
    }
    ParsedOptions options;
    if (std::string error; !parseOptions(harvestOptionTable(), harvestArgs, options, error)) {
        err << "quillet-cli demo: " << error << "\n";
        return ExitFailure;
    }

    out << "Harvesting " << idFile.string() << " with the design defaults...\n";
    const int status = runHarvestSession(options, out, err);
    market.stop();
    // The list holds two lines that give no article on purpose, so the harvest reports that
    // some products gave none; the demo has gone as it should when every product did.
    if (status != ExitOk && status != ExitFailure)
        return status;

    // Where the articles are, and the first one.
    std::vector<std::filesystem::path> articles;
    for (const auto& entry : std::filesystem::directory_iterator(folder / "articles", ec))
        if (entry.is_regular_file())
            articles.push_back(entry.path());
    std::sort(articles.begin(), articles.end());
    out << "\n" << articles.size() << " article(s) in " << (folder / "articles").string() << "\n";
    if (status == ExitFailure && articles.size() >= static_cast<std::size_t>(productCount))
        out << "(The list holds a line that names no product and a product the marketplace does not know, on "
               "purpose: those two give no article.)\n";
    if (!articles.empty()) {
        std::ifstream first(articles.front(), std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(first)), std::istreambuf_iterator<char>());
        std::string shown = text::gbkToUtf8(bytes);
        std::string clean;
        for (char c : shown)
            if (c != '\r')
                clean += c;
        if (clean.size() > 3000) {
            clean.resize(3000);
            while (!clean.empty() && (static_cast<unsigned char>(clean.back()) & 0xC0) == 0x80)
                clean.pop_back();
            if (!clean.empty() && static_cast<unsigned char>(clean.back()) >= 0xC0)
                clean.pop_back();
            clean += "\n...";
        }
        out << "\n==== " << articles.front().filename().string() << " ====\n" << clean << "\n";
    }
    // Every product of the list has its article; anything less is a failure of the demo.
    return articles.size() >= static_cast<std::size_t>(productCount) ? ExitOk : ExitFailure;
}

} // namespace quillet::cli
