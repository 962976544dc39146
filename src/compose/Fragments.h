#pragma once

#include "text/GbkText.h"

namespace quillet::compose {

// Cutting a text at punctuation and recombining the pieces.

// The default fragment delimiter set (34 characters).
[[nodiscard]] const GbkText& defaultDelimiterSet();
// The fragments in random order, joined by delimiters found in the text (or characters of the
// set when the text has none); blank fragments become occasional line breaks.
[[nodiscard]] GbkText shuffleFragments(const GbkText& text, const GbkText& delimiterSet);
// One fragment with at least minChars characters that holds the keyword, or a random one (or
// empty with emptyIfNone) when none does.
[[nodiscard]] GbkText pickFragment(const GbkText& text, const GbkText& delimiterSet, long long minChars = 0,
                                   const GbkText& keyword = GbkText(), bool emptyIfNone = false);

} // namespace quillet::compose
