#pragma once

#include <string>
#include <string_view>

namespace quillet::text {

// The program's own text type: a byte string in GBK (code page 936). Positions used by the
// text operations are byte positions counted from 1; a byte of 0x80 or above starts a
// two-byte character.
using GbkText = std::string;

// The GBK form of a text constant written in UTF-8 source code. Converted once and cached,
// so captions, messages and markers can be written as readable literals:
//     gbk("采集完成！")
// The returned reference stays valid for the life of the process.
[[nodiscard]] const GbkText& gbk(std::string_view utf8);

// True when the byte starts a two-byte GBK character.
[[nodiscard]] constexpr bool isLeadByte(unsigned char byte) { return byte >= 0x80; }

} // namespace quillet::text

namespace quillet {
using text::GbkText;
using text::gbk;
} // namespace quillet
