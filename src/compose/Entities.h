#pragma once

#include "text/GbkText.h"

namespace quillet::compose {

// Decodes the named character references of the program's table (exact letter case), then,
// unless skipNumeric, the numeric ones from the end of the text towards its start, letting the
// user interface process its events once per numeric reference.
[[nodiscard]] GbkText decodeEntities(const GbkText& text, bool skipNumeric = false);
// The same on the text itself, in its own storage (a decoded text is never longer).
void decodeEntitiesInPlace(GbkText& text, bool skipNumeric = false);

} // namespace quillet::compose
