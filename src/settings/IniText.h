#pragma once

#include "text/GbkText.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The byte-level rules of the settings file: how sections and keys are found in the whole
// text, and how values are encoded. Pure functions over the buffer.
namespace quillet::settings::ini {

constexpr std::size_t npos = std::string::npos;

// Position of the "[" of the first header line "[name]" (at the start of the text or right
// after CR LF), or npos.
[[nodiscard]] std::size_t findSection(std::string_view text, std::string_view section);

// Where a key's value lies: from valueBegin up to valueEnd (the next CR LF or the end).
struct ValueRange {
    std::size_t valueBegin = npos;
    std::size_t valueEnd = npos;
    [[nodiscard]] bool found() const { return valueBegin != npos; }
};

// The key's line in the section whose header starts at headerPos. A line "key=" that lies
// after the next header line belongs to a later section and is not found.
[[nodiscard]] ValueRange findKey(std::string_view text, std::size_t headerPos, std::string_view key);

// Where a new key line of the section goes: the end of its header line (before its CR LF).
[[nodiscard]] std::size_t endOfLine(std::string_view text, std::size_t pos);

// The text of a settings file with its lines ended by CR LF. A file without a single CR LF
// whose lines end in LF (written by an editor of another system) gets CR LF for every LF; any
// other text is kept as it is, so a value that holds a lone LF in a file of CR LF lines stays
// whole.
[[nodiscard]] GbkText normaliseLineEnds(GbkText text);

// Text values: CR LF is stored as "┊*┊" and turned back on reading.
[[nodiscard]] GbkText encodeText(std::string_view value);
[[nodiscard]] GbkText decodeText(std::string_view stored);

// Numbers: whole numbers without a fractional part, others in the shortest exact form.
[[nodiscard]] GbkText formatNumber(double value);
// The usual text-to-number reading: leading blanks, a sign, digits, a fraction and an
// exponent count; unreadable text is 0.
[[nodiscard]] double parseNumber(std::string_view text);
// A double turned into an int without undefined behaviour (clamped; NaN gives 0).
[[nodiscard]] int toInt(double value);

// Index lists "1,3": 0-based indices joined by ",". Reading skips pieces without digits.
[[nodiscard]] GbkText joinIndices(const std::vector<int>& indices);
[[nodiscard]] std::vector<int> splitIndices(std::string_view text);

// List items as the bytes of an ".ibn" file: each item as its byte length, ":", the bytes.
// An empty list is the empty byte string. Damaged bytes give the items read up to the damage.
[[nodiscard]] std::string encodeItems(const std::vector<GbkText>& items);
[[nodiscard]] std::vector<GbkText> decodeItems(std::string_view bytes);

// The file-name form of "section-key": path separators and characters no file system
// accepts become "_", at character boundaries (a GBK trail byte equal to "\" is kept).
[[nodiscard]] GbkText byteFileName(std::string_view section, std::string_view key);

// The file name of a path without its folder and extension (either separator).
[[nodiscard]] GbkText baseName(std::string_view path);

} // namespace quillet::settings::ini
