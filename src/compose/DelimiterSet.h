#pragma once

#include "text/GbkText.h"

#include <array>
#include <bitset>
#include <memory>
#include <vector>

namespace quillet::compose {

// A fragment delimiter set made ready for cutting texts: what depends on the set alone (its
// pattern, which characters it holds, how many there are) is worked out once per set.
//
// The delimiters are the characters of the set (wildcards "*" and "?" stand for "." and
// themselves, letter case ignored), and when the set holds CR LF, CR LF, CR and LF; when it
// holds ". ", that pair too. Texts are cleaned first: tags removed, blank lines dropped with
// their CR LF, blanks (spaces, ideographic spaces, tabs) at the start and end of each line
// removed. Both are the rules of the delimiter pattern and the blank-line pattern, which are
// run as regular expressions where a plain scan of the GBK bytes could read them otherwise:
// for a set holding letters, ranges or unusual characters, and for a text with bytes that do
// not make two-byte characters.
class DelimiterSet {
public:
    // An empty set stands for the default set.
    explicit DelimiterSet(const GbkText& set);

    [[nodiscard]] const GbkText& text() const { return m_set; }
    // The number of characters of the set (CR LF counting one).
    [[nodiscard]] long long charCount() const { return m_charCount; }
    // The regular expression the delimiters are the matches of.
    [[nodiscard]] const GbkText& pattern() const { return m_pattern; }
    // Whether texts are cut by the plain scan (all that a text needs besides is two-byte
    // characters that are whole).
    [[nodiscard]] bool scansPlainly() const { return m_plain; }

    // The cleaned text cut at the delimiters (which are dropped). Also cut at every "[⊥]" the
    // text holds, the mark a delimiter is replaced by before the cut. No fragments for a text
    // that is empty once cleaned.
    [[nodiscard]] std::vector<GbkText> fragments(const GbkText& text) const;
    // The delimiters in the text as it is, in order.
    [[nodiscard]] std::vector<GbkText> delimitersIn(const GbkText& text) const;

private:
    // The length of the delimiter at byte i of a plain text, 0 where there is none.
    [[nodiscard]] std::size_t delimiterAt(const GbkText& text, std::size_t i) const;

    GbkText m_set;
    GbkText m_pattern;
    long long m_charCount = 0;
    bool m_crLf = false;
    bool m_fullStopSpace = false;
    bool m_plain = false;
    std::array<bool, 128> m_single{};     // one-byte characters of the class
    std::bitset<128 * 256> m_double;      // two-byte characters, by (lead - 0x80) * 256 + trail
};

// The prepared set for `set`, shared while a run uses the same few sets (per thread).
[[nodiscard]] std::shared_ptr<const DelimiterSet> preparedDelimiters(const GbkText& set);

// The text with the blank-line pattern's matches removed, as the pattern would remove them:
// lines holding only blanks together with their CR LF, and blanks at the start and end of
// every line (CR LF, CR and LF all end a line).
[[nodiscard]] GbkText withoutBlankLines(const GbkText& text);

} // namespace quillet::compose
