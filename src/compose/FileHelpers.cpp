#include "compose/FileHelpers.h"

#include "compose/TextOps.h"
#include "text/EventPump.h"
#include "text/GbkChars.h"
#include "text/FileIo.h"
#include "text/Paths.h"

#include <chrono>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <thread>
#include <unordered_set>

namespace quillet::compose {

namespace fs = std::filesystem;

namespace {

bool isSeparator(char c) { return c == '\\' || c == '/'; }

bool onlySeparators(std::string_view part)
{
    for (char c : part)
        if (!isSeparator(c))
            return false;
    return true;
}

} // namespace

bool endsWithPathSeparator(const GbkText& path)
{
    const size_t last = text::lastCharStart(path);
    return !path.empty() && last == path.size() - 1 && (path[last] == '\\' || path[last] == '/');
}

GbkText leftChars(const GbkText& text, long long n)
{
    if (n == 0)
        return GbkText();
    if (n < 0)
        n += charCount(text, 0);
    if (n <= 0)
        return GbkText();
    return text.substr(0, text::prefixHoldingChars(text, n));
}

GbkText sanitizeFileName(const GbkText& text, bool cutTo200, bool trim)
{
    GbkText out;
    out.reserve(text.size() + 16);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (text::isLeadByte(c)) {
            // Characters are read as the conversion for the file system reads them (the strict
            // GB18030 rule): only a real trail byte after a real lead byte belongs to the
            // character, so "/", ":", "\" or a control byte after a broken lead, or after 0x80
            // or 0xFF, is cleaned as a character of its own.
            const std::size_t length = text::gb18030CharLength(text, i);
            // A lead byte without its trail is dropped: left in, it would take the first byte
            // of whatever follows it in the cleaned name (a "/" after a removed tab, say).
            if (length > 1 || !text::isGb18030Lead(static_cast<unsigned char>(c)))
                out.append(text, i, length);
            i += length - 1;
            continue;
        }
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            // Control bytes never reach a file name: a NUL would cut it short in every system
            // call. CR, LF and tab go, as the others do.
            continue;
        }
        switch (c) {
        case '\\': out += "\xA3\xDC"; break;
        case '/': out += "\xA3\xAF"; break;
        case ':': out += "\xA3\xBA"; break;
        case '*': out += "\xA3\xAA"; break;
        case '?': out += "\xA3\xBF"; break;
        case '|': out += "\xA3\xFC"; break;
        case '<': out += "\xA3\xBC"; break;
        case '>': out += "\xA3\xBE"; break;
        case '"': break;
        default: out.push_back(c);
        }
    }
    if (cutTo200)
        out = leftChars(out, 200);
    if (trim) {
        // Leading and trailing half-width and full-width (A1 A1) blanks.
        std::size_t begin = 0;
        std::size_t end = 0; // just after the last character that is not a blank
        bool leading = true;
        for (std::size_t i = 0; i < out.size();) {
            const std::size_t len = text::gb18030CharLength(out, i);
            const bool blank = out[i] == ' ' || (len == 2 && out[i] == '\xA1' && out[i + 1] == '\xA1');
            if (!blank) {
                if (leading) {
                    begin = i;
                    leading = false;
                }
                end = i + len;
            }
            i += len;
        }
        out = leading ? GbkText() : out.substr(begin, end - begin);
    }
    return out;
}

bool createDirectories(const GbkText& path, std::vector<GbkText>& created)
{
    for (std::size_t i = 0; i < path.size(); ++i) {
        const char c = path[i];
        if (text::isLeadByte(c)) {
            ++i; // the second byte of a pair is never a separator
            continue;
        }
        if (!isSeparator(c))
            continue;
        const std::string_view part(path.data(), i);
        if (part.empty() || onlySeparators(part))
            continue;
#ifdef _WIN32
        if (part.size() == 2)
            continue; // a drive such as C:
#endif
        const GbkText folder(part);
        const fs::path native = text::toNativePath(folder);
        std::error_code ec;
        if (fs::is_directory(native, ec))
            continue;
        ec.clear();
        fs::create_directory(native, ec);
        if (ec || !fs::is_directory(native, ec))
            return false;
        created.push_back(folder);
    }
    return true;
}

bool writeTextFile(const GbkText& path, const GbkText& text, bool append)
{
    if (path.empty())
        return false;
    const fs::path target = text::toNativePath(path);
    if (!append)
        return text::writeFileAtomically(target, text);
    // The old content must be read in full, or appending would lose it.
    text::FileContent old = text::readWholeFile(target);
    if (old.status == text::ReadStatus::Failed)
        return false;
    old.bytes += text;
    return text::writeFileAtomically(target, old.bytes);
}

GbkText uniqueItems(std::vector<GbkText>& items, const GbkText& text, const GbkText& separator)
{
    const GbkText& sep = separator.empty() ? GbkText("\r\n") : separator;
    const std::vector<GbkText> all = splitText(text, sep);
    // An item is kept at its last occurrence: walk from the end and keep what is new.
    std::unordered_set<std::string_view> seen;
    seen.reserve(all.size());
    std::vector<std::size_t> keep;
    for (std::size_t i = all.size(); i-- > 0;) {
        if ((i & 255) == 0)
            text::processEvents();
        if (seen.insert(all[i]).second)
            keep.push_back(i);
    }
    items.clear();
    items.reserve(keep.size());
    GbkText joined;
    for (std::size_t k = keep.size(); k-- > 0;) {
        if (!items.empty())
            joined += sep;
        joined += all[keep[k]];
        items.push_back(all[keep[k]]);
    }
    return joined;
}

void pauseMs(long long milliseconds, const bool& stopFlag)
{
    for (long long t = 0; t < milliseconds && !stopFlag; t += 10) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        text::processEvents();
    }
}

} // namespace quillet::compose
