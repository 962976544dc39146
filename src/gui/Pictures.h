#pragma once

// The pictures of picture buttons and picture boxes: our own SVG drawings, compiled into the
// program, rendered at the size a control asks for.

#include <QIcon>
#include <QPixmap>
#include <QSize>

#include <string>

namespace quillet::gui {

// True when a picture of that id (ASCII, such as "save") is built in.
[[nodiscard]] bool hasPicture(const std::string& id);

// The picture drawn into size (device-independent pixels) at the given device pixel ratio,
// keeping its proportions and centred; a null pixmap for an unknown id.
[[nodiscard]] QPixmap renderPicture(const std::string& id, QSize size, qreal devicePixelRatio = 1.0);

// The program's icon, at the usual sizes.
[[nodiscard]] QIcon programIcon();

} // namespace quillet::gui
