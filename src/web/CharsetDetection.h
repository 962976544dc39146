#pragma once

#include "text/GbkText.h"

#include <string>
#include <string_view>

namespace quillet::web {

// Character-set detection and conversion of fetched page bodies.

// What metaCharset found: code 1 UTF-8, 2 Big5, 3 Big5-HKSCS (found false: nothing declared).
struct MetaCharset {
    bool found = false;
    int code = 0;
};

// The character set the page's meta elements declare (only UTF-8, Big5 and Big5-HKSCS are
// recognised). The first meta element of the head that names one of them decides.
[[nodiscard]] MetaCharset metaCharset(const GbkText& page);

// True when the text contains (ASCII letter case ignored) any item of the list, whose items
// are separated by "[fg]" and write a double quote as two apostrophes. Empty items never match.
[[nodiscard]] bool containsAnyOf(const GbkText& text, const GbkText& list);

// The charset token of a declaration such as `text/html; charset="GBK"` ("" when none).
[[nodiscard]] std::string declaredCharset(std::string_view text);
// True for the names of GBK and its relatives: GBK, GB2312, GB18030, CP936 and the like.
[[nodiscard]] bool isGbkFamily(std::string_view charsetName);
// True when a meta element of the page declares a charset of the GBK family.
[[nodiscard]] bool metaDeclaresGbk(const GbkText& page);

// Converts a body to GBK text. `requested` is a charset code (0 detects from byte-order marks
// and meta elements; 1 GBK, 2 UTF-8, 3 UTF-16LE, 4 UTF-16BE, 5 Big5, 6 Big5-HKSCS);
// `detected` receives the code that was used. A body without a usable declaration is tried as
// UTF-8 first, unless `gbkDeclared` is set or the page declares a GBK charset itself (short
// GBK texts are often valid UTF-8 too). A body nothing can convert comes back unchanged.
[[nodiscard]] GbkText decodeToGbk(const std::string& body, int requested, int& detected, bool gbkDeclared = false);
// The same, handing the body itself back when it is kept as it is (the common GBK page).
[[nodiscard]] GbkText decodeToGbk(std::string&& body, int requested, int& detected, bool gbkDeclared = false);

} // namespace quillet::web
