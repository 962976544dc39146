#include "ShellActions.h"

#include "Ui.h"

#include <vector>

namespace quillet::ui {

namespace {

[[maybe_unused]] bool endsWithExe(const GbkText& path)
{
    if (path.size() < 4)
        return false;
    for (std::size_t i = 0; i < 4; ++i) {
        char c = path[path.size() - 4 + i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != ".exe"[i])
            return false;
    }
    return true;
}

// The part of the path before its last separator, walking GBK characters so that a trail
// byte equal to "\" is never taken for one.
GbkText cutBeforeLastSeparator(const GbkText& path)
{
    std::size_t last = GbkText::npos;
    for (std::size_t i = 0; i < path.size(); ++i) {
        const auto byte = static_cast<unsigned char>(path[i]);
        if (text::isLeadByte(byte) && i + 1 < path.size()) {
            ++i;
            continue;
        }
        if (byte == '\\' || byte == '/')
            last = i;
    }
    return last == GbkText::npos ? path : path.substr(0, last);
}

} // namespace

void openInExplorer(Ui& ui, const GbkText& path, bool newWindow, bool noSelect, bool asRoot)
{
    const GbkText target = asRoot ? cutBeforeLastSeparator(path) : path;
    if (target.empty())
        return;
#ifdef _WIN32
    if (noSelect && endsWithExe(target)) {
        ui.openWithSystem(target, GbkText());
        return;
    }
    GbkText switches = newWindow ? "/n," : "/e,";
    if (!noSelect && !asRoot)
        switches += "/select,";
    if (asRoot)
        switches += "/root,";
    ui.startProgram("explorer", {switches + "\"" + target + "\""});
#else
    (void)newWindow;
    // A file manager cannot be told to select an item through xdg-open: the folder that
    // holds it is opened instead.
    const GbkText folder = noSelect || asRoot ? target : cutBeforeLastSeparator(target);
    ui.startProgram("xdg-open", {folder.empty() ? target : folder});
#endif
}

void openWithShell(Ui& ui, const GbkText& target, const GbkText& parameters)
{
    ui.openWithSystem(target, parameters);
}

} // namespace quillet::ui
