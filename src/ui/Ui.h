#pragma once

#include "Control.h"
#include "Window.h"
#include "text/GbkText.h"

#include <functional>
#include <vector>

namespace quillet::ui {

class WindowController;

struct Size {
    int width = 0;
    int height = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

enum class MessageButtons {
    Ok,
    YesNo,
};

enum class MessageAnswer {
    Ok,
    Yes,
    No,
};

// What an open-file dialog is asked to show.
struct FileDialogRequest {
    GbkText title;
    GbkText presetFileName;     // preselected file (its folder is where the dialog opens)
    GbkText filter;             // "description|pattern|description|pattern"
    GbkText defaultExtension;
    bool multiple = false;
};

// The platform services the window handlers need. The desktop front end implements them
// with its toolkit; HeadlessUi implements them for tests and the command line. All texts
// are GBK.
class Ui {
public:
    virtual ~Ui() = default;

    // ---- Windows. A window is shown through its controller (see WindowController for the
    // order of calls); the controller stays owned by the caller and must outlive the showing.

    // Shows the window, not modal, owned by `owner` (none: a top-level window of its own).
    virtual void showWindow(WindowController& window, WindowController* owner) = 0;
    // Shows the window modally and returns when it has been closed (after its closed()).
    virtual void showModal(WindowController& window, WindowController* owner) = 0;
    // Closes a shown window without asking its controller; its closed() follows. Windows it
    // owns are closed first. Nothing happens when it is not shown.
    virtual void closeWindow(WindowController& window) = 0;
    // Raises a shown window above the others and activates it.
    virtual void bringToFront(WindowController& window) = 0;
    // Puts the keyboard focus into a control of a shown window.
    virtual void setFocus(WindowController& window, const GbkText& control) = 0;

    // The size of the screen's work area, in pixels.
    [[nodiscard]] virtual Size screenSize() = 0;
    // How much larger a window with this border is than its client area (outer minus client).
    [[nodiscard]] virtual Size frameSize(Border border) = 0;
    // The height, in pixels, a multi-line edit box of this width needs to show the whole text
    // in this font (wrapped at the width, with the box's own margins; one line at least).
    [[nodiscard]] virtual int textHeight(const GbkText& text, int width, const Font& font) = 0;

    // Lets pending window events run (clicks arrive here during long tasks).
    virtual void processEvents() = 0;

    // A modal message box. The default title is the system's "信息：".
    virtual MessageAnswer messageBox(const GbkText& text, const GbkText& title, MessageButtons buttons) = 0;
    MessageAnswer messageBox(const GbkText& text);
    MessageAnswer messageBox(const GbkText& text, const GbkText& title);

    // The chosen paths; empty when the user cancelled.
    virtual std::vector<GbkText> openFileDialog(const FileDialogRequest& request) = 0;

    // The chosen folder with blanks trimmed from both ends; empty when cancelled.
    virtual GbkText chooseFolder(const GbkText& initialFolder, const GbkText& title) = 0;

    virtual GbkText clipboardText() = 0;

    // The system "open" action on an address or file, without waiting.
    virtual bool openWithSystem(const GbkText& target, const GbkText& parameters) = 0;

    // Starts a program with these arguments (no shell: nothing in them is interpreted), in a
    // normal window, without waiting for it. Arguments are GBK and reach the program in the
    // system's encoding (on Windows as one command line, verbatim).
    virtual bool startProgram(const GbkText& program, const std::vector<GbkText>& arguments) = 0;
};

// The title message boxes carry when none is given: "信息：".
[[nodiscard]] const GbkText& defaultMessageTitle();

// While alive, text::processEvents() calls ui.processEvents(); the previous pump comes back
// when it ends.
class EventPumpBinding {
public:
    explicit EventPumpBinding(Ui& ui);
    ~EventPumpBinding();
    EventPumpBinding(const EventPumpBinding&) = delete;
    EventPumpBinding& operator=(const EventPumpBinding&) = delete;

private:
    std::function<void()> m_previous;
};

} // namespace quillet::ui
