#include "compose/DelimiterSet.h"

#include "compose/Fragments.h"
#include "compose/Replacements.h"
#include "compose/Tags.h"
#include "compose/TextSearch.h"
#include "regex/RegexObject.h"

#include <algorithm>
#include <string_view>

namespace quillet::compose {

namespace {

// What a delimiter is replaced by before the text is cut.
constexpr std::string_view kMark = "[\xA1\xCD]";

unsigned char byteAt(std::string_view text, std::size_t i)
{
    return static_cast<unsigned char>(text[i]);
}

// Whether every byte of 0x80 and above is part of a whole two-byte character (lead 0x81-0xFE,
// trail 0x40-0xFE but 0x7F). There the regular expressions read the same characters as a walk
// by two bytes after each high byte; anything else (a four-byte sequence, a lone or invalid
// byte) is left to them.
bool isPlainGbk(std::string_view text)
{
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char lead = byteAt(text, i);
        if (lead < 0x80)
            continue;
        if (lead == 0x80 || lead == 0xFF || i + 1 >= n)
            return false;
        const unsigned char trail = byteAt(text, ++i);
        if (trail < 0x40 || trail == 0x7F || trail == 0xFF)
            return false;
    }
    return true;
}

// Two-byte characters that compare only with themselves when letter case is ignored, and
// that the pattern takes literally inside a class: the punctuation row (A1), the full-width
// forms but their letters (A3), and the common ideographs (B0-F7).
bool isPlainTwoByte(unsigned char lead, unsigned char trail)
{
    if (trail < 0xA1 || trail == 0xFF)
        return false;
    if (lead == 0xA1 || (lead >= 0xB0 && lead <= 0xF7))
        return true;
    const bool fullWidthLetter = (trail >= 0xC1 && trail <= 0xDA) || (trail >= 0xE1 && trail <= 0xFA);
    return lead == 0xA3 && !fullWidthLetter;
}

bool isBlankAt(std::string_view text, std::size_t i)
{
    return text[i] == ' ' || text[i] == '\t'
        || (i + 1 < text.size() && text[i] == '\xA1' && text[i + 1] == '\xA1');
}

// The end of the run of blanks from byte i (a character start of a plain text).
std::size_t blanksEnd(std::string_view text, std::size_t i)
{
    while (i < text.size() && isBlankAt(text, i))
        i += text[i] == '\xA1' ? 2 : 1;
    return i;
}

bool endsLine(std::string_view text, std::size_t i)
{
    return i >= text.size() || text[i] == '\r' || text[i] == '\n';
}

// withoutBlankLines for a plain text. The pattern's three alternatives, tried in this order at
// each character: at a line start (the text's start or after a CR or LF), blanks and then CR LF;
// at a line start, blanks; anywhere, blanks up to a line end.
GbkText scanBlankLines(std::string_view text)
{
    GbkText out;
    out.reserve(text.size());
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        const bool lineStart = i == 0 || text[i - 1] == '\r' || text[i - 1] == '\n';
        const std::size_t end = blanksEnd(text, i);
        if (lineStart && end + 1 < n && text[end] == '\r' && text[end + 1] == '\n') {
            i = end + 2;
            continue;
        }
        if (end > i) {
            if (!lineStart && !endsLine(text, end))
                out.append(text, i, end - i);
            i = end;
            continue;
        }
        // Characters up to the next blank, or up to and with the next CR or LF (a line start
        // follows), stay as they are.
        std::size_t stretch = i;
        while (stretch < n && !isBlankAt(text, stretch)) {
            const char c = text[stretch];
            stretch += byteAt(text, stretch) >= 0x80 ? 2 : 1;
            if (c == '\r' || c == '\n')
                break;
        }
        out.append(text, i, stretch - i);
        i = stretch;
    }
    return out;
}

const GbkText& blankLinePattern()
{
    static const GbkText pattern = gbk("^[　 \\t]*$(\\r\\n)|^[ 　\\t]+|[ 　\\t]+$");
    return pattern;
}

} // namespace

GbkText withoutBlankLines(const GbkText& text)
{
    if (isPlainGbk(text))
        return scanBlankLines(text);
    regex::RegexObject blankLines;
    blankLines.compile(blankLinePattern());
    return blankLines.replace(text, GbkText());
}

DelimiterSet::DelimiterSet(const GbkText& set) : m_set(set.empty() ? defaultDelimiterSet() : set)
{
    m_crLf = findText(m_set, "\r\n", 1, false) > 0;
    m_fullStopSpace = findText(m_set, ". ", 1, false) > 0;
    const GbkText classChars = replaceAll(replaceAll(m_set, "\r\n", "", false), ". ", "", false);
    m_pattern = "[" + regex::RegexObject::wildcardToPattern(classChars) + "]";
    if (m_crLf)
        m_pattern += "|\\r\\n|\\r|\\n";
    if (m_fullStopSpace)
        m_pattern += "|\\. ";
    m_charCount = compose::charCount(m_set, 1);

    // The class read byte by byte, where its characters are all taken literally and compare
    // with themselves alone: no letters (ignoring case makes them match others), no '-' (a
    // range), no control characters but tab, CR and LF.
    m_plain = true;
    for (std::size_t i = 0; i < classChars.size() && m_plain; ++i) {
        const unsigned char c = byteAt(classChars, i);
        if (c < 0x80) {
            const bool letter = (c | 0x20) >= 'a' && (c | 0x20) <= 'z';
            const bool control = (c < 0x20 && c != '\t' && c != '\r' && c != '\n') || c == 0x7F;
            m_plain = !letter && !control && c != '-';
            m_single[c] = true;
            if (c == '*' || c == '?') // the wildcards stand for "." and themselves
                m_single['.'] = true;
        } else if (i + 1 < classChars.size() && isPlainTwoByte(c, byteAt(classChars, i + 1))) {
            m_double.set((c - 0x80u) * 256u + byteAt(classChars, i + 1));
            ++i;
        } else {
            m_plain = false;
        }
    }
}

std::size_t DelimiterSet::delimiterAt(const GbkText& text, std::size_t i) const
{
    const unsigned char c = byteAt(text, i);
    if (c >= 0x80)
        return m_double.test((c - 0x80u) * 256u + byteAt(text, i + 1)) ? 2 : 0;
    // The class comes first, then CR LF, a lone CR or LF, and ". ".
    if (m_single[c])
        return 1;
    const bool hasNext = i + 1 < text.size();
    if (m_crLf && (c == '\r' || c == '\n'))
        return c == '\r' && hasNext && text[i + 1] == '\n' ? 2 : 1;
    if (m_fullStopSpace && c == '.' && hasNext && text[i + 1] == ' ')
        return 2;
    return 0;
}

std::vector<GbkText> DelimiterSet::fragments(const GbkText& text) const
{
    const GbkText stripped = stripTags(text);
    if (!m_plain || !isPlainGbk(stripped)) {
        regex::RegexObject delimiters;
        delimiters.compile(m_pattern);
        const GbkText mark(kMark);
        return splitText(delimiters.replace(withoutBlankLines(stripped), mark), mark);
    }
    const GbkText cleaned = scanBlankLines(stripped);
    std::vector<GbkText> pieces;
    if (cleaned.empty())
        return pieces;
    const std::size_t n = cleaned.size();
    std::size_t start = 0;
    for (std::size_t i = 0; i < n;) {
        if (const std::size_t length = delimiterAt(cleaned, i)) {
            pieces.emplace_back(cleaned, start, i - start);
            i += length;
            start = i;
        } else if (cleaned.compare(i, kMark.size(), kMark) == 0 && delimiterAt(cleaned, i + 1) == 0
                   && delimiterAt(cleaned, i + 3) == 0) {
            // A mark the text held itself, none of its characters a delimiter.
            pieces.emplace_back(cleaned, start, i - start);
            i += kMark.size();
            start = i;
        } else {
            i += byteAt(cleaned, i) >= 0x80 ? 2 : 1;
        }
    }
    pieces.emplace_back(cleaned, start);
    return pieces;
}

std::vector<GbkText> DelimiterSet::delimitersIn(const GbkText& text) const
{
    std::vector<GbkText> found;
    if (!m_plain || !isPlainGbk(text)) {
        regex::RegexObject delimiters;
        delimiters.compile(m_pattern);
        const int count = delimiters.execute(text);
        for (int k = 1; k <= count; ++k)
            found.push_back(delimiters.matchText(k));
        return found;
    }
    for (std::size_t i = 0; i < text.size();) {
        if (const std::size_t length = delimiterAt(text, i)) {
            found.emplace_back(text, i, length);
            i += length;
        } else {
            i += byteAt(text, i) >= 0x80 ? 2 : 1;
        }
    }
    return found;
}

std::shared_ptr<const DelimiterSet> preparedDelimiters(const GbkText& set)
{
    // A run cuts with one or two sets (the review's and the title's) over and over.
    constexpr std::size_t kKept = 8;
    thread_local std::vector<std::shared_ptr<const DelimiterSet>> kept;
    const GbkText& wanted = set.empty() ? defaultDelimiterSet() : set;
    for (std::size_t i = 0; i < kept.size(); ++i) {
        if (kept[i]->text() == wanted) {
            std::rotate(kept.begin(), kept.begin() + static_cast<std::ptrdiff_t>(i),
                        kept.begin() + static_cast<std::ptrdiff_t>(i) + 1);
            return kept.front();
        }
    }
    if (kept.size() >= kKept)
        kept.pop_back();
    kept.insert(kept.begin(), std::make_shared<const DelimiterSet>(wanted));
    return kept.front();
}

} // namespace quillet::compose
