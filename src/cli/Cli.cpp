#include "cli/Cli.h"

#include "cli/HarvestSession.h"

#include <ostream>

namespace quillet::cli {

namespace {
const char* const kUsage =
    "Usage: quillet-cli COMMAND [options]\n"
    "\n"
    "Commands:\n"
    "  harvest   harvest the reviews of the products in a product-ID file into articles\n"
    "            (quillet-cli harvest --help lists its options)\n"
    "  demo      start the simulated marketplace on this machine and harvest a sample list\n"
    "            into a fresh folder, then show where the articles are and the first one\n"
    "            (quillet-cli demo --help)\n"
    "\n"
    "Options:\n"
    "  --help    this text\n";
} // namespace

int runHarvest(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    ParsedOptions options;
    std::string error;
    if (!parseOptions(harvestOptionTable(), args, options, error)) {
        err << "quillet-cli harvest: " << error << "\n(quillet-cli harvest --help lists the options)\n";
        return ExitBadOptions;
    }
    if (options.help) {
        out << harvestHelp();
        return ExitOk;
    }
    return runHarvestSession(options, out, err);
}

int runCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    if (args.empty()) {
        err << kUsage;
        return ExitBadOptions;
    }
    const std::string& command = args.front();
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (command == "--help" || command == "-h" || command == "help") {
        out << kUsage;
        return ExitOk;
    }
    if (command == "harvest")
        return runHarvest(rest, out, err);
    if (command == "demo")
        return runDemo(rest, out, err);
    err << "quillet-cli: unknown command \"" << command << "\"\n" << kUsage;
    return ExitBadOptions;
}

} // namespace quillet::cli
