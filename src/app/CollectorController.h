#pragma once

#include "idcollect/CollectContext.h"
#include "ui/Window.h"
#include "ui/WindowController.h"

#include <functional>

namespace quillet::ui {
class Ui;
}

namespace quillet::app {

struct App;

// What the two product-ID windows' controllers share: the window model, restoring its
// controls when it is created and saving them when it is gone, the folder button, and a
// close request during a run, which first stops the run and closes the window when the run
// has ended (the run still works on the window until then).
class CollectorController : public ui::WindowController {
public:
    CollectorController(App& app, ui::Ui& ui, ui::Window window, GbkText section);

    [[nodiscard]] ui::Window& window() override { return m_window; }
    void created() override;
    void handleEvent(const GbkText& control, ui::EventKind kind) override;
    [[nodiscard]] ui::CloseAnswer closeRequested() override;
    void closed() override;

    [[nodiscard]] bool running() const { return m_running; }
    [[nodiscard]] bool isOpen() const { return m_open; }
    // Told after the window has closed (the main window waits for it when it is closing).
    void setClosedListener(std::function<void()> listener) { m_closedListener = std::move(listener); }
    // How the last run ended.
    [[nodiscard]] const idcollect::RunOutcome& lastOutcome() const { return m_lastOutcome; }

protected:
    // The window's own controls; false when the event is not one of them.
    virtual bool handleOwnEvent(const GbkText& control, ui::EventKind kind) = 0;
    // The run button: its name, and what its click does (start a run or ask it to stop).
    [[nodiscard]] virtual const ui::ControlName& runButton() const = 0;
    virtual idcollect::RunOutcome runClicked(idcollect::CollectContext& context) = 0;

    // The pieces the collectors work with, as they are now.
    [[nodiscard]] idcollect::CollectContext collectContext() const;
    [[nodiscard]] ui::Ui& services() { return m_ui; }

    // Clicks the run button: starts a run, or, during one, asks it to stop.
    void clickRun();

private:
    App& m_app;
    ui::Ui& m_ui;
    ui::Window m_window;
    GbkText m_section;
    std::function<void()> m_closedListener;
    bool m_open = false;
    bool m_running = false;
    bool m_closeAfterRun = false;
    idcollect::RunOutcome m_lastOutcome;
};

} // namespace quillet::app
