#pragma once

// The window tables name the faces 宋体 and 黑体 at pixel sizes. Where those faces are not
// installed (Linux), they are mapped to installed CJK fonts of the same style, and the
// mapping keeps the pixel size, and captions keep what the layouts rely on: blanks half an em
// wide (the tables place edit boxes over runs of blanks inside a label) and a width that fits
// the control.

#include "text/GbkText.h"
#include "ui/Control.h"

#include <QFont>
#include <QString>
#include <QStringList>

namespace quillet::gui {

// The installed families tried for a face, best first. 宋体 (SimSun) gets Song/Ming serif
// fonts, 黑体 (SimHei) sans fonts; any other face is tried as it is.
[[nodiscard]] QStringList candidateFamilies(const QString& face);

// The first installed candidate for the face (the face itself when none is installed).
[[nodiscard]] QString mappedFamily(const GbkText& face);

// The Qt font for a control's font.
[[nodiscard]] QFont mappedFont(const ui::Font& font);

// A caption as the font should draw it: with blanks of half an em (the blank of SimSun and
// SimHei), whatever the width of the font's own blank.
[[nodiscard]] QString captionText(const QString& text, const QFont& font);

// Narrows the font (horizontal stretch, down to 80 %; a font fitted before starts from its
// natural width) so that text fits into width pixels;
// returns false when even the narrowest form does not fit.
bool fitFontToWidth(QFont& font, const QString& text, qreal width);

} // namespace quillet::gui
