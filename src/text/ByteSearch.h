#pragma once

#include <cstddef>

namespace quillet::text {

// The last occurrence of `byte` in the `length` bytes at `data`, or nullptr. Looked for in
// windows from the end, so a hit near the end costs only its window (checking tools that
// validate the whole range of a backward byte search would otherwise make a backward walk
// quadratic). Uses the C library's vectorised memrchr where there is one.
[[nodiscard]] const char* lastByte(const char* data, char byte, std::size_t length);

} // namespace quillet::text
