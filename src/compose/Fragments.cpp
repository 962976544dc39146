#include "compose/Fragments.h"

#include "compose/RandomBag.h"
#include "compose/Replacements.h"
#include "compose/Tags.h"
#include "compose/TextSearch.h"
#include "regex/RegexObject.h"
#include "text/EventPump.h"

#include <string_view>

namespace quillet::compose {

namespace {

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

} // namespace quillet::compose
