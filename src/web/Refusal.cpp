#include "web/Refusal.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace quillet::web {

namespace {

// Answers refused by their status alone.
struct StatusShape {
    long status;
    bool needsRetryAfter; // only with a Retry-After header (a plain 403 is no refusal)
    RefusalKind kind;
};
constexpr StatusShape kStatusShapes[] = {
    {429, false, RefusalKind::TooManyRequests},
    {403, true, RefusalKind::Forbidden},
};

// Paths of the pages a refused client is sent to.
constexpr std::string_view kRefusalPaths[] = {"/_____tmd_____/punish"};

// Bodies that are one small JSON object with a telling key at its own level.
struct BodyShape {
    std::string_view key;
    std::string_view value;   // empty: any value
    std::string_view waitKey; // empty: the shape names no wait
    RefusalKind kind;
};
constexpr BodyShape kBodyShapes[] = {
    {"rgv587_flag", "", "", RefusalKind::SecurityCheck},
    {"status", "1111", "wait", RefusalKind::FeedWait},
};

// A refusal is a few hundred bytes; pages beyond this are never read as one.
constexpr std::size_t kMaxRefusalBody = 64 * 1024;

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool isNameStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == '$'; }
bool isNameChar(char c) { return isNameStart(c) || (c >= '0' && c <= '9') || c == '.'; }

// A cursor over the body with the few steps the envelope and the object need.
class Scanner {
public:
    // gbkPairs: a byte with the high bit set takes the next byte with it inside strings, so a
    // GBK character whose second byte is a backslash cannot swallow the closing quote.
    Scanner(std::string_view text, bool gbkPairs) : m_text(text), m_gbkPairs(gbkPairs) {}

    [[nodiscard]] bool atEnd() const { return m_pos >= m_text.size(); }
    [[nodiscard]] char peek() const { return atEnd() ? '\0' : m_text[m_pos]; }
    void skipBlanksAndComments()
    {
        for (;;) {
            while (!atEnd() && isBlank(m_text[m_pos]))
                ++m_pos;
            if (m_text.substr(m_pos, 2) != "/*")
                return;
            // A comment that never ends is no blank: whatever it would hide (a closing
            // parenthesis, the end of the body) is not there.
            const std::size_t end = m_text.find("*/", m_pos + 2);
            if (end == std::string_view::npos)
                return;
            m_pos = end + 2;
        }
    }
    bool take(char c)
    {
        skipBlanksAndComments();
        if (peek() != c)
            return false;
        ++m_pos;
        return true;
    }
    bool takeWord(std::string_view word)
    {
        skipBlanksAndComments();
        if (m_text.substr(m_pos, word.size()) != word
            || (m_pos + word.size() < m_text.size() && isNameChar(m_text[m_pos + word.size()])))
            return false;
        m_pos += word.size();
        return true;
    }
    // A name such as a callback's ("jsonp_reviews_list", "window.cb"); empty when none.
    std::string_view name()
    {
        skipBlanksAndComments();
        const std::size_t start = m_pos;
        if (!isNameStart(peek()))
            return {};
        while (!atEnd() && isNameChar(m_text[m_pos]))
            ++m_pos;
        return m_text.substr(start, m_pos - start);
    }
    // A quoted string (double or single quotes, backslash escapes kept as the escaped byte).
    bool quoted(std::string& out)
    {
        skipBlanksAndComments();
        const char quote = peek();
        if (quote != '"' && quote != '\'')
            return false;
        ++m_pos;
        out.clear();
        while (!atEnd()) {
            const char c = m_text[m_pos++];
            if (c == quote)
                return true;
            if ((c == '\\' || (m_gbkPairs && static_cast<unsigned char>(c) >= 0x80)) && !atEnd()) {
                if (c != '\\')
                    out += c;
                out += m_text[m_pos++];
            } else {
                out += c;
            }
        }
        return false;
    }
    // A member key: quoted or a bare name.
    bool key(std::string& out)
    {
        if (quoted(out))
            return true;
        const std::string_view bare = name();
        out.assign(bare);
        return !bare.empty();
    }
    // A value: its text for strings, numbers and literals; nested objects and arrays are
    // skipped whole and give an empty text.
    bool value(std::string& out)
    {
        skipBlanksAndComments();
        out.clear();
        const char c = peek();
        if (c == '"' || c == '\'')
            return quoted(out);
        if (c == '{' || c == '[')
            return skipNested();
        const std::size_t start = m_pos;
        while (!atEnd() && m_text[m_pos] != ',' && m_text[m_pos] != '}' && !isBlank(m_text[m_pos]))
            ++m_pos;
        out.assign(m_text.substr(start, m_pos - start));
        return m_pos > start;
    }

private:
    bool skipNested()
    {
        std::vector<char> closers;
        std::string ignored;
        while (!atEnd()) {
            const char c = peek();
            if (c == '"' || c == '\'') {
                if (!quoted(ignored))
                    return false;
                continue;
            }
            ++m_pos;
            if (c == '{')
                closers.push_back('}');
            else if (c == '[')
                closers.push_back(']');
            else if (c == '}' || c == ']') {
                if (closers.empty() || closers.back() != c)
                    return false;
                closers.pop_back();
                if (closers.empty())
                    return true;
            }
        }
        return false;
    }

    std::string_view m_text;
    bool m_gbkPairs = false;
    std::size_t m_pos = 0;
};

using Members = std::vector<std::pair<std::string, std::string>>;

// The members of the one object the body holds, unwrapped from a JSONP call when it is one;
// nothing when the body is not of that form.
bool bodyObjectAs(std::string_view body, bool gbkPairs, Members& members)
{
    members.clear();
    Scanner s(body, gbkPairs);
    // "try{ cb({...}) }catch(e){}" wraps some answers; a callback that is itself named "try"
    // is read as a callback.
    Scanner inTry = s;
    const bool wrappedInTry = inTry.takeWord("try") && inTry.take('{');
    if (wrappedInTry)
        s = inTry;
    const std::string_view callback = s.name();
    if (!callback.empty() && !s.take('('))
        return false;
    if (!s.take('{'))
        return false;
    std::string key;
    std::string value;
    if (!s.take('}')) {
        do {
            if (!s.key(key) || !s.take(':') || !s.value(value))
                return false;
            members.emplace_back(key, value);
        } while (s.take(','));
        if (!s.take('}'))
            return false;
    }
    if (!callback.empty() && !s.take(')'))
        return false;
    s.take(';');
    s.skipBlanksAndComments();
    return wrappedInTry || s.atEnd();
}

std::string_view withoutByteOrderMark(std::string_view body)
{
    if (body.substr(0, 3) == "\xEF\xBB\xBF")
        body.remove_prefix(3);
    return body;
}

// Read as UTF-8 (or ASCII) first; a body that only reads with GBK pairs is GBK.
bool bodyObject(std::string_view body, Members& members)
{
    body = withoutByteOrderMark(body);
    return bodyObjectAs(body, false, members) || bodyObjectAs(body, true, members);
}

// Whether the body begins as bodyObject needs it to: after blanks and comments, an opening
// brace or a name (a callback's, or "try"). Markup pages and feeds that are bare members
// cannot hold a body shape, whatever words they contain.
bool mayStartAsObject(std::string_view body)
{
    Scanner s(withoutByteOrderMark(body), false);
    s.skipBlanksAndComments();
    return s.peek() == '{' || isNameStart(s.peek());
}

// Whether `word` occurs at byte i of the body as the scanner could read it: each byte after
// the first possibly behind a backslash (an escape the scanner keeps as the escaped byte).
bool looselyAt(std::string_view body, std::size_t i, std::string_view word)
{
    std::size_t p = i + 1;
    std::size_t j = 1;
    while (j < word.size() && p < body.size()) {
        if (body[p] == '\\' && p + 1 < body.size())
            ++p;
        if (body[p] != word[j])
            return false;
        ++p;
        ++j;
    }
    return j == word.size();
}

// Whether the word occurs anywhere in the body as the scanner could read it, looked for by
// its byte at offset k. Every such occurrence holds each byte of the word as it is: the byte
// at offset k lies between k and 2k bytes after the occurrence's start, right behind the
// byte before it in the word or behind the backslash that escapes it.
bool containsLoosely(std::string_view body, std::string_view word, std::size_t k)
{
    const char* d = body.data();
    const std::size_t n = body.size();
    std::size_t tried = 0; // starts below this were tried
    for (std::size_t q = k; q < n; ++q) {
        const void* hit = std::memchr(d + q, word[k], n - q);
        if (!hit)
            return false;
        q = static_cast<std::size_t>(static_cast<const char*>(hit) - d);
        if (k > 0 && d[q - 1] != word[k - 1] && d[q - 1] != '\\')
            continue;
        for (std::size_t i = std::max(tried, q >= 2 * k ? q - 2 * k : 0); i + k <= q; ++i)
            if (d[i] == word.front() && looselyAt(body, i, word))
                return true;
        tried = q - k + 1;
    }
    return false;
}

// Whether the body holds the value 1111 as the scanner could read it.
//  - Written as it is, it holds "11" at an even offset from the body's start wherever it
//    starts, and "11" is rare as a two-byte unit of a page (where a '1' alone is in every
//    other number): the body is looked at as two-byte units, many at a time.
//  - Written with escapes, it has a backslash within it; a page has few, and the value is
//    looked for around each.
bool containsWaitValue(std::string_view body)
{
    static constexpr std::string_view kValue = "1111";
    const char* d = body.data();
    const std::size_t n = body.size();
    const auto startsAt = [&](std::size_t s) { return d[s] == '1' && looselyAt(body, s, kValue); };
    // Whether the value starts at one of the places whose "11" may be the one at `at`.
    const auto onesAt = [&](std::size_t at) {
        return d[at] == '1' && d[at + 1] == '1' && ((at >= 2 && startsAt(at - 2)) || (at >= 1 && startsAt(at - 1)) || startsAt(at));
    };
    std::size_t at = 0;
#if defined(__GNUC__) || defined(__clang__)
    using Units = std::uint16_t __attribute__((vector_size(16)));
    constexpr std::size_t kBlock = 256;
    const std::uint16_t one = 0x3131; // "11" in either byte order
    const Units ones = {one, one, one, one, one, one, one, one};
    const auto anyLane = [](const Units& lanes) {
        std::uint64_t halves[2];
        std::memcpy(halves, &lanes, sizeof halves);
        return (halves[0] | halves[1]) != 0;
    };
    for (; at + kBlock <= n; at += kBlock) {
        Units found = {};
        for (std::size_t v = at; v < at + kBlock; v += sizeof(Units)) {
            Units units;
            std::memcpy(&units, d + v, sizeof units);
            found |= units == ones;
        }
        if (anyLane(found))
            for (std::size_t v = at; v < at + kBlock; v += sizeof(Units)) {
                Units units;
                std::memcpy(&units, d + v, sizeof units);
                if (anyLane(units == ones))
                    for (std::size_t u = v; u < v + sizeof(Units); u += 2)
                        if (onesAt(u))
                            return true;
            }
    }
#endif
    for (; at + 1 < n; at += 2)
        if (onesAt(at))
            return true;
    for (const void* hit = n > 0 ? std::memchr(d, '\\', n) : nullptr; hit;) {
        const auto b = static_cast<std::size_t>(static_cast<const char*>(hit) - d);
        for (std::size_t s = b >= 2 * kValue.size() ? b - 2 * kValue.size() : 0; s < b; ++s)
            if (startsAt(s))
                return true;
        hit = b + 1 < n ? std::memchr(d + b + 1, '\\', n - b - 1) : nullptr;
    }
    return false;
}

// A body without any of the shapes' keys or values cannot hold one, and need not be read as
// an object. Feed pages hold "status" in every record, so for that shape the value is looked
// for first. The check key is looked for by a digit, rarer in the feeds than its letters.
bool mayHoldBodyShape(std::string_view body)
{
    static_assert(kBodyShapes[0].key == "rgv587_flag" && kBodyShapes[1].key == "status"
                  && kBodyShapes[1].value == "1111");
    return containsLoosely(body, "rgv587_flag", 4)
        || (containsWaitValue(body) && containsLoosely(body, "status", 4));
}

const std::string* member(const Members& members, std::string_view key)
{
    for (const auto& [k, v] : members)
        if (k == key)
            return &v;
    return nullptr;
}

// A whole number of seconds, or nothing.
std::optional<long long> wholeSeconds(std::string_view text)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    if (text.empty() || text.size() > 12)
        return std::nullopt;
    long long n = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        n = n * 10 + (c - '0');
    }
    return n;
}

bool leadsToRefusalPage(std::string_view address)
{
    address = address.substr(0, address.find('?'));
    for (std::string_view path : kRefusalPaths)
        if (address.find(path) != std::string_view::npos)
            return true;
    return false;
}

// Seconds since 1970 of an HTTP date ("Sun, 06 Nov 1994 08:49:37 GMT"; the weekday may be
// missing).
std::optional<std::int64_t> httpDate(std::string_view text)
{
    static constexpr std::array<std::string_view, 12> months = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    if (const std::size_t comma = text.find(','); comma != std::string_view::npos)
        text.remove_prefix(comma + 1);
    std::vector<std::string_view> parts;
    for (std::size_t i = 0; i < text.size();) {
        while (i < text.size() && (isBlank(text[i]) || text[i] == ':'))
            ++i;
        const std::size_t start = i;
        while (i < text.size() && !isBlank(text[i]) && text[i] != ':')
            ++i;
        if (i > start)
            parts.push_back(text.substr(start, i - start));
    }
    // day month year hour minute second GMT
    if (parts.size() != 7 || parts[6] != "GMT")
        return std::nullopt;
    int month = 0;
    while (month < 12 && months[static_cast<std::size_t>(month)] != parts[1])
        ++month;
    const auto day = wholeSeconds(parts[0]);
    const auto year = wholeSeconds(parts[2]);
    const auto hour = wholeSeconds(parts[3]);
    const auto minute = wholeSeconds(parts[4]);
    const auto second = wholeSeconds(parts[5]);
    if (month == 12 || !day || !year || !hour || !minute || !second || *day < 1 || *day > 31 || *year < 1970
        || *year > 9999 || *hour > 23 || *minute > 59 || *second > 60)
        return std::nullopt;
    // Days since 1970-01-01 of a civil date (the proleptic Gregorian calendar).
    std::int64_t y = *year;
    const std::int64_t m = month + 1;
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = y / 400;
    const std::int64_t yearOfEra = y - era * 400;
    const std::int64_t dayOfYear = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + *day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    const std::int64_t days = era * 146097 + dayOfEra - 719468;
    return days * 86400 + *hour * 3600 + *minute * 60 + *second;
}

} // namespace

std::optional<long long> retryAfterSeconds(std::string_view value, std::string_view dateHeader,
                                           std::int64_t nowUnixSeconds)
{
    if (const auto seconds = wholeSeconds(value))
        return seconds;
    const auto until = httpDate(value);
    if (!until)
        return std::nullopt;
    // A clock before 1970 is no clock; counting from it could overflow the difference.
    const std::int64_t now = std::max<std::int64_t>(0, httpDate(dateHeader).value_or(nowUnixSeconds));
    return *until > now ? *until - now : 0;
}

Refusal recogniseRefusal(const AnswerView& answer)
{
    Refusal refusal;
    for (const StatusShape& shape : kStatusShapes) {
        if (answer.status != shape.status || (shape.needsRetryAfter && answer.retryAfter.empty()))
            continue;
        refusal.kind = shape.kind;
        if (!answer.retryAfter.empty())
            refusal.waitSeconds = retryAfterSeconds(answer.retryAfter, answer.date, answer.nowUnixSeconds);
        return refusal;
    }
    if (leadsToRefusalPage(answer.location) || leadsToRefusalPage(answer.finalUrl)) {
        refusal.kind = RefusalKind::PunishPage;
        return refusal;
    }
    Members members;
    if (answer.body.empty() || answer.body.size() > kMaxRefusalBody || !mayStartAsObject(answer.body)
        || !mayHoldBodyShape(answer.body) || !bodyObject(answer.body, members))
        return refusal;
    for (const BodyShape& shape : kBodyShapes) {
        const std::string* value = member(members, shape.key);
        if (!value || (!shape.value.empty() && *value != shape.value))
            continue;
        refusal.kind = shape.kind;
        if (!shape.waitKey.empty())
            if (const std::string* wait = member(members, shape.waitKey))
                refusal.waitSeconds = wholeSeconds(*wait);
        return refusal;
    }
    return refusal;
}

std::string_view refusalName(RefusalKind kind)
{
    switch (kind) {
    case RefusalKind::None: return "none";
    case RefusalKind::SecurityCheck: return "security-check";
    case RefusalKind::PunishPage: return "punish-page";
    case RefusalKind::FeedWait: return "feed-wait";
    case RefusalKind::TooManyRequests: return "too-many-requests";
    case RefusalKind::Forbidden: return "forbidden";
    }
    return "none";
}

} // namespace quillet::web
