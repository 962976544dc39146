#include "PictureButton.h"

#include "Pictures.h"

#include <QPainter>

namespace quillet::gui {

PictureButton::PictureButton(std::string pictureId, QWidget* parent)
    : QAbstractButton(parent)
    , m_pictureId(std::move(pictureId))
{
    setCursor(Qt::PointingHandCursor);
    // The link label under each picture button is the keyboard's way to the same action.
    setFocusPolicy(Qt::NoFocus);
}

void PictureButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (m_hovered && isEnabled()) {
        QColor highlight = palette().color(QPalette::Highlight);
        highlight.setAlpha(40);
        painter.setPen(Qt::NoPen);
        painter.setBrush(highlight);
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
    }
    const int inset = 4;
    QRect area = rect().adjusted(inset, inset, -inset, -inset);
    if (isDown())
        area.translate(1, 1);
    const qreal ratio = devicePixelRatioF();
    if (m_cache.isNull() || m_cache.deviceIndependentSize().toSize() != area.size()
        || m_cache.devicePixelRatio() != ratio)
        m_cache = renderPicture(m_pictureId, area.size(), ratio);
    if (!m_cache.isNull()) {
        if (!isEnabled())
            painter.setOpacity(0.4);
        painter.drawPixmap(area.topLeft(), m_cache);
    }
}

void PictureButton::enterEvent(QEnterEvent* event)
{
    m_hovered = true;
    update();
    QAbstractButton::enterEvent(event);
}

void PictureButton::leaveEvent(QEvent* event)
{
    m_hovered = false;
    update();
    QAbstractButton::leaveEvent(event);
}

} // namespace quillet::gui
