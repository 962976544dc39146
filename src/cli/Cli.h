#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace quillet::cli {

// Exit statuses of quillet-cli.
enum ExitStatus : int {
    ExitOk = 0,
    ExitFailure = 1,      // the run went through, but some products gave no article or some articles could
                          // not be written; the demo could not start its marketplace; an ID file could not be written
    ExitBadOptions = 2,
    ExitNoIdFile = 3,     // the product-ID file cannot be opened
    ExitRefused = 4,      // the run stopped because the marketplace refused further requests
    ExitInterrupted = 130, // the run stopped on Ctrl-C, keeping what it gathered
};

// Runs quillet-cli with its arguments (without the program name). Message boxes and results
// go to `out`, errors and the live progress line to `err`. Texts are UTF-8.
int runCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// The sub-commands, for tests.
int runHarvest(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int runIdsShop(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int runIdsKeyword(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int runDemo(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// Asks a run in progress to stop, as a click on the run button would (what Ctrl-C does).
// Safe to call from a signal handler.
void requestStopFromSignal();

} // namespace quillet::cli
