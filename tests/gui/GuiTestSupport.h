#pragma once

// What the desktop front end's suites share: a controller that records what the front end
// tells it, widget lookup by control name, and waiting for the event loop.

#include "gui/QtUi.h"
#include "gui/WindowView.h"
#include "text/GbkText.h"
#include "ui/Window.h"
#include "ui/WindowController.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillet::guitest {

using gui::QtUi;
using gui::WindowView;

// A window controller that records every call.
class RecordingController : public ui::WindowController {
public:
    explicit RecordingController(ui::Window window) : m_window(std::move(window)) {}

    ui::Window& window() override { return m_window; }
    void created() override { ++createdCount; }
    void handleEvent(const GbkText& control, ui::EventKind kind) override;
    ui::CloseAnswer closeRequested() override
    {
        ++closeRequests;
        return closeAnswer;
    }
    void resized(int width, int height) override { sizes.emplace_back(width, height); }
    void closed() override
    {
        ++closedCount;
        if (onClosed)
            onClosed();
    }

    struct Event {
        std::string control; // UTF-8
        ui::EventKind kind;
    };
    std::vector<Event> events;
    // Called after recording an event.
    std::function<void(const Event&)> onEvent;
    std::function<void()> onClosed;
    ui::CloseAnswer closeAnswer = ui::CloseAnswer::CloseNow;
    int createdCount = 0;
    int closeRequests = 0;
    int closedCount = 0;
    std::vector<std::pair<int, int>> sizes;

private:
    ui::Window m_window;
};

// The Qt platform services with the blocking dialogs replaced by a script: message boxes are
// recorded (Yes/No boxes answered No), file and folder dialogs are cancelled, the system's
// open action and program starts only recorded.
class ScriptedQtUi : public QtUi {
public:
    struct Message {
        std::string text; // UTF-8
        std::string title;
    };
    ui::MessageAnswer messageBox(const GbkText& text, const GbkText& title, ui::MessageButtons buttons) override;
    using Ui::messageBox;
    std::vector<GbkText> openFileDialog(const ui::FileDialogRequest& request) override;
    GbkText chooseFolder(const GbkText& initialFolder, const GbkText& title) override;
    bool openWithSystem(const GbkText& target, const GbkText& parameters) override;
    bool startProgram(const GbkText& program, const std::vector<GbkText>& arguments) override;

    std::vector<Message> messages;
    std::vector<ui::FileDialogRequest> fileDialogs;
    std::vector<std::pair<GbkText, GbkText>> folderDialogs; // initial folder, title
    std::vector<GbkText> opened;
};

// The widget of the control named utf8Name in a shown window, as W; null when missing.
template <typename W = QWidget>
W* widget(QWidget* view, std::string_view utf8Name)
{
    return view ? view->findChild<W*>(QString::fromUtf8(utf8Name.data(), static_cast<int>(utf8Name.size())))
                : nullptr;
}

// Lets the event loop run until check() holds or the budget (ms) is spent; the result of
// the last check.
bool waitUntil(const std::function<bool()>& check, int budgetMs = 5000);

[[nodiscard]] GbkText g(std::string_view utf8);
[[nodiscard]] std::string u(const GbkText& gbkText);

} // namespace quillet::guitest
