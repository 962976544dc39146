// Character references and tag stripping. Both only ever shorten a text, and both are checked
// against step-by-step versions of their rules that rebuild the text after every change: the
// numeric references decoded from the end towards the start (a reference may take its ";"
// from what a later one produced), the tags removed from the end, a "<" paired with the
// nearest ">" after it. One input in 256 is repeated to 64 KB and only timed by the fuzzer's
// time-out, so a pass that is not linear shows up as a slow unit.

#include "FuzzSupport.h"

#include "compose/TextOps.h"
#include "tests/compose/StepwiseText.h"
#include "text/Charset.h"

using namespace quillet;

namespace {

// The last occurrence (1-based) starting before byte position `before`, at a character boundary.
long long lastBefore(const GbkText& t, const GbkText& what, long long before)
{
    return before <= 1 ? -1 : stepwise::findLast(t, what, before - 1, false);
}

GbkText referenceNumeric(GbkText t)
{
    long long previous = static_cast<long long>(t.size()) + 1;
    for (;;) {
        const long long q = lastBefore(t, "&#", previous);
        if (q < 0)
            return t;
        previous = q;
        // The ";" is the next such byte, even as the second byte of a broken character: in
        // GBK no character ends in ";", so on valid text this is the next ";" character.
        const std::size_t semiAt = t.find(';', static_cast<std::size_t>(q + 1));
        if (semiAt == GbkText::npos)
            continue;
        const auto semi = static_cast<long long>(semiAt) + 1;
        unsigned value = 0;
        for (long long i = q + 1; i < semi - 1 && t[static_cast<std::size_t>(i)] >= '0'
             && t[static_cast<std::size_t>(i)] <= '9';
             ++i)
            value = (value * 10 + static_cast<unsigned>(t[static_cast<std::size_t>(i)] - '0')) % 65536;
        t = t.substr(0, static_cast<std::size_t>(q - 1)) + text::codePointToGbk(value)
            + t.substr(static_cast<std::size_t>(semi));
    }
}

GbkText referenceStripTags(GbkText t)
{
    long long limit = static_cast<long long>(t.size()) + 1; // spans end before this position
    for (;;) {
        const long long close = lastBefore(t, ">", limit);
        if (close < 0)
            return t;
        const long long open = lastBefore(t, "<", close);
        if (open < 0)
            return t;
        const long long nearest = stepwise::find(t, ">", open + 1, false);
        t.erase(static_cast<std::size_t>(open - 1), static_cast<std::size_t>(nearest - open + 1));
        limit = open;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    const bool amplify = in.ConsumeIntegral<std::uint8_t>() == 0xA5;
    const bool skipNumeric = in.ConsumeBool();
    GbkText text = in.ConsumeRemainingBytesAsString();
    if (amplify && !text.empty()) {
        const GbkText unit = text;
        while (text.size() < 64 * 1024)
            text += unit;
    }

    const GbkText decoded = compose::decodeEntities(text, skipNumeric);
    const GbkText stripped = compose::stripTags(text);
    fuzz::check(decoded.size() <= text.size(), "decoding never lengthens a text", fuzz::hex(text));
    fuzz::check(stripped.size() <= text.size(), "stripping never lengthens a text", fuzz::hex(text));
    if (amplify)
        return 0;

    const GbkText named = compose::decodeEntities(text, true);
    fuzz::check(decoded == (skipNumeric ? named : referenceNumeric(named)),
                "numeric references decode as the step-by-step rule does", fuzz::hex(text));
    fuzz::check(stripped == referenceStripTags(text), "tags go as the step-by-step rule removes them",
                fuzz::hex(text));
    return 0;
}
