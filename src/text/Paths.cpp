#include "Paths.h"

#include "Charset.h"

#include <cstdlib>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#endif

namespace quillet::text {

std::filesystem::path toNativePath(const GbkText& path)
{
#ifdef _WIN32
    std::u16string wide = gbkToUtf16(path);
    for (auto& c : wide)
        if (c == u'/')
            c = u'\\';
    return std::filesystem::path(std::wstring(wide.begin(), wide.end()));
#else
    std::string utf8 = gbkToUtf8(path);
    for (auto& c : utf8)
        if (c == '\\')
            c = '/';
    return std::filesystem::path(utf8);
#endif
}

GbkText fromNativePath(const std::filesystem::path& path)
{
#ifdef _WIN32
    const std::wstring& wide = path.native();
    return utf16ToGbk(std::u16string(wide.begin(), wide.end()));
#else
    return utf8ToGbk(path.native());
#endif
}

const GbkText& pathSeparator()
{
#ifdef _WIN32
    static const GbkText sep = "\\";
#else
    static const GbkText sep = "/";
#endif
    return sep;
}

GbkText homeFolder()
{
#ifdef _WIN32
    const char* home = std::getenv("USERPROFILE");
#else
    const char* home = std::getenv("HOME");
#endif
    if (!home || !*home)
        return GbkText();
    GbkText result = fromNativePath(std::filesystem::path(home));
    while (result.size() > 1 && (result.back() == '/' || result.back() == '\\'))
        result.pop_back();
    return result;
}

GbkText localDefaultPath(const GbkText& windowsDefault)
{
#ifdef _WIN32
    return windowsDefault;
#else
    if (windowsDefault.size() < 3 || (windowsDefault[0] != 'C' && windowsDefault[0] != 'c') || windowsDefault[1] != ':'
        || windowsDefault[2] != '\\')
        return windowsDefault;
    GbkText rest = windowsDefault.substr(3);
    GbkText home = homeFolder();
    if (home.empty())
        return windowsDefault;
    // "C:\" itself is the home folder with a trailing separator.
    return home + "/" + rest;
#endif
}

std::filesystem::path executableFolder()
{
    std::error_code ec;
#ifdef _WIN32
    std::wstring buffer(32768, L'\0');
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0 || n >= buffer.size())
        return {};
    buffer.resize(n);
    return std::filesystem::path(buffer).parent_path();
#else
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
        return {};
    return exe.parent_path();
#endif
}

} // namespace quillet::text
