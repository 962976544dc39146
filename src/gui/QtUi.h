#pragma once

#include "ui/Ui.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QStringList>

#include <memory>
#include <unordered_map>

class QWidget;

namespace quillet::gui {

class WindowView;

// The platform services of the desktop program, on Qt. Needs a QApplication.
//
// While it lives, it is the process's event pump: the long loops of the core call
// processEvents(), which runs the Qt event loop once (at most every few milliseconds, as the
// core calls it very often), so the windows stay responsive and a second click on a run
// button arrives during the run.
class QtUi : public ui::Ui {
public:
    QtUi();
    ~QtUi() override;
    QtUi(const QtUi&) = delete;
    QtUi& operator=(const QtUi&) = delete;

    void processEvents() override;
    ui::MessageAnswer messageBox(const GbkText& text, const GbkText& title, ui::MessageButtons buttons) override;
    using Ui::messageBox;
    std::vector<GbkText> openFileDialog(const ui::FileDialogRequest& request) override;
    GbkText chooseFolder(const GbkText& initialFolder, const GbkText& title) override;
    GbkText clipboardText() override;
    bool openWithSystem(const GbkText& target, const GbkText& parameters) override;
    bool runCommand(const GbkText& commandLine) override;

    // Shows a window model as a desktop window, owned by the window of owner (none: a
    // top-level window). A window already shown is brought to the front. Modal: returns once
    // the window has closed (and then returns null).
    WindowView* showWindow(ui::Window& window, const ui::Window* owner, bool modal);
    // Closes the window of a model, without asking its close handler.
    void closeWindow(const ui::Window& window);
    // Closes every window still open (owned ones first), without asking.
    void closeAllWindows();
    // The view of a model while it is open; null otherwise.
    [[nodiscard]] WindowView* viewOf(const ui::Window& window) const;

    // The window dialogs and message boxes belong to: the active window, else the last
    // window shown that is still open.
    [[nodiscard]] QWidget* dialogParent() const;

private:
    std::unique_ptr<ui::EventPumpBinding> m_binding;
    std::unordered_map<const ui::Window*, QPointer<WindowView>> m_views;
    QPointer<WindowView> m_lastShown;
    QElapsedTimer m_sinceEvents;
};

// The file dialog filter of the window tables ("description|pattern|description|pattern",
// patterns separated by ";") as Qt name filters. "*.*" means every file.
[[nodiscard]] QStringList qtNameFilters(const GbkText& filter);

} // namespace quillet::gui
