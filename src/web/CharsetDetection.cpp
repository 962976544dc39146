#include "web/CharsetDetection.h"

#include "compose/TextOps.h"
#include "text/Charset.h"
#include "text/Searcher.h"
#include "text/TextScan.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace quillet::web {

namespace {

// The stored alternative lists of the meta declarations.
const char* const kUtf8List = "charset=UTF-8[fg]charset=''UTF-8''[fg]charset='UTF-8'";
const char* const kBig5List = "charset=Big5[fg]charset=''Big5''[fg]charset='Big5'";
const char* const kBig5HkscsList = "charset=Big5-HKSCS[fg]charset=''Big5-HKSCS''[fg]charset='Big5-HKSCS'";

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool startsWithBytes(const std::string& s, const char* prefix, size_t length)
{
    return s.size() >= length && std::memcmp(s.data(), prefix, length) == 0;
}

// Whether `lowerWord` (lower-case ASCII) stands at byte `at` of the text in any letter case;
// the text holds at least that many bytes from `at`.
bool hasWordAt(std::string_view text, std::size_t at, std::string_view lowerWord)
{
    for (std::size_t k = 0; k < lowerWord.size(); ++k)
        if (lowerAscii(text[at + k]) != lowerWord[k])
            return false;
    return true;
}

// Where the tag `lowerTag` ("<...>", lower-case ASCII) first starts at or after `from`, in any
// letter case and at a character boundary: what an ignore-case Searcher finds for it. A tag is
// ASCII from its '<' on, so its candidates are just the '<' bytes (looked for in one pass,
// where a search by a letter in both cases would pass over the whole page twice).
std::size_t findTag(text::TextScan& scan, std::string_view lowerTag, std::size_t from)
{
    const std::string_view text = scan.text();
    for (std::size_t at = text.find('<', from); at != std::string_view::npos; at = text.find('<', at + 1)) {
        if (text.size() - at < lowerTag.size())
            return std::string_view::npos;
        if (hasWordAt(text, at, lowerTag) && scan.isBoundary(at))
            return at;
    }
    return std::string_view::npos;
}

// The head of the page (or the whole page when it has none), as the meta scans read it: the
// text between "<head>" and "</head>" (textBetweenEx).
std::string_view pageHead(std::string_view page)
{
    static constexpr std::string_view start = "<head>";
    static constexpr std::string_view end = "</head>";
    text::TextScan scan(page);
    const std::size_t s = findTag(scan, start, 0);
    if (s == std::string_view::npos)
        return page;
    const std::size_t valueAt = s + start.size();
    const std::size_t e = findTag(scan, end, valueAt);
    if (e == std::string_view::npos || e == valueAt)
        return page;
    return page.substr(valueAt, e - valueAt);
}

// Calls `visit` with each meta element of the head, in document order, until it returns true:
// the texts between "<meta" and ">" one after the other (textBetweenRetry); an empty one ends
// the walk.
template <typename Visit>
bool forEachMeta(std::string_view page, Visit visit)
{
    static const text::Searcher start("<meta");
    static const text::Searcher end(">");
    const std::string_view head = pageHead(page);
    text::TextScan scan(head);
    std::size_t from = 0;
    for (;;) {
        const std::size_t s = start.find(scan, from);
        if (s == text::Searcher::npos)
            return false;
        const std::size_t valueAt = s + start.size();
        const std::size_t e = end.find(scan, valueAt);
        if (e == text::Searcher::npos || e == valueAt)
            return false;
        from = e + end.size();
        if (visit(head.substr(valueAt, e - valueAt)))
            return true;
    }
}

// The second decoder, tried when the strict conversion of a declared charset fails: lenient
// decoders that replace what they cannot read.
GbkText lenientDecode(std::string_view rest, int code)
{
    switch (code) {
    case 2:
        return text::utf8ToGbk(rest);
    case 3:
    case 4: {
        std::u16string units(rest.size() / 2, u'\0');
        for (size_t i = 0; i < units.size(); ++i) {
            const auto first = static_cast<unsigned char>(rest[2 * i]);
            const auto second = static_cast<unsigned char>(rest[2 * i + 1]);
            units[i] = code == 3 ? static_cast<char16_t>(first | (second << 8))
                                 : static_cast<char16_t>((first << 8) | second);
        }
        return text::utf16ToGbk(units);
    }
    case 5:
        return text::convertToGb18030Lenient(rest, "CP950");
    case 6:
        // In its own charset, so that the Hong Kong characters among the good bytes survive.
        return text::convertToGb18030Lenient(rest, "BIG5-HKSCS");
    default:
        return {};
    }
}

const char* sourceName(int code)
{
    switch (code) {
    case 2:
        return "UTF-8";
    case 3:
        return "UTF-16LE";
    case 4:
        return "UTF-16BE";
    case 5:
        return "BIG5";
    case 6:
        return "BIG5-HKSCS";
    default:
        return "UTF-8";
    }
}

// Whether "<meta" (any letter case) occurs anywhere: without it no meta element can declare
// anything, and the page need not be scanned for one.
bool mayHoldMeta(std::string_view page)
{
    for (std::size_t at = page.find('<'); at != std::string_view::npos && page.size() - at >= 5;
         at = page.find('<', at + 1)) {
        if (hasWordAt(page, at, "<meta"))
            return true;
    }
    return false;
}

} // namespace

bool containsAnyOf(const GbkText& text, const GbkText& list)
{
    if (list.empty())
        return false;
    for (const GbkText& item : compose::splitText(compose::unquoteMarker(list), "[fg]")) {
        if (!item.empty() && compose::findText(text, item, 1, true) > 0)
            return true;
    }
    return false;
}

namespace {
// An alternative list of containsAnyOf, cut and prepared for searching once.
class PreparedList {
public:
    explicit PreparedList(const char* list)
    {
        for (const GbkText& item : compose::splitText(compose::unquoteMarker(list), "[fg]"))
            if (!item.empty())
                m_items.emplace_back(item, true);
    }
    [[nodiscard]] bool foundIn(std::string_view text) const
    {
        for (const text::Searcher& item : m_items)
            if (item.find(text) != text::Searcher::npos)
                return true;
        return false;
    }

private:
    std::vector<text::Searcher> m_items;
};
} // namespace

MetaCharset metaCharset(const GbkText& page)
{
    MetaCharset result;
    if (!mayHoldMeta(page))
        return result;
    static const PreparedList utf8(kUtf8List);
    static const PreparedList big5Hkscs(kBig5HkscsList);
    static const PreparedList big5(kBig5List);
    forEachMeta(page, [&result](std::string_view element) {
        if (utf8.foundIn(element))
            result = {true, 1};
        else if (big5Hkscs.foundIn(element))
            result = {true, 3};
        else if (big5.foundIn(element))
            result = {true, 2};
        return result.found;
    });
    return result;
}

namespace {
// Where "charset" (any letter case) occurs in the text from `from` on (npos: nowhere).
size_t findCharsetWord(std::string_view text, size_t from)
{
    static constexpr std::string_view word = "charset";
    for (size_t i = from; i + word.size() <= text.size(); ++i)
        if (hasWordAt(text, i, word))
            return i;
    return std::string_view::npos;
}
} // namespace

std::string declaredCharset(std::string_view text)
{
    auto at = [&text](size_t i) { return lowerAscii(text[i]); };
    size_t found = findCharsetWord(text, 0);
    while (found != std::string_view::npos) {
        size_t i = found + 7;
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
            ++i;
        if (i < text.size() && text[i] == '=') {
            ++i;
            while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '"' || text[i] == '\''))
                ++i;
            size_t end = i;
            while (end < text.size()
                   && ((at(end) >= 'a' && at(end) <= 'z') || (text[end] >= '0' && text[end] <= '9')
                       || text[end] == '-' || text[end] == '_' || text[end] == '.' || text[end] == ':'))
                ++end;
            if (end > i) {
                std::string name(text.substr(i, end - i));
                std::transform(name.begin(), name.end(), name.begin(), lowerAscii);
                return name;
            }
        }
        found = findCharsetWord(text, found + 7);
    }
    return {};
}

bool isGbkFamily(std::string_view charsetName)
{
    static constexpr std::string_view names[] = {"gbk",    "gb2312",   "gb18030",  "x-gbk",
                                                  "cp936",  "ms936",    "windows-936", "euc-cn",
                                                  "x-euc-cn", "csgb2312", "gb_2312-80", "chinese"};
    for (const std::string_view name : names)
        if (name.size() == charsetName.size() && hasWordAt(charsetName, 0, name))
            return true;
    return false;
}

bool metaDeclaresGbk(const GbkText& page)
{
    if (!mayHoldMeta(page))
        return false;
    return forEachMeta(page, [](std::string_view element) { return isGbkFamily(declaredCharset(element)); });
}

namespace {
// The body converted to GBK; `keep` set (and nothing returned) when the body is to be kept as it is.
GbkText convertedBody(const std::string& body, int requested, int& detected, bool gbkDeclared, bool& keep)
{
    keep = false;
    detected = requested;
    if (body.empty())
        return {};

    size_t start = 0;
    if (requested != 0) {
        if (requested == 3 || requested == 4)
            start = std::min<size_t>(2, body.size());
        else if (requested == 2 && startsWithBytes(body, "\xEF\xBB\xBF", 3))
            start = 3;
    } else if (startsWithBytes(body, "\xEF\xBB\xBF", 3)) {
        detected = 2;
        start = 3;
    } else if (startsWithBytes(body, "\xFF\xFE", 2)) {
        detected = 3;
        start = 2;
    } else if (startsWithBytes(body, "\xFE\xFF", 2)) {
        detected = 4;
        start = 2;
    } else {
        const MetaCharset meta = metaCharset(body);
        if (meta.found)
            detected = meta.code == 1 ? 2 : meta.code == 2 ? 5 : 6;
        else
            detected = 1;
    }

    const std::string_view rest = std::string_view(body).substr(start);
    GbkText text;
    if (detected >= 2 && detected <= 6) {
        text = text::convertToGb18030(rest, sourceName(detected));
        if (text.empty())
            text = lenientDecode(rest, detected);
    } else if (!gbkDeclared && !metaDeclaresGbk(body)) {
        // No declared charset: UTF-8 is tried first, and a conversion that shrank the text
        // shows the body really was UTF-8.
        text = text::convertToGb18030(rest, "UTF-8");
        if (!text.empty() && text.size() < rest.size())
            detected = 2;
    }

    if (text.empty()) {
        detected = 1;
        keep = true;
    }
    return text;
}
} // namespace

GbkText decodeToGbk(const std::string& body, int requested, int& detected, bool gbkDeclared)
{
    bool keep = false;
    GbkText text = convertedBody(body, requested, detected, gbkDeclared, keep);
    return keep ? body : text;
}

GbkText decodeToGbk(std::string&& body, int requested, int& detected, bool gbkDeclared)
{
    bool keep = false;
    GbkText text = convertedBody(body, requested, detected, gbkDeclared, keep);
    return keep ? std::move(body) : text;
}

} // namespace quillet::web
