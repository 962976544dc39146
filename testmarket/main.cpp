// quillet-testmarket: serves the simulated marketplace on 127.0.0.1 until it is stopped
// (SIGINT or SIGTERM). Prints the port it listens on as the first line of its output.

#include "testmarket/Catalogue.h"
#include "testmarket/Fault.h"
#include "testmarket/TestMarket.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

using namespace quillet::testmarket;

namespace {

void usage()
{
    std::cerr << "usage: quillet-testmarket [options]\n"
                 "  --port N               port on 127.0.0.1 (0: a free port; default 0)\n"
                 "  --seed N               catalogue seed (default 1)\n"
                 "  --products N           products in the catalogue (default 40)\n"
                 "  --pages N              feed pages of the fullest products (default 3)\n"
                 "  --reviews-per-page N   records per feed page (default 20)\n"
                 "  --shops N              shops (default 4)\n"
                 "  --listing-page-size N  products per shop listing page (default 10)\n"
                 "  --catalogue FILE       load the catalogue from FILE instead\n"
                 "  --dump-catalogue FILE  write the catalogue to FILE and go on\n"
                 "  --log-requests FILE    on stop, write the URL of every request received to FILE\n"
                 "  --fault TEXT           inject a fault, e.g. latency,ms=2000,host=rate.tmall.com\n"
                 "                         kinds: latency status reset truncate empty charset\n"
                 "                         redirect-loop huge refuse-json refuse-punish refuse-wait\n"
                 "                         keys: host path after times lasts ms code retry wait\n"
                 "                         bytes encoding bom meta metaname header (repeatable);\n"
                 "                         lasts=MS: the fault ends MS ms after its first hit\n";
}

bool readNumber(const char* text, long long low, long long high, long long& out)
{
    char* end = nullptr;
    const long long v = std::strtoll(text, &end, 10);
    if (!end || *end || end == text || v < low || v > high)
        return false;
    out = v;
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    CatalogueOptions options;
    long long port = 0;
    std::string cataloguePath, dumpPath, logPath;
    std::vector<Fault> faults;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            usage();
            return 0;
        }
        if (i + 1 >= argc) {
            usage();
            return 2;
        }
        const char* value = argv[++i];
        long long n = 0;
        bool ok = true;
        if (arg == "--port")
            ok = readNumber(value, 0, 65535, port);
        else if (arg == "--seed" && (ok = readNumber(value, 0, (1LL << 62), n)))
            options.seed = static_cast<std::uint64_t>(n);
        else if (arg == "--products" && (ok = readNumber(value, 0, 100000, n)))
            options.products = static_cast<int>(n);
        else if (arg == "--pages" && (ok = readNumber(value, 1, 1000, n)))
            options.pagesPerFeed = static_cast<int>(n);
        else if (arg == "--reviews-per-page" && (ok = readNumber(value, 1, 1000, n)))
            options.reviewsPerPage = static_cast<int>(n);
        else if (arg == "--shops" && (ok = readNumber(value, 2, 1000, n)))
            options.shops = static_cast<int>(n);
        else if (arg == "--listing-page-size" && (ok = readNumber(value, 1, 1000, n)))
            options.listingPageSize = static_cast<int>(n);
        else if (arg == "--catalogue")
            cataloguePath = value;
        else if (arg == "--dump-catalogue")
            dumpPath = value;
        else if (arg == "--log-requests")
            logPath = value;
        else if (arg == "--fault") {
            const auto fault = Fault::parse(value);
            ok = fault.has_value();
            if (ok)
                faults.push_back(*fault);
        } else if (arg.rfind("--", 0) != 0 || (arg != "--seed" && arg != "--products" && arg != "--pages" &&
                                                 arg != "--reviews-per-page" && arg != "--shops" &&
                                                 arg != "--listing-page-size")) {
            std::cerr << "unknown option " << arg << "\n";
            usage();
            return 2;
        }
        if (!ok) {
            std::cerr << "bad value for " << arg << ": " << value << "\n";
            return 2;
        }
    }

    std::shared_ptr<const Catalogue> catalogue;
    if (!cataloguePath.empty()) {
        auto loaded = Catalogue::loadFile(cataloguePath);
        if (!loaded) {
            std::cerr << "cannot read the catalogue " << cataloguePath << "\n";
            return 1;
        }
        catalogue = std::make_shared<const Catalogue>(std::move(*loaded));
    } else {
        catalogue = std::make_shared<const Catalogue>(Catalogue::generate(options));
    }
    if (!dumpPath.empty()) {
        std::ofstream out(dumpPath, std::ios::binary);
        out << catalogue->toText();
        if (!out) {
            std::cerr << "cannot write " << dumpPath << "\n";
            return 1;
        }
    }

    // Block the stop signals before any thread starts, then wait for one of them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    TestMarket market(catalogue);
    for (const Fault& f : faults)
        market.addFault(f);
    market.setRecordLimit(logPath.empty() ? 0 : 10'000'000);
    if (!market.start(static_cast<std::uint16_t>(port))) {
        std::cerr << "cannot listen on 127.0.0.1:" << port << "\n";
        return 1;
    }
    std::cout << market.port() << std::endl;
    const MarketHosts hosts = market.hosts();
    std::cerr << "simulated marketplace on 127.0.0.1:" << market.port() << ": " << catalogue->products().size()
              << " products, " << catalogue->shops().size() << " shops, " << faults.size() << " faults\n"
              << "hosts: " << hosts.productHost << " " << hosts.mallProductHost << " " << hosts.mallFeedHost << " "
              << hosts.marketFeedHost << " " << hosts.searchHost << " and the shop hosts\n";
    int signal = 0;
    sigwait(&stopSignals, &signal);
    market.stop();
    if (!logPath.empty()) {
        // One URL a line, in arrival order: what a benchmark replays against a bare client.
        std::ofstream log(logPath, std::ios::binary);
        for (const RecordedRequest& r : market.requests())
            log << (r.viaProxy ? r.target : "http://" + r.host + r.target) << "\n";
        if (!log)
            std::cerr << "cannot write " << logPath << "\n";
    }
    std::cerr << "stopped after " << market.requestCount() << " requests\n";
    return 0;
}
