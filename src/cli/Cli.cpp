#include "cli/Cli.h"

#include "cli/HarvestSession.h"
#include "cli/IdsSession.h"

#include <ostream>

namespace quillet::cli {

namespace {
const char* const kUsage =
    "Usage: quillet-cli COMMAND [options]\n"
    "\n"
    "Commands:\n"
    "  harvest      harvest the reviews of the products in a product-ID file into articles\n"
    "               (quillet-cli harvest --help lists its options)\n"
    "  ids-shop     collect the product IDs of one shop into a product-ID file\n"
    "               (quillet-cli ids-shop --help)\n"
    "  ids-keyword  collect the product IDs a keyword search finds into a product-ID file\n"
    "               (quillet-cli ids-keyword --help)\n"
    "  demo         start the simulated marketplace on this machine and harvest a sample list\n"
    "               into a fresh folder, then show where the articles are and the first one\n"
    "               (quillet-cli demo --help)\n"
    "\n"
    "Options:\n"
    "  --help       this text\n";
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

namespace {
int runTableCommand(const char* command, std::span<const OptionInfo> table, std::string (*help)(),
                    int (*session)(const ParsedOptions&, std::ostream&, std::ostream&),
                    const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    ParsedOptions options;
    std::string error;
    if (!parseOptions(table, args, options, error)) {
        err << "quillet-cli " << command << ": " << error << "\n(quillet-cli " << command
            << " --help lists the options)\n";
        return ExitBadOptions;
    }
    if (options.help) {
        out << help();
        return ExitOk;
    }
    return session(options, out, err);
}
} // namespace

int runIdsShop(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    return runTableCommand("ids-shop", shopIdsOptionTable(), shopIdsHelp, runShopIdsSession, args, out, err);
}

int runIdsKeyword(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    return runTableCommand("ids-keyword", keywordIdsOptionTable(), keywordIdsHelp, runKeywordIdsSession, args, out,
                           err);
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
    if (command == "ids-shop")
        return runIdsShop(rest, out, err);
    if (command == "ids-keyword")
        return runIdsKeyword(rest, out, err);
    if (command == "demo")
        return runDemo(rest, out, err);
    err << "quillet-cli: unknown command \"" << command << "\"\n" << kUsage;
    return ExitBadOptions;
}

} // namespace quillet::cli
