#pragma once

#include "harvest/BatchRun.h"
#include "harvest/Harvest.h"
#include "text/GbkText.h"
#include "ui/Window.h"
#include "ui/WindowController.h"

#include <memory>
#include <optional>

namespace quillet::ui {
class Ui;
}

namespace quillet::app {

struct App;
class CollectorController;
class ProxyWindowController;

// The main window: owns its model and the windows it opens (proxy, the two ID windows),
// routes every event to its handler, runs the batch harvest and saves the settings.
class MainWindowController : public ui::WindowController {
public:
    MainWindowController(App& app, ui::Ui& ui);
    ~MainWindowController() override;
    MainWindowController(const MainWindowController&) = delete;
    MainWindowController& operator=(const MainWindowController&) = delete;

    // Start-up: names the program (which opens the settings store on its file and puts the
    // session's endpoints in force), then shows the main window, not modal, without owner.
    void startUp();

    // ---- WindowController
    ui::Window& window() override { return m_window; }
    // Restores the controls, then applies the replace-row rule.
    void created() override;
    void handleEvent(const GbkText& control, ui::EventKind kind) override;
    // During a run: asks the run (and any ID window's run) to stop and closes the window when
    // they have ended; otherwise at once.
    [[nodiscard]] ui::CloseAnswer closeRequested() override;
    // Saves the controls.
    void closed() override;

    // ---- Handlers, one per row of the window's event table.
    void saveSettings();                 // 图片保存配置 / 链接保存配置: save, then "保存完毕！"
    void saveControls();                 // the saving alone (also done when the window closes)
    void applyReplaceRowRule();          // 选择框过滤
    void chooseProductIdFile();          // 按钮2
    void chooseOutputFolder();           // 按钮选择目录
    void openOutputFolder();             // 按钮选择目录, right button
    void openKeywordIdWindow();          // 按钮按关键词
    void openShopIdWindow();             // 按钮按店铺
    void openProxyWindow();              // 图片框代理 / 超级链接框代理
    void showTemplateHelp();             // 按钮引用说明
    void showNotes();                    // 图片疑点说明 / 链接疑点说明
    harvest::RunOutcome runClicked();    // 按钮采集
    void openMakersPage();               // 图片软件主页, 链接软件主页, 图片墨汀软件, the contact page

    // ---- State
    [[nodiscard]] bool running() const { return m_runDepth > 0; }
    // How the last run that was started (not a stop click) ended.
    [[nodiscard]] const harvest::RunOutcome& lastOutcome() const { return m_lastOutcome; }
    // The proxy of the review harvest: the proxy window's text while it is open, otherwise
    // the stand-in set below, otherwise none.
    [[nodiscard]] GbkText proxyAddress() const;
    // For the command line, which has no proxy window: harvest through this proxy as if the
    // proxy window were open with it (nothing is stored).
    void setProxyStandIn(std::optional<GbkText> proxy) { m_proxyStandIn = std::move(proxy); }

    // The file the raw reviews of a run go to (settings key 评论导出文件 of the main window's
    // section, ".csv" or ".jsonl"); empty: no export. The command line may set it for a run.
    [[nodiscard]] GbkText exportPath() const;
    void setExportPath(std::optional<GbkText> path) { m_exportPath = std::move(path); }
    // Stores the export file of setExportPath in the settings.
    void saveExportPath();
    // What the harvest works with: the command line sets its retry policy and run-log hook.
    [[nodiscard]] harvest::HarvestContext& harvestContext() { return m_context; }

    [[nodiscard]] ProxyWindowController& proxyWindow() { return *m_proxy; }
    // Created when first opened; null before.
    [[nodiscard]] CollectorController* shopIdWindow() { return m_shopIds.get(); }
    [[nodiscard]] CollectorController* keywordIdWindow() { return m_keywordIds.get(); }

private:
    void openIdWindow(std::unique_ptr<CollectorController>& slot, bool shop);
    void closeWhenIdle();
    [[nodiscard]] bool busy() const;

    App& m_app;
    ui::Ui& m_ui;
    ui::Window m_window;
    harvest::HarvestContext m_context;
    std::unique_ptr<ProxyWindowController> m_proxy;
    std::unique_ptr<CollectorController> m_shopIds;
    std::unique_ptr<CollectorController> m_keywordIds;
    std::optional<GbkText> m_proxyStandIn;
    std::optional<GbkText> m_exportPath;
    harvest::RunOutcome m_lastOutcome;
    int m_runDepth = 0;
    bool m_open = false;
    bool m_closeWhenIdle = false;
};

} // namespace quillet::app
