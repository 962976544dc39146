#pragma once

#include "text/ByteSearch.h"
#include "text/TextScan.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillet::text {

// A search text prepared once for matching at character boundaries; build it once per run for
// a marker and reuse it on every page and record. Matching follows the text operations' rules:
//  - a match starts at a character boundary (plain rule of GbkChars.h) and covers whole
//    characters: a search text that ends in a lone lead byte only matches at the very end;
//  - with ignoreCase, ASCII letters that stand as characters of their own match either case;
//    a letter that is the second byte of a two-byte character always compares exactly, and no
//    byte >= 0x80 ever folds.
//
// Offsets here are 0-based byte offsets and "not found" is npos, as for std::string_view; the
// text operations of the compose module turn them into positions from 1 and -1.
//
// Searches that walk through one text share one TextScan (see TextScan.h), which keeps each
// walk linear in the length of the text; the overloads taking a plain text use a fresh one.
// Candidates are found by the search text's rarest byte with the C library's vectorised byte
// search, or, where that byte is common (or a letter in either case), as the positions where
// its two rarest bytes are in place, many positions at a time (PairFinder); the whole search
// text is compared before the character boundary is checked. A search text of
// 32 bytes or more that keeps meeting long partial matches switches to a linear-time scan
// (Knuth-Morris-Pratt over the text as matching sees it), so no text makes a search quadratic.
//
// A Searcher is immutable after construction and may be used by several threads at once.
//
// Typical use, one pass over a feed page:
//     const text::Searcher recordStart(gbk("\"rateContent\":\""));   // once per run
//     const text::Searcher recordEnd(gbk("\",\"rateDate\""));
//     text::TextScan page(pageText);                                  // once per page
//     std::size_t at = recordStart.find(page);
//     while (at != text::Searcher::npos) {
//         const std::size_t valueAt = at + recordStart.size();
//         const std::size_t end = recordEnd.find(page, valueAt);
//         if (end == text::Searcher::npos)
//             break;
//         ... pageText.substr(valueAt, end - valueAt) ...
//         at = recordStart.find(page, end + recordEnd.size());
//     }
class Searcher {
public:
    static constexpr std::size_t npos = std::string_view::npos;

    // The empty search text: found at the first boundary searched.
    Searcher() = default;
    explicit Searcher(std::string_view what, bool ignoreCase = true);

    [[nodiscard]] const std::string& text() const { return m_what; }
    [[nodiscard]] std::size_t size() const { return m_what.size(); }
    [[nodiscard]] bool empty() const { return m_what.empty(); }
    [[nodiscard]] bool ignoresCase() const { return m_ignoreCase; }

    // The first match starting at or after byte `from`, or npos (also when from > size).
    [[nodiscard]] std::size_t find(TextScan& scan, std::size_t from = 0) const;
    [[nodiscard]] std::size_t find(std::string_view text, std::size_t from = 0) const;
    // The last match starting at or before byte `lastStart` (npos: anywhere) and at or after
    // byte `firstStart`, or npos.
    [[nodiscard]] std::size_t findLast(TextScan& scan, std::size_t lastStart = npos, std::size_t firstStart = 0) const;
    [[nodiscard]] std::size_t findLast(std::string_view text, std::size_t lastStart = npos) const;
    // The last match lying wholly before byte `limit`, or npos.
    [[nodiscard]] std::size_t findLastBefore(TextScan& scan, std::size_t limit) const;

private:
    [[nodiscard]] bool matchesAt(const char* p, std::size_t& work) const;
    [[nodiscard]] bool acceptable(TextScan& scan, std::size_t at) const;
    [[nodiscard]] std::size_t linearFind(TextScan& scan, std::size_t from) const;
    [[nodiscard]] std::size_t linearFindLast(TextScan& scan, std::size_t lastStart, std::size_t firstStart) const;

    std::string m_what;      // as given
    std::string m_canon;     // folding letters in lower case
    std::string m_fold;      // 0x20 where a byte folds, else 0
    bool m_ignoreCase = true;
    bool m_folds = false;    // some byte folds
    bool m_pairsFirst = false; // the rarest byte folds: look for both bytes from the start
    bool m_danglingLead = false;
    BytePair m_pair;          // the two rarest bytes (one twice for a one-byte text)
    PairFinder m_pairFinder;  // the same, ready for the many-at-a-time test
    // Failure links of the linear-time scans, forward over m_canon and backward over its
    // reverse; built for long search texts only.
    std::vector<std::uint32_t> m_forwardLinks;
    std::vector<std::uint32_t> m_backwardLinks;
};

// Offset of the byte of `what` least common in the pages the program reads (the first of
// equals): the byte a search for `what` looks for candidates by. 0 for an empty text.
[[nodiscard]] std::size_t rarestByteAt(std::string_view what);

} // namespace quillet::text
