#include "compose/Entities.h"

#include "text/ByteSearch.h"
#include "text/Charset.h"
#include "text/EventPump.h"
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
using text::TextScan;

constexpr std::size_t npos = std::string_view::npos;

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
void decodeNamed(std::string_view text, GbkText& out)
{
    out.clear();
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

} // namespace

GbkText decodeEntities(const GbkText& text, bool skipNumeric)
{
    GbkText decoded;
    decodeNamed(text, decoded);
    if (!skipNumeric)
        NumericDecoder(decoded).run();
    return decoded;
}

void decodeEntitiesInPlace(GbkText& text, bool skipNumeric)
{
    // The named pass reads the text as it was, so it writes to a buffer of this thread's that
    // keeps its room from text to text; its result is never longer, so copying it back needs
    // no new room either. The numeric pass works inside the text.
    thread_local GbkText named;
    decodeNamed(text, named);
    text.assign(named);
    if (named.capacity() > (std::size_t{1} << 16))
        GbkText().swap(named); // a rare long text does not keep its room for ever
    if (!skipNumeric)
        NumericDecoder(text).run();
}

} // namespace quillet::compose
