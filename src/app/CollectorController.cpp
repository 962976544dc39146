#include "app/CollectorController.h"

#include "app/App.h"
#include "idcollect/FolderButton.h"
#include "text/Paths.h"
#include "ui/ControlNames.h"
#include "ui/Ui.h"
#include "web/Endpoints.h"

namespace quillet::app {

CollectorController::CollectorController(App& app, ui::Ui& ui, ui::Window window, GbkText section)
    : m_app(app)
    , m_ui(ui)
    , m_window(std::move(window))
    , m_section(std::move(section))
{
}

void CollectorController::created()
{
    m_open = true;
    m_app.settings.restoreWindowControls(m_window, m_section);
}

void CollectorController::closed()
{
    m_open = false;
    m_app.settings.saveWindowControls(m_window, m_section);
    if (m_closedListener)
        m_closedListener();
}

ui::CloseAnswer CollectorController::closeRequested()
{
    if (!m_running)
        return ui::CloseAnswer::CloseNow;
    // The run is on the call stack and still writes to this window: ask it to stop and close
    // when it has ended.
    m_closeAfterRun = true;
    clickRun();
    return ui::CloseAnswer::NotYet;
}

void CollectorController::handleEvent(const GbkText& control, ui::EventKind kind)
{
    // Both windows call their folder button 按钮选择.
    if (control == ui::shopwin::按钮选择) {
        if (kind == ui::EventKind::Clicked)
            idcollect::chooseSaveFolder(m_window, m_ui);
        else if (kind == ui::EventKind::RightClicked)
            idcollect::openSaveFolder(m_window, m_ui);
        return;
    }
    if (control == runButton()) {
        if (kind == ui::EventKind::Clicked)
            clickRun();
        return;
    }
    (void)handleOwnEvent(control, kind);
}

void CollectorController::clickRun()
{
    if (m_running) {
        // The nested click only changes the button's caption; the run sees it.
        idcollect::CollectContext context = collectContext();
        (void)runClicked(context);
        return;
    }
    m_running = true;
    idcollect::CollectContext context = collectContext();
    m_lastOutcome = runClicked(context);
    m_running = false;
    if (m_closeAfterRun) {
        m_closeAfterRun = false;
        m_ui.closeWindow(*this);
    }
}

idcollect::CollectContext CollectorController::collectContext() const
{
    idcollect::CollectContext context{*m_app.webClient, web::currentEndpoints(), {}, {}};
    context.programFolder = text::fromNativePath(text::executableFolder());
    context.settingsFolder = text::fromNativePath(text::toNativePath(m_app.settingsPath).parent_path());
    return context;
}

} // namespace quillet::app
