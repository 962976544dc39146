#pragma once

#include "text/GbkText.h"

#include <functional>
#include <vector>

namespace quillet::ui {

class Window;

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

    // Runs a command line in a normal window without waiting for it.
    virtual bool runCommand(const GbkText& commandLine) = 0;
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
