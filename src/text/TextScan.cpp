#include "text/TextScan.h"

#include <cstdint>
#include <cstring>

namespace quillet::text {

namespace {

constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;

// Start of the run of bytes >= 0x80 that ends right before `pos`, not looking below `floor`.
std::size_t highRunStart(const char* d, std::size_t pos, std::size_t floor)
{
    std::size_t i = pos;
    // Eight bytes at a time while all of them are >= 0x80.
    while (i >= floor + 8) {
        std::uint64_t word;
        std::memcpy(&word, d + i - 8, sizeof word);
        if ((word & kHighBits) != kHighBits)
            break;
        i -= 8;
    }
    while (i > floor && static_cast<unsigned char>(d[i - 1]) >= 0x80)
        --i;
    return i;
}

} // namespace

bool TextScan::isBoundaryAfterHighByte(std::size_t pos)
{
    if (m_valid && pos >= m_runStart && pos <= m_runEnd)
        return ((pos - m_runStart) & 1) == 0;
    const std::size_t floor = (m_valid && m_runEnd <= pos) ? m_runEnd : 0;
    std::size_t start = highRunStart(m_text.data(), pos, floor);
    if (m_valid && start == floor && floor == m_runEnd && floor > 0)
        start = m_runStart; // the run just scanned continues the remembered one
    m_valid = true;
    m_runStart = start;
    m_runEnd = pos;
    return ((pos - start) & 1) == 0;
}

void TextScan::reset(std::string_view text)
{
    m_text = text;
    m_valid = false;
    m_runStart = m_runEnd = 0;
}

} // namespace quillet::text
