#pragma once

#include "text/GbkText.h"

#include <vector>

namespace quillet::compose {

// Helpers the review run, the article assembly and the product-ID collectors share.

// The first n characters (negative: all but the last -n), never splitting a character; a
// CR LF pair counts as one character and stays whole.
[[nodiscard]] GbkText leftChars(const GbkText& text, long long n);
// Makes a text usable as a file name: \/:*?|<> become their full-width forms, double quotes
// and control bytes (line breaks, tabs, NUL, ... 0x00-0x1F and 0x7F) are removed, optionally
// cut to 200 characters and trimmed. Characters are read as the file system's conversion reads
// them: a byte below 0x40 after a lead byte is never its trail byte, 0x80 and 0xFF lead
// nothing, and a lead byte without its trail is dropped, so no "/", "\" or control byte
// survives inside a broken character.
[[nodiscard]] GbkText sanitizeFileName(const GbkText& text, bool cutTo200 = false, bool trim = false);
// Creates every missing folder named before a separator ("\" or "/") in the path, appending
// each one created to `created`. False when a creation fails.
bool createDirectories(const GbkText& path, std::vector<GbkText>& created);
// True when the path ends with a "\" or "/" of its own (not the second byte of a character).
[[nodiscard]] bool endsWithPathSeparator(const GbkText& path);
// Writes (or appends to) a file so that a crash leaves either the old or the new content.
bool writeTextFile(const GbkText& path, const GbkText& text, bool append = false);
// Drops every item that occurs again further on; the rest keep their order.
GbkText uniqueItems(std::vector<GbkText>& items, const GbkText& text, const GbkText& separator = "\r\n");
// Sleeps in 10 ms steps, processing window events after each, until the time is up or the
// flag is set.
void pauseMs(long long milliseconds, const bool& stopFlag);

} // namespace quillet::compose
