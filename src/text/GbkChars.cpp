#include "text/GbkChars.h"

#include <climits>

namespace quillet::text {

namespace {

constexpr std::size_t npos = std::string_view::npos;

// Walks the text as charCount's line-break mode 1 counts it and calls
// onChar(index, firstByte, countingByte) each time the count grows: `countingByte` is the byte
// that completed the character, `firstByte` where it began (after the previous character, so a
// lead byte belongs to the character it starts, and the LF of CR LF to its CR). Stops early
// when onChar returns false.
template <typename F>
void walkCountedChars(std::string_view text, F&& onChar)
{
    bool inPair = false;
    long long count = 0;
    std::size_t charStart = 0;
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n; ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        bool counts = false;
        if (b == '\r') {
            counts = true;
        } else if (b == '\n') {
            counts = !(i > 0 && text[i - 1] == '\r');
            if (!counts)
                charStart = i + 1;
        } else if (!isLeadByte(b) || inPair) {
            counts = true;
            inPair = false;
        } else {
            inPair = true;
        }
        if (counts) {
            ++count;
            if (!onChar(count, charStart, i))
                return;
            charStart = i + 1;
        }
    }
}

} // namespace

std::size_t lastCharStart(std::string_view text)
{
    std::size_t last = npos;
    for (CharWalker w(text); !w.atEnd(); w.next())
        last = w.pos();
    return last;
}

std::size_t gb18030CharLength(std::string_view text, std::size_t pos)
{
    if (pos >= text.size())
        return 0;
    const auto at = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    if (!isGb18030Lead(at(pos)) || pos + 1 >= text.size())
        return 1;
    if (isGb18030Trail(at(pos + 1)))
        return 2;
    if (isGb18030Digit(at(pos + 1)) && pos + 3 < text.size() && isGb18030Lead(at(pos + 2))
        && isGb18030Digit(at(pos + 3)))
        return 4;
    return 1;
}

long long charCount(std::string_view text, int lineBreakMode)
{
    long long count = 0;
    bool inPair = false;
    const auto* d = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char b = d[i];
        if (isLeadByte(b)) {
            count += inPair ? 1 : 0;
            inPair = !inPair;
        } else if (b == '\r' || b == '\n') {
            if (lineBreakMode == 2)
                ++count;
            else if (lineBreakMode == 1)
                count += (b == '\n' && i > 0 && d[i - 1] == '\r') ? 0 : 1;
        } else {
            ++count;
            inPair = false;
        }
    }
    return count;
}

GbkText charMid(std::string_view text, long long first, long long count)
{
    if (count <= 0)
        return GbkText();
    if (first < 1)
        first = 1;
    const long long lastWanted = (first > LLONG_MAX - count) ? LLONG_MAX : first + count - 1;
    std::size_t begin = npos;
    std::size_t end = npos;
    walkCountedChars(text, [&](long long index, std::size_t charStart, std::size_t countingByte) {
        if (index == first)
            begin = charStart;
        if (index == lastWanted) {
            end = countingByte + 1;
            if (text[countingByte] == '\r' && end < text.size() && text[end] == '\n')
                ++end;
            return false;
        }
        return true;
    });
    if (begin == npos)
        return GbkText();
    if (end == npos)
        end = text.size();
    return GbkText(text.substr(begin, end - begin));
}

std::size_t prefixHoldingChars(std::string_view text, long long n)
{
    std::size_t end = text.size();
    walkCountedChars(text, [&](long long index, std::size_t, std::size_t countingByte) {
        if (index < n)
            return true;
        end = countingByte + 1;
        if (text[countingByte] == '\r' && end < text.size() && text[end] == '\n')
            ++end;
        return false;
    });
    return end;
}

} // namespace quillet::text
