#pragma once

// The crossing between the program's GBK text and Qt's UTF-16 strings. Widgets show line
// breaks as LF; the window models keep them as CR LF.

#include "text/GbkText.h"

#include <QString>

namespace quillet::gui {

[[nodiscard]] QString toQString(const GbkText& text);
[[nodiscard]] GbkText toGbk(const QString& text);

// For multi-line widgets: CR LF (and a lone CR) become LF on the way in, LF becomes CR LF on
// the way out.
[[nodiscard]] QString toWidgetText(const GbkText& text);
[[nodiscard]] GbkText fromWidgetText(const QString& text);

// File paths: a GbkText path (either separator) as the platform's path, and back.
[[nodiscard]] QString toQtPath(const GbkText& path);
[[nodiscard]] GbkText fromQtPath(const QString& path);

} // namespace quillet::gui
