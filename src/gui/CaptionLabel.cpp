#include "CaptionLabel.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QStyle>

#include <algorithm>

namespace quillet::gui {

CaptionLabel::CaptionLabel(QWidget* parent)
    : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
}

qreal CaptionLabel::linePitch(int lines) const
{
    const QFontMetricsF metrics(font());
    const qreal natural = metrics.lineSpacing();
    if (lines <= 1 || natural * lines <= height())
        return natural;
    // Never closer than the em height: the glyphs of one line would touch the next.
    return std::max<qreal>(font().pixelSize() > 0 ? font().pixelSize() : metrics.height() * 0.7,
                           static_cast<qreal>(height()) / lines);
}

void CaptionLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRect area = contentsRect();
    const QStringList lines = text().split(QLatin1Char('\n'));
    const Qt::Alignment horizontal = alignment() & Qt::AlignHorizontal_Mask;
    if (lines.size() == 1) {
        style()->drawItemText(&painter, area, int(horizontal | Qt::AlignVCenter), palette(), isEnabled(), lines.front(),
                              foregroundRole());
        return;
    }
    const qreal pitch = linePitch(static_cast<int>(lines.size()));
    for (int i = 0; i < lines.size(); ++i) {
        const QRect lineRect(area.left(), area.top() + qRound(i * pitch), area.width(), qRound(pitch));
        style()->drawItemText(&painter, lineRect, int(horizontal | Qt::AlignVCenter), palette(), isEnabled(), lines[i],
                              foregroundRole());
    }
}

} // namespace quillet::gui
