#pragma once

#include <string>
#include <string_view>

namespace quillet::regex::detail {

// Rewrites a pattern written in the ECMAScript dialect (UTF-8) into one PCRE2 compiles with
// the same meaning, for the places where the two differ:
//  - \s and \S also cover the Unicode spaces (no-break space, ideographic space U+3000, ...),
//    while \d and \w stay ASCII;
//  - \v is the vertical tab, not PCRE2's class of vertical spaces;
//  - an escaped letter without a meaning of its own is that letter (so PCRE2's own escapes
//    such as \Q, \A, \K, \p or \h are plain letters here, as in ECMAScript);
//  - a "[" inside a character class is a plain bracket (PCRE2 would start a POSIX class).
// \xhh and \uhhhh are left to PCRE2's ALT_BSUX option; "[]" and "[^]" to ALLOW_EMPTY_CLASS.
[[nodiscard]] std::string toPcrePattern(std::string_view pattern);

} // namespace quillet::regex::detail
