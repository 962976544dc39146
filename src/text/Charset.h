#pragma once

#include "GbkText.h"

#include <string>
#include <string_view>

namespace quillet::text {

// Conversions between the program's GBK text and the encodings of the outside world.
//
// GBK text is decoded as GB18030 (a superset of GBK), so the four-byte sequences that
// conversions from Unicode produce for characters outside GBK survive a round trip.
// Bytes that are not valid GB18030 (a lone lead byte at the end, 0x80, 0xFF, ...) are carried
// through UTF-8 and UTF-16 as private code points U+10FF00 + byte when `Invalid::Escape` is
// asked for, and turned back into the very same byte by the conversions to GBK. So
// gbk -> utf8 -> gbk is lossless for every byte string, which the regular-expression layer
// relies on.
enum class Invalid {
    Replace, // an undecodable byte becomes U+FFFD (for the terminal and the user's eyes)
    Escape   // an undecodable byte becomes U+10FF00 + byte (lossless round trip)
};

[[nodiscard]] std::string gbkToUtf8(std::string_view gbk, Invalid invalid = Invalid::Replace);
[[nodiscard]] GbkText utf8ToGbk(std::string_view utf8);
[[nodiscard]] std::u16string gbkToUtf16(std::string_view gbk, Invalid invalid = Invalid::Replace);
[[nodiscard]] GbkText utf16ToGbk(std::u16string_view utf16);

// Converts bytes in the named character set (an iconv name such as "UTF-8", "UTF-16LE",
// "UTF-16BE", "BIG5", "BIG5-HKSCS", "GBK") to GB18030. A failed or incomplete conversion
// (unknown charset, an invalid or truncated sequence) yields the empty text.
[[nodiscard]] GbkText convertToGb18030(std::string_view bytes, std::string_view charsetName);

// The same conversion made lenient: each byte that cannot be decoded becomes "?", as the
// code-page conversions of Windows replace what they cannot read. Empty only for an empty input
// or an unknown charset.
[[nodiscard]] GbkText convertToGb18030Lenient(std::string_view bytes, std::string_view charsetName);

// The same for a Windows code page number: 65001 (UTF-8), 936 (GBK), 950 (Big5).
// Any other code page yields the empty text.
[[nodiscard]] GbkText codePageToGb18030(std::string_view bytes, int codePage);

// The GBK text of one UTF-16 code unit (the low 16 bits of n). 0 yields the empty text; a
// unit without a GBK form (a lone surrogate, a character outside GBK) yields "?".
[[nodiscard]] GbkText codePointToGbk(long long n);

// The code point that stands for an undecodable byte under Invalid::Escape.
constexpr char32_t kEscapeBase = 0x10FF00;

} // namespace quillet::text
