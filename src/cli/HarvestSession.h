#pragma once

#include "cli/OptionTable.h"

#include <iosfwd>
#include <span>
#include <string>
#include <vector>

namespace quillet::cli {

// The options of `quillet-cli harvest`: most set one control of the main window; an option
// not given leaves its control as the saved settings (or the design default) have it.
[[nodiscard]] std::span<const OptionInfo> harvestOptionTable();

// The help text of `quillet-cli harvest`, with every option's default.
[[nodiscard]] std::string harvestHelp();

// Runs one batch harvest as the desktop program's run button would. Returns the exit status.
int runHarvestSession(const ParsedOptions& options, std::ostream& out, std::ostream& err);

} // namespace quillet::cli
