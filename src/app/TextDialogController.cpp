#include "TextDialogController.h"

#include "App.h"
#include "ui/ControlNames.h"
#include "ui/SecondaryWindows.h"

namespace quillet::app {

using namespace ui::textdlg;

TextDialogLayout layoutTextDialog(int clientWidth, int clientHeight, int margin, int promptHeight)
{
    static const ui::Window design = ui::makeTextDialog();
    const ui::Rect frameDesign = design.find(外形框)->place();
    const ui::Rect okDesign = design.find(按钮确定)->place();
    const ui::Rect cancelDesign = design.find(按钮取消)->place();

    TextDialogLayout l;
    const int width = clientWidth - 2 * margin;
    l.prompt = {margin, margin, width, promptHeight};
    const int textTop = l.prompt.top + l.prompt.height + margin;
    l.text = {margin, textTop, width, clientHeight - textTop - frameDesign.height};
    l.frame = {margin, l.text.top + l.text.height, frameDesign.width, frameDesign.height};
    const int middle = l.frame.top + l.frame.height / 2;
    l.cancel = {clientWidth - margin - cancelDesign.width, middle - cancelDesign.height / 2, cancelDesign.width,
                cancelDesign.height};
    l.ok = {l.cancel.left - okDesign.width, middle - okDesign.height / 2, okDesign.width, okDesign.height};
    return l;
}

TextDialogController::TextDialogController(ui::Ui& ui, TextDialogOptions options)
    : m_ui(ui)
    , m_options(std::move(options))
    , m_window(ui::makeTextDialog())
    , m_margin(m_options.margin < 1 ? 5 : m_options.margin)
{
    // View mode: the text cannot be edited, nothing is confirmed, "关闭(&G)" is the default.
    m_window.setTitle(m_options.title.empty() ? ui::textDialogDefaultTitle() : m_options.title);
    m_window.find(编辑框提示)->setText(m_options.prompt.value_or(GbkText()));
    ui::Control& text = *m_window.find(编辑框正文);
    text.setText(m_options.text);
    ui::ControlOptions textOptions = text.options();
    textOptions.readOnly = true;
    text.setOptions(textOptions);
    ui::Control& ok = *m_window.find(按钮确定);
    ui::ControlOptions okOptions = ok.options();
    okOptions.defaultButton = false;
    ok.setOptions(okOptions);
    ok.setVisible(false);
    m_window.find(外形框)->setVisible(false);
    ui::Control& cancel = *m_window.find(按钮取消);
    cancel.setText(gbk("关闭(&G)"));
    ui::ControlOptions cancelOptions = cancel.options();
    cancelOptions.defaultButton = true;
    cancel.setOptions(cancelOptions);

    // Size: a requested text area plus the frame, the margins, the prompt and the buttons.
    const ui::Size frame = ui.frameSize(m_window.border());
    ui::Rect g = m_window.geometry();
    if (m_options.textWidth > 0)
        g.width = m_options.textWidth + frame.width + 2 * m_margin;
    if (m_options.textHeight > 0)
        g.height = m_options.textHeight + frame.height + m_window.find(编辑框提示)->place().height
            + ok.place().height + 5 * m_margin;
    // Place: centred, a little above the middle of the screen.
    const ui::Size screen = ui.screenSize();
    g.left = (screen.width - g.width) / 2;
    g.top = (screen.height - 30) / 2 - g.height / 2;
    m_window.setGeometry(g);
    if (m_options.maximized)
        m_window.setShowState(ui::ShowState::Maximised);
}

void TextDialogController::created()
{
    m_open = true;
    m_ui.setFocus(*this, 编辑框正文.gbk());
}

void TextDialogController::handleEvent(const GbkText& control, ui::EventKind kind)
{
    if (control == 按钮取消 && kind == ui::EventKind::Clicked)
        m_ui.closeWindow(*this);
}

void TextDialogController::resized(int clientWidth, int clientHeight)
{
    ui::Control& prompt = *m_window.find(编辑框提示);
    const int promptHeight = m_ui.textHeight(prompt.text(), clientWidth - 2 * m_margin, prompt.font());
    const TextDialogLayout l = layoutTextDialog(clientWidth, clientHeight, m_margin, promptHeight);
    prompt.setPlace(l.prompt);
    m_window.find(编辑框正文)->setPlace(l.text);
    m_window.find(外形框)->setPlace(l.frame);
    m_window.find(按钮确定)->setPlace(l.ok);
    m_window.find(按钮取消)->setPlace(l.cancel);
}

void TextDialogController::closed()
{
    m_open = false;
}

bool showTextDialog(App& app, ui::Ui& ui, const TextDialogOptions& options, ui::WindowController* owner)
{
    if (app.textDialogOpen)
        return false;
    app.textDialogOpen = true;
    TextDialogController dialog(ui, options);
    ui.showModal(dialog, owner);
    app.textDialogOpen = false;
    return false;
}

} // namespace quillet::app
