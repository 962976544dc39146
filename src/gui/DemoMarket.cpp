#include "DemoMarket.h"

#include "testmarket/Catalogue.h"
#include "testmarket/TestMarket.h"
#include "text/Charset.h"
#include "text/Paths.h"

#include <ctime>
#include <fstream>
#include <system_error>

namespace quillet::gui {

namespace fs = std::filesystem;

namespace {

std::string stamp()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%Y%m%d-%H%M%S", &local);
    return buffer;
}

} // namespace

DemoMarket::DemoMarket() = default;

DemoMarket::~DemoMarket()
{
    if (m_market)
        m_market->stop();
}

bool DemoMarket::start(const fs::path& parent, int products, std::string& error)
{
    std::error_code ec;
    m_folder = parent / ("quillet-demo-" + stamp());
    for (int n = 2; fs::exists(m_folder, ec); ++n)
        m_folder = parent / ("quillet-demo-" + stamp() + "-" + std::to_string(n));
    fs::create_directories(m_folder / "articles", ec);
    if (ec) {
        error = "cannot create the folder " + m_folder.string() + ": " + ec.message();
        return false;
    }

    testmarket::CatalogueOptions options;
    options.seed = 2026;
    options.products = products + 4;
    options.pagesPerFeed = 3;
    options.reviewsPerPage = 20;
    auto catalogue = std::make_shared<testmarket::Catalogue>(testmarket::Catalogue::generate(options));
    m_market = std::make_unique<testmarket::TestMarket>(catalogue);
    if (!m_market->start(0)) {
        error = "the simulated marketplace could not start on 127.0.0.1";
        return false;
    }

    // Mall and marketplace products, some written as product addresses.
    std::ofstream ids(m_folder / "product-ids.txt", std::ios::binary);
    int written = 0;
    for (const testmarket::Product& p : catalogue->products()) {
        if (written == products)
            break;
        if (written % 3 == 1)
            ids << "http://" << (p.isMall() ? "detail.tmall.com" : "item.taobao.com") << "/item.htm?id=" << p.id
                << "\r\n";
        else
            ids << p.id << "\r\n";
        ++written;
    }
    if (!ids.flush()) {
        error = "cannot write " + (m_folder / "product-ids.txt").string();
        return false;
    }

    // Every host of the marketplace and the mall is reached on 127.0.0.1.
    const testmarket::MarketHosts hosts = m_market->hosts();
    const std::string port = std::to_string(m_market->port());
    for (const std::string& host :
         {hosts.productHost, hosts.mallProductHost, hosts.mallFeedHost, hosts.marketFeedHost, hosts.searchHost})
        m_connectTo.push_back(host + ":80:127.0.0.1:" + port);
    // Shop listings live on <shop>.taobao.com and <shop>.tmall.com: any host on port 80 that
    // is left goes to the marketplace too, so the demo never reaches a real site.
    m_connectTo.push_back(":80:127.0.0.1:" + port);
    return true;
}

GbkText DemoMarket::idFile() const
{
    return text::fromNativePath(m_folder / "product-ids.txt");
}

GbkText DemoMarket::outputFolder() const
{
    return text::fromNativePath(m_folder / "articles");
}

int DemoMarket::port() const
{
    return m_market ? m_market->port() : 0;
}

} // namespace quillet::gui
