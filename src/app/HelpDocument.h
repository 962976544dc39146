#pragma once

#include "text/GbkText.h"

#include <filesystem>

namespace quillet::app {

// The program's own help page. The maker's pages, the contact page and the proxy-checking
// link have no address of ours on the web: they all open this file with the system's "open"
// action.
//
// Its name, and the places it is looked for, in this order:
//   <program folder>/quillet-help.html                  (a build tree, a portable copy)
//   <program folder>/../share/quillet/quillet-help.html (an installed program)
inline constexpr const char* kHelpDocumentName = "quillet-help.html";

// The first of the places above that holds the file; the first place when none does (the
// system then says that it cannot open it).
[[nodiscard]] GbkText helpDocumentPath();

// The same rule with the program folder given, for tests.
[[nodiscard]] GbkText helpDocumentPathIn(const std::filesystem::path& programFolder);

} // namespace quillet::app
