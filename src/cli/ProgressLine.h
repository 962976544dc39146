#pragma once

#include "text/GbkText.h"

#include <iosfwd>

namespace quillet::cli {

// A run's progress (a caption or a window title) as one live line on a terminal: each text
// replaces the one before; nothing is shown when the stream is not a terminal.
class ProgressLine {
public:
    ProgressLine(std::ostream& err, bool live);
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    void show(const GbkText& text);
    // Clears the line.
    void finish();

private:
    std::ostream& m_err;
    bool m_live;
    bool m_shown = false;
};

// True when the standard error stream is a terminal.
[[nodiscard]] bool stderrIsTerminal();

} // namespace quillet::cli
