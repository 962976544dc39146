#pragma once

#include "cli/OptionTable.h"

#include <iosfwd>
#include <span>
#include <string>

namespace quillet::cli {

// `quillet-cli ids-shop` and `quillet-cli ids-keyword`: the two product-ID windows run from the
// command line. Most options set one control of the window; an option not given leaves its
// control as the saved settings (or the design default) have it.
[[nodiscard]] std::span<const OptionInfo> shopIdsOptionTable();
[[nodiscard]] std::span<const OptionInfo> keywordIdsOptionTable();

[[nodiscard]] std::string shopIdsHelp();
[[nodiscard]] std::string keywordIdsHelp();

// Run the window's start button (or, for the shop with --count, its count query) once.
// Return the exit status.
int runShopIdsSession(const ParsedOptions& options, std::ostream& out, std::ostream& err);
int runKeywordIdsSession(const ParsedOptions& options, std::ostream& out, std::ostream& err);

} // namespace quillet::cli
