#include "compose/TextOps.h"

#include "compose/RandomBag.h"
#include "regex/RegexObject.h"
#include "text/Charset.h"
#include "text/EventPump.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <climits>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string_view>

namespace quillet::compose {

namespace {

constexpr std::size_t npos = std::string_view::npos;

inline bool isHigh(char c) { return static_cast<unsigned char>(c) >= 0x80; }

inline bool isAsciiLetter(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// The last occurrence of a byte in the first `length` bytes. Looked for in windows from the
// end, so a hit near the end costs only its window (checking tools that validate the whole
// range of a backward byte search would otherwise make a backward walk quadratic).
inline const void* lastByte(const char* data, char byte, std::size_t length)
{
    constexpr std::size_t kWindow = 4096;
    while (length > 0) {
        const std::size_t chunk = std::min(length, kWindow);
#if defined(__GLIBC__)
        if (const void* hit = memrchr(data + length - chunk, byte, chunk))
            return hit;
#else
        for (std::size_t i = length; i-- > length - chunk;)
            if (data[i] == byte)
                return data + i;
#endif
        length -= chunk;
    }
    return nullptr;
}

// ---------------------------------------------------------------------------------------------
// Character boundaries.
//
// A byte of 0x80 or above starts a two-byte character and takes the next byte, whatever it is,
// as its second byte. Two facts keep boundary checks local:
//  - the position right after a byte below 0x80 is always a boundary (that byte is either a
//    character of its own or the second byte of a pair);
//  - inside a run of bytes >= 0x80 that starts at a boundary, the bytes pair up in order.
// So a position is a boundary exactly when the run of bytes >= 0x80 right before it has even
// length. BoundaryCache remembers the run it scanned last, so that a search moving forward or
// backward through the text looks at every byte a bounded number of times.
// ---------------------------------------------------------------------------------------------

struct BoundaryCache {
    // When valid: runStart is a boundary and every byte of [runStart, runEnd) is >= 0x80.
    bool valid = false;
    std::size_t runStart = 0;
    std::size_t runEnd = 0;
};

bool isBoundary(std::string_view text, std::size_t pos, BoundaryCache& cache)
{
    if (pos == 0)
        return true;
    if (cache.valid && pos >= cache.runStart && pos <= cache.runEnd)
        return ((pos - cache.runStart) & 1) == 0;
    const char* d = text.data();
    const std::size_t floor = (cache.valid && cache.runEnd <= pos) ? cache.runEnd : 0;
    std::size_t i = pos;
    while (i > floor && isHigh(d[i - 1]))
        --i;
    std::size_t start = i;
    if (cache.valid && i == floor && floor == cache.runEnd && floor > 0)
        start = cache.runStart; // the scanned run continues the cached one
    cache.valid = true;
    cache.runStart = start;
    cache.runEnd = pos;
    return ((pos - start) & 1) == 0;
}

// Searches that walk through one large text in many calls (textBetweenEx with a position
// variable) would otherwise scan long runs of Chinese text again at every call. The run
// learned by the last search is kept per thread together with a fingerprint of the text;
// only texts of some size take part, and a fingerprint mismatch discards the memo. Before the
// memo is used, its run is checked against the text once more (see loadMemo).
constexpr std::size_t kMemoMinSize = 4096;

struct TextMemo {
    const char* data = nullptr;
    std::size_t size = 0;
    std::uint64_t fingerprint = 0;
    BoundaryCache cache;
};

thread_local TextMemo t_memo;

std::uint64_t fingerprintOf(std::string_view text, std::size_t runStart)
{
    std::uint64_t h = 0x9E3779B97F4A7C15ULL ^ text.size();
    auto mixWord = [&h](const char* p) {
        std::uint64_t w;
        std::memcpy(&w, p, sizeof w);
        h = (h ^ w) * 0xFF51AFD7ED558CCDULL;
        h ^= h >> 29;
    };
    const std::size_t n = text.size();
    constexpr std::size_t kSamples = 16;
    for (std::size_t s = 0; s < kSamples; ++s)
        mixWord(text.data() + (n - 8) / (kSamples - 1) * s);
    // The bytes just before the remembered run decide most about it.
    const std::size_t before = std::min<std::size_t>(runStart, 64) / 8 * 8;
    for (std::size_t k = 0; k < before; k += 8)
        mixWord(text.data() + runStart - before + k);
    return h;
}

BoundaryCache loadMemo(std::string_view text, bool allowMemo)
{
    if (!allowMemo || text.size() < kMemoMinSize || t_memo.data != text.data() || t_memo.size != text.size()
        || !t_memo.cache.valid || t_memo.cache.runEnd > text.size())
        return {};
    if (t_memo.fingerprint != fingerprintOf(text, t_memo.cache.runStart))
        return {};
    // The remembered run must still hold only bytes of 0x80 or above, whatever the
    // fingerprint missed: its ends and evenly spread samples are checked once more.
    const char* d = text.data();
    const BoundaryCache& c = t_memo.cache;
    if (c.runEnd > c.runStart) {
        const std::size_t length = c.runEnd - c.runStart;
        constexpr std::size_t kSamples = 64;
        for (std::size_t k = 0; k <= kSamples; ++k)
            if (!isHigh(d[c.runStart + (length - 1) * k / kSamples]))
                return {};
    }
    return t_memo.cache;
}

void storeMemo(std::string_view text, const BoundaryCache& cache, bool allowMemo)
{
    if (!allowMemo || text.size() < kMemoMinSize || !cache.valid)
        return;
    t_memo.data = text.data();
    t_memo.size = text.size();
    t_memo.cache = cache;
    t_memo.fingerprint = fingerprintOf(text, cache.runStart);
}

// ---------------------------------------------------------------------------------------------
// Needle: one search text prepared for matching at character boundaries. ASCII letters that
// stand as characters of their own fold case when asked; a letter that is the second byte of a
// two-byte character always compares exactly.
// ---------------------------------------------------------------------------------------------

class Needle {
public:
    Needle(std::string_view what, bool ignoreCase) : m_bytes(what), m_mask(what.size(), 0)
    {
        std::size_t i = 0;
        while (i < what.size()) {
            const auto b = static_cast<unsigned char>(what[i]);
            if (b >= 0x80) {
                if (i + 1 >= what.size())
                    m_danglingLead = true;
                i += 2;
                continue;
            }
            if (ignoreCase && isAsciiLetter(b)) {
                m_mask[i] = 0x20;
                m_bytes[i] = static_cast<char>(b | 0x20);
                m_folds = true;
            }
            ++i;
        }
        // Anchor the candidate scan on the first byte that compares exactly (memchr-able).
        m_anchor = npos;
        for (std::size_t k = 0; k < m_mask.size(); ++k)
            if (m_mask[k] == 0) {
                m_anchor = k;
                break;
            }
    }

    [[nodiscard]] std::size_t size() const { return m_bytes.size(); }
    [[nodiscard]] bool empty() const { return m_bytes.empty(); }

    [[nodiscard]] bool matchesAt(const char* p) const
    {
        if (!m_folds)
            return std::memcmp(p, m_bytes.data(), m_bytes.size()) == 0;
        for (std::size_t k = 0; k < m_bytes.size(); ++k)
            if (static_cast<char>(p[k] | m_mask[k]) != m_bytes[k])
                return false;
        return true;
    }

    // First position in [from, last] whose bytes could start a match (anchor byte agrees).
    [[nodiscard]] std::size_t nextCandidate(std::string_view text, std::size_t from, std::size_t last) const
    {
        if (from > last)
            return npos;
        const char* d = text.data();
        if (m_anchor != npos) {
            const std::size_t lo = from + m_anchor;
            const void* hit = std::memchr(d + lo, m_bytes[m_anchor], last + m_anchor - lo + 1);
            return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - d) - m_anchor : npos;
        }
        const char want = m_bytes[0];
        for (std::size_t i = from; i <= last; ++i)
            if (static_cast<char>(d[i] | 0x20) == want)
                return i;
        return npos;
    }

    // Last position <= from whose bytes could start a match.
    [[nodiscard]] std::size_t prevCandidate(std::string_view text, std::size_t from) const
    {
        const char* d = text.data();
        if (m_anchor != npos) {
            const void* hit = lastByte(d, m_bytes[m_anchor], from + m_anchor + 1);
            if (!hit)
                return npos;
            const auto at = static_cast<std::size_t>(static_cast<const char*>(hit) - d);
            return at >= m_anchor ? at - m_anchor : npos;
        }
        const char want = m_bytes[0];
        for (std::size_t i = from + 1; i-- > 0;)
            if (static_cast<char>(d[i] | 0x20) == want)
                return i;
        return npos;
    }

    // A needle that ends in a lone lead byte would end inside a character unless it ends the text.
    [[nodiscard]] bool endsInsideCharacter(std::string_view text, std::size_t at) const
    {
        return m_danglingLead && at + m_bytes.size() < text.size();
    }

private:
    std::string m_bytes;
    std::string m_mask;
    std::size_t m_anchor = 0;
    bool m_folds = false;
    bool m_danglingLead = false;
};

// First match starting at a boundary at or after `from` (0-based). `cache` carries what is
// known about boundaries; `fromIsBoundary` skips the check of `from` itself.
std::size_t searchForward(std::string_view text, const Needle& needle, std::size_t from, BoundaryCache& cache)
{
    const std::size_t n = text.size();
    if (from > n)
        return npos;
    if (needle.empty()) {
        // The empty text is found at the first boundary.
        if (isBoundary(text, from, cache))
            return from;
        return from + 1 <= n ? from + 1 : npos;
    }
    const std::size_t m = needle.size();
    if (m > n)
        return npos;
    const std::size_t last = n - m;
    std::size_t c = from;
    while (c <= last) {
        c = needle.nextCandidate(text, c, last);
        if (c == npos)
            return npos;
        if (!isBoundary(text, c, cache)) {
            ++c; // c is the second byte of a pair; the next byte starts a character
            continue;
        }
        if (needle.matchesAt(text.data() + c) && !needle.endsInsideCharacter(text, c)) {
            // The match ends at a boundary: remember it for the search that continues there.
            cache.valid = true;
            cache.runStart = cache.runEnd = c + m;
            return c;
        }
        ++c;
    }
    return npos;
}

// Last match starting at a boundary at or before `lastStart` (0-based).
std::size_t searchBackward(std::string_view text, const Needle& needle, std::size_t lastStart, BoundaryCache& cache)
{
    const std::size_t n = text.size();
    const std::size_t m = needle.size();
    if (m > n)
        return npos;
    std::size_t c = std::min(lastStart, n - m);
    if (m == 0) {
        while (!isBoundary(text, c, cache))
            --c;
        return c;
    }
    for (;;) {
        c = needle.prevCandidate(text, c);
        if (c == npos)
            return npos;
        if (isBoundary(text, c, cache) && needle.matchesAt(text.data() + c) && !needle.endsInsideCharacter(text, c))
            return c;
        if (c == 0)
            return npos;
        --c;
    }
}

// One-shot forward search with the per-thread memo.
std::size_t findForward(std::string_view text, const Needle& needle, std::size_t from, bool allowMemo = true)
{
    BoundaryCache cache = loadMemo(text, allowMemo);
    const std::size_t at = searchForward(text, needle, from, cache);
    storeMemo(text, cache, allowMemo);
    return at;
}

std::size_t findBackward(std::string_view text, const Needle& needle, std::size_t lastStart, bool allowMemo = true)
{
    BoundaryCache cache = loadMemo(text, allowMemo);
    const std::size_t at = searchBackward(text, needle, lastStart, cache);
    storeMemo(text, cache, allowMemo);
    return at;
}

// Writes `text` with every occurrence of the needle replaced into `out` (its storage is
// reused). Returns false, leaving `out` alone, when nothing matches.
bool replaceInto(std::string_view text, const Needle& needle, std::string_view with, GbkText& out)
{
    if (needle.empty() || needle.size() > text.size())
        return false;
    BoundaryCache cache;
    std::size_t hit = searchForward(text, needle, 0, cache);
    if (hit == npos)
        return false;
    out.clear();
    out.reserve(text.size() + (with.size() > needle.size() ? text.size() / 8 : 0));
    std::size_t pos = 0;
    while (hit != npos) {
        out.append(text.data() + pos, hit - pos);
        out.append(with);
        pos = hit + needle.size();
        hit = searchForward(text, needle, pos, cache);
    }
    out.append(text.data() + pos, text.size() - pos);
    return true;
}

// The same inside one buffer, for a replacement no longer than the needle: the write position
// never passes the read position, and the search only reads at or after the read position.
bool replaceInPlace(GbkText& text, const Needle& needle, std::string_view with)
{
    if (needle.empty() || needle.size() > text.size())
        return false;
    const std::string_view view(text);
    BoundaryCache cache;
    std::size_t hit = searchForward(view, needle, 0, cache);
    if (hit == npos)
        return false;
    char* d = text.data();
    std::size_t read = 0;
    std::size_t write = 0;
    while (hit != npos) {
        std::memmove(d + write, d + read, hit - read);
        write += hit - read;
        std::memcpy(d + write, with.data(), with.size());
        write += with.size();
        read = hit + needle.size();
        hit = searchForward(view, needle, read, cache);
    }
    std::memmove(d + write, d + read, text.size() - read);
    text.resize(write + (text.size() - read));
    return true;
}

GbkText replaceAllImpl(std::string_view text, std::string_view what, std::string_view with, bool ignoreCase)
{
    GbkText out;
    if (!replaceInto(text, Needle(what, ignoreCase), with, out))
        return GbkText(text);
    return out;
}

// ---------------------------------------------------------------------------------------------
// Character references.
// ---------------------------------------------------------------------------------------------

struct NamedReference {
    std::string_view name; // between "&" and ";"
    std::string_view result;
};

// Table order matters only for how the original passes were described; the references cannot
// overlap, so one left-to-right pass gives the same text.
constexpr std::array<NamedReference, 40> kNamedReferences{{
    {"ndash", "\xA8\x43"},  {"mdash", "\xA1\xAA"},  {"ldquo", "\xA1\xB0"},  {"rdquo", "\xA1\xB1"},
    {"nbsp", " "},          {"lt", "<"},            {"gt", ">"},            {"quot", "\""},
    {"times", "\xA1\xC1"},  {"divide", "\xA1\xC2"}, {"middot", "\xA1\xA4"}, {"hellip", "\xA1\xAD"},
    {"lsquo", "\xA1\xAE"},  {"rsquo", "\xA1\xAF"},  {"permil", "\xA1\xEB"}, {"prime", "\xA1\xE4"},
    {"Prime", "\xA1\xE5"},  {"larr", "\xA1\xFB"},   {"uarr", "\xA1\xFC"},   {"rarr", "\xA1\xFA"},
    {"darr", "\xA1\xFD"},   {"radic", "\xA1\xCC"},  {"prop", "\xA1\xD8"},   {"infin", "\xA1\xDE"},
    {"ang", "\xA1\xCF"},    {"and", "\xA1\xC4"},    {"or", "\xA1\xC5"},     {"cap", "\xA1\xC9"},
    {"cup", "\xA1\xC8"},    {"int", "\xA1\xD2"},    {"there4", "\xA1\xE0"}, {"sim", "\xA1\xAB"},
    {"asymp", "\xA1\xD6"},  {"ne", "\xA1\xD9"},     {"equiv", "\xA1\xD4"},  {"le", "\xA1\xDC"},
    {"ge", "\xA1\xDD"},     {"oplus", "\xA8\x92"},  {"perp", "\xA1\xCD"},   {"amp", "&"},
}};
constexpr std::size_t kLongestName = 6;

const NamedReference* lookupNamed(std::string_view name)
{
    for (const auto& ref : kNamedReferences)
        if (ref.name == name)
            return &ref;
    return nullptr;
}

// The named pass. A reference starts with "&" and ends with the first ";", and no result
// contains "&", ";" or a letter, so no replacement can create or break another occurrence;
// only "&amp;" produces a new "&", and it is the last row, so its output is never looked at
// again by this pass.
GbkText decodeNamed(std::string_view text)
{
    GbkText out;
    out.reserve(text.size());
    const char* d = text.data();
    const std::size_t n = text.size();
    BoundaryCache cache;
    std::size_t pos = 0;
    while (pos < n) {
        const void* hit = std::memchr(d + pos, '&', n - pos);
        if (!hit)
            break;
        const auto amp = static_cast<std::size_t>(static_cast<const char*>(hit) - d);
        out.append(d + pos, amp - pos);
        pos = amp + 1;
        out.push_back('&');
        if (!isBoundary(text, amp, cache))
            continue;
        const std::size_t limit = std::min(n, amp + 2 + kLongestName);
        const void* semi = std::memchr(d + amp + 1, ';', limit - (amp + 1));
        if (!semi)
            continue;
        const auto semiAt = static_cast<std::size_t>(static_cast<const char*>(semi) - d);
        const NamedReference* ref = lookupNamed(text.substr(amp + 1, semiAt - amp - 1));
        if (!ref)
            continue;
        out.back() = ref->result[0];
        out.append(ref->result.substr(1));
        pos = semiAt + 1;
    }
    out.append(d + pos, n - pos);
    return out;
}

// The GBK form of every UTF-16 code unit, converted once on first use.
const GbkText& cachedCodeUnit(unsigned unit)
{
    static std::array<GbkText, 65536> table;
    static std::array<std::atomic<bool>, 65536> known{};
    static std::mutex filling;
    if (!known[unit].load(std::memory_order_acquire)) {
        const std::lock_guard<std::mutex> lock(filling);
        if (!known[unit].load(std::memory_order_relaxed)) {
            table[unit] = text::codePointToGbk(unit);
            known[unit].store(true, std::memory_order_release);
        }
    }
    return table[unit];
}

// The numeric pass: numeric references decoded from the end of the text towards its start,
// each replacement seeing the text as the later ones left it (so a reference may take its ";"
// from text produced by a later one). It works inside the one buffer: the untouched prefix
// [0, p) stays in place, the finished rest is kept in [w, size) and grows downwards. No
// reference is shorter than its replacement, so w never falls below p.
class NumericDecoder {
public:
    explicit NumericDecoder(GbkText& text) : m_buf(text) {}

    void run()
    {
        const std::size_t n = m_buf.size();
        char* d = m_buf.data();
        std::size_t p = n;           // end of the untouched prefix
        std::size_t w = n;           // start of the finished rest
        std::size_t restSemis = 0;   // ";" bytes in the finished rest
        std::size_t noSemiFrom = n;  // no ";" in [noSemiFrom, p)
        std::size_t scan = n;        // next "&" looked for below this
        BoundaryCache cache;
        while (scan > 0) {
            const void* hit = lastByte(d, '&', scan);
            if (!hit)
                break;
            const auto q = static_cast<std::size_t>(static_cast<const char*>(hit) - d);
            scan = q;
            const char next = q + 1 < p ? d[q + 1] : (w < n ? d[w] : '\0');
            if (next != '#' || !isBoundary(std::string_view(d, p), q, cache))
                continue;
            text::processEvents();
            // The first ";" at or after q + 2: in the prefix, else in the finished rest.
            const std::size_t digitsFrom = q + 2;
            std::size_t semi = npos;
            const std::size_t limit = std::min(noSemiFrom, p);
            if (digitsFrom < limit) {
                const void* s = std::memchr(d + digitsFrom, ';', limit - digitsFrom);
                if (s)
                    semi = static_cast<std::size_t>(static_cast<const char*>(s) - d);
            }
            if (semi == npos) {
                if (digitsFrom < p)
                    noSemiFrom = std::min(noSemiFrom, digitsFrom);
                if (restSemis == 0)
                    continue; // no ";" anywhere after it: left as it is
            }
            unsigned value = 0;
            bool reading = true;
            auto feed = [&](std::size_t from, std::size_t to) {
                for (std::size_t i = from; reading && i < to; ++i) {
                    if (d[i] >= '0' && d[i] <= '9')
                        value = (value * 10 + static_cast<unsigned>(d[i] - '0')) & 0xFFFF;
                    else
                        reading = false;
                }
            };
            if (semi != npos) {
                feed(digitsFrom, semi);
                // The bytes between this reference and the finished rest join the rest.
                const std::size_t len = p - (semi + 1);
                restSemis += static_cast<std::size_t>(std::count(d + semi + 1, d + p, ';'));
                std::memmove(d + w - len, d + semi + 1, len);
                w -= len;
            } else {
                feed(digitsFrom, p);
                // When "&" ends the prefix, the "#" is the first byte of the rest.
                const std::size_t from = digitsFrom > p ? w + (digitsFrom - p) : w;
                const auto* s = static_cast<const char*>(std::memchr(d + from, ';', n - from));
                const auto stop = static_cast<std::size_t>(s - d);
                feed(from, stop);
                w = stop + 1;
                --restSemis;
            }
            const GbkText& produced = cachedCodeUnit(value);
            restSemis += static_cast<std::size_t>(std::count(produced.begin(), produced.end(), ';'));
            w -= produced.size();
            std::memcpy(d + w, produced.data(), produced.size());
            p = q;
            noSemiFrom = std::min(noSemiFrom, p);
        }
        std::memmove(d + p, d + w, n - w);
        m_buf.resize(p + (n - w));
    }

private:
    GbkText& m_buf;
};

// ---------------------------------------------------------------------------------------------
// Helpers of the fragment operations.
// ---------------------------------------------------------------------------------------------

const GbkText& ideographicSpace()
{
    static const GbkText space = "\xA1\xA1";
    return space;
}

// Trims half-width and ideographic spaces from both ends; empty when nothing else is left.
bool isBlankFragment(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == ' ') {
            ++i;
        } else if (text.substr(i, 2) == ideographicSpace()) {
            i += 2;
        } else {
            return false;
        }
    }
    return true;
}

struct FragmentSetup {
    GbkText set;
    regex::RegexObject delimiters;
    std::vector<GbkText> fragments;
};

FragmentSetup prepareFragments(const GbkText& text, const GbkText& delimiterSet)
{
    FragmentSetup setup;
    setup.set = delimiterSet.empty() ? defaultDelimiterSet() : delimiterSet;
    const bool hasCrLf = findText(setup.set, "\r\n", 1, false) > 0;
    const bool hasFullStopSpace = findText(setup.set, ". ", 1, false) > 0;
    GbkText classChars = replaceAll(replaceAll(setup.set, "\r\n", "", false), ". ", "", false);
    GbkText pattern = "[" + regex::RegexObject::wildcardToPattern(classChars) + "]";
    if (hasCrLf)
        pattern += "|\\r\\n|\\r|\\n";
    if (hasFullStopSpace)
        pattern += "|\\. ";
    setup.delimiters.compile(pattern);

    regex::RegexObject blankLines;
    blankLines.compile(gbk("^[　 \\t]*$(\\r\\n)|^[ 　\\t]+|[ 　\\t]+$"));
    const GbkText cleaned = blankLines.replace(stripTags(text), GbkText());
    const GbkText marked = setup.delimiters.replace(cleaned, "[\xA1\xCD]");
    setup.fragments = splitText(marked, "[\xA1\xCD]");
    return setup;
}

} // namespace

// =============================================================================================

const GbkText& headSentinel()
{
    return gbk("#墨汀头#");
}

const GbkText& tailSentinel()
{
    return gbk("#墨汀尾#");
}

long long findText(const GbkText& text, const GbkText& what, long long from, bool ignoreCase)
{
    const std::size_t start = from < 1 ? 0 : static_cast<std::size_t>(from - 1);
    if (start > text.size())
        return -1;
    const std::size_t at = findForward(text, Needle(what, ignoreCase), start);
    return at == npos ? -1 : static_cast<long long>(at) + 1;
}

long long findTextBackward(const GbkText& text, const GbkText& what, long long from, bool ignoreCase)
{
    if (text.empty() && !what.empty())
        return -1;
    std::size_t lastStart = text.size();
    if (from >= 1)
        lastStart = std::min<std::size_t>(static_cast<std::size_t>(from - 1), text.size());
    const std::size_t at = findBackward(text, Needle(what, ignoreCase), lastStart);
    return at == npos ? -1 : static_cast<long long>(at) + 1;
}

GbkText replaceAll(const GbkText& text, const GbkText& what, const GbkText& with, bool ignoreCase)
{
    return replaceAllImpl(text, what, with, ignoreCase);
}

GbkText unquoteMarker(const GbkText& text)
{
    return replaceAllImpl(text, "''", "\"", false);
}

namespace {

// The value between the markers once both are found (0-based positions in `searched`).
GbkText valueBetween(std::string_view searched, std::size_t startAt, std::size_t startLen, std::size_t endAt,
                     long long startAdjust, long long lengthAdjust)
{
    const long long v = static_cast<long long>(startAt + startLen) + startAdjust;
    const long long length = static_cast<long long>(endAt) - v - lengthAdjust;
    if (length <= 0)
        return GbkText();
    const long long begin = std::max<long long>(v, 0);
    const long long end = std::min<long long>(v + length, static_cast<long long>(searched.size()));
    if (begin >= end)
        return GbkText();
    return GbkText(searched.substr(static_cast<std::size_t>(begin), static_cast<std::size_t>(end - begin)));
}

// The searched text with the sentinels the empty markers asked for.
struct Searched {
    GbkText storage;
    std::string_view view;
    bool own = false;
};

Searched buildSearched(const GbkText& text, bool head, bool tail)
{
    Searched s;
    if (!head && !tail) {
        s.view = text;
        return s;
    }
    s.storage.reserve(text.size() + 16);
    if (head)
        s.storage += headSentinel();
    s.storage += text;
    if (tail)
        s.storage += tailSentinel();
    s.view = s.storage;
    s.own = true;
    return s;
}

// Last occurrence lying entirely before byte `limit` (0-based, exclusive).
std::size_t lastBefore(std::string_view text, const Needle& needle, std::size_t limit, bool allowMemo)
{
    if (limit < needle.size())
        return npos;
    return findBackward(text, needle, limit - needle.size(), allowMemo);
}

} // namespace

GbkText textBetweenEx(const GbkText& text, GbkText& startMarker, GbkText& endMarker, long long startAdjust,
                      long long lengthAdjust)
{
    long long position = 0;
    return textBetweenEx(text, startMarker, endMarker, startAdjust, lengthAdjust, position, false, false);
}

GbkText textBetweenEx(const GbkText& text, GbkText& startMarker, GbkText& endMarker, long long startAdjust,
                      long long lengthAdjust, long long& position, bool backward, bool unquote)
{
    if (unquote) {
        startMarker = unquoteMarker(startMarker);
        endMarker = unquoteMarker(endMarker);
    }
    const bool head = startMarker.empty();
    const bool tail = endMarker.empty();
    if (head)
        startMarker = headSentinel();
    if (tail)
        endMarker = tailSentinel();
    const Searched searched = buildSearched(text, head, tail);
    const std::string_view s = searched.view;
    const bool memo = !searched.own;
    const Needle start(startMarker, true);
    const Needle end(endMarker, true);

    if (!backward) {
        const std::size_t from = position < 1 ? 0 : static_cast<std::size_t>(position - 1);
        if (from > s.size())
            return GbkText();
        const std::size_t s0 = findForward(s, start, from, memo);
        if (s0 == npos)
            return GbkText();
        const std::size_t e = findForward(s, end, s0 + start.size(), memo);
        if (e == npos)
            return GbkText();
        position = static_cast<long long>(e + end.size()) + 1;
        return valueBetween(s, s0, start.size(), e, startAdjust, lengthAdjust);
    }

    // Backward: the end marker lies wholly before `position`, the start marker wholly before
    // the end marker, mirroring the forward walk.
    std::size_t limit = s.size();
    if (position >= 1)
        limit = std::min<std::size_t>(static_cast<std::size_t>(position - 1), s.size());
    const std::size_t e = lastBefore(s, end, limit, memo);
    if (e == npos)
        return GbkText();
    const std::size_t s0 = lastBefore(s, start, e, memo);
    if (s0 == npos)
        return GbkText();
    position = static_cast<long long>(s0) + 1;
    return valueBetween(s, s0, start.size(), e, startAdjust, lengthAdjust);
}

GbkText textBetweenRetry(const GbkText& text, const GbkText& startMarker, const GbkText& endMarker, long long& position,
                         bool endFirst, long long startAdjust, long long lengthAdjust, bool keepQuotes)
{
    GbkText startText = keepQuotes ? startMarker : unquoteMarker(startMarker);
    GbkText endText = keepQuotes ? endMarker : unquoteMarker(endMarker);
    const bool head = startText.empty();
    const bool tail = endText.empty();
    if (head)
        startText = headSentinel();
    if (tail)
        endText = tailSentinel();
    const Searched searched = buildSearched(text, head, tail);
    const std::string_view s = searched.view;
    const bool memo = !searched.own;
    const long long entryPosition = position;

    for (int attempt = 0; attempt < 2; ++attempt) {
        if (attempt == 1) {
            position = entryPosition;
            const bool quoted = startText.find('"') != GbkText::npos || endText.find('"') != GbkText::npos;
            if (!quoted)
                break; // the second attempt would repeat the first
            startText.erase(std::remove(startText.begin(), startText.end(), '"'), startText.end());
            endText.erase(std::remove(endText.begin(), endText.end(), '"'), endText.end());
        }
        const Needle start(startText, true);
        const Needle end(endText, true);
        const std::size_t from = position < 1 ? 0 : static_cast<std::size_t>(position - 1);
        if (from > s.size())
            continue;
        std::size_t s0 = npos;
        std::size_t e = npos;
        if (!endFirst) {
            s0 = findForward(s, start, from, memo);
            if (s0 != npos)
                e = findForward(s, end, s0 + start.size(), memo);
        } else {
            e = findForward(s, end, from, memo);
            if (e != npos)
                s0 = lastBefore(s, start, e, memo);
        }
        if (s0 == npos || e == npos)
            continue;
        position = static_cast<long long>(e + end.size()) + 1;
        return valueBetween(s, s0, start.size(), e, startAdjust, lengthAdjust);
    }
    return GbkText();
}

GbkText textBetween(const GbkText& text, const GbkText& startMarker, const GbkText& endMarker, long long from,
                    bool ignoreCase)
{
    const GbkText& quoteWord = gbk("#引号");
    const GbkText startText = replaceAllImpl(startMarker, quoteWord, "\"", false);
    const GbkText endText = replaceAllImpl(endMarker, quoteWord, "\"", false);
    const std::size_t start = from < 1 ? 0 : static_cast<std::size_t>(from - 1);
    if (start > text.size())
        return GbkText();
    const std::size_t s0 = findForward(text, Needle(startText, ignoreCase), start);
    if (s0 == npos)
        return GbkText();
    const std::size_t valueAt = s0 + startText.size();
    const std::size_t e = findForward(text, Needle(endText, ignoreCase), valueAt);
    if (e == npos)
        return GbkText();
    return text.substr(valueAt, e - valueAt);
}

std::vector<GbkText> splitText(const GbkText& text, const GbkText& separator)
{
    std::vector<GbkText> items;
    if (text.empty())
        return items;
    if (separator.empty()) {
        items.push_back(text);
        return items;
    }
    const Needle needle(separator, false);
    BoundaryCache cache;
    std::size_t pos = 0;
    for (;;) {
        const std::size_t hit = searchForward(text, needle, pos, cache);
        if (hit == npos)
            break;
        items.emplace_back(text, pos, hit - pos);
        pos = hit + separator.size();
    }
    items.emplace_back(text, pos);
    return items;
}

GbkText replaceLists(const GbkText& text, const GbkText& matches, const GbkText& replacements, const GbkText& separator)
{
    const std::vector<GbkText> from = splitText(matches, separator);
    std::vector<GbkText> to = splitText(replacements, separator);
    to.resize(from.size());
    // The first change copies the text; later ones work in place when they do not lengthen
    // it, else two buffers take turns. A pair that matches nothing copies nothing.
    GbkText current;
    GbkText scratch;
    bool changed = false;
    for (std::size_t i = 0; i < from.size(); ++i) {
        if (from[i].empty())
            continue;
        const Needle needle(from[i], true);
        if (!changed) {
            changed = replaceInto(text, needle, to[i], current);
        } else if (to[i].size() <= from[i].size()) {
            replaceInPlace(current, needle, to[i]);
        } else if (replaceInto(current, needle, to[i], scratch)) {
            current.swap(scratch);
        }
    }
    if (!changed)
        return text;
    return current;
}

GbkText decodeEntities(const GbkText& text, bool skipNumeric)
{
    GbkText decoded = decodeNamed(text);
    if (!skipNumeric)
        NumericDecoder(decoded).run();
    return decoded;
}

GbkText stripTags(const GbkText& text)
{
    const std::string_view t(text);
    const char* d = t.data();
    BoundaryCache cache;
    // Last "<" or ">" at a character boundary before `limit`.
    auto lastBefore = [&](char what, std::size_t limit) -> std::size_t {
        while (limit > 0) {
            const void* hit = lastByte(d, what, limit);
            if (!hit)
                return npos;
            const auto at = static_cast<std::size_t>(static_cast<const char*>(hit) - d);
            if (isBoundary(t, at, cache))
                return at;
            limit = at;
        }
        return npos;
    };
    auto firstAfter = [&](char what, std::size_t from, std::size_t limit) -> std::size_t {
        BoundaryCache forward;
        forward.valid = true;
        forward.runStart = forward.runEnd = from; // `from` follows a "<", so it is a boundary
        while (from < limit) {
            const void* hit = std::memchr(d + from, what, limit - from);
            if (!hit)
                return npos;
            const auto at = static_cast<std::size_t>(static_cast<const char*>(hit) - d);
            if (isBoundary(t, at, forward))
                return at;
            from = at + 1;
        }
        return npos;
    };

    // Kept spans, collected from the end.
    std::vector<std::pair<std::size_t, std::size_t>> kept;
    std::size_t limit = t.size();
    for (;;) {
        text::processEvents();
        const std::size_t close = lastBefore('>', limit);
        if (close == npos)
            break;
        const std::size_t open = lastBefore('<', close);
        if (open == npos)
            break;
        // Any ">" between them is passed over; the nearest one closes the tag.
        const std::size_t nearest = firstAfter('>', open + 1, close + 1);
        if (nearest + 1 < limit)
            kept.emplace_back(nearest + 1, limit);
        limit = open;
    }
    if (kept.empty())
        return limit == t.size() ? text : text.substr(0, limit);
    GbkText out;
    std::size_t total = limit;
    for (const auto& span : kept)
        total += span.second - span.first;
    out.reserve(total);
    out.append(d, limit);
    for (auto it = kept.rbegin(); it != kept.rend(); ++it)
        out.append(d + it->first, it->second - it->first);
    return out;
}

const GbkText& defaultDelimiterSet()
{
    static const GbkText set = ",\xA3\xAC\xA1\xA3\xA3\xA1!\xA3\xBF?;\xA3\xBB<>/:\xA3\xBA()='. {}\xA1\xB6\xA1\xB7"
                               "\xA3\xA8\xA3\xA9\xA1\xA2\xA1\xAE\xA1\xAF\"\xA1\xB0\xA1\xB1\r\n";
    return set;
}

GbkText shuffleFragments(const GbkText& text, const GbkText& delimiterSet)
{
    FragmentSetup setup = prepareFragments(text, delimiterSet);
    const auto n = static_cast<long long>(setup.fragments.size());
    if (n == 0)
        return text;
    const long long m = setup.delimiters.execute(text);
    const long long s = charCount(setup.set, 1);

    RandomBag order;
    RandomBag separators;
    GbkText result;
    for (long long k = 0; k < n; ++k) {
        const GbkText& fragment = setup.fragments[static_cast<std::size_t>(order.draw(1, n) - 1)];
        if (!isBlankFragment(fragment)) {
            if (!result.empty()) {
                if (m == 0)
                    result += charMid(setup.set, separators.draw(1, s), 1);
                else
                    result += setup.delimiters.matchText(static_cast<int>(separators.draw(1, m)));
            }
            result += fragment;
        } else if (!result.empty() && RandomBag::uniform(1, 10) < 8) {
            result += "\r\n";
        }
    }
    return result;
}

GbkText pickFragment(const GbkText& text, const GbkText& delimiterSet, long long minChars, const GbkText& keyword,
                     bool emptyIfNone)
{
    FragmentSetup setup = prepareFragments(text, delimiterSet);
    const auto n = static_cast<long long>(setup.fragments.size());
    if (n == 0)
        return GbkText();
    RandomBag order;
    for (long long k = 0; k < n; ++k) {
        text::processEvents();
        const GbkText& fragment = setup.fragments[static_cast<std::size_t>(order.draw(1, n) - 1)];
        if (fragment.empty())
            continue;
        if ((minChars < 1 || charCount(fragment, 1) >= minChars)
            && (keyword.empty() || findText(fragment, keyword, 1, false) > 0))
            return fragment;
    }
    if (emptyIfNone)
        return GbkText();
    return setup.fragments[static_cast<std::size_t>(RandomBag::uniform(1, n) - 1)];
}

void prepareUserReplacements(regex::RegexObject& patternRegex, bool filterOn, const GbkText& matchList)
{
    if (filterOn)
        patternRegex.compile(matchList);
}

GbkText applyUserReplacements(const GbkText& review, bool filterOn, bool regexMode, const GbkText& matchList,
                              const GbkText& replaceList, const regex::RegexObject& patternRegex)
{
    if (!filterOn)
        return review;
    // A pattern the engine rejects would turn every review into nothing; the review is kept
    // as it is instead.
    if (regexMode)
        return patternRegex.isValid() ? patternRegex.replace(review, replaceList) : review;
    return replaceLists(review, matchList, replaceList, "|");
}

} // namespace quillet::compose
