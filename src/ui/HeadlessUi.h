#pragma once

#include "Ui.h"
#include "WindowController.h"

#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

namespace quillet::ui {

// A Ui without a screen, for tests and the command line. It records every message box,
// dialog, shell action and program started; answers dialogs from a script (a cancel when the
// script is empty); and fires scripted actions from processEvents(), which is how a click
// during a long task is simulated.
//
// Windows are shown by calling their controllers as a front end would (created(), resized()
// with the client size of the model's geometry, closed()); the open ones can be found by name
// so a test can act on them. A modal window runs the next scripted modal action (if any) while
// it is open, and is then closed as the user would close it.
//
// While it lives, it is the process's event pump (text::processEvents() reaches it).
class HeadlessUi : public Ui {
public:
    struct Message {
        GbkText text;
        GbkText title;
        MessageButtons buttons = MessageButtons::Ok;
    };
    struct Showing {
        WindowController* controller = nullptr;
        WindowController* owner = nullptr;
        bool modal = false;
        bool open = false;
    };
    struct ProgramStart {
        GbkText program;
        std::vector<GbkText> arguments;
    };

    HeadlessUi();
    ~HeadlessUi() override;
    HeadlessUi(const HeadlessUi&) = delete;
    HeadlessUi& operator=(const HeadlessUi&) = delete;

    void showWindow(WindowController& window, WindowController* owner) override;
    void showModal(WindowController& window, WindowController* owner) override;
    void closeWindow(WindowController& window) override;
    void bringToFront(WindowController& window) override;
    void setFocus(WindowController& window, const GbkText& control) override;
    Size screenSize() override { return m_screen; }
    Size frameSize(Border border) override;
    // Wraps at the width with ASCII characters half and double-byte characters one font size
    // wide; a line is the font size plus 3 pixels high, plus 6 pixels of box margins.
    int textHeight(const GbkText& text, int width, const Font& font) override;

    void processEvents() override;
    MessageAnswer messageBox(const GbkText& text, const GbkText& title, MessageButtons buttons) override;
    using Ui::messageBox;
    std::vector<GbkText> openFileDialog(const FileDialogRequest& request) override;
    GbkText chooseFolder(const GbkText& initialFolder, const GbkText& title) override;
    GbkText clipboardText() override;
    bool openWithSystem(const GbkText& target, const GbkText& parameters) override;
    bool startProgram(const GbkText& program, const std::vector<GbkText>& arguments) override;

    // The user closes a window with its close box: asks the controller, closes on CloseNow.
    CloseAnswer closeByUser(WindowController& window);

    // Script. Each answer is used once, in order.
    void queueFileDialogAnswer(std::vector<GbkText> paths); // empty: cancel
    void queueFolderAnswer(GbkText folder);                  // empty: cancel
    void queueMessageAnswer(MessageAnswer answer);           // for YesNo boxes; unscripted: No
    void setClipboardText(GbkText text) { m_clipboard = std::move(text); }
    void setScreenSize(Size size) { m_screen = size; }
    // Runs while the next modal window is open (the window's controller is passed in).
    void onModal(std::function<void(WindowController&)> action);
    // Runs action from the n-th call of processEvents() from now (1 = the next call).
    void scheduleAction(std::size_t afterCalls, std::function<void()> action);
    // Runs action on the next processEvents() call.
    void onNextEvents(std::function<void()> action) { scheduleAction(1, std::move(action)); }

    // Record.
    [[nodiscard]] const std::vector<Message>& messages() const { return m_messages; }
    [[nodiscard]] const std::vector<FileDialogRequest>& fileDialogs() const { return m_fileDialogs; }
    [[nodiscard]] const std::vector<std::pair<GbkText, GbkText>>& folderRequests() const { return m_folderRequests; }
    [[nodiscard]] const std::vector<std::pair<GbkText, GbkText>>& openedWithSystem() const { return m_opened; }
    [[nodiscard]] const std::vector<ProgramStart>& programsStarted() const { return m_programs; }
    // Every showing of a window, in order.
    [[nodiscard]] const std::vector<Showing>& showings() const { return m_showings; }
    [[nodiscard]] bool isOpen(const WindowController& window) const;
    // The controller of the open window whose model is named `windowName` (e.g. "ProxyWindow").
    [[nodiscard]] WindowController* openWindow(std::string_view windowName) const;
    [[nodiscard]] const std::vector<WindowController*>& raised() const { return m_raised; }
    [[nodiscard]] const std::vector<std::pair<WindowController*, GbkText>>& focusRequests() const { return m_focus; }
    [[nodiscard]] std::size_t processEventsCalls() const { return m_eventCalls; }
    [[nodiscard]] std::size_t pendingActions() const { return m_actions.size(); }

    // When set, every message box is also passed here as it is shown (the command line
    // prints them).
    void setMessageSink(std::function<void(const Message&)> sink) { m_sink = std::move(sink); }

private:
    struct Scheduled {
        std::size_t dueAt;
        std::function<void()> action;
    };

    std::unique_ptr<EventPumpBinding> m_binding;
    std::vector<Message> m_messages;
    std::vector<FileDialogRequest> m_fileDialogs;
    std::vector<std::pair<GbkText, GbkText>> m_folderRequests;
    std::vector<std::pair<GbkText, GbkText>> m_opened;
    std::vector<ProgramStart> m_programs;
    std::vector<Showing> m_showings;
    std::vector<WindowController*> m_raised;
    std::vector<std::pair<WindowController*, GbkText>> m_focus;
    std::deque<std::function<void(WindowController&)>> m_modalActions;
    Size m_screen{1366, 768};
    std::deque<std::vector<GbkText>> m_fileAnswers;
    std::deque<GbkText> m_folderAnswers;
    std::deque<MessageAnswer> m_messageAnswers;
    std::vector<Scheduled> m_actions;
    GbkText m_clipboard;
    std::size_t m_eventCalls = 0;
    std::function<void(const Message&)> m_sink;
};

} // namespace quillet::ui
