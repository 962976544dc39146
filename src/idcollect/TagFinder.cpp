#include "idcollect/TagFinder.h"

#include "text/EventPump.h"
#include "text/GbkChars.h"

#include <cstring>
#include <string>

namespace quillet::idcollect {

namespace {

constexpr std::size_t npos = std::string_view::npos;

char lowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

GbkText lowered(std::string_view text)
{
    GbkText out(text);
    for (char& c : out)
        c = lowerAscii(c);
    return out;
}

// The next occurrence of a fixed needle at or after a position that only ever grows. The last
// answer is kept, so asking again from a position it does not pass costs nothing, and the
// text between two answers is read once: the whole walk is linear in the text.
class ForwardSearch {
public:
    ForwardSearch(std::string_view text, std::string needle)
        : m_text(text)
        , m_needle(std::move(needle))
    {
    }

    std::size_t next(std::size_t from)
    {
        if (m_known && (m_found == npos || m_found >= from))
            return m_found;
        m_found = m_needle.size() == 1 ? findByte(from) : m_text.find(m_needle, from);
        m_known = true;
        return m_found;
    }

    [[nodiscard]] std::size_t needleSize() const { return m_needle.size(); }

private:
    std::size_t findByte(std::size_t from) const
    {
        if (from >= m_text.size())
            return npos;
        const void* hit = std::memchr(m_text.data() + from, m_needle[0], m_text.size() - from);
        return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - m_text.data()) : npos;
    }

    std::string_view m_text;
    std::string m_needle;
    std::size_t m_found = npos;
    bool m_known = false;
};

std::string_view trimSpaces(std::string_view s)
{
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    return s;
}

// Equal ignoring the case of ASCII letters, character by character (the second byte of a
// double-byte character is compared as it is).
bool equalIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (text::charLength(a, i) == 2) {
            if (a[i] != b[i] || a[i + 1] != b[i + 1])
                return false;
            ++i;
        } else if (lowerAscii(a[i]) != lowerAscii(b[i])) {
            return false;
        }
    }
    return true;
}

// One attribute pair of the condition, with the searches its candidate values need. The
// candidate value of a form depends only on where its needle was found (the opening tag
// around it always ends at the same ">"), so each form remembers its last verdict.
class AttributeTest {
public:
    AttributeTest(std::string_view page, std::string_view lowered, const GbkText& name, const GbkText& value,
                  bool contains)
        : m_page(page)
        , m_lowered(lowered)
        , m_value(value)
        , m_loweredValue(lowered_(value))
        , m_contains(contains)
        , m_quoted(lowered, " " + lowered_(name) + "=\"")
        , m_apostrophe(lowered, " " + lowered_(name) + "='")
        , m_plain(lowered, " " + lowered_(name) + "=")
        , m_quote(lowered, "\"")
        , m_apostropheEnd(lowered, "'")
        , m_space(lowered, " ")
    {
    }

    // Whether the pair holds for the opening tag [open, close] (close is its ">").
    bool holds(std::size_t open, std::size_t close)
    {
        if (m_value.empty()) {
            const std::size_t at = m_plain.next(open);
            return at != npos && at < close;
        }
        return form(m_quoted, m_quote, m_quotedVerdict, open, close) ||
               form(m_apostrophe, m_apostropheEnd, m_apostropheVerdict, open, close) ||
               form(m_plain, m_space, m_plainSpaceVerdict, open, close) ||
               form(m_plain, m_closeVerdict, open, close);
    }

private:
    struct Verdict {
        std::size_t needleAt = npos;
        bool result = false;
    };

    static GbkText lowered_(const GbkText& s) { return lowered(s); }

    // Value from after the needle to the next terminator inside the tag.
    bool form(ForwardSearch& needle, ForwardSearch& terminator, Verdict& verdict, std::size_t open, std::size_t close)
    {
        const std::size_t at = needle.next(open);
        if (at == npos || at >= close)
            return false;
        if (verdict.needleAt == at)
            return verdict.result;
        const std::size_t from = at + needle.needleSize();
        const std::size_t end = terminator.next(from);
        verdict = {at, end != npos && end < close && compare(from, end)};
        return verdict.result;
    }

    // Value from after the needle to the tag's ">".
    bool form(ForwardSearch& needle, Verdict& verdict, std::size_t open, std::size_t close)
    {
        const std::size_t at = needle.next(open);
        if (at == npos || at >= close)
            return false;
        if (verdict.needleAt == at)
            return verdict.result;
        const std::size_t from = at + needle.needleSize();
        verdict = {at, from <= close && compare(from, close)};
        return verdict.result;
    }

    // The candidate value [from, end) of the page, without its surrounding spaces, against
    // the pair's value.
    bool compare(std::size_t from, std::size_t end) const
    {
        const std::string_view raw = m_page.substr(from, end - from);
        const std::string_view candidate = trimSpaces(raw);
        if (!m_contains)
            return equalIgnoringCase(candidate, m_value);
        // The lower-cased copy rules out most candidates with one byte search; a hit is then
        // confirmed character by character, so a match never starts inside a character.
        const std::size_t offset = from + static_cast<std::size_t>(candidate.data() - raw.data());
        if (m_lowered.substr(offset, candidate.size()).find(m_loweredValue) == npos)
            return false;
        for (std::size_t i = 0; i + m_value.size() <= candidate.size(); i += text::charLength(candidate, i))
            if (equalIgnoringCase(candidate.substr(i, m_value.size()), m_value))
                return true;
        return false;
    }

    std::string_view m_page;
    std::string_view m_lowered;
    GbkText m_value;
    GbkText m_loweredValue;
    bool m_contains;
    ForwardSearch m_quoted;
    ForwardSearch m_apostrophe;
    ForwardSearch m_plain;
    ForwardSearch m_quote;
    ForwardSearch m_apostropheEnd;
    ForwardSearch m_space;
    Verdict m_quotedVerdict;
    Verdict m_apostropheVerdict;
    Verdict m_plainSpaceVerdict;
    Verdict m_closeVerdict;
};

bool isDigitOrLower(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z');
}

} // namespace

TagFinder::TagFinder()
{
    m_normaliser.compile("\\s+=\\s+");
}

void TagFinder::scan(std::string_view page, std::string_view lower, const GbkText& tagName,
                     const std::vector<GbkText>& names, const std::vector<GbkText>& values, bool contains,
                     const std::function<bool(std::size_t, std::size_t)>& onMatch) const
{
    const GbkText tag = lowered(tagName);
    const GbkText opening = "<" + tag;
    const GbkText closing = "</" + tag + ">";

    // Every opening tag of the name (a tag name running on into a digit or letter is another
    // tag: "<li" in "<link"), and every closing tag.
    std::vector<std::size_t> openings;
    for (std::size_t at = lower.find(opening); at != npos; at = lower.find(opening, at + 1)) {
        const std::size_t after = at + opening.size();
        if (after < lower.size() && isDigitOrLower(lower[after]))
            continue;
        openings.push_back(at);
    }
    if (openings.empty())
        return;

    // The closing tag that balances each opening tag: the first one after it at which as many
    // tags of the name have been closed as were opened since. One walk over both lists with a
    // stack of open tags gives every answer; a closing tag with nothing open is passed over.
    std::vector<std::size_t> balancing(openings.size(), npos);
    {
        std::vector<std::size_t> open;
        std::size_t next = 0;
        for (std::size_t at = lower.find(closing); at != npos; at = lower.find(closing, at + 1)) {
            while (next < openings.size() && openings[next] < at)
                open.push_back(next++);
            if (!open.empty()) {
                balancing[open.back()] = at;
                open.pop_back();
            }
        }
    }

    std::vector<AttributeTest> tests;
    tests.reserve(names.size());
    for (std::size_t k = 0; k < names.size(); ++k)
        tests.emplace_back(page, lower, names[k], k < values.size() ? values[k] : GbkText(), contains);

    ForwardSearch tagEnd(lower, ">");
    for (std::size_t i = 0; i < openings.size(); ++i) {
        text::processEvents();
        const std::size_t start = openings[i];
        const std::size_t close = tagEnd.next(start);
        if (close == npos)
            break; // no opening tag from here on is complete
        bool matches = tests.empty();
        for (AttributeTest& test : tests) {
            if (test.holds(start, close)) {
                matches = true;
                break;
            }
        }
        if (!matches)
            continue;
        std::size_t end = close + 1;
        const bool selfClosing = close > start && lower[close - 1] == '/';
        if (!selfClosing && balancing[i] != npos)
            end = balancing[i] + closing.size();
        if (!onMatch(start, end))
            return;
    }
}

GbkText TagFinder::normalised(std::string_view element) const
{
    // Only an "=" with white space right before it can be part of a run to normalise; white
    // space and "=" are never the second byte of a double-byte character.
    bool candidate = false;
    for (std::size_t i = 1; i < element.size() && !candidate; ++i) {
        if (element[i] == '=') {
            const char before = element[i - 1];
            candidate = before == ' ' || (before >= '\t' && before <= '\r');
        }
    }
    if (!candidate)
        return GbkText(element);
    return m_normaliser.replace(GbkText(element), "=");
}

GbkText TagFinder::findElement(const GbkText& page, const GbkText& tagName, const std::vector<GbkText>& names,
                               const std::vector<GbkText>& values)
{
    const GbkText lower = lowered(page);
    std::size_t foundStart = npos;
    std::size_t foundEnd = npos;
    scan(page, lower, tagName, names, values, false, [&](std::size_t start, std::size_t end) {
        foundStart = start;
        foundEnd = end;
        return false;
    });
    if (foundStart == npos)
        return GbkText();
    m_lastResult = normalised(std::string_view(page).substr(foundStart, foundEnd - foundStart));
    return m_lastResult;
}

int TagFinder::findAll(const GbkText& page, const GbkText& tagName, const std::vector<GbkText>& names,
                       const std::vector<GbkText>& values, bool contains)
{
    m_page = page;
    m_searchCopy = lowered(page);
    m_starts.clear();
    m_ends.clear();
    scan(m_page, m_searchCopy, tagName, names, values, contains, [this](std::size_t start, std::size_t end) {
        m_starts.push_back(start);
        m_ends.push_back(end);
        return true;
    });
    return foundCount();
}

GbkText TagFinder::foundElement(int index)
{
    if (index < 1 || index > foundCount())
        return GbkText();
    const std::size_t i = static_cast<std::size_t>(index - 1);
    m_lastResult = normalised(std::string_view(m_page).substr(m_starts[i], m_ends[i] - m_starts[i]));
    return m_lastResult;
}

} // namespace quillet::idcollect
