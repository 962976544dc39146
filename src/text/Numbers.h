#pragma once

#include "GbkText.h"

namespace quillet::text {

// Numbers typed into edit boxes are read the way the program always read them: leading
// blanks are skipped, an optional sign and the leading digits count, anything unreadable is 0.
// "12abc" is 12, "" and "abc" are 0, "3.7" is 3 as an integer.
[[nodiscard]] long long textToInteger(const GbkText& text);
// The same with an optional fraction and exponent: "0.01" is 0.01, "1.5s" is 1.5.
[[nodiscard]] double textToNumber(const GbkText& text);

} // namespace quillet::text
