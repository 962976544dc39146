#pragma once

#include "text/GbkText.h"
#include "ui/Control.h"
#include "ui/Ui.h"
#include "ui/Window.h"
#include "ui/WindowController.h"

#include <optional>

namespace quillet::app {

struct App;

// How the text dialog is shown (kept for the time it is open).
struct TextDialogOptions {
    GbkText text;                  // shown in 编辑框正文
    std::optional<GbkText> prompt; // shown in 编辑框提示; none: an empty prompt
    GbkText title;                 // empty: "墨汀："
    int textWidth = 0;             // requested size of the text area; 0: the design size
    int textHeight = 0;
    int margin = 0;                // layout margin; below 1: 5
    bool maximized = false;
};

// Where the text dialog's controls go for a client area of the given size.
struct TextDialogLayout {
    ui::Rect prompt; // 编辑框提示
    ui::Rect text;   // 编辑框正文
    ui::Rect frame;  // 外形框
    ui::Rect ok;     // 按钮确定
    ui::Rect cancel; // 按钮取消
};

// The layout rule, applied on every resize: the prompt across the top at the height its text
// needs, the text below it down to the button bar, the button bar under the text, the cancel
// button at the right edge and the OK button left of it, both centred on the bar. Frame and
// button sizes are the design's.
[[nodiscard]] TextDialogLayout layoutTextDialog(int clientWidth, int clientHeight, int margin, int promptHeight);

// The text dialog in view mode: the text read-only, only "关闭(&G)" to press.
class TextDialogController : public ui::WindowController {
public:
    TextDialogController(ui::Ui& ui, TextDialogOptions options);

    ui::Window& window() override { return m_window; }
    void created() override;
    void handleEvent(const GbkText& control, ui::EventKind kind) override;
    void resized(int clientWidth, int clientHeight) override;
    void closed() override;

    [[nodiscard]] int margin() const { return m_margin; }
    [[nodiscard]] bool isOpen() const { return m_open; }

private:
    ui::Ui& m_ui;
    TextDialogOptions m_options;
    ui::Window m_window;
    int m_margin = 5;
    bool m_open = false;
};

// Shows the text dialog modally in view mode and returns when it is closed. False, showing
// nothing, while another text dialog is open; false also after it was shown, since view mode
// hands nothing back.
bool showTextDialog(App& app, ui::Ui& ui, const TextDialogOptions& options, ui::WindowController* owner);

} // namespace quillet::app
