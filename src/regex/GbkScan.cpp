#include "GbkScan.h"

#include "text/Charset.h"
#include "text/GbkChars.h"

#include <algorithm>

namespace quillet::regex::detail {

namespace {

using text::isGb18030Digit;
using text::isGb18030Lead;

unsigned char byteAt(std::string_view s, std::size_t pos)
{
    return pos < s.size() ? static_cast<unsigned char>(s[pos]) : 0;
}

// The code point a four-byte GB18030 sequence at `pos` stands for when it lies in the
// supplementary planes (lead 0x90-0xE3), else 0.
char32_t supplementaryAt(std::string_view gbk, std::size_t pos)
{
    if (pos + 4 > gbk.size())
        return 0;
    const unsigned char b1 = byteAt(gbk, pos), b2 = byteAt(gbk, pos + 1), b3 = byteAt(gbk, pos + 2),
                        b4 = byteAt(gbk, pos + 3);
    if (b1 < 0x90 || b1 > 0xE3 || !isGb18030Digit(b2) || !isGb18030Lead(b3) || !isGb18030Digit(b4))
        return 0;
    const char32_t linear = (((b1 - 0x90u) * 10u + (b2 - 0x30u)) * 126u + (b3 - 0x81u)) * 10u + (b4 - 0x30u);
    return 0x10000u + linear;
}

char32_t decodeUtf8(std::string_view s, std::size_t pos, std::size_t length)
{
    const auto b = [&](std::size_t k) { return static_cast<char32_t>(byteAt(s, pos + k)); };
    switch (length) {
    case 1: return b(0);
    case 2: return ((b(0) & 0x1F) << 6) | (b(1) & 0x3F);
    case 3: return ((b(0) & 0x0F) << 12) | ((b(1) & 0x3F) << 6) | (b(2) & 0x3F);
    default: return ((b(0) & 0x07) << 18) | ((b(1) & 0x3F) << 12) | ((b(2) & 0x3F) << 6) | (b(3) & 0x3F);
    }
}

} // namespace

std::size_t OffsetCursor::gbkLengthOf(char32_t cp, std::size_t utf8Length, bool forward) const
{
    if (utf8Length == 1)
        return 1;
    if (cp >= text::kEscapeBase && cp <= text::kEscapeBase + 0xFF) {
        // Either an undecodable byte carried through, or (rarely) a real four-byte sequence
        // for a code point of that range: only the latter decodes to the same code point.
        const std::size_t start = forward ? m_gbkPos : (m_gbkPos >= 4 ? m_gbkPos - 4 : m_gbkPos);
        if ((forward || m_gbkPos >= 4) && supplementaryAt(m_gbk, start) == cp)
            return 4;
        return 1;
    }
    // Two bytes (trail 0x40-0xFE) or four (second and last bytes are digits).
    if (forward)
        return isGb18030Digit(byteAt(m_gbk, m_gbkPos + 1)) ? 4 : 2;
    return m_gbkPos >= 1 && isGb18030Digit(byteAt(m_gbk, m_gbkPos - 1)) ? 4 : 2;
}

void OffsetCursor::stepForward()
{
    const std::size_t length = utf8SequenceLength(static_cast<unsigned char>(m_utf8[m_utf8Pos]));
    const char32_t cp = decodeUtf8(m_utf8, m_utf8Pos, length);
    const std::size_t gbkLength = gbkLengthOf(cp, length, true);
    m_utf8Pos = std::min(m_utf8Pos + length, m_utf8.size());
    m_gbkPos = std::min(m_gbkPos + gbkLength, m_gbk.size());
    ++m_chars;
}

void OffsetCursor::stepBack()
{
    std::size_t start = m_utf8Pos - 1;
    while (start > 0 && (static_cast<unsigned char>(m_utf8[start]) & 0xC0) == 0x80)
        --start;
    const std::size_t length = m_utf8Pos - start;
    const char32_t cp = decodeUtf8(m_utf8, start, length);
    const std::size_t gbkLength = gbkLengthOf(cp, length, false);
    m_utf8Pos = start;
    m_gbkPos = m_gbkPos >= gbkLength ? m_gbkPos - gbkLength : 0;
    --m_chars;
}

void OffsetCursor::moveTo(std::size_t utf8Offset)
{
    if (utf8Offset > m_utf8.size())
        utf8Offset = m_utf8.size();
    while (m_utf8Pos < utf8Offset)
        stepForward();
    while (m_utf8Pos > utf8Offset)
        stepBack();
}

} // namespace quillet::regex::detail
