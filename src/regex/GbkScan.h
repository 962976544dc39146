#pragma once

#include <cstddef>
#include <string_view>

namespace quillet::regex::detail {

// Walks the UTF-8 form of a GBK text (as made by text::gbkToUtf8 with Invalid::Escape) and
// its GBK original in step, so a UTF-8 offset reported by the matcher can be turned into the
// GBK byte offset and the character index of the same place. Each code point of the UTF-8
// text stands for one GBK unit: ASCII for one byte, an escaped invalid byte for one byte, any
// other character for two or four bytes. Moving costs the distance moved, so a scan that goes
// forward through the matches stays linear in the length of the text.
class OffsetCursor {
public:
    OffsetCursor(std::string_view utf8, std::string_view gbk) : m_utf8(utf8), m_gbk(gbk) {}

    // Moves to the UTF-8 offset (which must lie on a code point boundary; clamped to the text).
    void moveTo(std::size_t utf8Offset);

    [[nodiscard]] std::size_t utf8Offset() const { return m_utf8Pos; }
    [[nodiscard]] std::size_t gbkOffset() const { return m_gbkPos; }
    [[nodiscard]] long long charIndex() const { return m_chars; }

private:
    void stepForward();
    void stepBack();
    [[nodiscard]] std::size_t gbkLengthOf(char32_t cp, std::size_t utf8Length, bool forward) const;

    std::string_view m_utf8;
    std::string_view m_gbk;
    std::size_t m_utf8Pos = 0;
    std::size_t m_gbkPos = 0;
    long long m_chars = 0;
};

// Length in bytes of the UTF-8 sequence whose lead byte is `lead` (1 for stray bytes).
[[nodiscard]] constexpr std::size_t utf8SequenceLength(unsigned char lead)
{
    if (lead < 0xC0)
        return 1;
    if (lead < 0xE0)
        return 2;
    if (lead < 0xF0)
        return 3;
    return 4;
}

} // namespace quillet::regex::detail
