#include "harvest/AttributeReader.h"

#include "compose/TextOps.h"
#include "text/GbkChars.h"
#include "text/TextScan.h"

#include <bit>
#include <cstdint>
#include <cstring>

namespace quillet::harvest {

namespace {

constexpr std::size_t npos = text::Searcher::npos;

bool isLead(unsigned char b) { return b >= 0x81 && b <= 0xFE; }
bool isTrail(unsigned char b) { return b >= 0x40 && b <= 0xFE && b != 0x7F; }

// Whether every byte of 0x80 and above is a lead byte followed by a trail byte: the text is
// ASCII and two-byte characters only, so the characters the plain rule of the searches sees
// are those the pattern engine sees, and no four-byte character is there.
bool plainTwoByteText(std::string_view text)
{
    constexpr std::uint64_t kHigh = 0x8080808080808080ULL;
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    const auto word = [p](std::size_t at) {
        std::uint64_t w;
        std::memcpy(&w, p + at, sizeof w);
        return w;
    };
    for (std::size_t i = 0; i < n;) {
        // ASCII, thirty-two bytes at a time: the keys, numbers and addresses that make most of
        // a record; then on to the first byte of 0x80 and above.
        while (i + 32 <= n && ((word(i) | word(i + 8) | word(i + 16) | word(i + 24)) & kHigh) == 0)
            i += 32;
        while (i + 8 <= n) {
            const std::uint64_t high = word(i) & kHigh;
            if (high != 0) {
                i += static_cast<std::size_t>(std::countr_zero(high)) / 8;
                break;
            }
            i += 8;
        }
        while (i < n && p[i] < 0x80)
            ++i;
        // A run of two-byte characters.
        for (; i < n && p[i] >= 0x80; i += 2)
            if (!isLead(p[i]) || i + 1 >= n || !isTrail(p[i + 1]))
                return false;
    }
    return true;
}

// Whether the pattern engine, ignoring case over all of Unicode, would match the name exactly
// where the ASCII-only case folding of the searches does: plain two-byte text without letters
// that have case forms outside ASCII (Greek, Cyrillic, full-width Latin, Roman numerals,
// pinyin letters), and without k and s, which also match the Kelvin sign and the long s.
bool foldsLikeAscii(const GbkText& name)
{
    if (!plainTwoByteText(name))
        return false;
    for (std::size_t i = 0; i < name.size();) {
        const auto b = static_cast<unsigned char>(name[i]);
        if (b < 0x80) {
            const char lower = static_cast<char>(b | 0x20);
            if (lower == 'k' || lower == 's')
                return false;
            ++i;
            continue;
        }
        const auto trail = static_cast<unsigned char>(name[i + 1]);
        if (b == 0xA2 || (b >= 0xA6 && b <= 0xA9))
            return false;
        if (b == 0xA3 && ((trail >= 0xC1 && trail <= 0xDA) || (trail >= 0xE1 && trail <= 0xFA)))
            return false;
        i += 2;
    }
    return true;
}

// The run of characters after "name:" that the pattern captures: up to the next colon,
// comma, semicolon, ampersand, brace or double quote (two-byte characters never stop it).
std::size_t runEnd(std::string_view text, std::size_t from)
{
    std::size_t q = from;
    while (q < text.size()) {
        const char c = text[q];
        if (static_cast<unsigned char>(c) >= 0x80) {
            q += 2;
            continue;
        }
        if (c == ':' || c == ',' || c == ';' || c == '&' || c == '{' || c == '}' || c == '"')
            break;
        ++q;
    }
    return std::min(q, text.size());
}

// Removes blanks, half-width and full-width (A1 A1), from both ends.
GbkText trimBlanks(const GbkText& text)
{
    std::size_t begin = 0;
    std::size_t end = text.size();
    for (;;) {
        if (begin < end && text[begin] == ' ')
            ++begin;
        else if (begin + 1 < end && text.compare(begin, 2, "\xA1\xA1") == 0)
            begin += 2;
        else
            break;
    }
    for (;;) {
        if (end > begin && text[end - 1] == ' ') {
            --end;
        } else if (end >= begin + 2 && text.compare(end - 2, 2, "\xA1\xA1") == 0) {
            // Only a whole full-width blank: the byte before it must not make it a trail byte.
            if (begin + text::lastCharStart(std::string_view(text).substr(begin, end - begin)) == end - 2)
                end -= 2;
            else
                break;
        } else {
            break;
        }
    }
    return text.substr(begin, end - begin);
}

} // namespace

struct AttributeReader::Field {
    // Pass 0 reads "name", pass 1 "name分类".
    struct Pass {
        GbkText name;
        text::Searcher colon;   // name + ":"
        text::Searcher descEnd; // ","name":"name"  (the end of the desc/name object)
        bool plain = false;     // the colon form may be read by a plain scan
        mutable std::unique_ptr<regex::RegexObject> pattern; // compiled on first use
    };
    Pass passes[2];
};

AttributeReader::AttributeReader() : m_descStart(compose::unquoteMarker("{''desc'':''")), m_scan(std::string_view()) {}

AttributeReader::~AttributeReader() = default;

const AttributeReader::Field& AttributeReader::field(const GbkText& name)
{
    auto it = m_fields.find(name);
    if (it != m_fields.end())
        return *it->second;
    auto made = std::make_unique<Field>();
    const GbkText suffixes[] = {GbkText(), gbk("分类")};
    for (int pass = 0; pass < 2; ++pass) {
        Field::Pass& p = made->passes[pass];
        p.name = name + suffixes[pass];
        p.colon = text::Searcher(p.name + ":");
        p.descEnd = text::Searcher(compose::unquoteMarker("'',''name'':''" + p.name + "''"));
        p.plain = foldsLikeAscii(p.name);
    }
    return *m_fields.emplace(name, std::move(made)).first->second;
}

void AttributeReader::trim(std::size_t limit)
{
    if (m_fields.size() > limit)
        m_fields.clear();
}

void AttributeReader::setRecord(std::string_view record)
{
    m_record = record;
    m_scan.reset(record);
    m_recordCopied = false;
    m_plain = -1;
    m_hasDesc = -1;
}

bool AttributeReader::plainRecord()
{
    if (m_plain < 0)
        m_plain = plainTwoByteText(m_record) ? 1 : 0;
    return m_plain == 1;
}

bool AttributeReader::colonForm(const Field& field, int pass, GbkText& value)
{
    const Field::Pass& p = field.passes[pass];
    std::size_t at = p.colon.find(m_scan, 0);
    if (at == npos)
        return false; // the pattern needs "name:" somewhere
    if (p.plain && plainRecord()) {
        while (at != npos) {
            const std::size_t from = at + p.colon.size();
            const std::size_t end = runEnd(m_record, from);
            if (end > from) {
                value.assign(m_record.substr(from, end - from));
                return true;
            }
            at = p.colon.find(m_scan, at + 1);
        }
        return false;
    }
    // The name has letters the pattern engine folds its own way, or the record holds bytes it
    // reads differently: the pattern decides.
    if (!p.pattern) {
        p.pattern = std::make_unique<regex::RegexObject>();
        p.pattern->compile(regex::RegexObject::escapeAll(p.name) + ":([^:,;&{}\"]+)");
    }
    if (!m_recordCopied) {
        m_recordCopy.assign(m_record);
        m_recordCopied = true;
    }
    if (p.pattern->execute(m_recordCopy) > 0) {
        value = p.pattern->submatchText(1, 1);
        return true;
    }
    return false;
}

GbkText AttributeReader::descForm(const Field& field, int pass)
{
    if (m_hasDesc < 0) {
        m_firstDesc = m_descStart.find(m_scan, 0);
        m_hasDesc = m_firstDesc != npos ? 1 : 0;
    }
    if (m_hasDesc == 0)
        return GbkText();
    // The last end marker, and the nearest start marker before it (textBetweenEx backward).
    // An end marker with no start marker wholly before it gives nothing, so the end marker is
    // looked for after the first start marker only.
    const text::Searcher& end = field.passes[pass].descEnd;
    const std::size_t e = end.findLast(m_scan, npos, m_firstDesc + m_descStart.size());
    if (e == npos)
        return GbkText();
    const std::size_t s = m_descStart.findLastBefore(m_scan, e);
    if (s == npos)
        return GbkText();
    const std::size_t valueAt = s + m_descStart.size();
    if (e <= valueAt)
        return GbkText();
    GbkText value(m_record.substr(valueAt, e - valueAt));
    if (value.find(';') != GbkText::npos)
        value = compose::replaceAll(value, ";", "", false);
    return value;
}

GbkText AttributeReader::value(const Field& field, bool emptyAsNone)
{
    GbkText value;
    for (int pass = 0; pass < 2; ++pass) {
        if (colonForm(field, pass, value))
            break;
        value = descForm(field, pass);
        if (!value.empty())
            break;
    }
    if (value.find('&') != GbkText::npos)
        value = compose::decodeEntities(value);
    if (value.find('"') != GbkText::npos)
        value = compose::replaceAll(value, "\"", "", false);
    value = trimBlanks(value);
    if (value.empty()) {
        static const GbkText& none = gbk("无");
        static const GbkText blank(" ");
        return emptyAsNone ? none : blank;
    }
    return value;
}

} // namespace quillet::harvest
