#include "regex/RegexObject.h"

#include "GbkScan.h"
#include "PatternDialect.h"
#include "Pcre2Owners.h"
#include "text/Charset.h"
#include "text/GbkChars.h"

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <vector>

namespace quillet::regex {

using detail::OffsetCursor;

namespace {

// Bounds that keep a pathological pattern (nested repetition over a long subject) from
// hanging the program: the matcher gives up with an error, after which execute reports no
// match and replace returns its subject unchanged. Ordinary patterns stay far below them
// (a lazy run such as "#.+?#" across some twenty million characters still matches).
constexpr std::uint32_t kMatchLimit = 20'000'000;
constexpr std::uint32_t kDepthLimit = 1'000'000;
constexpr std::uint32_t kHeapLimitKiB = 128 * 1024;
constexpr PCRE2_SIZE kJitStackStart = 64 * 1024;
constexpr PCRE2_SIZE kJitStackMax = 64 * 1024 * 1024;

constexpr std::size_t kUnset = static_cast<std::size_t>(-1);

// Where a match or a group lies in the GBK subject; start is kUnset for a group that took
// no part in the match.
struct Span {
    std::size_t start = kUnset;
    std::size_t length = 0;
    [[nodiscard]] bool isSet() const { return start != kUnset; }
};

// Runs the pattern over the UTF-8 subject the way the ECMAScript Execute does: all matches
// left to right (only the first unless global); after an empty match the search goes on one
// character further (a CR LF pair counts as one line end, so it is stepped over whole).
// Calls onMatch(ovector, pairs) for each match. Returns false when the matcher fails (match,
// depth or heap limit reached, out of memory), in which case the matches seen are void.
template <typename OnMatch>
bool scanMatches(const pcre2_code* code, pcre2_match_context* context, bool global, std::string_view subject,
                 OnMatch&& onMatch)
{
    detail::MatchDataPtr data(pcre2_match_data_create_from_pattern(code, nullptr));
    if (!data)
        return false;
    const auto* bytes = reinterpret_cast<PCRE2_SPTR>(subject.data());
    const PCRE2_SIZE size = subject.size();
    PCRE2_SIZE offset = 0;
    std::uint32_t options = 0;
    while (offset <= size) {
        int rc = pcre2_match(code, bytes, size, offset, options, data.get(), context);
        if (rc == PCRE2_ERROR_JIT_STACKLIMIT) // deep but sound: the interpreter works on the heap
            rc = pcre2_match(code, bytes, size, offset, options | PCRE2_NO_JIT, data.get(), context);
        if (rc == PCRE2_ERROR_NOMATCH)
            return true;
        if (rc < 0)
            return false;
        // The converter's output was checked by the first call; later calls skip the check,
        // which would otherwise cost the rest of the subject on every match.
        options |= PCRE2_NO_UTF_CHECK;
        const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data.get());
        const std::uint32_t pairs = rc == 0 ? pcre2_get_ovector_count(data.get()) : static_cast<std::uint32_t>(rc);
        onMatch(ovector, pairs);
        if (!global)
            return true;
        PCRE2_SIZE next = ovector[1];
        if (ovector[1] <= ovector[0] || next <= offset) {
            next = std::max(next, offset);
            if (next >= size)
                return true;
            if (subject[next] == '\r' && next + 1 < size && subject[next + 1] == '\n')
                next += 2;
            else
                next += detail::utf8SequenceLength(static_cast<unsigned char>(subject[next]));
        }
        offset = std::min(next, size + 1);
    }
    return true;
}

// Fills spans (group 0 = whole match) from the ovector. `cursor` is moved to the match start
// and only ever forward across calls; groups are measured with a second cursor from there.
void readSpans(const PCRE2_SIZE* ovector, std::uint32_t pairs, OffsetCursor& cursor, std::vector<Span>& spans)
{
    cursor.moveTo(ovector[0]);
    for (std::size_t g = 0; g < spans.size(); ++g) {
        const PCRE2_SIZE begin = ovector[2 * g];
        const PCRE2_SIZE end = ovector[2 * g + 1];
        if (g >= pairs || begin == PCRE2_UNSET || end == PCRE2_UNSET) {
            spans[g] = Span{};
            continue;
        }
        OffsetCursor walker = cursor;
        walker.moveTo(begin);
        const std::size_t start = walker.gbkOffset();
        walker.moveTo(std::max(begin, end));
        spans[g] = Span{start, walker.gbkOffset() - start};
    }
}

void appendSpan(GbkText& out, const GbkText& subject, const Span& span)
{
    if (span.isSet() && span.start <= subject.size())
        out.append(subject, span.start, span.length);
}

// Appends the replacement with its ECMAScript substitutions expanded: $$ a dollar sign, $&
// the match, $` the text before it, $' the text after it, $n and $nn a group (two digits
// when that group exists, otherwise one digit; group 0 and groups beyond the pattern's count
// are no references). Any other "$" is kept as it is.
void appendExpansion(GbkText& out, const GbkText& replacement, const GbkText& subject, const std::vector<Span>& spans)
{
    const std::size_t groupCount = spans.size() - 1;
    const Span& whole = spans[0];
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    std::size_t i = 0;
    while (i < replacement.size()) {
        const std::size_t length = text::gb18030CharLength(replacement, i);
        if (length != 1 || replacement[i] != '$' || i + 1 >= replacement.size()) {
            out.append(replacement, i, length);
            i += length;
            continue;
        }
        const char next = replacement[i + 1];
        if (next == '$') {
            out += '$';
            i += 2;
        } else if (next == '&') {
            appendSpan(out, subject, whole);
            i += 2;
        } else if (next == '`') {
            out.append(subject, 0, std::min(whole.start, subject.size()));
            i += 2;
        } else if (next == '\'') {
            const std::size_t end = whole.start + whole.length;
            if (end < subject.size())
                out.append(subject, end);
            i += 2;
        } else if (isDigit(next)) {
            const std::size_t one = static_cast<std::size_t>(next - '0');
            const bool hasSecond = i + 2 < replacement.size() && isDigit(replacement[i + 2]);
            const std::size_t two = hasSecond ? one * 10 + static_cast<std::size_t>(replacement[i + 2] - '0') : 0;
            if (hasSecond && two >= 1 && two <= groupCount) {
                appendSpan(out, subject, spans[two]);
                i += 3;
            } else if (one >= 1 && one <= groupCount) {
                appendSpan(out, subject, spans[one]);
                i += 2;
            } else {
                out += '$';
                ++i;
            }
        } else {
            out += '$';
            ++i;
        }
    }
}

// Copies the text with a backslash before each metacharacter, at character boundaries only
// (a trail byte in the ASCII range is part of its character, never a metacharacter). With
// `wildcards`, "*" becomes ".*" and "?" becomes ".?".
GbkText escapeText(const GbkText& text, std::string_view metacharacters, bool wildcards)
{
    GbkText out;
    out.reserve(text.size() + text.size() / 4 + 8);
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t length = text::gb18030CharLength(text, i);
        if (length == 1) {
            const char c = text[i];
            if (wildcards && c == '*') {
                out += ".*";
            } else if (wildcards && c == '?') {
                out += ".?";
            } else {
                if (metacharacters.find(c) != std::string_view::npos)
                    out += '\\';
                out += c;
            }
        } else {
            out.append(text, i, length);
        }
        i += length;
    }
    return out;
}

// The text of a match or group in the subject; with wantPosition also its 0-based byte
// offset there, -2 when there is none (outside the list, or a group that took no part).
GbkText spanText(const GbkText& subject, const Span* span, long long& position, bool wantPosition)
{
    const bool found = span && span->isSet() && span->start <= subject.size();
    if (wantPosition)
        position = found ? static_cast<long long>(span->start) : -2;
    if (!found)
        return {};
    return subject.substr(span->start, span->length);
}

} // namespace

namespace {
// One JIT stack per thread, made on first use and shared by every compiled pattern matched on
// that thread. A stack of its own for each pattern would map and unmap 64 MiB of address
// space on every compile, which costs more than most matches. The stack is looked up through
// the callback at match time, so a pattern used on another thread gets that thread's stack.
pcre2_jit_stack* threadJitStack(void*)
{
    thread_local detail::JitStackPtr stack(pcre2_jit_stack_create(kJitStackStart, kJitStackMax, nullptr));
    return stack.get(); // null: PCRE2 falls back to its small default stack
}
} // namespace

struct RegexObject::Compiled {
    GbkText patternText;
    bool global = true;
    detail::CodePtr code; // empty when the pattern was rejected
    detail::MatchContextPtr context;
    std::uint32_t groupCount = 0;
};

struct RegexObject::Matches {
    std::size_t groupCount = 0;
    std::vector<Span> spans; // groupCount + 1 per match, the whole match first
    std::vector<long long> firstIndexes;

    [[nodiscard]] int count() const { return static_cast<int>(firstIndexes.size()); }

    // Match from 1; group 0 is the whole match. Null outside the list.
    [[nodiscard]] const Span* span(int matchIndex, int group) const
    {
        if (matchIndex < 1 || matchIndex > count() || group < 0 || static_cast<std::size_t>(group) > groupCount)
            return nullptr;
        return &spans[static_cast<std::size_t>(matchIndex - 1) * (groupCount + 1) + static_cast<std::size_t>(group)];
    }
};

RegexObject::RegexObject() = default;
RegexObject::~RegexObject() = default;
RegexObject::RegexObject(const RegexObject& other) = default;
RegexObject& RegexObject::operator=(const RegexObject& other) = default;
RegexObject::RegexObject(RegexObject&& other) noexcept = default;
RegexObject& RegexObject::operator=(RegexObject&& other) noexcept = default;

GbkText RegexObject::wildcardToPattern(const GbkText& text)
{
    return escapeText(text, "\\^$+.{}[]=()\"", true);
}

GbkText RegexObject::escapeAll(const GbkText& text)
{
    return escapeText(text, "\\^$+.{}[]=()?*|\"", false);
}

GbkText RegexObject::escapeKeepAlternation(const GbkText& text)
{
    return escapeText(text, "\\^$+.{}[]=()?*\"", false);
}

namespace {
// The patterns this thread compiled last, newest first: a run compiles the same few patterns
// (the product-ID pattern, the template's markers, the user's filter) for every product, and a
// compiled pattern never changes, so objects share it instead of compiling it again.
constexpr std::size_t kCachedPatterns = 16;
constexpr std::size_t kLongestCachedPattern = 4096;

struct CachedPattern {
    GbkText pattern;
    std::uint32_t flags = 0;
    std::shared_ptr<const void> compiled;
};

std::vector<CachedPattern>& patternCache()
{
    thread_local std::vector<CachedPattern> cache;
    return cache;
}
} // namespace

bool RegexObject::compile(const GbkText& pattern, bool ignoreCase, bool multiline, bool global)
{
    m_compiled.reset();
    const std::uint32_t flags = (ignoreCase ? 1u : 0u) | (multiline ? 2u : 0u) | (global ? 4u : 0u);
    std::vector<CachedPattern>& cache = patternCache();
    for (std::size_t i = 0; i < cache.size(); ++i) {
        if (cache[i].flags == flags && cache[i].pattern == pattern) {
            m_compiled = std::static_pointer_cast<Compiled>(std::const_pointer_cast<void>(cache[i].compiled));
            std::rotate(cache.begin(), cache.begin() + static_cast<std::ptrdiff_t>(i),
                        cache.begin() + static_cast<std::ptrdiff_t>(i) + 1);
            return true;
        }
    }
    auto compiled = std::make_shared<Compiled>();
    compiled->patternText = pattern;
    compiled->global = global;
    compiled->context.reset(pcre2_match_context_create(nullptr));
    detail::CompileContextPtr compileContext(pcre2_compile_context_create(nullptr));
    if (!compiled->context || !compileContext)
        return false;
    pcre2_set_match_limit(compiled->context.get(), kMatchLimit);
    pcre2_set_depth_limit(compiled->context.get(), kDepthLimit);
    pcre2_set_heap_limit(compiled->context.get(), kHeapLimitKiB);
    // CR LF, CR and LF all end a line for ^ and $; "." matches neither CR nor LF.
    pcre2_set_newline(compileContext.get(), PCRE2_NEWLINE_ANYCRLF);

    // The ECMAScript meanings: \xhh and \uhhhh escapes, "[]" and "[^]", a reference to a group
    // that took no part matches the empty text, "$" only at the very end without multiline,
    // and with multiline "^" also after a final line end.
    std::uint32_t options = PCRE2_UTF | PCRE2_ALT_BSUX | PCRE2_ALLOW_EMPTY_CLASS | PCRE2_MATCH_UNSET_BACKREF
        | PCRE2_DOLLAR_ENDONLY | PCRE2_NEVER_BACKSLASH_C;
    if (ignoreCase)
        options |= PCRE2_CASELESS;
    if (multiline)
        options |= PCRE2_MULTILINE | PCRE2_ALT_CIRCUMFLEX;

    const std::string source = detail::toPcrePattern(text::gbkToUtf8(pattern, text::Invalid::Escape));
    int errorCode = 0;
    PCRE2_SIZE errorOffset = 0;
    compiled->code.reset(pcre2_compile(reinterpret_cast<PCRE2_SPTR>(source.data()), source.size(), options,
                                       &errorCode, &errorOffset, compileContext.get()));
    if (compiled->code) {
        pcre2_pattern_info(compiled->code.get(), PCRE2_INFO_CAPTURECOUNT, &compiled->groupCount);
        if (pcre2_jit_compile(compiled->code.get(), PCRE2_JIT_COMPLETE) == 0) {
            pcre2_jit_stack_assign(compiled->context.get(), threadJitStack, nullptr);
        }
    }
    if (pattern.size() <= kLongestCachedPattern) {
        if (cache.size() >= kCachedPatterns)
            cache.pop_back();
        cache.insert(cache.begin(), CachedPattern{pattern, flags, compiled});
    }
    m_compiled = std::move(compiled);
    return true;
}

bool RegexObject::isValid() const
{
    return m_compiled && m_compiled->code;
}

int RegexObject::execute(const GbkText& subject)
{
    auto matches = std::make_shared<Matches>();
    m_subject = subject;
    if (m_compiled && m_compiled->code) {
        matches->groupCount = m_compiled->groupCount;
        const std::string utf8 = text::gbkToUtf8(m_subject, text::Invalid::Escape);
        OffsetCursor cursor(utf8, m_subject);
        std::vector<Span> spans(matches->groupCount + 1);
        const bool ok = scanMatches(m_compiled->code.get(), m_compiled->context.get(), m_compiled->global, utf8,
                                    [&](const PCRE2_SIZE* ovector, std::uint32_t pairs) {
                                        readSpans(ovector, pairs, cursor, spans);
                                        matches->firstIndexes.push_back(cursor.charIndex());
                                        matches->spans.insert(matches->spans.end(), spans.begin(), spans.end());
                                    });
        if (!ok) {
            matches->spans.clear();
            matches->firstIndexes.clear();
        }
    }
    m_matches = std::move(matches);
    return matchCount();
}

GbkText RegexObject::pattern() const
{
    return m_compiled ? m_compiled->patternText : GbkText();
}

GbkText RegexObject::replace(const GbkText& subject, const GbkText& replacement) const
{
    if (!m_compiled || !m_compiled->code)
        return {};
    const std::string utf8 = text::gbkToUtf8(subject, text::Invalid::Escape);
    OffsetCursor cursor(utf8, subject);
    std::vector<Span> spans(m_compiled->groupCount + 1);
    GbkText out;
    out.reserve(subject.size());
    std::size_t copied = 0; // the subject is copied into out up to here
    const bool ok = scanMatches(m_compiled->code.get(), m_compiled->context.get(), m_compiled->global, utf8,
                                [&](const PCRE2_SIZE* ovector, std::uint32_t pairs) {
                                    readSpans(ovector, pairs, cursor, spans);
                                    const Span& whole = spans[0];
                                    if (whole.start > copied)
                                        out.append(subject, copied, whole.start - copied);
                                    appendExpansion(out, replacement, subject, spans);
                                    copied = std::max(copied, whole.start + whole.length);
                                });
    // A matcher failure (a pattern too costly for this subject) leaves the text as it was
    // rather than losing it.
    if (!ok)
        return subject;
    if (copied < subject.size())
        out.append(subject, copied);
    return out;
}

int RegexObject::matchCount() const
{
    return m_matches ? m_matches->count() : 0;
}

GbkText RegexObject::matchText(int matchIndex) const
{
    long long position = 0;
    return matchTextAt(matchIndex, position, false);
}

GbkText RegexObject::submatchText(int matchIndex, int groupIndex) const
{
    long long position = 0;
    return submatchTextAt(matchIndex, groupIndex, position, false);
}

int RegexObject::submatchCount() const
{
    return matchCount() > 0 ? static_cast<int>(m_matches->groupCount) : 0;
}

GbkText RegexObject::matchTextAt(int matchIndex, long long& position, bool wantPosition) const
{
    return spanText(m_subject, m_matches ? m_matches->span(matchIndex, 0) : nullptr, position, wantPosition);
}

GbkText RegexObject::submatchTextAt(int matchIndex, int groupIndex, long long& position, bool wantPosition) const
{
    // Groups count from 1; group 0 (the whole match) is no group.
    const Span* span = m_matches && groupIndex >= 1 ? m_matches->span(matchIndex, groupIndex) : nullptr;
    return spanText(m_subject, span, position, wantPosition);
}

long long RegexObject::firstIndex(int matchIndex) const
{
    if (!m_matches || matchIndex < 1 || matchIndex > m_matches->count())
        return -1;
    return m_matches->firstIndexes[static_cast<std::size_t>(matchIndex - 1)];
}

} // namespace quillet::regex
