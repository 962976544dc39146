#include "compose/Replacements.h"

#include "compose/TextSearch.h"
#include "regex/RegexObject.h"
#include "text/Searcher.h"

#include <cstring>
#include <string_view>

namespace quillet::compose {

namespace {

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

} // namespace

GbkText replaceAll(const GbkText& text, const GbkText& what, const GbkText& with, bool ignoreCase)
{
    return replaceAllImpl(text, what, with, ignoreCase);
}

bool replaceAllInPlace(GbkText& text, const Searcher& what, std::string_view with)
{
    if (with.size() <= what.size())
        return replaceInPlace(text, what, with);
    GbkText out;
    if (!replaceInto(text, what, with, out))
        return false;
    text.swap(out);
    return true;
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
