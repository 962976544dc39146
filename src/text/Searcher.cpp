#include "text/Searcher.h"

#include "text/ByteSearch.h"
#include "text/GbkChars.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace quillet::text {

namespace {

constexpr std::size_t npos = Searcher::npos;

// Search texts this long get the linear-time scans; shorter ones compare few bytes per candidate.
constexpr std::size_t kLinearScanFrom = 32;

constexpr bool isAsciiLetter(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// How often a byte turns up in the pages the program reads (GBK markup and feeds: Chinese text
// among ASCII tags, keys and numbers), on a rough relative scale. Only the order matters: the
// rarest byte of a search text is the one candidates are looked for by.
constexpr unsigned byteWeight(unsigned char b)
{
    constexpr std::string_view kLetters = "etaoinsrhldcumfpgwybvkxjqz";
    constexpr std::array<unsigned, 26> kLetterWeights{60, 45, 40, 38, 35, 35, 32, 30, 20, 20, 20, 16, 14,
                                                      14, 12, 10, 10, 8,  8,  8,  5,  4,  2,  1,  1,  1};
    if (b >= 'a' && b <= 'z')
        return kLetterWeights[kLetters.find(static_cast<char>(b))];
    if (b >= 'A' && b <= 'Z')
        return kLetterWeights[kLetters.find(static_cast<char>(b | 0x20))] / 6 + 1;
    if (b >= '0' && b <= '9')
        return b <= '2' ? 40 : 25;
    switch (b) {
    case '"': return 150;
    case ' ': return 120;
    case ',':
    case ':':
    case '<':
    case '>': return 60;
    case '/': return 50;
    case '\r':
    case '\n':
    case '=':
    case '.': return 40;
    case '\t':
    case '-':
    case '_':
    case ';':
    case '&': return 20;
    case '{':
    case '}': return 15;
    case '(':
    case ')':
    case '\'': return 10;
    case '#':
    case '%': return 8;
    case '[':
    case ']': return 6;
    default: break;
    }
    if (b < 0x80)
        return b < 0x20 || b == 0x7F ? 1 : 3;
    if (b == 0x80 || b == 0xFF)
        return 1;
    if (b == 0xA1)
        return 60; // punctuation row and a common second byte
    if (b == 0xA3)
        return 40; // full-width forms
    if (b >= 0xB0 && b <= 0xF7)
        return 20; // common characters: first and second bytes
    if (b >= 0xA1)
        return 10;
    return 6; // first and second bytes of the extension areas
}

constexpr auto kByteWeights = [] {
    std::array<unsigned char, 256> weights{};
    for (unsigned b = 0; b < 256; ++b)
        weights[b] = static_cast<unsigned char>(byteWeight(static_cast<unsigned char>(b)));
    return weights;
}();

std::uint64_t load64(const char* p)
{
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return word;
}

// Failure links of the Knuth-Morris-Pratt scan: links[i] is the length of the longest proper
// prefix of pattern[0..i] that is also its suffix. `at(i)` reads the pattern.
template <typename At>
std::vector<std::uint32_t> failureLinks(std::size_t m, At at)
{
    std::vector<std::uint32_t> links(m, 0);
    std::uint32_t k = 0;
    for (std::size_t i = 1; i < m; ++i) {
        while (k > 0 && at(i) != at(k))
            k = links[k - 1];
        if (at(i) == at(k))
            ++k;
        links[i] = k;
    }
    return links;
}

// The next offset at or after `at` (up to `limit`, inclusive) holding one byte; remembers its
// answer, since the searches ask with growing offsets and a fixed limit.
class ForwardByte {
public:
    explicit ForwardByte(char byte) : m_byte(byte) {}
    std::size_t next(const char* d, std::size_t at, std::size_t limit)
    {
        if (!m_known || (m_hit != npos && m_hit < at)) {
            const void* p = std::memchr(d + at, m_byte, limit - at + 1);
            m_hit = p ? static_cast<std::size_t>(static_cast<const char*>(p) - d) : npos;
            m_known = true;
        }
        return m_hit;
    }

private:
    char m_byte;
    bool m_known = false;
    std::size_t m_hit = npos;
};

// The same backward: the last offset at or before `at` holding the byte.
class BackwardByte {
public:
    explicit BackwardByte(char byte) : m_byte(byte) {}
    std::size_t previous(const char* d, std::size_t at)
    {
        if (!m_known || (m_hit != npos && m_hit > at)) {
            const char* p = lastByte(d, m_byte, at + 1);
            m_hit = p ? static_cast<std::size_t>(p - d) : npos;
            m_known = true;
        }
        return m_hit;
    }

private:
    char m_byte;
    bool m_known = false;
    std::size_t m_hit = npos;
};

// A search looks for candidates by the rarest byte alone with the C library's byte search,
// which skips long stretches cheaply while the byte is rare. When that byte turns out to be
// common in the text (at least kDenseAfter candidates, fewer than kDenseGap bytes apart on
// average), it goes on with both rarest bytes, many positions at a time (PairFinder). A rarest
// byte that folds (an ASCII letter, looked for in both cases) starts with both bytes at once:
// two byte searches, one per case, cost more than the pair test over the same stretch.
constexpr std::size_t kDenseAfter = 8;
constexpr std::size_t kDenseGap = 64;

} // namespace

std::size_t rarestByteAt(std::string_view what)
{
    std::size_t at = 0;
    for (std::size_t k = 1; k < what.size(); ++k)
        if (kByteWeights[static_cast<unsigned char>(what[k])] < kByteWeights[static_cast<unsigned char>(what[at])])
            at = k;
    return at;
}

Searcher::Searcher(std::string_view what, bool ignoreCase)
    : m_what(what), m_canon(what), m_fold(what.size(), '\0'), m_ignoreCase(ignoreCase)
{
    for (CharWalker w(what); !w.atEnd(); w.next()) {
        const auto b = static_cast<unsigned char>(what[w.pos()]);
        if (w.length() == 1 && isLeadByte(b))
            m_danglingLead = true;
        if (ignoreCase && w.length() == 1 && isAsciiLetter(b)) {
            m_fold[w.pos()] = 0x20;
            m_canon[w.pos()] = static_cast<char>(b | 0x20);
            m_folds = true;
        }
    }
    // The two bytes least common in the pages read, the first of equals; a byte that folds
    // counts with both its cases.
    const auto weight = [this](std::size_t k) {
        const auto b = static_cast<unsigned char>(m_canon[k]);
        return m_fold[k] ? kByteWeights[b] + kByteWeights[b & 0xDF] : kByteWeights[b];
    };
    std::size_t rarest = 0;
    std::size_t next = npos;
    for (std::size_t k = 1; k < m_canon.size(); ++k) {
        if (weight(k) < weight(rarest)) {
            next = rarest;
            rarest = k;
        } else if (next == npos || weight(k) < weight(next)) {
            next = k;
        }
    }
    if (next == npos)
        next = rarest;
    // A second byte that compares exactly makes the pair test cheaper than one that folds.
    for (std::size_t k = 0; k < m_canon.size(); ++k)
        if (k != rarest && !m_fold[k] && (m_fold[next] || weight(k) < weight(next)))
            next = k;
    if (!m_canon.empty()) {
        m_pair.firstAt = rarest;
        m_pair.first = static_cast<unsigned char>(m_canon[rarest]);
        m_pair.firstFold = static_cast<unsigned char>(m_fold[rarest]);
        m_pair.secondAt = next;
        m_pair.second = static_cast<unsigned char>(m_canon[next]);
        m_pair.secondFold = static_cast<unsigned char>(m_fold[next]);
        m_pair.alternative = m_pair.second;
        m_pairsFirst = m_pair.firstFold != 0;
        m_pairFinder = PairFinder(m_pair);
    }
    const std::size_t m = m_canon.size();
    if (m >= kLinearScanFrom) {
        m_forwardLinks = failureLinks(m, [this](std::size_t i) { return m_canon[i]; });
        m_backwardLinks = failureLinks(m, [this, m](std::size_t i) { return m_canon[m - 1 - i]; });
    }
}

bool Searcher::matchesAt(const char* p, std::size_t& work) const
{
    const std::size_t m = m_canon.size();
    const char* canon = m_canon.data();
    const char* fold = m_fold.data();
    std::size_t k = 0;
    for (; k + 8 <= m; k += 8) {
        std::uint64_t word = load64(p + k);
        if (m_folds)
            word |= load64(fold + k);
        if (word != load64(canon + k)) {
            work += k + 8;
            return false;
        }
    }
    for (; k < m; ++k) {
        if (static_cast<char>(p[k] | fold[k]) != canon[k]) {
            work += k + 1;
            return false;
        }
    }
    work += m;
    return true;
}

bool Searcher::acceptable(TextScan& scan, std::size_t at) const
{
    // A search text ending in a lone lead byte would end inside a character unless it ends the text.
    return scan.isBoundary(at) && !(m_danglingLead && at + m_canon.size() < scan.size());
}

std::size_t Searcher::find(std::string_view text, std::size_t from) const
{
    TextScan scan(text);
    return find(scan, from);
}

std::size_t Searcher::find(TextScan& scan, std::size_t from) const
{
    const std::size_t n = scan.size();
    const std::size_t m = m_canon.size();
    if (from > n)
        return npos;
    if (m == 0) {
        if (scan.isBoundary(from))
            return from;
        return from + 1 <= n ? from + 1 : npos; // `from` is a second byte: the next byte starts a character
    }
    if (m > n)
        return npos;
    const char* d = scan.text().data();
    const std::size_t last = n - m;
    const std::size_t anchor = m_pair.firstAt;
    ForwardByte lower(static_cast<char>(m_pair.first));
    ForwardByte upper(static_cast<char>(m_pair.first & ~m_pair.firstFold));
    std::size_t seen = 0;
    bool pairs = m_pairsFirst;
    std::size_t work = 0;
    std::size_t c = from;
    while (c <= last) {
        if (pairs) {
            c = m_pairFinder.find(d, c, last);
            if (c == npos)
                return npos;
        } else {
            std::size_t hit = lower.next(d, c + anchor, last + anchor);
            if (m_pair.firstFold)
                hit = std::min(hit, upper.next(d, c + anchor, last + anchor));
            if (hit == npos)
                return npos;
            c = hit - anchor;
            pairs = ++seen >= kDenseAfter && c - from < seen * kDenseGap;
        }
        if (matchesAt(d + c, work) && acceptable(scan, c)) {
            if (!m_danglingLead)
                scan.noteBoundary(c + m);
            return c;
        }
        ++c;
        // Long partial matches everywhere: go on in linear time.
        if (!m_forwardLinks.empty() && work > 4 * (c - from + m))
            return linearFind(scan, c);
    }
    return npos;
}

std::size_t Searcher::findLast(std::string_view text, std::size_t lastStart) const
{
    TextScan scan(text);
    return findLast(scan, lastStart);
}

std::size_t Searcher::findLast(TextScan& scan, std::size_t lastStart, std::size_t firstStart) const
{
    const std::size_t n = scan.size();
    const std::size_t m = m_canon.size();
    if (m > n)
        return npos;
    std::size_t c = std::min(lastStart, n - m);
    if (c < firstStart)
        return npos;
    if (m == 0) {
        while (!scan.isBoundary(c))
            --c;
        return c >= firstStart ? c : npos;
    }
    const char* d = scan.text().data();
    const std::size_t top = c;
    const std::size_t anchor = m_pair.firstAt;
    BackwardByte lower(static_cast<char>(m_pair.first));
    BackwardByte upper(static_cast<char>(m_pair.first & ~m_pair.firstFold));
    std::size_t seen = 0;
    bool pairs = m_pairsFirst;
    std::size_t work = 0;
    for (;;) {
        if (pairs) {
            c = m_pairFinder.findBackward(d, c, n - m, firstStart);
            if (c == npos)
                return npos;
        } else {
            std::size_t hit = lower.previous(d, c + anchor);
            if (m_pair.firstFold) {
                const std::size_t other = upper.previous(d, c + anchor);
                if (hit == npos || (other != npos && other > hit))
                    hit = other;
            }
            if (hit == npos || hit < anchor + firstStart)
                return npos;
            c = hit - anchor;
            pairs = ++seen >= kDenseAfter && top - c < seen * kDenseGap;
        }
        if (matchesAt(d + c, work) && acceptable(scan, c))
            return c;
        if (c == firstStart)
            return npos;
        --c;
        if (!m_backwardLinks.empty() && work > 4 * (top - c + m))
            return linearFindLast(scan, c, firstStart);
    }
}

std::size_t Searcher::findLastBefore(TextScan& scan, std::size_t limit) const
{
    if (limit < m_canon.size())
        return npos;
    return findLast(scan, limit - m_canon.size());
}

// Knuth-Morris-Pratt over the text as matching sees it: ASCII letters that stand as
// characters of their own in lower case (when the search text folds), every other byte as it
// is. At a character boundary both texts split into the same characters, so an occurrence
// there is exactly a match; occurrences elsewhere are passed over.
std::size_t Searcher::linearFind(TextScan& scan, std::size_t from) const
{
    const std::size_t n = scan.size();
    const std::size_t m = m_canon.size();
    const auto* d = reinterpret_cast<const unsigned char*>(scan.text().data());
    bool secondByte = !scan.isBoundary(from);
    std::uint32_t j = 0;
    for (std::size_t i = from; i < n; ++i) {
        const unsigned char b = d[i];
        unsigned char seen = b;
        if (secondByte)
            secondByte = false;
        else if (isLeadByte(b))
            secondByte = true;
        else if (m_folds && isAsciiLetter(b))
            seen = b | 0x20;
        while (j > 0 && static_cast<unsigned char>(m_canon[j]) != seen)
            j = m_forwardLinks[j - 1];
        if (static_cast<unsigned char>(m_canon[j]) == seen)
            ++j;
        if (j == m) {
            const std::size_t at = i + 1 - m;
            if (acceptable(scan, at)) {
                if (!m_danglingLead)
                    scan.noteBoundary(at + m);
                return at;
            }
            j = m_forwardLinks[m - 1];
        }
    }
    return npos;
}

// The same backward, over the reversed search text, for the last occurrence at or before
// `lastStart`. Whether a letter stands alone is asked of the scan, which stays linear as the
// walk moves down the text.
std::size_t Searcher::linearFindLast(TextScan& scan, std::size_t lastStart, std::size_t firstStart) const
{
    const std::size_t m = m_canon.size();
    const auto* d = reinterpret_cast<const unsigned char*>(scan.text().data());
    const auto reversed = [this, m](std::uint32_t k) { return static_cast<unsigned char>(m_canon[m - 1 - k]); };
    std::uint32_t j = 0;
    for (std::size_t i = lastStart + m; i-- > firstStart;) {
        const unsigned char b = d[i];
        unsigned char seen = b;
        if (m_folds && isAsciiLetter(b) && scan.isBoundary(i))
            seen = b | 0x20;
        while (j > 0 && reversed(j) != seen)
            j = m_backwardLinks[j - 1];
        if (reversed(j) == seen)
            ++j;
        if (j == m) {
            if (acceptable(scan, i))
                return i;
            j = m_backwardLinks[m - 1];
        }
    }
    return npos;
}

} // namespace quillet::text
