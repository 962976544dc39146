#pragma once

#include "Events.h"
#include "text/GbkText.h"

namespace quillet::ui {

class Window;

// The answer to a user's request to close a window.
enum class CloseAnswer {
    CloseNow, // the front end closes the window (and then calls closed())
    NotYet,   // keep it open; the controller closes it itself later (Ui::closeWindow)
};

// What a front end (the desktop, the command line, a test) talks to for one window. The
// controller owns the window model; the front end draws the model, reports what the user
// does and never decides what a control means.
//
// The order of calls for one showing of a window:
//   created()                 once, after the front end has built the window, before it is seen
//   handleEvent(), resized()  any number of times while it is open
//   closeRequested()          when the user asks to close it (close box, Alt+F4, Escape)
//   closed()                  exactly once, after the window is gone, whichever way it closed
// A window that owns others closes them (each with its closed()) before it closes itself.
// A controller may be shown again after closed(); created() then comes again.
class WindowController {
public:
    virtual ~WindowController() = default;

    [[nodiscard]] virtual Window& window() = 0;

    // The window has been built from the model: restore stored states and the like.
    virtual void created() {}

    // The user acted on the control named `control` (GBK). State changes the user made (typed
    // text, a tick, a chosen item) are already in the model.
    virtual void handleEvent(const GbkText& control, EventKind kind) = 0;

    // The user asks to close the window.
    [[nodiscard]] virtual CloseAnswer closeRequested() { return CloseAnswer::CloseNow; }

    // The window's client area now has this size (resizable windows; also once when shown).
    virtual void resized(int clientWidth, int clientHeight)
    {
        (void)clientWidth;
        (void)clientHeight;
    }

    // The window is gone: save what must be kept.
    virtual void closed() {}
};

} // namespace quillet::ui
