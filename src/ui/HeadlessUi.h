#pragma once

#include "Ui.h"

#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace quillet::ui {

// A Ui without a screen, for tests and the command line. It records every message box,
// dialog, shell action and command; answers dialogs from a script (a cancel when the script
// is empty); and fires scripted actions from processEvents(), which is how a click during a
// long task is simulated.
//
// While it lives, it is the process's event pump (text::processEvents() reaches it).
class HeadlessUi : public Ui {
public:
    struct Message {
        GbkText text;
        GbkText title;
        MessageButtons buttons = MessageButtons::Ok;
    };

    HeadlessUi();
    ~HeadlessUi() override;
    HeadlessUi(const HeadlessUi&) = delete;
    HeadlessUi& operator=(const HeadlessUi&) = delete;

    void processEvents() override;
    MessageAnswer messageBox(const GbkText& text, const GbkText& title, MessageButtons buttons) override;
    using Ui::messageBox;
    std::vector<GbkText> openFileDialog(const FileDialogRequest& request) override;
    GbkText chooseFolder(const GbkText& initialFolder, const GbkText& title) override;
    GbkText clipboardText() override;
    bool openWithSystem(const GbkText& target, const GbkText& parameters) override;
    bool runCommand(const GbkText& commandLine) override;

    // Script. Each answer is used once, in order.
    void queueFileDialogAnswer(std::vector<GbkText> paths); // empty: cancel
    void queueFolderAnswer(GbkText folder);                  // empty: cancel
    void queueMessageAnswer(MessageAnswer answer);           // for YesNo boxes; unscripted: No
    void setClipboardText(GbkText text) { m_clipboard = std::move(text); }
    // Runs action from the n-th call of processEvents() from now (1 = the next call).
    void scheduleAction(std::size_t afterCalls, std::function<void()> action);
    // Runs action on the next processEvents() call.
    void onNextEvents(std::function<void()> action) { scheduleAction(1, std::move(action)); }

    // Record.
    [[nodiscard]] const std::vector<Message>& messages() const { return m_messages; }
    [[nodiscard]] const std::vector<FileDialogRequest>& fileDialogs() const { return m_fileDialogs; }
    [[nodiscard]] const std::vector<std::pair<GbkText, GbkText>>& folderRequests() const { return m_folderRequests; }
    [[nodiscard]] const std::vector<std::pair<GbkText, GbkText>>& openedWithSystem() const { return m_opened; }
    [[nodiscard]] const std::vector<GbkText>& commands() const { return m_commands; }
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
    std::vector<GbkText> m_commands;
    std::deque<std::vector<GbkText>> m_fileAnswers;
    std::deque<GbkText> m_folderAnswers;
    std::deque<MessageAnswer> m_messageAnswers;
    std::vector<Scheduled> m_actions;
    GbkText m_clipboard;
    std::size_t m_eventCalls = 0;
    std::function<void(const Message&)> m_sink;
};

} // namespace quillet::ui
