#include "compose/TextSearch.h"

#include "compose/Replacements.h"
#include "text/Searcher.h"

#include <algorithm>
#include <string_view>

namespace quillet::compose {

namespace {

using text::Searcher;
using text::TextScan;

constexpr std::size_t npos = std::string_view::npos;

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

GbkText unquoteMarker(const GbkText& text)
{
    return replaceAll(text, "''", "\"", false);
}

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
    const GbkText startText = replaceAll(startMarker, quoteWord, "\"", false);
    const GbkText endText = replaceAll(endMarker, quoteWord, "\"", false);
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

} // namespace quillet::compose
