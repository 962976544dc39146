#pragma once

#include "text/GbkText.h"

namespace quillet::ui {

class Ui;

// Shows a path in the system's file browser, without waiting.
//  - asRoot: the path is cut before its last separator ("\" or "/") first.
//  - On Windows: with noSelect, a path ending in ".exe" (any letter case) is run instead;
//    otherwise explorer is started with "/n" (newWindow) or "/e", then "/select," unless
//    noSelect or asRoot, "/root," with asRoot, and the path in double quotes.
//  - Elsewhere the desktop's file manager opens the folder through xdg-open; nothing is ever
//    run, ".exe" or not. A path that names a file to select opens the folder holding it.
// An empty path does nothing.
void openInExplorer(Ui& ui, const GbkText& path, bool newWindow, bool noSelect, bool asRoot);

// The system "open" action on an address or file, with parameters (empty for all callers),
// in a normal window, without waiting.
void openWithShell(Ui& ui, const GbkText& target, const GbkText& parameters = {});

} // namespace quillet::ui
