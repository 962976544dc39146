#include "GuiText.h"

#include "text/Charset.h"
#include "text/Paths.h"

#include <filesystem>

namespace quillet::gui {

QString toQString(const GbkText& text)
{
    const std::u16string utf16 = text::gbkToUtf16(text);
    return QString::fromStdU16String(utf16);
}

GbkText toGbk(const QString& text)
{
    return text::utf16ToGbk(text.toStdU16String());
}

QString toWidgetText(const GbkText& text)
{
    QString s = toQString(text);
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return s;
}

GbkText fromWidgetText(const QString& text)
{
    QString s = text;
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    s.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    return toGbk(s);
}

QString toQtPath(const GbkText& path)
{
    const std::filesystem::path native = text::toNativePath(path);
#ifdef _WIN32
    return QString::fromStdWString(native.wstring());
#else
    return QString::fromUtf8(native.native().c_str());
#endif
}

GbkText fromQtPath(const QString& path)
{
#ifdef _WIN32
    return text::fromNativePath(std::filesystem::path(path.toStdWString()));
#else
    const QByteArray bytes = path.toUtf8();
    return text::fromNativePath(std::filesystem::path(std::string(bytes.constData(), bytes.size())));
#endif
}

} // namespace quillet::gui
