#include "ProxyWindowController.h"

#include "HelpDocument.h"
#include "settings/SettingsStore.h"
#include "ui/ControlNames.h"
#include "ui/SecondaryWindows.h"
#include "ui/ShellActions.h"
#include "ui/Ui.h"

namespace quillet::app {

using namespace ui::proxywin;

ProxyWindowController::ProxyWindowController(settings::SettingsStore& store, ui::Ui& ui)
    : m_store(store)
    , m_ui(ui)
    , m_window(ui::makeProxyWindow())
{
}

void ProxyWindowController::created()
{
    ui::Control& box = *m_window.find(编辑框代理IP);
    m_store.selectSection(ui::proxySection());
    box.setText(m_store.readText(ui::proxyKey(), box.text()));
    m_open = true;
}

void ProxyWindowController::handleEvent(const GbkText& control, ui::EventKind kind)
{
    if (control == 按钮粘贴 && kind == ui::EventKind::Clicked)
        m_window.find(编辑框代理IP)->setText(m_ui.clipboardText());
    else if (control == 链接代理检测 && kind == ui::EventKind::LinkPressed)
        ui::openWithShell(m_ui, helpDocumentPath());
}

void ProxyWindowController::closed()
{
    m_open = false;
    m_store.selectSection(ui::proxySection());
    (void)m_store.writeText(ui::proxyKey(), m_window.find(编辑框代理IP)->text());
}

GbkText ProxyWindowController::proxyAddress() const
{
    return m_open ? m_window.find(编辑框代理IP)->text() : GbkText();
}

} // namespace quillet::app
