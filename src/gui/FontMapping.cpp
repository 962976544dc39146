#include "FontMapping.h"

#include "GuiText.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QHash>

#include <cmath>

namespace quillet::gui {

namespace {

bool isSongFace(const QString& face)
{
    return face == QStringLiteral("宋体") || face.compare(QLatin1String("SimSun"), Qt::CaseInsensitive) == 0
           || face == QStringLiteral("新宋体") || face.compare(QLatin1String("NSimSun"), Qt::CaseInsensitive) == 0;
}

bool isHeiFace(const QString& face)
{
    return face == QStringLiteral("黑体") || face.compare(QLatin1String("SimHei"), Qt::CaseInsensitive) == 0;
}

// The smallest stretch a caption is narrowed to before it is left as it is.
constexpr int kNarrowestStretch = 80;

} // namespace

QStringList candidateFamilies(const QString& face)
{
    if (isSongFace(face)) {
        return {QStringLiteral("SimSun"),           QStringLiteral("NSimSun"),
                QStringLiteral("Noto Serif CJK SC"), QStringLiteral("Source Han Serif SC"),
                QStringLiteral("AR PL UMing CN"),    QStringLiteral("AR PL UMing TW"),
                QStringLiteral("Noto Sans CJK SC"),  QStringLiteral("WenQuanYi Micro Hei"),
                QStringLiteral("Droid Sans Fallback")};
    }
    if (isHeiFace(face)) {
        return {QStringLiteral("SimHei"),           QStringLiteral("Noto Sans CJK SC"),
                QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Source Han Sans SC"),
                QStringLiteral("WenQuanYi Zen Hei"), QStringLiteral("Droid Sans Fallback")};
    }
    return {face};
}

QString mappedFamily(const GbkText& face)
{
    static QHash<QString, QString> cache;
    const QString name = toQString(face);
    if (auto it = cache.constFind(name); it != cache.constEnd())
        return *it;
    const QStringList installed = QFontDatabase::families();
    QString chosen = name;
    for (const QString& candidate : candidateFamilies(name)) {
        if (installed.contains(candidate, Qt::CaseInsensitive)) {
            chosen = candidate;
            break;
        }
    }
    cache.insert(name, chosen);
    return chosen;
}

QFont mappedFont(const ui::Font& font)
{
    const QString face = toQString(font.family);
    QFont f;
    QStringList families{mappedFamily(font.family)};
    // Characters the chosen face lacks come from the other CJK faces, never from a Latin font
    // that would draw boxes.
    for (const QString& fallback : candidateFamilies(isHeiFace(face) ? QStringLiteral("黑体") : QStringLiteral("宋体")))
        if (!families.contains(fallback))
            families << fallback;
    f.setFamilies(families);
    f.setPixelSize(font.pixelSize > 0 ? font.pixelSize : 14);
    f.setBold(font.bold);
    f.setHintingPreference(QFont::PreferFullHinting);
    return f;
}

QString captionText(const QString& text, const QFont& font)
{
    if (!text.contains(QLatin1Char(' ')))
        return text;
    const qreal space = QFontMetricsF(font).horizontalAdvance(QLatin1Char(' '));
    const qreal halfEm = (font.pixelSize() > 0 ? font.pixelSize() : QFontMetricsF(font).height()) / 2.0;
    if (std::abs(space - halfEm) <= 0.5)
        return text;
    QString shown = text;
    shown.replace(QLatin1Char(' '), QChar(0x2002)); // EN SPACE: half an em in every CJK font
    return shown;
}

bool fitFontToWidth(QFont& font, const QString& text, qreal width)
{
    font.setStretch(QFont::Unstretched);
    const qreal natural = QFontMetricsF(font).horizontalAdvance(text);
    if (natural <= width)
        return true;
    int stretch = static_cast<int>(std::floor(100.0 * width / natural));
    while (stretch >= kNarrowestStretch) {
        font.setStretch(stretch);
        if (QFontMetricsF(font).horizontalAdvance(text) <= width)
            return true;
        --stretch;
    }
    font.setStretch(kNarrowestStretch);
    return false;
}

} // namespace quillet::gui
