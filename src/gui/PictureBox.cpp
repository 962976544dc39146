#include "PictureBox.h"

#include "Pictures.h"

#include <QPainter>

namespace quillet::gui {

PictureBox::PictureBox(std::string pictureId, QWidget* parent)
    : QWidget(parent)
    , m_pictureId(std::move(pictureId))
{
}

void PictureBox::paintEvent(QPaintEvent*)
{
    if (m_pictureId.empty())
        return;
    QPainter painter(this);
    const QPixmap picture = renderPicture(m_pictureId, size(), devicePixelRatioF());
    if (!picture.isNull())
        painter.drawPixmap(0, 0, picture);
}

} // namespace quillet::gui
