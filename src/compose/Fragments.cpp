#include "compose/Fragments.h"

#include "compose/DelimiterSet.h"
#include "compose/RandomBag.h"
#include "compose/TextSearch.h"
#include "text/EventPump.h"

#include <memory>
#include <string_view>
#include <vector>

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

} // namespace

const GbkText& defaultDelimiterSet()
{
    static const GbkText set = ",\xA3\xAC\xA1\xA3\xA3\xA1!\xA3\xBF?;\xA3\xBB<>/:\xA3\xBA()='. {}\xA1\xB6\xA1\xB7"
                               "\xA3\xA8\xA3\xA9\xA1\xA2\xA1\xAE\xA1\xAF\"\xA1\xB0\xA1\xB1\r\n";
    return set;
}

GbkText shuffleFragments(const GbkText& text, const GbkText& delimiterSet)
{
    const std::shared_ptr<const DelimiterSet> set = preparedDelimiters(delimiterSet);
    const std::vector<GbkText> fragments = set->fragments(text);
    const auto n = static_cast<long long>(fragments.size());
    if (n == 0)
        return text;
    const std::vector<GbkText> delimiters = set->delimitersIn(text);
    const auto m = static_cast<long long>(delimiters.size());
    const long long s = set->charCount();

    RandomBag order;
    RandomBag separators;
    GbkText result;
    for (long long k = 0; k < n; ++k) {
        const GbkText& fragment = fragments[static_cast<std::size_t>(order.draw(1, n) - 1)];
        if (!isBlankFragment(fragment)) {
            if (!result.empty()) {
                if (m == 0)
                    result += charMid(set->text(), separators.draw(1, s), 1);
                else
                    result += delimiters[static_cast<std::size_t>(separators.draw(1, m) - 1)];
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
    const std::vector<GbkText> fragments = preparedDelimiters(delimiterSet)->fragments(text);
    const auto n = static_cast<long long>(fragments.size());
    if (n == 0)
        return GbkText();
    RandomBag order;
    for (long long k = 0; k < n; ++k) {
        text::processEvents();
        const GbkText& fragment = fragments[static_cast<std::size_t>(order.draw(1, n) - 1)];
        if (fragment.empty())
            continue;
        if ((minChars < 1 || charCount(fragment, 1) >= minChars)
            && (keyword.empty() || findText(fragment, keyword, 1, false) > 0))
            return fragment;
    }
    if (emptyIfNone)
        return GbkText();
    return fragments[static_cast<std::size_t>(RandomBag::uniform(1, n) - 1)];
}

} // namespace quillet::compose
