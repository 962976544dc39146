#pragma once

#include "text/GbkChars.h"
#include "text/GbkText.h"
#include "text/TextScan.h"

#include <vector>

namespace quillet::compose {

// Characters and searches. All work on GBK byte strings; positions are byte positions from 1;
// a search that finds nothing yields -1. Searches match only at character boundaries and
// ignore the case of ASCII letters only. They are built on text::Searcher (text/Searcher.h),
// which callers that search for the same marker again and again can use directly.

// Head and tail sentinels put around the text when a marker is empty.
[[nodiscard]] const GbkText& headSentinel(); // "#墨汀头#"
[[nodiscard]] const GbkText& tailSentinel(); // "#墨汀尾#"

// Characters of the text: a byte >= 0x80 starts a two-byte character. Line-break mode
// 0: CR and LF count nothing; 1: CR LF counts 1, lone CR or LF 1 each; 2: every CR and LF 1.
// `charMid` takes `count` characters from character `first` (from 1). Both live in text/.
using text::charCount;
using text::charMid;

// The text between two markers. Markers may be changed (unquote, sentinels) and are written
// back; position walks through the occurrences forward or backward. Forward, the start marker
// is searched from position and the end marker behind it, and position moves behind the end
// marker. Backward, the end marker is the last one lying wholly before position (the whole
// text when position is below 1), the start marker the last one wholly before the end marker,
// and position moves to the start marker; so both directions pair the same markers.
[[nodiscard]] GbkText textBetweenEx(const GbkText& text, GbkText& startMarker, GbkText& endMarker,
                                    long long startAdjust = 0, long long lengthAdjust = 0);
[[nodiscard]] GbkText textBetweenEx(const GbkText& text, GbkText& startMarker, GbkText& endMarker,
                                    long long startAdjust, long long lengthAdjust, long long& position,
                                    bool backward = false, bool unquote = false);
// The same over a text the caller holds a scan of (text/TextScan.h): the scan keeps what the
// searches learned about the text's characters from one call to the next, so a walk with one
// position variable through a long text costs time in proportion to the text, however long its
// runs of Chinese are. The caller keeps the text unchanged while it uses the scan.
[[nodiscard]] GbkText textBetweenEx(text::TextScan& scan, GbkText& startMarker, GbkText& endMarker,
                                    long long startAdjust, long long lengthAdjust, long long& position,
                                    bool backward = false, bool unquote = false);
// Works on copies of the markers; two attempts, the second with double quotes removed.
// With endFirst the end marker is searched from position and the start marker is the last one
// lying wholly before it.
[[nodiscard]] GbkText textBetweenRetry(const GbkText& text, const GbkText& startMarker, const GbkText& endMarker,
                                       long long& position, bool endFirst = false, long long startAdjust = 0,
                                       long long lengthAdjust = 0, bool keepQuotes = false);
// "#引号" in the markers stands for a double quote.
[[nodiscard]] GbkText textBetween(const GbkText& text, const GbkText& startMarker, const GbkText& endMarker,
                                  long long from, bool ignoreCase);
// Every '' becomes one double quote.
[[nodiscard]] GbkText unquoteMarker(const GbkText& text);

// Case-insensitive (ASCII) search at character boundaries, from byte position `from`
// (from 1; below 1 searches from the start). Returns the 1-based position or -1.
[[nodiscard]] long long findText(const GbkText& text, const GbkText& what, long long from = 1, bool ignoreCase = true);
// Backward search: the last occurrence that starts at or before `from` (below 1: the end).
[[nodiscard]] long long findTextBackward(const GbkText& text, const GbkText& what, long long from = 0,
                                         bool ignoreCase = true);

// Cuts the text at the separator (case-sensitive, at character boundaries; no item dropped).
// An empty text has no items; an empty separator leaves the text as its only item.
[[nodiscard]] std::vector<GbkText> splitText(const GbkText& text, const GbkText& separator);

} // namespace quillet::compose
