#include "LinkLabel.h"

#include <QKeyEvent>
#include <QMouseEvent>

namespace quillet::gui {

LinkLabel::LinkLabel(QWidget* parent)
    : CaptionLabel(parent)
{
    setCursor(Qt::PointingHandCursor);
    setForegroundRole(QPalette::Link);
    setFocusPolicy(Qt::TabFocus);
    setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
}

void LinkLabel::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && isEnabled()) {
        event->accept();
        emit pressed();
        return;
    }
    CaptionLabel::mousePressEvent(event);
}

void LinkLabel::keyPressEvent(QKeyEvent* event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter || event->key() == Qt::Key_Space)
        && isEnabled()) {
        emit pressed();
        return;
    }
    CaptionLabel::keyPressEvent(event);
}

} // namespace quillet::gui
