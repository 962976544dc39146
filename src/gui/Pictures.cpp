#include "Pictures.h"

#include <QFile>
#include <QPainter>
#include <QSvgRenderer>

// The pictures are compiled into this static library; its resources must be registered.
static void registerPictures()
{
    Q_INIT_RESOURCE(pictures);
}

namespace quillet::gui {

namespace {

void ensureRegistered()
{
    static const bool registered = [] {
        registerPictures();
        return true;
    }();
    (void)registered;
}

QString resourcePath(const std::string& id)
{
    return QStringLiteral(":/quillet/pictures/pictures/") + QString::fromStdString(id) + QStringLiteral(".svg");
}

} // namespace

bool hasPicture(const std::string& id)
{
    ensureRegistered();
    return !id.empty() && QFile::exists(resourcePath(id));
}

QPixmap renderPicture(const std::string& id, QSize size, qreal devicePixelRatio)
{
    if (!hasPicture(id) || size.isEmpty())
        return {};
    QSvgRenderer renderer(resourcePath(id));
    if (!renderer.isValid())
        return {};
    QPixmap pixmap(size * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QSizeF drawn = renderer.defaultSize();
    drawn.scale(size, Qt::KeepAspectRatio);
    const QRectF target((size.width() - drawn.width()) / 2.0, (size.height() - drawn.height()) / 2.0, drawn.width(),
                        drawn.height());
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter, target);
    return pixmap;
}

QIcon programIcon()
{
    QIcon icon;
    for (int side : {16, 24, 32, 48, 64, 128, 256})
        icon.addPixmap(renderPicture("quillet", QSize(side, side)));
    return icon;
}

} // namespace quillet::gui
