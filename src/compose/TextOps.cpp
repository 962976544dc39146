#include "compose/TextOps.h"

#include "compose/RandomBag.h"
#include "regex/RegexObject.h"
#include "text/Charset.h"
#include "text/ByteSearch.h"
#include "text/EventPump.h"
#include "text/Searcher.h"
#include "text/TextScan.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <mutex>
#include <string_view>

namespace quillet::compose {

namespace {

using text::lastByte;
using text::Searcher;
using text::TextScan;

constexpr std::size_t npos = std::string_view::npos;

// Writes `text` with every occurrence of the search text replaced into `out` (its storage is
// reused). Returns false, leaving `out` alone, when nothing matches.
bool replaceInto(std::string_view text, const Searcher& needle, std::string_view with, GbkText& out)
{
    if (needle.empty() || needle.size() > text.size())
        return false;
    TextScan scan(text);
    std::size_t hit = needle.find(scan, 0);
    if (hit == npos)
        return false;
    out.clear();
    out.reserve(text.size() + (with.size() > needle.size() ? text.size() / 8 : 0));
    std::size_t pos = 0;
    while (hit != npos) {
        out.append(text.data() + pos, hit - pos);
        out.append(with);
        pos = hit + needle.size();
        hit = needle.find(scan, pos);
    }
    out.append(text.data() + pos, text.size() - pos);
    return true;
}

// The same inside one buffer, for a replacement no longer than the search text: the write
// position never passes the read position, and a search from the read position reads nothing
// before it (a match tells the scan that a character starts where it ends).
bool replaceInPlace(GbkText& text, const Searcher& needle, std::string_view with)
{
    if (needle.empty() || needle.size() > text.size())
        return false;
    TextScan scan{std::string_view(text)};
    std::size_t hit = needle.find(scan, 0);
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
        hit = needle.find(scan, read);
    }
    std::memmove(d + write, d + read, text.size() - read);
    text.resize(write + (text.size() - read));
    return true;
}

GbkText replaceAllImpl(std::string_view text, std::string_view what, std::string_view with, bool ignoreCase)
{
    GbkText out;
    if (!replaceInto(text, Searcher(what, ignoreCase), with, out))
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
    TextScan scan(text);
    std::size_t pos = 0;
    while (pos < n) {
        const void* hit = std::memchr(d + pos, '&', n - pos);
        if (!hit)
            break;
        const auto amp = static_cast<std::size_t>(static_cast<const char*>(hit) - d);
        out.append(d + pos, amp - pos);
        pos = amp + 1;
        out.push_back('&');
        if (!scan.isBoundary(amp))
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
        // Only the untouched prefix [0, p) is ever asked about, and it only shrinks.
        TextScan boundaries{std::string_view(d, n)};
        while (scan > 0) {
            const void* hit = lastByte(d, '&', scan);
            if (!hit)
                break;
            const auto q = static_cast<std::size_t>(static_cast<const char*>(hit) - d);
            scan = q;
            const char next = q + 1 < p ? d[q + 1] : (w < n ? d[w] : '\0');
            if (next != '#' || !boundaries.isBoundary(q))
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
    const std::size_t at = Searcher(what, ignoreCase).find(text, start);
    return at == npos ? -1 : static_cast<long long>(at) + 1;
}

long long findTextBackward(const GbkText& text, const GbkText& what, long long from, bool ignoreCase)
{
    if (text.empty() && !what.empty())
        return -1;
    std::size_t lastStart = text.size();
    if (from >= 1)
        lastStart = std::min<std::size_t>(static_cast<std::size_t>(from - 1), text.size());
    const std::size_t at = Searcher(what, ignoreCase).findLast(text, lastStart);
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
    std::string_view original;
    GbkText storage;
    bool own = false;
    [[nodiscard]] std::string_view view() const { return own ? std::string_view(storage) : original; }
};

Searched buildSearched(std::string_view text, bool head, bool tail)
{
    Searched s;
    s.original = text;
    if (!head && !tail)
        return s;
    s.storage.reserve(text.size() + 16);
    if (head)
        s.storage += headSentinel();
    s.storage += text;
    if (tail)
        s.storage += tailSentinel();
    s.own = true;
    return s;
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
    TextScan scan(text);
    return textBetweenEx(scan, startMarker, endMarker, startAdjust, lengthAdjust, position, backward, unquote);
}

GbkText textBetweenEx(TextScan& textScan, GbkText& startMarker, GbkText& endMarker, long long startAdjust,
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
    // With a sentinel the searched text is a new one, and so is what is known about it.
    const Searched searched = buildSearched(textScan.text(), head, tail);
    const std::string_view s = searched.view();
    TextScan ownScan(s);
    TextScan& scan = searched.own ? ownScan : textScan;
    const Searcher start(startMarker, true);
    const Searcher end(endMarker, true);

    if (!backward) {
        const std::size_t from = position < 1 ? 0 : static_cast<std::size_t>(position - 1);
        if (from > s.size())
            return GbkText();
        const std::size_t s0 = start.find(scan, from);
        if (s0 == npos)
            return GbkText();
        const std::size_t e = end.find(scan, s0 + start.size());
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
    const std::size_t e = end.findLastBefore(scan, limit);
    if (e == npos)
        return GbkText();
    const std::size_t s0 = start.findLastBefore(scan, e);
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
    const std::string_view s = searched.view();
    TextScan scan(s);
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
        const Searcher start(startText, true);
        const Searcher end(endText, true);
        const std::size_t from = position < 1 ? 0 : static_cast<std::size_t>(position - 1);
        if (from > s.size())
            continue;
        std::size_t s0 = npos;
        std::size_t e = npos;
        if (!endFirst) {
            s0 = start.find(scan, from);
            if (s0 != npos)
                e = end.find(scan, s0 + start.size());
        } else {
            e = end.find(scan, from);
            if (e != npos)
                s0 = start.findLastBefore(scan, e);
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
    TextScan scan(text);
    const std::size_t s0 = Searcher(startText, ignoreCase).find(scan, start);
    if (s0 == npos)
        return GbkText();
    const std::size_t valueAt = s0 + startText.size();
    const std::size_t e = Searcher(endText, ignoreCase).find(scan, valueAt);
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
    const Searcher needle(separator, false);
    TextScan scan(text);
    std::size_t pos = 0;
    for (;;) {
        const std::size_t hit = needle.find(scan, pos);
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
        const Searcher needle(from[i], true);
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
    TextScan scan(t);
    // Last "<" or ">" at a character boundary before `limit`.
    auto lastBefore = [&](char what, std::size_t limit) -> std::size_t {
        while (limit > 0) {
            const void* hit = lastByte(d, what, limit);
            if (!hit)
                return npos;
            const auto at = static_cast<std::size_t>(static_cast<const char*>(hit) - d);
            if (scan.isBoundary(at))
                return at;
            limit = at;
        }
        return npos;
    };
    auto firstAfter = [&](char what, std::size_t from, std::size_t limit) -> std::size_t {
        TextScan forward(t);
        forward.noteBoundary(from); // `from` follows a "<", so it is a boundary
        while (from < limit) {
            const void* hit = std::memchr(d + from, what, limit - from);
            if (!hit)
                return npos;
            const auto at = static_cast<std::size_t>(static_cast<const char*>(hit) - d);
            if (forward.isBoundary(at))
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
