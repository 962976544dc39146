#pragma once

#include "text/GbkText.h"

#include <cstddef>
#include <string_view>

namespace quillet::text {

// How GBK bytes make characters. The rules in use all live here:
//
//  - The plain rule of the text operations, settings and feeds: a byte of 0x80 or
//    above (isLeadByte) starts a two-byte character and takes the next byte with it, whatever
//    that byte is; a lead byte at the very end of the text stands alone. charLength and
//    CharWalker step by this rule, and a position where a character starts is a character
//    boundary.
//  - The strict GB18030 rule of the pattern layer, the charset conversion and file names: a
//    two-byte character is a lead byte 0x81-0xFE with a trail byte 0x40-0xFE other than 0x7F,
//    a four-byte sequence is lead, digit, lead, digit, and anything else (0x80, 0xFF, a lead
//    byte without a valid trail) is one byte on its own. gb18030CharLength steps by it.
//
// charCount and charMid count characters by the plain rule with line-break modes.

// Length of the character that starts at byte `pos` by the plain rule: 2 for a lead byte with a
// byte after it, else 1; 0 at or past the end.
[[nodiscard]] constexpr std::size_t charLength(std::string_view text, std::size_t pos)
{
    if (pos >= text.size())
        return 0;
    return isLeadByte(static_cast<unsigned char>(text[pos])) && pos + 1 < text.size() ? 2 : 1;
}

// Steps through a text character by character by the plain rule:
//     for (CharWalker w(text); !w.atEnd(); w.next()) ... w.pos(), w.length(), w.current() ...
class CharWalker {
public:
    constexpr explicit CharWalker(std::string_view text, std::size_t pos = 0) : m_text(text), m_pos(pos) {}

    [[nodiscard]] constexpr bool atEnd() const { return m_pos >= m_text.size(); }
    [[nodiscard]] constexpr std::size_t pos() const { return m_pos; }
    [[nodiscard]] constexpr std::size_t length() const { return charLength(m_text, m_pos); }
    [[nodiscard]] constexpr std::string_view current() const { return m_text.substr(m_pos, length()); }
    // Whether the current character is the single byte `c` (never the second byte of a pair).
    [[nodiscard]] constexpr bool is(char c) const { return !atEnd() && m_text[m_pos] == c; }
    constexpr void next() { m_pos += length(); }

private:
    std::string_view m_text;
    std::size_t m_pos;
};

// Byte offset where the last character of the text starts (plain rule); npos for an empty text.
[[nodiscard]] std::size_t lastCharStart(std::string_view text);

// The strict GB18030 rule: lead bytes 0x81-0xFE, trail bytes 0x40-0xFE but 0x7F, digits 0x30-0x39.
[[nodiscard]] constexpr bool isGb18030Lead(unsigned char b) { return b >= 0x81 && b <= 0xFE; }
[[nodiscard]] constexpr bool isGb18030Trail(unsigned char b) { return b >= 0x40 && b <= 0xFE && b != 0x7F; }
[[nodiscard]] constexpr bool isGb18030Digit(unsigned char b) { return b >= 0x30 && b <= 0x39; }
// Length in bytes of the character that starts at `pos` by the strict rule (1, 2 or 4; 0 at the end).
[[nodiscard]] std::size_t gb18030CharLength(std::string_view text, std::size_t pos);

// Number of characters. A byte >= 0x80 pairs with the next byte that is not CR or LF; every
// other byte counts once by itself, except CR and LF, which count by the line-break mode:
// 0: nothing; 1: CR LF counts 1, a lone CR or LF 1 each; 2: every CR and LF 1.
[[nodiscard]] long long charCount(std::string_view text, int lineBreakMode = 1);
// `count` characters from character `first` (from 1; below 1 is 1), counted as mode 1 counts
// them; to the end of the text when fewer remain, empty when count < 1 or first lies beyond.
[[nodiscard]] GbkText charMid(std::string_view text, long long first, long long count);
// Byte length of the shortest leading part that holds n characters (mode 1), or the whole
// length when the text has fewer. CR LF is never cut in two.
[[nodiscard]] std::size_t prefixHoldingChars(std::string_view text, long long n);

} // namespace quillet::text
