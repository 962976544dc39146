#pragma once

#include "text/GbkText.h"
#include "ui/Window.h"
#include "ui/WindowController.h"

namespace quillet::settings {
class SettingsStore;
}
namespace quillet::ui {
class Ui;
}

namespace quillet::app {

// The proxy window: while it is open, its 编辑框代理IP is the proxy of the review harvest.
// The text is restored from the settings store when the window opens and saved when it
// closes (section "设置代理", key "代理IP").
class ProxyWindowController : public ui::WindowController {
public:
    ProxyWindowController(settings::SettingsStore& store, ui::Ui& ui);

    ui::Window& window() override { return m_window; }
    void created() override;
    void handleEvent(const GbkText& control, ui::EventKind kind) override;
    void closed() override;

    [[nodiscard]] bool isOpen() const { return m_open; }
    // The text of 编辑框代理IP while the window is open, unchanged; empty (direct) otherwise.
    [[nodiscard]] GbkText proxyAddress() const;

private:
    settings::SettingsStore& m_store;
    ui::Ui& m_ui;
    ui::Window m_window;
    bool m_open = false;
};

} // namespace quillet::app
