#pragma once

#include "text/GbkText.h"

namespace quillet::compose {

// The text without its markup spans ("<" to the nearest ">"), scanned from the end; lone "<"
// and ">" stay. The user interface processes its events once per step.
[[nodiscard]] GbkText stripTags(const GbkText& text);

} // namespace quillet::compose
