#include "harvest/AttributeReader.h"

#include "compose/TextOps.h"
#include "text/ByteSearch.h"
#include "text/GbkChars.h"
#include "text/TextScan.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

namespace quillet::harvest {

namespace {

constexpr std::size_t npos = text::Searcher::npos;

bool isLead(unsigned char b) { return b >= 0x81 && b <= 0xFE; }
bool isTrail(unsigned char b) { return b >= 0x40 && b <= 0xFE && b != 0x7F; }

// How far from `from` (a character start) the text is plain two-byte text: every byte of 0x80
// and above a lead byte followed by a trail byte, so the text is ASCII and two-byte characters
// only, the characters the plain rule of the searches sees are those the pattern engine sees,
// and no four-byte character is there. Looks at least up to `end` and returns where it stopped
// (a character start at or after `end`), or npos at the first byte that breaks the rule.
std::size_t plainUpTo(std::string_view text, std::size_t from, std::size_t end)
{
    constexpr std::uint64_t kHigh = 0x8080808080808080ULL;
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    const auto word = [p](std::size_t at) {
        std::uint64_t w;
        std::memcpy(&w, p + at, sizeof w);
        return w;
    };
    std::size_t i = from;
    while (i < end) {
        // ASCII, thirty-two bytes at a time: the keys, numbers and addresses that make most of
        // a record; then on to the first byte of 0x80 and above, or to `end`.
        while (i < end && i + 32 <= n && ((word(i) | word(i + 8) | word(i + 16) | word(i + 24)) & kHigh) == 0)
            i += 32;
        while (i < end && i + 8 <= n) {
            const std::uint64_t high = word(i) & kHigh;
            if (high != 0) {
                i += static_cast<std::size_t>(std::countr_zero(high)) / 8;
                break;
            }
            i += 8;
        }
        while (i < end && i < n && p[i] < 0x80)
            ++i;
        // A run of two-byte characters, two at a time while all four bytes are 0x81 to 0xFE
        // (valid lead and trail bytes alike), else one by one.
        while (i < n && p[i] >= 0x80) {
            if (i + 4 <= n) {
                std::uint32_t w;
                std::memcpy(&w, p + i, sizeof w);
                const auto hasZeroByte = [](std::uint32_t v) { return ((v - 0x01010101U) & ~v & 0x80808080U) != 0; };
                if ((w & 0x80808080U) == 0x80808080U && !hasZeroByte(w ^ 0x80808080U) && !hasZeroByte(~w)) {
                    i += 4;
                    continue;
                }
            }
            if (!isLead(p[i]) || i + 1 >= n || !isTrail(p[i + 1]))
                return npos;
            i += 2;
        }
    }
    return i;
}

bool plainTwoByteText(std::string_view text) { return plainUpTo(text, 0, text.size()) != npos; }

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
std::string_view trimBlanks(std::string_view text)
{
    const auto fullWidthAt = [&text](std::size_t at) { return text[at] == '\xA1' && text[at + 1] == '\xA1'; };
    std::size_t begin = 0;
    std::size_t end = text.size();
    for (;;) {
        if (begin < end && text[begin] == ' ')
            ++begin;
        else if (begin + 1 < end && fullWidthAt(begin))
            begin += 2;
        else
            break;
    }
    for (;;) {
        if (end > begin && text[end - 1] == ' ') {
            --end;
        } else if (end >= begin + 2 && fullWidthAt(end - 2)) {
            // Only a whole full-width blank: the byte before it must not make it a trail byte.
            if (begin + text::lastCharStart(text.substr(begin, end - begin)) == end - 2)
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

AttributeReader::AsciiKey::AsciiKey(std::string_view key) : m_size(key.size())
{
    // Words of the key's first and last eight bytes, letters in lower case, and where they fold.
    char canon[16] = {};
    char fold[16] = {};
    for (std::size_t i = 0; i < key.size() && i < 16; ++i) {
        const char lower = static_cast<char>(key[i] | 0x20);
        const bool letter = lower >= 'a' && lower <= 'z';
        canon[i] = letter ? lower : key[i];
        fold[i] = letter ? 0x20 : 0;
    }
    const std::size_t tail = m_size - 8;
    std::memcpy(&m_canon[0], canon, 8);
    std::memcpy(&m_fold[0], fold, 8);
    std::memcpy(&m_canon[1], canon + tail, 8);
    std::memcpy(&m_fold[1], fold + tail, 8);
}

bool AttributeReader::AsciiKey::matchesAt(const char* p) const
{
    std::uint64_t head;
    std::uint64_t tail;
    std::memcpy(&head, p, sizeof head);
    std::memcpy(&tail, p + m_size - 8, sizeof tail);
    return (head | m_fold[0]) == m_canon[0] && (tail | m_fold[1]) == m_canon[1];
}

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
    // Both passes may be read from the places of the bare name (readByName).
    bool byName = false;
    text::Searcher name;
};

AttributeReader::AttributeReader()
    : m_descStart(compose::unquoteMarker("{''desc'':''")),
      m_descNameKey(compose::unquoteMarker("'',''name'':''")), m_category(gbk("分类")), m_none(gbk("无")),
      m_descStartAt(m_descStart.text()), m_descNameKeyAt(m_descNameKey), m_scan(std::string_view())
{
}

AttributeReader::~AttributeReader() = default;

const AttributeReader::Field& AttributeReader::field(const GbkText& name)
{
    auto it = m_fields.find(name);
    if (it != m_fields.end())
        return *it->second;
    auto made = std::make_unique<Field>();
    const GbkText suffixes[] = {GbkText(), m_category};
    for (int pass = 0; pass < 2; ++pass) {
        Field::Pass& p = made->passes[pass];
        p.name = name + suffixes[pass];
        p.colon = text::Searcher(p.name + ":");
        p.descEnd = text::Searcher(compose::unquoteMarker("'',''name'':''" + p.name + "''"));
        p.plain = foldsLikeAscii(p.name);
    }
    // A name of plain two-byte text is found the same way on its own as inside the longer
    // search texts, and its letters fold the same way in the pattern too; the end markers must
    // hold it as it is (a name with '' in it changes there).
    made->byName = !name.empty() && made->passes[0].plain && made->passes[1].plain
                   && made->passes[0].descEnd.text() == m_descNameKey + name + "\""
                   && made->passes[1].descEnd.text() == m_descNameKey + name + m_category + "\"";
    made->name = text::Searcher(name);
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
    m_plainTo = 0;
    m_notPlain = false;
    m_hasDesc = -1;
}

bool AttributeReader::plainBefore(std::size_t end)
{
    if (m_plainTo >= end)
        return true;
    if (m_notPlain)
        return false;
    const std::size_t reached = plainUpTo(m_record, m_plainTo, end);
    if (reached == npos) {
        m_notPlain = true;
        return false;
    }
    m_plainTo = reached;
    return true;
}

// Inline: value() is its one caller, and a call less per value counts here.
inline AttributeReader::Form AttributeReader::readByName(const Field& field, std::string_view& value)
{
    // One walk through the places of the bare name finds what both passes look for: "name:"
    // and "name分类:" (the colon forms), and ","name":"name" and ","name":"name分类" (the
    // ends of desc/name objects). The first "name:" followed by a run decides at once; for the
    // rest, the first "name分类:" with a run and the last end of each object form are kept.
    const std::size_t size = m_record.size();
    const std::size_t keyLength = m_descNameKey.size();
    const std::size_t categoryLength = m_category.size();
    bool colonSeen[2] = {false, false};
    std::size_t descEnd[2] = {npos, npos};
    std::size_t runFrom = npos;
    std::size_t runStop = npos;
    for (std::size_t at = field.name.find(m_scan, 0); at != npos; at = field.name.find(m_scan, at + 1)) {
        std::size_t next = at + field.name.size();
        int pass = 0;
        if (size - next > categoryLength
            && std::equal(m_category.begin(), m_category.end(), m_record.begin() + next)) {
            pass = 1;
            next += categoryLength;
        }
        if (next >= size)
            continue;
        if (m_record[next] == ':') {
            colonSeen[pass] = true;
            if (pass == 1 && runFrom != npos)
                continue;
            const std::size_t from = next + 1;
            const std::size_t stop = runEnd(m_record, from);
            if (stop == from)
                continue;
            // The pattern finds this same run when the record reads the same to it up to the
            // run's end: what follows cannot change its first match. Otherwise it decides.
            if (!plainBefore(stop))
                return readByPasses(field, value);
            if (pass == 0) {
                value = m_record.substr(from, stop - from);
                return Form::Colon;
            }
            runFrom = from;
            runStop = stop;
        } else if (m_record[next] == '"' && at >= keyLength && keyAt(m_descNameKeyAt, at - keyLength)) {
            descEnd[pass] = at - keyLength;
        }
    }
    // A "name:" with nothing after it: the pattern may read a record that is not plain
    // two-byte text otherwise.
    if (colonSeen[0] && !plainBefore(size))
        return readByPasses(field, value);
    if (descEnd[0] != npos && descValue(descEnd[0], value))
        return Form::Desc;
    if (runFrom != npos) {
        value = m_record.substr(runFrom, runStop - runFrom);
        return Form::Colon;
    }
    if (colonSeen[1] && !plainBefore(size))
        return readByPasses(field, value);
    return descEnd[1] != npos && descValue(descEnd[1], value) ? Form::Desc : Form::None;
}

bool AttributeReader::keyAt(const AsciiKey& key, std::size_t at)
{
    return key.matchesAt(m_record.data() + at) && m_scan.isBoundary(at);
}

AttributeReader::Form AttributeReader::readByPasses(const Field& field, std::string_view& value)
{
    for (int pass = 0; pass < 2; ++pass) {
        if (colonForm(field, pass, value))
            return Form::Colon;
        if (descForm(field, pass, value))
            return Form::Desc;
    }
    return Form::None;
}

bool AttributeReader::patternForm(const Field& field, int pass, std::string_view& value)
{
    const Field::Pass& p = field.passes[pass];
    if (!p.pattern) {
        p.pattern = std::make_unique<regex::RegexObject>();
        p.pattern->compile(regex::RegexObject::escapeAll(p.name) + ":([^:,;&{}\"]+)");
    }
    if (!m_recordCopied) {
        m_recordCopy.assign(m_record);
        m_recordCopied = true;
    }
    if (p.pattern->execute(m_recordCopy) > 0) {
        m_value = p.pattern->submatchText(1, 1);
        value = m_value;
        return true;
    }
    return false;
}

bool AttributeReader::colonForm(const Field& field, int pass, std::string_view& value)
{
    const Field::Pass& p = field.passes[pass];
    std::size_t at = p.colon.find(m_scan, 0);
    if (at == npos)
        return false; // the pattern needs "name:" somewhere
    if (p.plain && plainBefore(m_record.size())) {
        while (at != npos) {
            const std::size_t from = at + p.colon.size();
            const std::size_t end = runEnd(m_record, from);
            if (end > from) {
                value = m_record.substr(from, end - from);
                return true;
            }
            at = p.colon.find(m_scan, at + 1);
        }
        return false;
    }
    // The name has letters the pattern engine folds its own way, or the record holds bytes it
    // reads differently: the pattern decides.
    return patternForm(field, pass, value);
}

bool AttributeReader::descForm(const Field& field, int pass, std::string_view& value)
{
    if (m_hasDesc < 0) {
        m_firstDesc = m_descStart.find(m_scan, 0);
        m_hasDesc = m_firstDesc != npos ? 1 : 0;
    }
    if (m_hasDesc == 0)
        return false;
    // An end marker with no start marker wholly before it gives nothing, so the end marker is
    // looked for after the first start marker only.
    return descValue(field.passes[pass].descEnd.findLast(m_scan, npos, m_firstDesc + m_descStart.size()), value);
}

bool AttributeReader::descValue(std::size_t end, std::string_view& value)
{
    // The text between the end marker at `end` (the last one) and the nearest start marker
    // wholly before it (textBetweenEx backward), without ";".
    if (end == npos)
        return false;
    // The start marker begins with '{', which matches only itself: the last one wholly before
    // `end` is at the last '{' from there back that the rest of the marker follows.
    const std::size_t length = m_descStart.size();
    if (end < length)
        return false;
    std::size_t start = npos;
    std::size_t limit = end - length + 1;
    // The value is short as a rule: the nearest bytes one by one, then the byte search.
    for (const std::size_t near = limit > 32 ? limit - 32 : 0; limit > near; --limit) {
        if (m_record[limit - 1] == '{' && keyAt(m_descStartAt, limit - 1)) {
            start = limit - 1;
            break;
        }
    }
    while (start == npos && limit > 0) {
        const char* brace = text::lastByte(m_record.data(), '{', limit);
        if (brace == nullptr)
            break;
        const std::size_t at = static_cast<std::size_t>(brace - m_record.data());
        if (keyAt(m_descStartAt, at))
            start = at;
        limit = at;
    }
    if (start == npos)
        return false;
    const std::size_t valueAt = start + m_descStart.size();
    if (end <= valueAt)
        return false;
    value = m_record.substr(valueAt, end - valueAt);
    if (value.find(';') != std::string_view::npos) {
        m_value = compose::replaceAll(GbkText(value), ";", "", false);
        value = m_value;
    }
    return !value.empty();
}

GbkText AttributeReader::value(const Field& field, bool emptyAsNone)
{
    std::string_view value;
    const Form form = field.byName ? readByName(field, value) : readByPasses(field, value);
    if (form == Form::None)
        value = {};
    // The run after "name:" stops at '&' and '"'; the text of a desc/name object may hold them.
    if (form == Form::Desc) {
        const bool entity = value.find('&') != std::string_view::npos;
        if (entity || value.find('"') != std::string_view::npos) {
            GbkText decoded(value);
            if (entity)
                decoded = compose::decodeEntities(decoded);
            if (decoded.find('"') != GbkText::npos)
                decoded = compose::replaceAll(decoded, "\"", "", false);
            m_value = std::move(decoded);
            value = m_value;
        }
    }
    value = trimBlanks(value);
    if (value.empty())
        return emptyAsNone ? m_none : GbkText(" ");
    return GbkText(value);
}

} // namespace quillet::harvest
