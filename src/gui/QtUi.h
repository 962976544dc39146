#pragma once

#include "ui/Ui.h"
#include "ui/WindowController.h"

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

    void showWindow(ui::WindowController& window, ui::WindowController* owner) override;
    void showModal(ui::WindowController& window, ui::WindowController* owner) override;
    void closeWindow(ui::WindowController& window) override;
    void bringToFront(ui::WindowController& window) override;
    void setFocus(ui::WindowController& window, const GbkText& control) override;
    [[nodiscard]] ui::Size screenSize() override;
    [[nodiscard]] ui::Size frameSize(ui::Border border) override;
    [[nodiscard]] int textHeight(const GbkText& text, int width, const ui::Font& font) override;

    void processEvents() override;
    ui::MessageAnswer messageBox(const GbkText& text, const GbkText& title, ui::MessageButtons buttons) override;
    using Ui::messageBox;
    std::vector<GbkText> openFileDialog(const ui::FileDialogRequest& request) override;
    GbkText chooseFolder(const GbkText& initialFolder, const GbkText& title) override;
    GbkText clipboardText() override;
    bool openWithSystem(const GbkText& target, const GbkText& parameters) override;
    bool startProgram(const GbkText& program, const std::vector<GbkText>& arguments) override;

    // The desktop window of a controller while it is shown; null otherwise.
    [[nodiscard]] WindowView* viewOf(const ui::WindowController& window) const;
    // Closes every window still shown (owned ones first), without asking.
    void closeAllWindows();

    // The window dialogs and message boxes belong to: the active window, else the last
    // window shown that is still open.
    [[nodiscard]] QWidget* dialogParent() const;

private:
    struct Showing {
        QPointer<WindowView> view;
        ui::WindowController* owner = nullptr;
    };

    WindowView* open(ui::WindowController& window, ui::WindowController* owner, bool modal);
    void closeOwnedBy(ui::WindowController& window);

    std::unique_ptr<ui::EventPumpBinding> m_binding;
    std::unordered_map<ui::WindowController*, Showing> m_showings;
    QPointer<WindowView> m_lastShown;
    QElapsedTimer m_sinceEvents;
};

// The file dialog filter of the window tables ("description|pattern|description|pattern",
// patterns separated by ";") as Qt name filters. "*.*" means every file.
[[nodiscard]] QStringList qtNameFilters(const GbkText& filter);

} // namespace quillet::gui
