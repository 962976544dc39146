#pragma once

#include "Window.h"

namespace quillet::ui {

// The main window with every control at its design default. Its controls are saved under
// the settings section mainWindowSection().
[[nodiscard]] Window makeMainWindow();

[[nodiscard]] const GbkText& mainWindowSection(); // "Quillet"

// The program's name, "墨汀·Quillet" (the dot is the GBK middle dot A1 A4).
[[nodiscard]] const GbkText& programNameText();

// The default article template of 编辑框组合: three lines, each ended by CR LF.
[[nodiscard]] const GbkText& defaultTemplate();

// The text the template help button shows (19 lines joined by CR LF, a tab between marker
// and description) and the prompt shown above it.
[[nodiscard]] const GbkText& templateHelpText();
[[nodiscard]] const GbkText& templateHelpPrompt();

// The notes text of the notes window and its title "疑点说明".
[[nodiscard]] const GbkText& notesText();
[[nodiscard]] const GbkText& notesTitle();

// The mall's product page the template help points to (product 23274328099).
[[nodiscard]] const GbkText& templateHelpExampleAddress();

} // namespace quillet::ui
