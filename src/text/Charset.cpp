#include "Charset.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace quillet::text {

namespace {

// Owns one iconv conversion descriptor.
class IconvHandle {
public:
    IconvHandle(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    ~IconvHandle()
    {
        if (valid())
            iconv_close(m_cd);
    }
    IconvHandle(const IconvHandle&) = delete;
    IconvHandle& operator=(const IconvHandle&) = delete;

    [[nodiscard]] bool valid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
    [[nodiscard]] iconv_t get() const { return m_cd; }

private:
    iconv_t m_cd;
};

// What to do with input that the converter cannot take. Returns false to abandon the
// conversion; otherwise it has consumed at least one input byte and appended its own output.
using InvalidHandler = bool (*)(const char*& in, size_t& inLeft, std::string& out);

// Runs iconv over the whole input, growing the output as needed. Each invalid or truncated
// input sequence goes to `onInvalid`. The result's size is a multiple of `unit` bytes.
bool runIconv(iconv_t cd, std::string_view input, std::string& out, InvalidHandler onInvalid)
{
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    auto* in = const_cast<char*>(input.data());
    size_t inLeft = input.size();
    size_t used = out.size();
    out.resize(used + input.size() * 2 + 32);
    while (inLeft > 0) {
        char* outPtr = out.data() + used;
        size_t outLeft = out.size() - used;
        const size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        used = out.size() - outLeft;
        if (rc != static_cast<size_t>(-1))
            break;
        if (errno == E2BIG) {
            out.resize(out.size() + inLeft * 2 + 64);
            continue;
        }
        // EILSEQ or EINVAL: an invalid sequence, or a truncated one at the end.
        out.resize(used);
        const char* cin = in;
        if (!onInvalid || !onInvalid(cin, inLeft, out))
            return false;
        in = const_cast<char*>(cin);
        used = out.size();
        out.resize(used + inLeft * 2 + 32);
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    // Flush any shift state (none for the charsets used here, but cheap).
    char* outPtr = out.data() + used;
    size_t outLeft = out.size() - used;
    iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
    used = out.size() - outLeft;
    out.resize(used);
    return true;
}

// Converters are opened once per thread and reused: iconv_open is far more costly than a
// short conversion.
iconv_t converter(const char* to, const char* from)
{
    thread_local std::unordered_map<std::string, std::unique_ptr<IconvHandle>> cache;
    std::string key = std::string(to) + '\n' + from;
    auto it = cache.find(key);
    if (it == cache.end())
        it = cache.emplace(std::move(key), std::make_unique<IconvHandle>(to, from)).first;
    return it->second->valid() ? it->second->get() : reinterpret_cast<iconv_t>(-1);
}

bool isAscii(std::string_view s)
{
    for (unsigned char c : s)
        if (c >= 0x80)
            return false;
    return true;
}

void appendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

void appendUtf16(std::string& out, char32_t cp)
{
    auto put = [&out](char16_t unit) { out.append(reinterpret_cast<const char*>(&unit), sizeof unit); };
    if (cp < 0x10000) {
        put(static_cast<char16_t>(cp));
    } else {
        cp -= 0x10000;
        put(static_cast<char16_t>(0xD800 + (cp >> 10)));
        put(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    }
}

bool escapeByteUtf8(const char*& in, size_t& inLeft, std::string& out)
{
    appendUtf8(out, kEscapeBase + static_cast<unsigned char>(*in));
    ++in;
    --inLeft;
    return true;
}
bool replaceByteUtf8(const char*& in, size_t& inLeft, std::string& out)
{
    appendUtf8(out, 0xFFFD);
    ++in;
    --inLeft;
    return true;
}
bool escapeByteUtf16(const char*& in, size_t& inLeft, std::string& out)
{
    appendUtf16(out, kEscapeBase + static_cast<unsigned char>(*in));
    ++in;
    --inLeft;
    return true;
}
bool replaceByteUtf16(const char*& in, size_t& inLeft, std::string& out)
{
    appendUtf16(out, 0xFFFD);
    ++in;
    --inLeft;
    return true;
}
bool questionMarkForByte(const char*& in, size_t& inLeft, std::string& out)
{
    out += '?';
    ++in;
    --inLeft;
    return true;
}
// A UTF-16 unit that cannot be converted (a lone surrogate): one "?" for the whole unit.
bool questionMarkForUnit(const char*& in, size_t& inLeft, std::string& out)
{
    out += '?';
    const size_t step = inLeft >= 2 ? 2 : inLeft;
    in += step;
    inLeft -= step;
    return true;
}

const char* nativeUtf16()
{
    const char16_t probe = 1;
    return *reinterpret_cast<const unsigned char*>(&probe) == 1 ? "UTF-16LE" : "UTF-16BE";
}

// Converts Unicode (UTF-8 or native UTF-16) to GB18030, turning the escape code points of
// undecodable bytes back into their byte. `findEscape` returns the offset of the next escape
// sequence at or after `from` (npos if none) and its byte value and length.
template <typename FindEscape>
GbkText unicodeToGbk(std::string_view input, const char* from, InvalidHandler onInvalid, FindEscape findEscape)
{
    GbkText out;
    iconv_t cd = converter("GB18030", from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return out;
    out.reserve(input.size());
    size_t pos = 0;
    while (pos < input.size()) {
        unsigned char byte = 0;
        size_t length = 0;
        const size_t esc = findEscape(input, pos, byte, length);
        const size_t end = esc == std::string_view::npos ? input.size() : esc;
        if (end > pos)
            runIconv(cd, input.substr(pos, end - pos), out, onInvalid);
        if (esc == std::string_view::npos)
            break;
        out += static_cast<char>(byte);
        pos = esc + length;
    }
    return out;
}

} // namespace

std::string gbkToUtf8(std::string_view gbk, Invalid invalid)
{
    if (isAscii(gbk))
        return std::string(gbk);
    std::string out;
    iconv_t cd = converter("UTF-8", "GB18030");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return out;
    out.reserve(gbk.size() * 3 / 2 + 16);
    runIconv(cd, gbk, out, invalid == Invalid::Escape ? escapeByteUtf8 : replaceByteUtf8);
    return out;
}

GbkText utf8ToGbk(std::string_view utf8)
{
    if (isAscii(utf8))
        return GbkText(utf8);
    // Escapes are F4 8F BC..BF 80..BF (U+10FF00 .. U+10FFFF).
    auto findEscape = [](std::string_view s, size_t from, unsigned char& byte, size_t& length) -> size_t {
        for (size_t i = s.find('\xF4', from); i != std::string_view::npos; i = s.find('\xF4', i + 1)) {
            if (i + 3 < s.size() && static_cast<unsigned char>(s[i + 1]) == 0x8F
                && (static_cast<unsigned char>(s[i + 2]) & 0xFC) == 0xBC
                && (static_cast<unsigned char>(s[i + 3]) & 0xC0) == 0x80) {
                byte = static_cast<unsigned char>(((s[i + 2] & 0x03) << 6) | (s[i + 3] & 0x3F));
                length = 4;
                return i;
            }
        }
        return std::string_view::npos;
    };
    return unicodeToGbk(utf8, "UTF-8", questionMarkForByte, findEscape);
}

std::u16string gbkToUtf16(std::string_view gbk, Invalid invalid)
{
    std::u16string result;
    if (isAscii(gbk)) {
        result.assign(gbk.begin(), gbk.end());
        return result;
    }
    std::string out;
    iconv_t cd = converter(nativeUtf16(), "GB18030");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return result;
    out.reserve(gbk.size() * 2 + 16);
    runIconv(cd, gbk, out, invalid == Invalid::Escape ? escapeByteUtf16 : replaceByteUtf16);
    result.resize(out.size() / 2);
    std::memcpy(result.data(), out.data(), result.size() * 2);
    return result;
}

GbkText utf16ToGbk(std::u16string_view utf16)
{
    const std::string_view bytes(reinterpret_cast<const char*>(utf16.data()), utf16.size() * 2);
    // Escapes are the surrogate pair DBFF DF00..DFFF.
    auto findEscape = [](std::string_view s, size_t from, unsigned char& byte, size_t& length) -> size_t {
        for (size_t i = from & ~size_t(1); i + 3 < s.size(); i += 2) {
            char16_t hi = 0;
            char16_t lo = 0;
            std::memcpy(&hi, s.data() + i, 2);
            std::memcpy(&lo, s.data() + i + 2, 2);
            if (hi == 0xDBFF && (lo & 0xFF00) == 0xDF00) {
                byte = static_cast<unsigned char>(lo & 0xFF);
                length = 4;
                return i;
            }
        }
        return std::string_view::npos;
    };
    return unicodeToGbk(bytes, nativeUtf16(), questionMarkForUnit, findEscape);
}

GbkText convertToGb18030(std::string_view bytes, std::string_view charsetName)
{
    GbkText out;
    if (bytes.empty())
        return out;
    const std::string name(charsetName);
    iconv_t cd = converter("GB18030", name.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1))
        return out;
    out.reserve(bytes.size() + 16);
    if (!runIconv(cd, bytes, out, nullptr))
        return GbkText();
    return out;
}

GbkText convertToGb18030Lenient(std::string_view bytes, std::string_view charsetName)
{
    GbkText out;
    if (bytes.empty())
        return out;
    const std::string name(charsetName);
    iconv_t cd = converter("GB18030", name.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1))
        return out;
    out.reserve(bytes.size() + 16);
    runIconv(cd, bytes, out, questionMarkForByte);
    return out;
}

GbkText codePageToGb18030(std::string_view bytes, int codePage)
{
    switch (codePage) {
    case 65001:
        return convertToGb18030(bytes, "UTF-8");
    case 936:
        return convertToGb18030(bytes, "CP936");
    case 950:
        return convertToGb18030(bytes, "CP950");
    default:
        return GbkText();
    }
}

GbkText codePointToGbk(long long n)
{
    const auto unit = static_cast<char16_t>(static_cast<unsigned long long>(n) & 0xFFFF);
    if (unit == 0)
        return GbkText();
    if (unit < 0x80)
        return GbkText(1, static_cast<char>(unit));
    if (unit >= 0xD800 && unit <= 0xDFFF)
        return "?";
    iconv_t cd = converter("CP936", nativeUtf16());
    GbkText out;
    if (cd == reinterpret_cast<iconv_t>(-1)
        || !runIconv(cd, std::string_view(reinterpret_cast<const char*>(&unit), 2), out, nullptr) || out.empty())
        return "?";
    return out;
}

const GbkText& gbk(std::string_view utf8)
{
    struct Hash {
        using is_transparent = void;
        size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    };
    static std::mutex mutex;
    static std::unordered_map<std::string, GbkText, Hash, std::equal_to<>> cache;
    const std::lock_guard<std::mutex> lock(mutex);
    auto it = cache.find(utf8);
    if (it == cache.end())
        it = cache.emplace(std::string(utf8), utf8ToGbk(utf8)).first;
    return it->second;
}

} // namespace quillet::text
