#pragma once

#include "ui/HeadlessUi.h"

#include <functional>
#include <iosfwd>

namespace quillet::cli {

// The command line's Ui: message boxes are printed (title on one line, text below, UTF-8),
// dialogs are cancelled, and a stop request from Ctrl-C is turned into a click on the run
// button the next time the run lets events through.
class CliUi : public ui::HeadlessUi {
public:
    CliUi(std::ostream& out, std::function<void()> onStopRequest);

    void processEvents() override;

private:
    std::ostream& m_out;
    std::function<void()> m_onStopRequest;
};

// True once since the last call when Ctrl-C was pressed.
[[nodiscard]] bool takeStopSignal();

} // namespace quillet::cli
