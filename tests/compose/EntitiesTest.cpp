#include "StepwiseText.h"
#include "compose/TextOps.h"
#include "text/Charset.h"
#include "text/EventPump.h"

#include <gtest/gtest.h>

#include <random>

using namespace quillet;
using namespace quillet::compose;

namespace {

using stepwise::boundariesOf;
using stepwise::randomText;

GbkText stepwiseReplace(const GbkText& t, const GbkText& what, const GbkText& with)
{
    return stepwise::replaceAll(t, what, with, false);
}

const std::vector<std::pair<GbkText, GbkText>>& referenceTable()
{
    static const std::vector<std::pair<GbkText, GbkText>> table = {
        {"&ndash;", "\xA8\x43"},  {"&mdash;", "\xA1\xAA"},  {"&ldquo;", "\xA1\xB0"},  {"&rdquo;", "\xA1\xB1"},
        {"&nbsp;", " "},          {"&lt;", "<"},            {"&gt;", ">"},            {"&quot;", "\""},
        {"&times;", "\xA1\xC1"},  {"&divide;", "\xA1\xC2"}, {"&middot;", "\xA1\xA4"}, {"&hellip;", "\xA1\xAD"},
        {"&lsquo;", "\xA1\xAE"},  {"&rsquo;", "\xA1\xAF"},  {"&permil;", "\xA1\xEB"}, {"&prime;", "\xA1\xE4"},
        {"&Prime;", "\xA1\xE5"},  {"&larr;", "\xA1\xFB"},   {"&uarr;", "\xA1\xFC"},   {"&rarr;", "\xA1\xFA"},
        {"&darr;", "\xA1\xFD"},   {"&radic;", "\xA1\xCC"},  {"&prop;", "\xA1\xD8"},   {"&infin;", "\xA1\xDE"},
        {"&ang;", "\xA1\xCF"},    {"&and;", "\xA1\xC4"},    {"&or;", "\xA1\xC5"},     {"&cap;", "\xA1\xC9"},
        {"&cup;", "\xA1\xC8"},    {"&int;", "\xA1\xD2"},    {"&there4;", "\xA1\xE0"}, {"&sim;", "\xA1\xAB"},
        {"&asymp;", "\xA1\xD6"},  {"&ne;", "\xA1\xD9"},     {"&equiv;", "\xA1\xD4"},  {"&le;", "\xA1\xDC"},
        {"&ge;", "\xA1\xDD"},     {"&oplus;", "\xA8\x92"},  {"&perp;", "\xA1\xCD"},   {"&amp;", "&"},
    };
    return table;
}

GbkText stepwiseDecode(const GbkText& text, bool skipNumeric)
{
    GbkText cur = text;
    for (const auto& [name, result] : referenceTable())
        cur = stepwiseReplace(cur, name, result);
    if (skipNumeric)
        return cur;
    std::size_t previous = cur.size();
    for (;;) {
        const auto b = boundariesOf(cur);
        std::size_t q = GbkText::npos;
        for (std::size_t i = std::min(previous, cur.size()); i-- > 0;)
            if (b[i] && cur.compare(i, 2, "&#") == 0) {
                q = i;
                break;
            }
        if (q == GbkText::npos)
            break;
        previous = q;
        const std::size_t semi = cur.find(';', q);
        if (semi == GbkText::npos)
            continue;
        unsigned value = 0;
        for (std::size_t i = q + 2; i < semi && cur[i] >= '0' && cur[i] <= '9'; ++i)
            value = (value * 10 + static_cast<unsigned>(cur[i] - '0')) & 0xFFFF;
        cur.replace(q, semi - q + 1, text::codePointToGbk(value));
    }
    return cur;
}

GbkText stepwiseStrip(const GbkText& text)
{
    GbkText t = text;
    std::size_t limit = t.size();
    for (;;) {
        const auto b = boundariesOf(t);
        auto lastAt = [&](char c, std::size_t before) {
            for (std::size_t i = before; i-- > 0;)
                if (b[i] && t[i] == c)
                    return i;
            return GbkText::npos;
        };
        std::size_t close = lastAt('>', limit);
        if (close == GbkText::npos)
            break;
        const std::size_t open = lastAt('<', close);
        if (open == GbkText::npos)
            break;
        for (std::size_t nearer = lastAt('>', close); nearer != GbkText::npos && nearer > open;
             nearer = lastAt('>', close))
            close = nearer;
        t.erase(open, close - open + 1);
        limit = open;
    }
    return t;
}

} // namespace

TEST(DecodeEntities, DescribedExamples)
{
    EXPECT_EQ(decodeEntities("&lt;b&gt; &#20013;&amp;&#;"), "<b> " + gbk("中") + "&");
    EXPECT_EQ(decodeEntities("&Prime;&prime;&PRIME;"), "\xA1\xE5\xA1\xE4&PRIME;");
    EXPECT_EQ(decodeEntities("&LT;&Amp;"), "&LT;&Amp;");
}

TEST(DecodeEntities, EveryNamedReferenceInTheTable)
{
    for (const auto& [name, result] : referenceTable())
        EXPECT_EQ(decodeEntities("x" + name + "y"), "x" + result + "y") << name;
}

TEST(DecodeEntities, AmpersandRowComesLast)
{
    EXPECT_EQ(decodeEntities("&amp;lt;"), "&lt;");
    EXPECT_EQ(decodeEntities("&amp;amp;"), "&amp;");
    // A numeric reference made by the named pass is decoded by the numeric one.
    EXPECT_EQ(decodeEntities("&amp;#65;"), "A");
    EXPECT_EQ(decodeEntities("&amp;#65;", true), "&#65;");
}

TEST(DecodeEntities, NumericReferencesFromTheEnd)
{
    EXPECT_EQ(decodeEntities("&#x4E2D;"), "");
    EXPECT_EQ(decodeEntities("&#65 and"), "&#65 and");
    EXPECT_EQ(decodeEntities("&#65&#66;"), "&#65B");
    // The earlier reference takes its ";" from the text the later one produced.
    EXPECT_EQ(decodeEntities("&#65&#66;;"), "A");
    EXPECT_EQ(decodeEntities("&&#;#65;"), "A");
    // "&" made by a reference lies at the handled place, not before it: left alone.
    EXPECT_EQ(decodeEntities("&#38;#65;"), "&#65;");
    EXPECT_EQ(decodeEntities("&#20013&#59;"), gbk("中"));
    // Only the low 16 bits of the number count.
    EXPECT_EQ(decodeEntities("&#65601;"), "A");
    EXPECT_EQ(decodeEntities("&#99999999999999999999999;"), "?"); // 0xFFFF has no GBK form
    EXPECT_EQ(decodeEntities("&#65;", true), "&#65;");
    // "&" as the second byte of a pair is not a reference.
    EXPECT_EQ(decodeEntities("\x81&lt;\x81&#65;"), "\x81&lt;\x81&#65;");
}

TEST(DecodeEntities, PumpsEventsOncePerNumericReference)
{
    int calls = 0;
    auto previous = text::setEventPump([&calls] { ++calls; });
    EXPECT_EQ(decodeEntities("&#65;&lt;&#66;"), "A<B");
    text::setEventPump(previous);
    EXPECT_EQ(calls, 2);
}

TEST(DecodeEntities, AgreesWithStepwiseDecodingOnRandomText)
{
    const std::vector<GbkText> pieces = {"&",   "#",  ";",       "&#",       "amp;",      "lt;", "Prime;",
                                         "6",   "5",  "0",       "x4E2D",    "\xB0\xA1", "\x81", "a",
                                         " ",   "&amp;", "&#59;", "&#38;",   "&#35;",     "&#;", "&lt;"};
    std::mt19937 rng(20240517);
    for (int round = 0; round < 4000; ++round) {
        const GbkText input = randomText(rng, pieces, 24);
        ASSERT_EQ(decodeEntities(input), stepwiseDecode(input, false)) << testing::PrintToString(input);
        ASSERT_EQ(decodeEntities(input, true), stepwiseDecode(input, true)) << testing::PrintToString(input);
        // The in-place form, on a text that held a longer one before (room left behind).
        GbkText inPlace = input + input;
        inPlace.assign(input);
        decodeEntitiesInPlace(inPlace);
        ASSERT_EQ(inPlace, stepwiseDecode(input, false)) << testing::PrintToString(input);
    }
}

TEST(StripTags, RemovesMarkupSpans)
{
    EXPECT_EQ(stripTags("<p class=\"x\">Hello <b>world</b></p>"), "Hello world");
    EXPECT_EQ(stripTags("a < b > c"), "a  c");
    EXPECT_EQ(stripTags("a > b"), "a > b");
    EXPECT_EQ(stripTags("a < b"), "a < b");
    EXPECT_EQ(stripTags(">a<"), ">a<");
    // A ">" between "<" and the last ">" closes the tag; the one after it stays.
    EXPECT_EQ(stripTags("<a<b>c>"), "<ac>");
    EXPECT_EQ(stripTags("x<y>>"), "x>");
    EXPECT_EQ(stripTags(gbk("好<br/>评")), gbk("好评"));
    // "<" as the second byte of a pair opens nothing.
    EXPECT_EQ(stripTags("\x81<b>"), "\x81<b>");
    EXPECT_EQ(stripTags(GbkText()), "");
}

TEST(StripTags, AgreesWithStepwiseStrippingOnRandomText)
{
    const std::vector<GbkText> pieces = {"<", ">", "a", "\xB0\xA1", "\x81", "<b>", "</i>", ">>", "\x81<", "\x81>"};
    std::mt19937 rng(7);
    for (int round = 0; round < 4000; ++round) {
        const GbkText input = randomText(rng, pieces, 20);
        ASSERT_EQ(stripTags(input), stepwiseStrip(input)) << testing::PrintToString(input);
    }
}

TEST(StripTags, PumpsEventsWhileScanning)
{
    int calls = 0;
    auto previous = text::setEventPump([&calls] { ++calls; });
    EXPECT_EQ(stripTags("<a>1<b>2<c>"), "12");
    text::setEventPump(previous);
    EXPECT_GE(calls, 3);
}
