#pragma once

#include "text/GbkText.h"

#include <memory>

namespace quillet::regex {

// One compiled regular expression (ECMAScript-style syntax over characters) and the match
// list of its last execute(). Texts are GBK; matching works on characters, so "." matches
// one whole Chinese character. Matches and groups are addressed from 1.
//
// Nothing is thrown: a pattern that does not compile, a use before compile() or an index
// outside the match list yields the empty text, 0 or false.
//
// Copies share the compiled pattern and the match list (as the original automation object's
// references did) and copy the subject text.
class RegexObject {
public:
    RegexObject();
    ~RegexObject();
    RegexObject(const RegexObject& other);
    RegexObject& operator=(const RegexObject& other);
    RegexObject(RegexObject&& other) noexcept;
    RegexObject& operator=(RegexObject&& other) noexcept;

    // Text helpers turning user text into pattern text (escaping at character boundaries).
    [[nodiscard]] static GbkText wildcardToPattern(const GbkText& text);
    [[nodiscard]] static GbkText escapeAll(const GbkText& text);
    [[nodiscard]] static GbkText escapeKeepAlternation(const GbkText& text);

    // Compiles the pattern with the three flags. Returns whether a regex object now exists
    // (true even when the pattern itself is rejected: that only shows as empty results later,
    // as with the original object).
    bool compile(const GbkText& pattern, bool ignoreCase = true, bool multiline = true, bool global = true);

    // Runs the pattern over the subject, keeps the match list and a copy of the subject.
    // Returns the number of matches.
    int execute(const GbkText& subject);

    [[nodiscard]] GbkText pattern() const;
    // True when the last compile() produced a usable pattern (the engine accepted it).
    [[nodiscard]] bool isValid() const;

    // The subject with the match (global: every match) replaced; ECMAScript replacement
    // syntax ($1..$99, $&, $`, $', $$). Leaves the match list alone.
    [[nodiscard]] GbkText replace(const GbkText& subject, const GbkText& replacement) const;

    [[nodiscard]] int matchCount() const;
    [[nodiscard]] GbkText matchText(int matchIndex) const;
    [[nodiscard]] GbkText submatchText(int matchIndex, int groupIndex) const;
    // Number of capturing groups, read off the first match; 0 without matches.
    [[nodiscard]] int submatchCount() const;
    // As matchText; with wantPosition also sets position to the match's 0-based byte offset
    // in the stored subject (-2 when it cannot be found).
    [[nodiscard]] GbkText matchTextAt(int matchIndex, long long& position, bool wantPosition) const;
    [[nodiscard]] GbkText submatchTextAt(int matchIndex, int groupIndex, long long& position, bool wantPosition) const;

    // The character offset (from 0, as FirstIndex) of a match; -1 outside the list.
    [[nodiscard]] long long firstIndex(int matchIndex) const;

private:
    struct Compiled;
    struct Matches;
    std::shared_ptr<Compiled> m_compiled;
    std::shared_ptr<Matches> m_matches;
    GbkText m_subject;
};

} // namespace quillet::regex

namespace quillet {
using regex::RegexObject;
}
