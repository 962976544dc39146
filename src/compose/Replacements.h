#pragma once

#include "text/GbkText.h"

#include <string_view>

namespace quillet::text {
class Searcher;
}

namespace quillet::regex {
class RegexObject;
}

namespace quillet::compose {

// Replacements at character boundaries, ignoring the case of ASCII letters where asked.

// Every occurrence replaced, left to right, no re-scan of inserted text.
[[nodiscard]] GbkText replaceAll(const GbkText& text, const GbkText& what, const GbkText& with, bool ignoreCase = true);
// The same on the text itself, with a prepared search text; a replacement no longer than the
// search text is made in the text's own storage. Whether anything was replaced.
bool replaceAllInPlace(GbkText& text, const text::Searcher& what, std::string_view with);

// The lists are cut at the separator; each match item in turn is replaced by the replacement
// item at the same place (ignoring case), a match item without one is deleted, an empty match
// item changes nothing, and later pairs see the output of earlier ones.
[[nodiscard]] GbkText replaceLists(const GbkText& text, const GbkText& matches, const GbkText& replacements,
                                   const GbkText& separator = "|");

// The user's replace rule of the main window. prepareUserReplacements compiles
// `patternRegex` from the match list once per product (when the filter is on);
// applyUserReplacements then rewrites one review text.
void prepareUserReplacements(regex::RegexObject& patternRegex, bool filterOn, const GbkText& matchList);
[[nodiscard]] GbkText applyUserReplacements(const GbkText& review, bool filterOn, bool regexMode,
                                            const GbkText& matchList, const GbkText& replaceList,
                                            const regex::RegexObject& patternRegex);

} // namespace quillet::compose
