#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quillet::text {

// One text under search, and what the searches have learned about where its characters start
// (the plain rule of GbkChars.h: a byte >= 0x80 takes the next byte with it).
//
// A position is a character boundary exactly when the run of bytes >= 0x80 right before it has
// even length (the position right after a byte below 0x80 always is one). TextScan remembers
// the run it looked at last, so searches that move forward or backward through the text, in
// one call or in many, look at every byte a bounded number of times.
//
// The caller owns a TextScan for as long as its text stays unchanged, and builds a new one (or
// calls reset) for another or a changed text. Nothing is ever recognised by address: what a
// TextScan knows belongs to the one text it was given.
class TextScan {
public:
    explicit TextScan(std::string_view text) : m_text(text) {}
    // A TextScan only views its text: a temporary would be gone before the first search.
    explicit TextScan(std::string&&) = delete;

    [[nodiscard]] std::string_view text() const { return m_text; }
    [[nodiscard]] std::size_t size() const { return m_text.size(); }

    // Whether a character starts at byte `pos` (0-based; the end of the text counts when no
    // lead byte hangs over it). `pos` must not exceed size().
    [[nodiscard]] bool isBoundary(std::size_t pos)
    {
        // Right after a byte below 0x80 (the common case in markup and feeds) a character starts.
        if (pos == 0 || static_cast<unsigned char>(m_text[pos - 1]) < 0x80)
            return true;
        return isBoundaryAfterHighByte(pos);
    }
    // Tells the scan that a character starts at `pos` (a match of whole characters ended there).
    void noteBoundary(std::size_t pos)
    {
        m_valid = true;
        m_runStart = m_runEnd = pos;
    }
    // Forgets everything and looks at `text` from now on.
    void reset(std::string_view text);

private:
    [[nodiscard]] bool isBoundaryAfterHighByte(std::size_t pos);

    std::string_view m_text;
    // When m_valid: m_runStart is a boundary and every byte of [m_runStart, m_runEnd) is >= 0x80.
    bool m_valid = false;
    std::size_t m_runStart = 0;
    std::size_t m_runEnd = 0;
};

} // namespace quillet::text
