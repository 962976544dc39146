#include "MainWindowController.h"

#include "App.h"
#include "HelpDocument.h"
#include "KeywordIdController.h"
#include "ProxyWindowController.h"
#include "ShopIdController.h"
#include "TextDialogController.h"
#include "harvest/ReviewExport.h"
#include "ui/ControlNames.h"
#include "ui/MainWindow.h"
#include "ui/ShellActions.h"
#include "ui/Ui.h"

namespace quillet::app {

using namespace ui::mainwin;
using Kind = ui::EventKind;

MainWindowController::MainWindowController(App& app, ui::Ui& ui)
    : m_app(app)
    , m_ui(ui)
    , m_window(ui::makeMainWindow())
    , m_context{app.patternRegex, app.whitespaceRegex, app.stopRequested, m_window, [this] { return proxyAddress(); }}
    , m_proxy(std::make_unique<ProxyWindowController>(app.settings, ui))
{
}

MainWindowController::~MainWindowController() = default;

void MainWindowController::startUp()
{
    m_app.setProgramName(defaultProgramName());
    m_ui.showWindow(*this, nullptr);
}

void MainWindowController::created()
{
    m_open = true;
    m_closeWhenIdle = false;
    m_app.settings.restoreWindowControls(m_window, ui::mainWindowSection());
    applyReplaceRowRule();
}

void MainWindowController::handleEvent(const GbkText& control, ui::EventKind kind)
{
    struct Row {
        const ui::ControlName& control;
        Kind kind;
        void (MainWindowController::*handler)();
    };
    static const Row rows[] = {
        {图片保存配置, Kind::Clicked, &MainWindowController::saveSettings},
        {链接保存配置, Kind::LinkPressed, &MainWindowController::saveSettings},
        {选择框过滤, Kind::Clicked, &MainWindowController::applyReplaceRowRule},
        {按钮2, Kind::Clicked, &MainWindowController::chooseProductIdFile},
        {按钮选择目录, Kind::Clicked, &MainWindowController::chooseOutputFolder},
        {按钮选择目录, Kind::RightClicked, &MainWindowController::openOutputFolder},
        {按钮按关键词, Kind::Clicked, &MainWindowController::openKeywordIdWindow},
        {按钮按店铺, Kind::Clicked, &MainWindowController::openShopIdWindow},
        {图片框代理, Kind::Clicked, &MainWindowController::openProxyWindow},
        {超级链接框代理, Kind::LinkPressed, &MainWindowController::openProxyWindow},
        {按钮引用说明, Kind::Clicked, &MainWindowController::showTemplateHelp},
        {图片疑点说明, Kind::Clicked, &MainWindowController::showNotes},
        {链接疑点说明, Kind::LinkPressed, &MainWindowController::showNotes},
        {图片软件主页, Kind::Clicked, &MainWindowController::openMakersPage},
        {链接软件主页, Kind::LinkPressed, &MainWindowController::openMakersPage},
        {图片墨汀软件, Kind::Clicked, &MainWindowController::openMakersPage},
        {图片联系作者, Kind::Clicked, &MainWindowController::openMakersPage},
        {链接联系作者, Kind::LinkPressed, &MainWindowController::openMakersPage},
    };
    if (control == 按钮采集 && kind == Kind::Clicked) {
        (void)runClicked();
        return;
    }
    for (const Row& row : rows)
        if (row.kind == kind && control == row.control) {
            (this->*row.handler)();
            return;
        }
}

bool MainWindowController::busy() const
{
    return running() || (m_shopIds && m_shopIds->running()) || (m_keywordIds && m_keywordIds->running());
}

ui::CloseAnswer MainWindowController::closeRequested()
{
    if (!busy())
        return ui::CloseAnswer::CloseNow;
    if (!m_closeWhenIdle) {
        m_closeWhenIdle = true;
        // Every run is asked to stop as its own button would; each ends at its next check,
        // keeping what it gathered, and the window closes when the last has ended.
        if (running())
            (void)harvest::runButtonClicked(m_context, m_ui);
        for (CollectorController* ids : {m_shopIds.get(), m_keywordIds.get()})
            if (ids && ids->running())
                (void)ids->closeRequested();
    }
    return ui::CloseAnswer::NotYet;
}

void MainWindowController::closeWhenIdle()
{
    if (m_closeWhenIdle && !busy()) {
        m_closeWhenIdle = false;
        m_ui.closeWindow(*this);
    }
}

void MainWindowController::closed()
{
    m_open = false;
    saveControls();
}

void MainWindowController::saveControls()
{
    m_app.settings.saveWindowControls(m_window, ui::mainWindowSection());
}

void MainWindowController::saveSettings()
{
    saveControls();
    m_ui.messageBox(gbk("保存完毕！"));
}

void MainWindowController::applyReplaceRowRule()
{
    const bool on = m_window.find(选择框过滤)->checked();
    for (const ui::ControlName* name : {&编辑框匹配式, &编辑框替换式, &选择框正则})
        m_window.find(*name)->setEnabled(on);
}

void MainWindowController::chooseProductIdFile()
{
    const ui::Control& dialog = *m_window.find(通用对话框1);
    ui::Control& box = *m_window.find(编辑框商品ID文件);
    ui::FileDialogRequest request;
    request.presetFileName = box.text();
    request.filter = dialog.dialogFilter();
    request.defaultExtension = dialog.defaultExtension();
    const std::vector<GbkText> chosen = m_ui.openFileDialog(request);
    if (!chosen.empty() && !chosen.front().empty())
        box.setText(chosen.front());
}

void MainWindowController::chooseOutputFolder()
{
    ui::Control& box = *m_window.find(编辑框保存目录);
    const GbkText chosen = m_ui.chooseFolder(box.text(), gbk("选择一个保存的目录："));
    if (!chosen.empty())
        box.setText(chosen);
}

void MainWindowController::openOutputFolder()
{
    ui::openInExplorer(m_ui, m_window.find(编辑框保存目录)->text(), true, true, false);
}

void MainWindowController::openIdWindow(std::unique_ptr<CollectorController>& slot, bool shop)
{
    if (!slot) {
        if (shop)
            slot = std::make_unique<ShopIdController>(m_app, m_ui);
        else
            slot = std::make_unique<KeywordIdController>(m_app, m_ui);
        slot->setClosedListener([this] { closeWhenIdle(); });
    }
    if (slot->isOpen())
        m_ui.bringToFront(*slot);
    else
        m_ui.showWindow(*slot, this);
}

void MainWindowController::openKeywordIdWindow()
{
    openIdWindow(m_keywordIds, false);
}

void MainWindowController::openShopIdWindow()
{
    openIdWindow(m_shopIds, true);
}

void MainWindowController::openProxyWindow()
{
    if (m_proxy->isOpen())
        m_ui.bringToFront(*m_proxy);
    else
        m_ui.showWindow(*m_proxy, this);
}

void MainWindowController::showTemplateHelp()
{
    TextDialogOptions options;
    options.text = ui::templateHelpText();
    options.prompt = ui::templateHelpPrompt();
    (void)showTextDialog(m_app, m_ui, options, this);
}

void MainWindowController::showNotes()
{
    TextDialogOptions options;
    options.text = ui::notesText();
    options.title = ui::notesTitle();
    (void)showTextDialog(m_app, m_ui, options, this);
}

harvest::RunOutcome MainWindowController::runClicked()
{
    // A click during a run arrives from inside it (the run lets window events through): the
    // run button's own handler turns it into the stop request.
    if (running())
        return harvest::runButtonClicked(m_context, m_ui);
    ++m_runDepth;
    harvest::ReviewExport reviews;
    if (const GbkText path = exportPath(); !path.empty()) {
        if (reviews.open(path))
            m_context.onReview = [&reviews](const harvest::ProductInfo& product, const harvest::ReviewFields& review) {
                (void)reviews.write(product, review);
            };
        else
            m_ui.messageBox(gbk("评论导出文件无法写入（扩展名须为 .csv 或 .jsonl）：") + path);
    }
    m_lastOutcome = harvest::runButtonClicked(m_context, m_ui);
    m_context.onReview = nullptr;
    if (reviews.isOpen() && (!reviews.close() || reviews.failed()))
        m_ui.messageBox(gbk("评论导出文件未能完整写入：") + exportPath());
    --m_runDepth;
    closeWhenIdle();
    return m_lastOutcome;
}

namespace {
const GbkText& exportKey()
{
    return gbk("评论导出文件");
}
} // namespace

GbkText MainWindowController::exportPath() const
{
    if (m_exportPath)
        return *m_exportPath;
    m_app.settings.selectSection(ui::mainWindowSection());
    return m_app.settings.readText(exportKey());
}

void MainWindowController::saveExportPath()
{
    if (!m_exportPath)
        return;
    m_app.settings.selectSection(ui::mainWindowSection());
    (void)m_app.settings.writeText(exportKey(), *m_exportPath);
}

void MainWindowController::openMakersPage()
{
    ui::openWithShell(m_ui, helpDocumentPath());
}

GbkText MainWindowController::proxyAddress() const
{
    if (m_proxy->isOpen())
        return m_proxy->proxyAddress();
    return m_proxyStandIn.value_or(GbkText());
}

} // namespace quillet::app
