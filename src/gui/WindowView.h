#pragma once

#include "ui/Events.h"
#include "ui/Window.h"

#include <QMargins>
#include <QSize>
#include <QWidget>

#include <functional>
#include <string_view>
#include <unordered_map>

namespace quillet::gui {

// One window model shown as a Qt top-level widget. Every control of the model becomes one
// widget (the invisible file dialog none) at its place inside its parent control, with its
// font, caption, state and object name (the control's name in UTF-8). The two sides stay in
// step: the model's observers update the widgets, and what the user types, ticks or chooses
// is written into the model before the control's event is reported.
//
// The model must outlive the open view; once the window has closed the view no longer
// touches it.
class WindowView : public QWidget {
    Q_OBJECT
public:
    using ControlEventHandler = std::function<void(ui::Control& control, ui::EventKind kind)>;
    // Asked when the user closes the window; false keeps it open.
    using CloseHandler = std::function<bool()>;
    using ResizeHandler = std::function<void(QSize clientSize)>;

    explicit WindowView(ui::Window& model, QWidget* owner = nullptr);
    ~WindowView() override;
    WindowView(const WindowView&) = delete;
    WindowView& operator=(const WindowView&) = delete;

    [[nodiscard]] ui::Window& model() const { return m_model; }

    void setControlEventHandler(ControlEventHandler handler) { m_eventHandler = std::move(handler); }
    void setCloseHandler(CloseHandler handler) { m_closeHandler = std::move(handler); }
    void setResizeHandler(ResizeHandler handler) { m_resizeHandler = std::move(handler); }
    // Called once the window has closed (by the user or by closeFromProgram).
    void setClosedHandler(std::function<void()> handler) { m_closedHandler = std::move(handler); }

    // The widget of a control, by its GBK name; null for none.
    [[nodiscard]] QWidget* widgetFor(std::string_view name) const;

    // Closes the window without asking the close handler.
    void closeFromProgram();
    [[nodiscard]] bool isClosed() const { return m_closed; }

    // The window tables give outer window sizes, measured with the frames of the system they
    // were drawn on; the client area is that size less this frame, whatever frame the
    // desktop then draws around it.
    [[nodiscard]] static QMargins designFrame(ui::Border border);
    [[nodiscard]] static QSize clientSizeFor(const ui::Rect& outer, ui::Border border);

    // The height a multi-line edit box of this width needs to show the whole text (lines
    // separated by LF) in this font, with its frame and margins.
    [[nodiscard]] static int multiLineTextHeight(const QString& text, int width, const QFont& font);

signals:
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void build();
    void detach();
    QWidget* createWidget(ui::Control& control, QWidget* parent);
    void watchRightClicks(QWidget* widget, ui::Control& control);
    void apply(const ui::Control& control, ui::Property property);
    void applyAll(const ui::Control& control);
    void applyOptions(const ui::Control& control, QWidget* widget);
    void applyWindow(ui::Property property);
    void showCaption(const ui::Control& control, QWidget* widget);
    void fitCaption(const ui::Control& control, QWidget* widget);
    void report(ui::Control& control, ui::EventKind kind);
    void writeBack(const ui::Control& control, const std::function<void()>& change);
    void checkRadio(ui::Control& control);
    void clickDefaultButton();

    ui::Window& m_model;
    int m_observer = 0;
    std::unordered_map<const ui::Control*, QWidget*> m_widgets;
    std::unordered_map<const QObject*, ui::Control*> m_controlOf;
    ControlEventHandler m_eventHandler;
    CloseHandler m_closeHandler;
    ResizeHandler m_resizeHandler;
    std::function<void()> m_closedHandler;
    int m_applying = 0;                   // the model is being shown: widget signals are not user input
    const ui::Control* m_echoOf = nullptr; // the control whose user input is being written into the model
    bool m_closingFromProgram = false;
    bool m_closed = false;
};

} // namespace quillet::gui
