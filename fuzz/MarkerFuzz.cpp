// The marker walker against a step-by-step reference. One position variable walks through a
// text forward, backward or both by turns, once through the plain calls and once through a
// text scan kept across the calls (the path the feed parsers take); every step's value,
// position and written-back markers must equal the reference's. The searches, the retrying
// variant and the "#引号" variant are checked on the way.

#include "FuzzSupport.h"

#include "compose/TextOps.h"
#include "tests/compose/StepwiseText.h"
#include "text/TextScan.h"

using namespace quillet;

namespace {

const GbkText kHead = "#\xC4\xAB\xCD\xA1\xCD\xB7#"; // "#墨汀头#"
const GbkText kTail = "#\xC4\xAB\xCD\xA1\xCE\xB2#"; // "#墨汀尾#"

// The searches of the reference, with the rule for a search text that ends in a lone lead
// byte: it matches only at the very end of the text (a broken character matching the same
// broken character). Appending one letter to both makes that a match of whole characters.
bool endsInLoneLead(const GbkText& what)
{
    return !stepwise::boundariesOf(what).back();
}

bool matchesAtEnd(const GbkText& t, const GbkText& what, long long from, bool ignoreCase, bool before)
{
    if (what.size() > t.size())
        return false;
    const std::size_t i = t.size() - what.size();
    const bool allowed = before ? (from < 1 || static_cast<long long>(i) + 1 <= from)
                                : static_cast<long long>(i) + 1 >= from;
    const GbkText longer = t + "A";
    return allowed && stepwise::matchesAt(longer, stepwise::boundariesOf(longer), i, what + "A", ignoreCase);
}

long long find(const GbkText& t, const GbkText& what, long long from, bool ignoreCase)
{
    if (!endsInLoneLead(what))
        return stepwise::find(t, what, from, ignoreCase);
    return matchesAtEnd(t, what, from, ignoreCase, false) ? static_cast<long long>(t.size() - what.size()) + 1 : -1;
}

long long findLast(const GbkText& t, const GbkText& what, long long from, bool ignoreCase)
{
    if (!endsInLoneLead(what))
        return stepwise::findLast(t, what, from, ignoreCase);
    return matchesAtEnd(t, what, from, ignoreCase, true) ? static_cast<long long>(t.size() - what.size()) + 1 : -1;
}

GbkText replaceAll(const GbkText& t, const GbkText& what, const GbkText& with, bool ignoreCase)
{
    if (!endsInLoneLead(what))
        return stepwise::replaceAll(t, what, with, ignoreCase);
    return matchesAtEnd(t, what, 1, ignoreCase, false) ? t.substr(0, t.size() - what.size()) + with : t;
}

// The 1-based start of the last match of `what` lying wholly within the first `limit` bytes.
long long lastWithin(const GbkText& s, const GbkText& what, long long limit)
{
    const long long lastStart = limit - static_cast<long long>(what.size()) + 1;
    if (lastStart < 1)
        return -1;
    return findLast(s, what, lastStart, true);
}

// The value from 1-based v over `length` bytes, bytes outside the text left out.
GbkText slice(const GbkText& s, long long v, long long length)
{
    if (length <= 0)
        return GbkText();
    const long long begin = std::max<long long>(v, 1);
    const long long end = std::min<long long>(v + length, static_cast<long long>(s.size()) + 1);
    return begin < end ? s.substr(static_cast<std::size_t>(begin - 1), static_cast<std::size_t>(end - begin))
                       : GbkText();
}

GbkText withSentinels(const GbkText& text, GbkText& start, GbkText& end)
{
    GbkText s = text;
    if (start.empty()) {
        start = kHead;
        s = kHead + s;
    }
    if (end.empty()) {
        end = kTail;
        s += kTail;
    }
    return s;
}

GbkText referenceBetweenEx(const GbkText& text, GbkText& start, GbkText& end, long long a, long long b,
                           long long& position, bool backward, bool unquote)
{
    if (unquote) {
        start = stepwise::replaceAll(start, "''", "\"", false);
        end = stepwise::replaceAll(end, "''", "\"", false);
    }
    const GbkText s = withSentinels(text, start, end);
    const auto size = static_cast<long long>(s.size());
    long long s0 = -1;
    long long e = -1;
    if (!backward) {
        s0 = find(s, start, position, true);
        if (s0 < 0)
            return GbkText();
        e = find(s, end, s0 + static_cast<long long>(start.size()), true);
        if (e < 0)
            return GbkText();
        position = e + static_cast<long long>(end.size());
    } else {
        e = lastWithin(s, end, position < 1 ? size : std::min(position - 1, size));
        if (e < 0)
            return GbkText();
        s0 = lastWithin(s, start, e - 1);
        if (s0 < 0)
            return GbkText();
        position = s0;
    }
    const long long v = s0 + static_cast<long long>(start.size()) + a;
    return slice(s, v, e - v - b);
}

GbkText referenceRetry(const GbkText& text, GbkText start, GbkText end, long long& position, bool endFirst,
                       long long a, long long b, bool keepQuotes)
{
    if (!keepQuotes) {
        start = stepwise::replaceAll(start, "''", "\"", false);
        end = stepwise::replaceAll(end, "''", "\"", false);
    }
    const GbkText s = withSentinels(text, start, end);
    const long long entry = position;
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (attempt == 1) {
            position = entry;
            std::erase(start, '"');
            std::erase(end, '"');
        }
        long long s0 = -1;
        long long e = -1;
        if (!endFirst) {
            s0 = find(s, start, position, true);
            if (s0 > 0)
                e = find(s, end, s0 + static_cast<long long>(start.size()), true);
        } else {
            e = find(s, end, position, true);
            if (e > 0)
                s0 = lastWithin(s, start, e - 1);
        }
        if (s0 < 0 || e < 0)
            continue;
        position = e + static_cast<long long>(end.size());
        const long long v = s0 + static_cast<long long>(start.size()) + a;
        return slice(s, v, e - v - b);
    }
    return GbkText();
}

GbkText referenceBetween(const GbkText& text, GbkText start, GbkText end, long long from, bool ignoreCase)
{
    const GbkText quoteWord = "#\xD2\xFD\xBA\xC5"; // "#引号"
    start = stepwise::replaceAll(start, quoteWord, "\"", false);
    end = stepwise::replaceAll(end, quoteWord, "\"", false);
    const long long s0 = find(text, start, from, ignoreCase);
    if (s0 < 0)
        return GbkText();
    const long long v = s0 + static_cast<long long>(start.size());
    const long long e = find(text, end, v, ignoreCase);
    return e < 0 ? GbkText() : text.substr(static_cast<std::size_t>(v - 1), static_cast<std::size_t>(e - v));
}

std::string describe(long long step, long long position)
{
    return "step " + std::to_string(step) + ", position " + std::to_string(position);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    const GbkText startMarker = in.ConsumeRandomLengthString(40);
    const GbkText endMarker = in.ConsumeRandomLengthString(40);
    const long long a = in.ConsumeIntegralInRange(-3, 3);
    const long long b = in.ConsumeIntegralInRange(-3, 3);
    const bool unquote = in.ConsumeBool();
    const bool flag = in.ConsumeBool();
    const long long start = in.ConsumeIntegralInRange(-2, 12);
    const auto directions = in.ConsumeIntegral<std::uint32_t>(); // one bit per step: backward
    const GbkText text = in.ConsumeRemainingBytesAsString();

    // The walk: plain calls, calls sharing one scan, and the reference, step by step.
    text::TextScan scan(text);
    long long p1 = start, p2 = start, p3 = start;
    GbkText s1 = startMarker, e1 = endMarker, s2 = startMarker, e2 = endMarker, s3 = startMarker, e3 = endMarker;
    for (long long step = 0; step < 64; ++step) {
        const bool backward = (directions >> (step % 32)) & 1;
        const long long before = p1;
        const GbkText v1 = compose::textBetweenEx(text, s1, e1, a, b, p1, backward, unquote);
        const GbkText v2 = compose::textBetweenEx(scan, s2, e2, a, b, p2, backward, unquote);
        const GbkText v3 = referenceBetweenEx(text, s3, e3, a, b, p3, backward, unquote);
        fuzz::check(v1 == v3 && p1 == p3 && s1 == s3 && e1 == e3, "textBetweenEx walks as the reference does",
                    describe(step, before));
        fuzz::check(v2 == v3 && p2 == p3 && s2 == s3 && e2 == e3, "a walk with one scan walks as the reference does",
                    describe(step, before));
        if (v3.empty() && p3 == before)
            break;
    }

    long long r1 = start, r2 = start;
    fuzz::check(compose::textBetweenRetry(text, startMarker, endMarker, r1, flag, a, b, unquote)
                        == referenceRetry(text, startMarker, endMarker, r2, flag, a, b, unquote)
                    && r1 == r2,
                "textBetweenRetry finds what the reference finds");
    fuzz::check(compose::textBetween(text, startMarker, endMarker, start, flag)
                    == referenceBetween(text, startMarker, endMarker, start, flag),
                "textBetween finds what the reference finds");
    fuzz::check(compose::findText(text, startMarker, start, flag) == find(text, startMarker, start, flag),
                "findText finds what the reference finds");
    const long long last = compose::findTextBackward(text, endMarker, start, flag);
    fuzz::check(last == findLast(text, endMarker, start, flag), "findTextBackward finds what the reference finds",
                std::to_string(last) + " from " + std::to_string(start) + " for " + fuzz::hex(endMarker) + " in "
                    + fuzz::hex(text));
    fuzz::check(compose::replaceAll(text, startMarker, endMarker, flag)
                    == replaceAll(text, startMarker, endMarker, flag),
                "replaceAll replaces what the reference replaces");
    return 0;
}
