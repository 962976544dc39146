#include "IniText.h"

#include "text/GbkChars.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace quillet::settings::ini {

namespace {

constexpr std::string_view kCrLf = "\r\n";

bool atLineStart(std::string_view text, std::size_t pos)
{
    return pos == 0 || (pos >= 2 && text[pos - 2] == '\r' && text[pos - 1] == '\n');
}

const GbkText& lineBreakMark()
{
    return gbk("┊*┊");
}

} // namespace

std::size_t findSection(std::string_view text, std::string_view section)
{
    std::string header;
    header.reserve(section.size() + 2);
    header += '[';
    header += section;
    header += ']';
    std::size_t pos = 0;
    while ((pos = text.find(header, pos)) != npos) {
        if (atLineStart(text, pos))
            return pos;
        ++pos;
    }
    return npos;
}

ValueRange findKey(std::string_view text, std::size_t headerPos, std::string_view key)
{
    std::string needle;
    needle.reserve(key.size() + 3);
    needle += kCrLf;
    needle += key;
    needle += '=';
    const std::size_t hit = text.find(needle, headerPos);
    if (hit == npos)
        return {};
    // A header line (a line beginning with "[") between the section's header and the hit
    // means the hit belongs to a later section.
    const std::size_t nextHeader = text.find("\r\n[", headerPos);
    if (nextHeader != npos && nextHeader < hit)
        return {};
    ValueRange range;
    range.valueBegin = hit + needle.size();
    range.valueEnd = text.find(kCrLf, range.valueBegin);
    if (range.valueEnd == npos)
        range.valueEnd = text.size();
    return range;
}

std::size_t endOfLine(std::string_view text, std::size_t pos)
{
    const std::size_t end = text.find(kCrLf, pos);
    return end == npos ? text.size() : end;
}

GbkText normaliseLineEnds(GbkText text)
{
    if (text.find('\n') == npos || text.find(kCrLf) != npos)
        return text;
    GbkText out;
    out.reserve(text.size() + text.size() / 16);
    for (char c : text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

GbkText encodeText(std::string_view value)
{
    // Every CR LF goes, whatever precedes it: a stored line break would split the entry.
    GbkText out;
    out.reserve(value.size());
    std::size_t pos = 0;
    for (;;) {
        const std::size_t hit = value.find(kCrLf, pos);
        if (hit == npos) {
            out.append(value.substr(pos));
            return out;
        }
        out.append(value.substr(pos, hit - pos));
        out += lineBreakMark();
        pos = hit + 2;
    }
}

GbkText decodeText(std::string_view stored)
{
    // The mark is recognised wherever encodeText can have put it: byte by byte, as the line
    // break was replaced. (Read by characters, a mark behind a lone lead byte, as in a value
    // "\xFF" CR LF, would be missed and come back as "┊*┊".) In valid GBK the mark's bytes
    // can only stand where a character begins, so both readings agree on such text.
    const GbkText& mark = lineBreakMark();
    GbkText out;
    out.reserve(stored.size());
    std::size_t pos = 0;
    for (;;) {
        const std::size_t hit = stored.find(mark, pos);
        if (hit == npos) {
            out.append(stored.substr(pos));
            return out;
        }
        out.append(stored.substr(pos, hit - pos));
        out += kCrLf;
        pos = hit + mark.size();
    }
}

GbkText formatNumber(double value)
{
    if (!std::isfinite(value))
        return "0";
    if (value == std::trunc(value) && std::fabs(value) < 9.0e18) {
        const long long whole = static_cast<long long>(value);
        return std::to_string(whole);
    }
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return GbkText(buffer, result.ptr);
}

double parseNumber(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    double value = 0;
    const auto result = std::from_chars(text.data() + i, text.data() + text.size(), value, std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range) {
        // Too large a number reads as the largest one, too small a number as 0.
        const std::string_view number(text.data() + i, static_cast<std::size_t>(result.ptr - (text.data() + i)));
        const std::size_t e = number.find_first_of("eE");
        bool large = false;
        if (e != npos) {
            large = !(e + 1 < number.size() && number[e + 1] == '-');
        } else {
            const std::string_view whole = number.substr(0, number.find('.'));
            large = whole.find_first_of("123456789") != npos;
        }
        value = large ? std::numeric_limits<double>::max() : 0.0;
    } else if (result.ec != std::errc()) {
        return 0.0;
    }
    if (std::isnan(value))
        return 0.0;
    if (std::isinf(value))
        value = std::numeric_limits<double>::max();
    return negative ? -value : value;
}

int toInt(double value)
{
    if (std::isnan(value))
        return 0;
    if (value >= static_cast<double>(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (value <= static_cast<double>(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return static_cast<int>(value);
}

GbkText joinIndices(const std::vector<int>& indices)
{
    GbkText out;
    for (std::size_t i = 0; i < indices.size(); ++i) {
        if (i)
            out += ',';
        out += std::to_string(indices[i]);
    }
    return out;
}

std::vector<int> splitIndices(std::string_view text)
{
    std::vector<int> out;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        std::size_t comma = text.find(',', pos);
        if (comma == npos)
            comma = text.size();
        std::string_view piece = text.substr(pos, comma - pos);
        while (!piece.empty() && piece.front() == ' ')
            piece.remove_prefix(1);
        int value = 0;
        const auto result = std::from_chars(piece.data(), piece.data() + piece.size(), value);
        if (result.ec == std::errc() && result.ptr != piece.data())
            out.push_back(value);
        pos = comma + 1;
    }
    return out;
}

std::string encodeItems(const std::vector<GbkText>& items)
{
    std::string out;
    for (const auto& item : items) {
        out += std::to_string(item.size());
        out += ':';
        out += item;
    }
    return out;
}

std::vector<GbkText> decodeItems(std::string_view bytes)
{
    std::vector<GbkText> items;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const std::size_t colon = bytes.find(':', pos);
        if (colon == npos || colon == pos)
            break;
        std::size_t length = 0;
        const auto result = std::from_chars(bytes.data() + pos, bytes.data() + colon, length);
        if (result.ec != std::errc() || result.ptr != bytes.data() + colon)
            break;
        if (length > bytes.size() - colon - 1)
            break;
        items.emplace_back(bytes.substr(colon + 1, length));
        pos = colon + 1 + length;
    }
    return items;
}

GbkText byteFileName(std::string_view section, std::string_view key)
{
    GbkText raw;
    raw.reserve(section.size() + key.size() + 5);
    raw += section;
    raw += '-';
    raw += key;
    GbkText out;
    out.reserve(raw.size() + 4);
    std::size_t i = 0;
    while (i < raw.size()) {
        const char c = raw[i];
        if (text::charLength(raw, i) == 2) {
            out.append(raw, i, 2);
            i += 2;
            continue;
        }
        const bool bad = c == '/' || c == '\\' || c == ':' || c == '*' || c == '?' || c == '"' || c == '<' || c == '>'
            || c == '|' || static_cast<unsigned char>(c) < 0x20;
        out += bad ? '_' : c;
        ++i;
    }
    out += ".ibn";
    return out;
}

GbkText baseName(std::string_view path)
{
    // Last separator at a character boundary.
    std::size_t start = 0;
    std::size_t i = 0;
    while (i < path.size()) {
        const char c = path[i];
        if (text::charLength(path, i) == 2) {
            i += 2;
            continue;
        }
        if (c == '\\' || c == '/')
            start = i + 1;
        ++i;
    }
    std::string_view name = path.substr(start);
    const std::size_t dot = name.rfind('.');
    if (dot != npos && dot > 0)
        name = name.substr(0, dot);
    return GbkText(name);
}

} // namespace quillet::settings::ini
