#include "GroupFrame.h"

#include <QFontMetrics>
#include <QPainter>
#include <QStyle>

namespace quillet::gui {

namespace {
constexpr int kCaptionIndent = 8;
constexpr int kCaptionPadding = 2;
} // namespace

GroupFrame::GroupFrame(QWidget* parent)
    : QGroupBox(parent)
{
}

void GroupFrame::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QFontMetrics metrics(font());
    const int captionHeight = metrics.height();
    // An etched line: a dark rectangle with a light one one pixel below and to the right.
    const int top = captionHeight / 2;
    const QRect outline(0, top, width() - 2, height() - top - 2);
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(outline);
    painter.setPen(palette().color(QPalette::Light));
    painter.drawRect(outline.translated(1, 1));
    if (title().isEmpty())
        return;
    const int captionWidth = metrics.horizontalAdvance(title()) + 2 * kCaptionPadding;
    const QRect caption(kCaptionIndent, 0, std::min(captionWidth, width() - 2 * kCaptionIndent), captionHeight);
    painter.fillRect(caption, palette().brush(backgroundRole()));
    style()->drawItemText(&painter, caption, Qt::AlignCenter, palette(), isEnabled(), title(), foregroundRole());
}

} // namespace quillet::gui
