#pragma once

#include "regex/RegexObject.h"
#include "text/GbkText.h"

#include <cstddef>
#include <functional>
#include <string_view>
#include <vector>

namespace quillet::idcollect {

// Picks elements out of an HTML page by tag name and attribute values. A plain text scanner,
// not a document parser: it finds opening tags by name in a lower-cased copy of the page,
// checks the attributes inside the opening tag, finds the closing tag by balancing nested
// tags of the same name and hands back the element's text cut from the page as it is.
//
// Attribute conditions are pairs (names[k], values[k]); any one pair holding is enough. An
// empty value asks only that the attribute is there. Values compare ignoring letter case,
// whole or (with `contains`) as a part. Every text handed back has each "blanks = blanks"
// run turned into a bare "=".
//
// Work is linear in the length of the page, however deeply elements nest or however many
// are left unclosed. The scan lets window events run at every candidate tag.
class TagFinder {
public:
    TagFinder();

    // The first matching element of `page`, or the empty text. Leaves what findAll collected
    // untouched.
    [[nodiscard]] GbkText findElement(const GbkText& page, const GbkText& tagName, const std::vector<GbkText>& names,
                                      const std::vector<GbkText>& values);
    // Collects every matching element of `page` in page order (elements nested in a found
    // element included), replacing what an earlier call collected. Returns how many.
    int findAll(const GbkText& page, const GbkText& tagName, const std::vector<GbkText>& names,
                const std::vector<GbkText>& values, bool contains = false);

    [[nodiscard]] int foundCount() const { return static_cast<int>(m_starts.size()); }
    // The text of the index-th element of the last findAll (from 1); empty outside the list.
    GbkText foundElement(int index);

    // The text of the element last handed back.
    [[nodiscard]] const GbkText& lastResult() const { return m_lastResult; }

private:
    // Calls onMatch(start, end) for each matching element, in page order, until it returns
    // false. Positions are 0-based byte offsets, end one past the element.
    void scan(std::string_view page, std::string_view lowered, const GbkText& tagName,
              const std::vector<GbkText>& names, const std::vector<GbkText>& values, bool contains,
              const std::function<bool(std::size_t, std::size_t)>& onMatch) const;
    [[nodiscard]] GbkText normalised(std::string_view element) const;

    GbkText m_page;
    GbkText m_searchCopy;
    std::vector<std::size_t> m_starts;
    std::vector<std::size_t> m_ends;
    GbkText m_lastResult;
    RegexObject m_normaliser;
};

} // namespace quillet::idcollect
