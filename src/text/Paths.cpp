#include "Paths.h"

#include "Charset.h"

#include <cstdlib>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#endif

namespace quillet::text {

#ifndef _WIN32
namespace {

// Length of the well-formed UTF-8 sequence at text[i], or 0 when the byte there starts none.
std::size_t utf8SequenceLength(std::string_view text, std::size_t i)
{
    const auto at = [&](std::size_t k) { return i + k < text.size() ? static_cast<unsigned char>(text[i + k]) : 0u; };
    const unsigned b0 = at(0);
    const auto cont = [&](std::size_t k, unsigned low = 0x80, unsigned high = 0xBF) {
        const unsigned b = at(k);
        return b >= low && b <= high;
    };
    if (b0 < 0x80)
        return 1;
    if (b0 >= 0xC2 && b0 <= 0xDF)
        return cont(1) ? 2 : 0;
    if (b0 >= 0xE0 && b0 <= 0xEF) {
        const unsigned low = b0 == 0xE0 ? 0xA0 : 0x80;
        const unsigned high = b0 == 0xED ? 0x9F : 0xBF; // no surrogates
        return cont(1, low, high) && cont(2) ? 3 : 0;
    }
    if (b0 >= 0xF0 && b0 <= 0xF4) {
        const unsigned low = b0 == 0xF0 ? 0x90 : 0x80;
        const unsigned high = b0 == 0xF4 ? 0x8F : 0xBF;
        return cont(1, low, high) && cont(2) && cont(3) ? 4 : 0;
    }
    return 0;
}

// The escape code points stand for single bytes: a valid UTF-8 character among them in a
// name from the system is kept as its bytes, so that it is not taken for an escape.
bool isEscapeSequence(std::string_view text, std::size_t i)
{
    return i + 3 < text.size() && static_cast<unsigned char>(text[i]) == 0xF4
           && static_cast<unsigned char>(text[i + 1]) == 0x8F && (static_cast<unsigned char>(text[i + 2]) & 0xFC) == 0xBC
           && (static_cast<unsigned char>(text[i + 3]) & 0xC0) == 0x80;
}

void appendEscape(std::string& utf8, unsigned char byte)
{
    const char32_t cp = kEscapeBase + byte;
    utf8 += static_cast<char>(0xF0 | (cp >> 18));
    utf8 += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    utf8 += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    utf8 += static_cast<char>(0x80 | (cp & 0x3F));
}

} // namespace
#endif

std::filesystem::path toNativePath(const GbkText& path)
{
#ifdef _WIN32
    std::u16string wide = gbkToUtf16(path);
    for (auto& c : wide)
        if (c == u'/')
            c = u'\\';
    return std::filesystem::path(std::wstring(wide.begin(), wide.end()));
#else
    // The escapes of bytes that were not UTF-8 in a name from the system become those bytes
    // again, so such a name reaches the system exactly as it came.
    const std::string utf8 = gbkToUtf8(path, Invalid::Escape);
    std::string native;
    native.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        if (isEscapeSequence(utf8, i)) {
            native += static_cast<char>(((utf8[i + 2] & 0x03) << 6) | (utf8[i + 3] & 0x3F));
            i += 4;
            continue;
        }
        native += utf8[i] == '\\' ? '/' : utf8[i];
        ++i;
    }
    return std::filesystem::path(std::move(native));
#endif
}

GbkText fromNativePath(const std::filesystem::path& path)
{
#ifdef _WIN32
    const std::wstring& wide = path.native();
    return utf16ToGbk(std::u16string(wide.begin(), wide.end()));
#else
    // Names on this system are bytes, usually UTF-8. A byte that is not part of a UTF-8
    // character (a folder unpacked from a GBK archive, say) is carried as its escape code
    // point, which toNativePath turns back into the byte.
    const std::string& native = path.native();
    std::string utf8;
    utf8.reserve(native.size() + 16);
    bool escaped = false;
    for (std::size_t i = 0; i < native.size();) {
        const std::size_t length = utf8SequenceLength(native, i);
        if (length == 0 || isEscapeSequence(native, i)) {
            appendEscape(utf8, static_cast<unsigned char>(native[i]));
            escaped = true;
            ++i;
            continue;
        }
        utf8.append(native, i, length);
        i += length;
    }
    if (!escaped)
        return utf8ToGbk(utf8);
    return convertToGb18030(utf8, "UTF-8");
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
