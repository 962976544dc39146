#include "StepwiseText.h"
#include "compose/TextOps.h"
#include "text/Searcher.h"

#include <gtest/gtest.h>

#include <cctype>
#include <random>

using namespace quillet;
using namespace quillet::compose;

namespace {

// Two-byte characters whose second byte lies in the ASCII range.
const GbkText kTrailBackslash = "\x81\x5C"; // second byte "\"
const GbkText kTrailBar = "\x81\x7C";       // second byte "|"
const GbkText kTrailSmallA = "\x81\x61";    // second byte "a"
const GbkText kTrailBigA = "\x81\x41";      // second byte "A"

} // namespace

TEST(CharCount, LineBreakModesAndDoubleByteCharacters)
{
    const GbkText text = gbk("中文") + "\r\nab";
    EXPECT_EQ(charCount(text, 1), 5);
    EXPECT_EQ(charCount(text, 0), 4);
    EXPECT_EQ(charCount(text, 2), 6);
    EXPECT_EQ(charCount("\n", 1), 1);
    EXPECT_EQ(charCount("\r", 1), 1);
    EXPECT_EQ(charCount("\r\r\n\n", 1), 3);
    EXPECT_EQ(charCount(GbkText(), 1), 0);
    // A pair whose second byte is below 0x80 still counts once.
    EXPECT_EQ(charCount(kTrailSmallA + "a", 1), 2);
    // A lone lead byte at the end completes nothing.
    EXPECT_EQ(charCount("ab\xB0", 1), 2);
}

TEST(CharMid, SlicesByCharacters)
{
    const GbkText text = gbk("中文") + "\r\nab";
    EXPECT_EQ(charMid(text, 3, 2), "\r\na");
    EXPECT_EQ(charMid(text, 1, 1), gbk("中"));
    EXPECT_EQ(charMid(text, 0, 2), gbk("中文"));
    EXPECT_EQ(charMid(text, 4, 100), "ab");
    EXPECT_EQ(charMid(text, 6, 1), "");
    EXPECT_EQ(charMid(text, 2, 0), "");
    EXPECT_EQ(charMid(text, 2, -3), "");
    EXPECT_EQ(charMid(kTrailBigA + "x", 2, 1), "x");
}

TEST(Search, MatchesOnlyAtCharacterBoundaries)
{
    // "\" and "|" inside a two-byte character are never found.
    EXPECT_EQ(findText(kTrailBackslash + "x\\", "\\"), 4);
    EXPECT_EQ(findText(kTrailBar, "|"), -1);
    EXPECT_EQ(findTextBackward("\\" + kTrailBackslash, "\\"), 1);
    // "a" as a second byte is not the letter a, in either case.
    EXPECT_EQ(findText(kTrailSmallA + kTrailBigA, "a"), -1);
    EXPECT_EQ(findText(kTrailSmallA + kTrailBigA + "A", "a"), 5);
    EXPECT_EQ(findText("x" + kTrailBigA + "a", "Aa"), -1);
    // A run of pairs decides boundaries by its parity: "\xB0\xA1\xB0" + "a" holds the pair
    // B0 A1 and then B0 61.
    EXPECT_EQ(findText("\xB0\xA1\xB0" "a", "a"), -1);
    EXPECT_EQ(findText("\xB0\xA1" "a", "a"), 3);
    // Starting the search inside a character moves to the next boundary.
    EXPECT_EQ(findText(kTrailSmallA + "a", "a", 2), 3);
}

TEST(Search, IgnoresCaseOfAsciiLettersOnly)
{
    EXPECT_EQ(findText("xxRateContent", "ratecontent"), 3);
    EXPECT_EQ(findText("xxRateContent", "ratecontent", 1, false), -1);
    // Lead bytes that differ by 0x20 are different characters.
    EXPECT_EQ(findText("\xC1\xA1", "\xE1\xA1"), -1);
    EXPECT_EQ(findText("@[", "`{"), -1);
    EXPECT_EQ(replaceAll("aAbB" + kTrailSmallA, "a", "-"), "--bB" + kTrailSmallA);
}

TEST(Search, ForwardAndBackwardPositions)
{
    const GbkText text = "abcabc";
    EXPECT_EQ(findText(text, "bc"), 2);
    EXPECT_EQ(findText(text, "bc", 3), 5);
    EXPECT_EQ(findText(text, "bc", 6), -1);
    EXPECT_EQ(findText(text, "", 4), 4);
    EXPECT_EQ(findTextBackward(text, "bc"), 5);
    EXPECT_EQ(findTextBackward(text, "bc", 4), 2);
    EXPECT_EQ(findTextBackward(text, "bc", 1), -1);
    EXPECT_EQ(findText(GbkText(), "a"), -1);
}

TEST(Search, AChangedByteInTheSameBufferIsSeen)
{
    // 100 ASCII bytes, then 你 (C4 E3) 3,000 times. One byte of the run turned into "a" makes the
    // rest of the run pairs E3 C4, so 你 is no longer found behind it. The buffer keeps its
    // address and size, and a search has just walked the whole run.
    GbkText text(100, 'a');
    for (int i = 0; i < 3000; ++i)
        text += "\xC4\xE3";
    const long long from = 5901;
    for (std::size_t changed = 102; changed < 5800; changed += 58) {
        ASSERT_EQ(findText(text, "\xE3\xC4"), -1);
        const char saved = text[changed];
        text[changed] = 'a';
        EXPECT_EQ(findText(text, "\xC4\xE3", from), -1) << changed;
        text[changed] = saved;
        ASSERT_EQ(findText(text, "\xC4\xE3", from), from);
    }
}

TEST(Search, LongSearchTextsAgreeWithStepwiseSearch)
{
    // Search texts of 32 bytes and more in repetitive text, where nearly every candidate is a long
    // partial match. Copies with letters in upper case (second bytes too) mix matches that fold
    // with ones that must not.
    const std::vector<GbkText> pieces = {"a", "A", "b", "\xB0\xA1", "\x81\x61", "\x81\x41", "\x81", "ab"};
    std::mt19937 rng(7);
    const auto upper = [](GbkText t) {
        for (char& c : t)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return t;
    };
    for (int round = 0; round < 400; ++round) {
        const GbkText unit = stepwise::randomText(rng, pieces, 3) + "a";
        GbkText text;
        while (text.size() < 700) {
            const unsigned pick = rng() % 8;
            text += pick == 0 ? stepwise::randomText(rng, pieces, 2) : pick == 1 ? upper(unit) : unit;
        }
        GbkText what;
        while (what.size() < 32)
            what += unit;
        what += stepwise::randomText(rng, pieces, 2);
        if (!stepwise::boundariesOf(what).back())
            what += "a";
        const long long size = static_cast<long long>(text.size());
        for (const long long from : {0LL, 1 + static_cast<long long>(rng() % text.size()), size}) {
            for (const bool ignoreCase : {true, false}) {
                ASSERT_EQ(findText(text, what, from, ignoreCase), stepwise::find(text, what, from, ignoreCase))
                    << testing::PrintToString(text) << " " << testing::PrintToString(what) << " " << from;
                ASSERT_EQ(findTextBackward(text, what, from, ignoreCase),
                          stepwise::findLast(text, what, from, ignoreCase))
                    << testing::PrintToString(text) << " " << testing::PrintToString(what) << " " << from;
            }
        }
    }
}

TEST(Searcher, OneScanServesManySearchesInAnyOrder)
{
    // Search texts prepared once and used on many texts; one scan per text shared by searches
    // forward and backward from any position, as a one-pass parser uses them.
    const std::vector<GbkText> pieces = {"a", "A", "|", "\xB0\xA1", "\x81\x61", "\x81|", "\x81", "ab"};
    const std::vector<text::Searcher> searchers = {text::Searcher("a"), text::Searcher("\xB0\xA1"),
                                                   text::Searcher("|", false), text::Searcher("\x81\x61" "a")};
    std::mt19937 rng(5);
    for (int round = 0; round < 300; ++round) {
        const GbkText t = stepwise::randomText(rng, pieces, 40);
        text::TextScan scan(t);
        for (int k = 0; k < 30; ++k) {
            const text::Searcher& s = searchers[rng() % searchers.size()];
            const std::size_t at = rng() % (t.size() + 1);
            const auto oneBased = [](std::size_t r) { return r == text::Searcher::npos ? -1LL : static_cast<long long>(r) + 1; };
            const long long from = static_cast<long long>(at) + 1;
            if (rng() % 2)
                ASSERT_EQ(oneBased(s.find(scan, at)), stepwise::find(t, s.text(), from, s.ignoresCase()))
                    << testing::PrintToString(t) << " " << at;
            else
                ASSERT_EQ(oneBased(s.findLast(scan, at)), stepwise::findLast(t, s.text(), from, s.ignoresCase()))
                    << testing::PrintToString(t) << " " << at;
        }
    }
}

TEST(Searcher, DenseAndSparseCandidatesAgreeWithStepwiseSearch)
{
    // Texts long enough for the many-at-a-time candidate test, where the rarest byte of the
    // search text is now rare, now nearly everywhere (the search changes its way of finding
    // candidates midway); search texts of one, two, three and more bytes, letters folding.
    const std::vector<GbkText> pieces = {"c", "C", "n", "x", "\xB0\xA1", "\x81\x63", "cn", "cccc"};
    std::mt19937 rng(9);
    for (int round = 0; round < 400; ++round) {
        const GbkText t = stepwise::randomText(rng, pieces, static_cast<int>(10 + rng() % 200));
        text::TextScan scan(t);
        const GbkText what = ("c" + stepwise::randomText(rng, pieces, 3)).substr(rng() % 2, 1 + rng() % 6);
        const text::Searcher s(what, rng() % 2 == 0);
        for (int k = 0; k < 8; ++k) {
            const std::size_t at = rng() % (t.size() + 1);
            const auto oneBased = [](std::size_t r) { return r == text::Searcher::npos ? -1LL : static_cast<long long>(r) + 1; };
            const long long from = static_cast<long long>(at) + 1;
            ASSERT_EQ(oneBased(s.find(scan, at)), stepwise::find(t, what, from, s.ignoresCase()))
                << testing::PrintToString(t) << " " << testing::PrintToString(what) << " " << at;
            // The last match at or after a first start is the last one, if it starts there.
            const std::size_t first = rng() % 2 ? 0 : rng() % (at + 1);
            const long long last = stepwise::findLast(t, what, from, s.ignoresCase());
            ASSERT_EQ(oneBased(s.findLast(scan, at, first)), last > static_cast<long long>(first) ? last : -1)
                << testing::PrintToString(t) << " " << testing::PrintToString(what) << " " << at << " " << first;
        }
    }
}

TEST(TextBetweenEx, ForwardWalkVisitsEveryOccurrence)
{
    GbkText start = "[";
    GbkText end = "]";
    long long position = 0;
    const GbkText text = "a[1]b[2]";
    EXPECT_EQ(textBetweenEx(text, start, end, 0, 0, position), "1");
    EXPECT_EQ(position, 5);
    EXPECT_EQ(textBetweenEx(text, start, end, 0, 0, position), "2");
    EXPECT_EQ(textBetweenEx(text, start, end, 0, 0, position), "");
}

TEST(TextBetweenEx, BackwardWalkVisitsOccurrencesFromTheEnd)
{
    GbkText start = "[";
    GbkText end = "]";
    long long position = 0;
    const GbkText text = "a[1]b[2]";
    EXPECT_EQ(textBetweenEx(text, start, end, 0, 0, position, true), "2");
    EXPECT_EQ(position, 6);
    EXPECT_EQ(textBetweenEx(text, start, end, 0, 0, position, true), "1");
    EXPECT_EQ(textBetweenEx(text, start, end, 0, 0, position, true), "");

    // Identical markers pair up the same way in both directions.
    GbkText quote = "\"";
    GbkText quote2 = "\"";
    position = 0;
    const GbkText quoted = "\"a\" \"b\"";
    EXPECT_EQ(textBetweenEx(quoted, quote, quote2, 0, 0, position, true), "b");
    EXPECT_EQ(textBetweenEx(quoted, quote, quote2, 0, 0, position, true), "a");
    EXPECT_EQ(textBetweenEx(quoted, quote, quote2, 0, 0, position, true), "");
}

TEST(TextBetweenEx, AdjustmentsTrimTheValue)
{
    GbkText start = "[";
    GbkText end = "]";
    EXPECT_EQ(textBetweenEx("x[abc]", start, end, 1, 1), "b");
    EXPECT_EQ(textBetweenEx("x[abc]", start, end, 2, 1), "");
    EXPECT_EQ(textBetweenEx("x[abc]", start, end, -1, 0), "[abc");
    EXPECT_EQ(textBetweenEx("x[abc]", start, end, 0, -1), "abc]");
    // Adjustments reaching outside the text are cut to it.
    EXPECT_EQ(textBetweenEx("[abc]", start, end, -5, -5), "[abc]");
}

TEST(TextBetweenEx, EmptyMarkersUseSentinelsAndAreWrittenBack)
{
    GbkText start = "b";
    GbkText end;
    EXPECT_EQ(textBetweenEx("abcd", start, end), "cd");
    EXPECT_EQ(end, tailSentinel());

    GbkText noStart;
    GbkText noEnd;
    EXPECT_EQ(textBetweenEx("abcd", noStart, noEnd), "abcd");
    EXPECT_EQ(noStart, gbk("#墨汀头#"));
    EXPECT_EQ(noEnd, gbk("#墨汀尾#"));
    EXPECT_EQ(headSentinel().size(), 8u);

    // Positions count the head sentinel.
    GbkText head;
    GbkText c = "c";
    long long position = 0;
    EXPECT_EQ(textBetweenEx("abcd", head, c, 0, 0, position), "ab");
    EXPECT_EQ(position, 8 + 4);
}

TEST(TextBetweenEx, UnquoteAndCaseInsensitiveMarkers)
{
    GbkText start = "NAME=''";
    GbkText end = "''";
    long long position = 0;
    EXPECT_EQ(textBetweenEx("<a name=\"x1\">", start, end, 0, 0, position, false, true), "x1");
    EXPECT_EQ(start, "NAME=\"");
    EXPECT_EQ(end, "\"");
}

TEST(TextBetweenEx, MarkersAroundChineseText)
{
    GbkText start = gbk("【");
    GbkText end = gbk("】");
    long long position = 0;
    const GbkText text = gbk("甲【乙】丙【丁戊】");
    EXPECT_EQ(textBetweenEx(text, start, end, 0, 0, position), gbk("乙"));
    EXPECT_EQ(textBetweenEx(text, start, end, 0, 0, position), gbk("丁戊"));
    EXPECT_EQ(textBetweenEx(text, start, end, 0, 0, position), "");
}

TEST(TextBetweenRetry, SecondAttemptDropsDoubleQuotes)
{
    long long position = 0;
    // The page writes the attribute without quotes.
    EXPECT_EQ(textBetweenRetry("<i id=42>", "id=''", "''", position), "");
    position = 0;
    EXPECT_EQ(textBetweenRetry("<i id=42>", "id=''", ">", position), "42");
    EXPECT_EQ(position, 10);
    // keepQuotes leaves the apostrophes alone, and the caller's markers never change.
    const GbkText start = "x=''";
    position = 0;
    EXPECT_EQ(textBetweenRetry("x=''7;", start, ";", position, false, 0, 0, true), "7");
    EXPECT_EQ(start, "x=''");
}

TEST(TextBetweenRetry, EndFirstFindsTheNearestStartBeforeTheEnd)
{
    long long position = 0;
    const GbkText text = "<b>1</b><b>2</b>";
    EXPECT_EQ(textBetweenRetry(text, ">", "</b>", position, true), "1");
    EXPECT_EQ(textBetweenRetry(text, ">", "</b>", position, true), "2");
    EXPECT_EQ(textBetweenRetry(text, ">", "</b>", position, true), "");
    // The position returns to its entry value when both attempts fail.
    position = 3;
    EXPECT_EQ(textBetweenRetry(text, "<i>", "</i>", position), "");
    EXPECT_EQ(position, 3);
}

TEST(TextBetween, QuoteWordAndCase)
{
    const GbkText text = "<a Href=\"http://x/\">";
    EXPECT_EQ(textBetween(text, gbk("href=#引号"), gbk("#引号"), 1, true), "http://x/");
    EXPECT_EQ(textBetween(text, gbk("href=#引号"), gbk("#引号"), 1, false), "");
    EXPECT_EQ(textBetween(text, "<", ">", 2, false), "");
    EXPECT_EQ(textBetween(text, "a", "missing", 1, true), "");
}

TEST(UnquoteMarker, PairsOfApostrophesBecomeDoubleQuotes)
{
    EXPECT_EQ(unquoteMarker("''a'''"), "\"a\"'");
    EXPECT_EQ(unquoteMarker("'"), "'");
    EXPECT_EQ(unquoteMarker(GbkText()), "");
}

TEST(ReplaceLists, PairsAppliedInOrder)
{
    EXPECT_EQ(replaceLists("abc", "a|b|c", "x"), "x");
    EXPECT_EQ(replaceLists("ABC", "a|b", "1|2|3"), "12C");
    // Later pairs see what earlier ones produced; inserted text is not scanned again.
    EXPECT_EQ(replaceLists("ab", "a|xb", "x|y"), "y");
    EXPECT_EQ(replaceLists("aa", "a", "aa"), "aaaa");
    // An empty item changes nothing; a custom separator splits too.
    EXPECT_EQ(replaceLists("a|b", "||a", "1|2|3"), "3|b");
    EXPECT_EQ(replaceLists("a,b", "a;;b", "x;;y", ";;"), "x,y");
    // Arguments stay unchanged and no match lands inside a character.
    const GbkText list = "\\|" + kTrailBar;
    EXPECT_EQ(replaceLists("\\" + kTrailBackslash + kTrailBar, list, "/|!"), "/" + kTrailBackslash + "!");
    EXPECT_EQ(list, "\\|" + kTrailBar);
}

TEST(ReplaceLists, ChineseItems)
{
    EXPECT_EQ(replaceLists(gbk("字符1和字符2"), gbk("字符1|字符2|字符3"), gbk("新字符1|新字符2|新字符3")),
              gbk("新字符1和新字符2"));
    EXPECT_EQ(replaceLists(gbk("字符1字符3"), gbk("字符1|字符2|字符3"), GbkText()), "");
}

TEST(SplitText, ItemsAndEdges)
{
    EXPECT_EQ(splitText("a||b|", "|"), (std::vector<GbkText>{"a", "", "b", ""}));
    EXPECT_TRUE(splitText(GbkText(), "|").empty());
    EXPECT_EQ(splitText("a|b", GbkText()), (std::vector<GbkText>{"a|b"}));
    EXPECT_EQ(splitText("x" + kTrailBar + "|y", "|"), (std::vector<GbkText>{"x" + kTrailBar, "y"}));
}

TEST(ReplaceLists, AgreesWithStepwiseReplacementOnRandomText)
{
    // Letters, second bytes in the ASCII range, lone lead bytes and separators mixed, with
    // pairs that shorten, keep and lengthen the text.
    const std::vector<GbkText> pieces = {"a", "A", "b", "|", "\\", "\x81", "\x81\x61", "\x81\x41", "\xB0\xA1", "ab", "\x81|"};
    std::mt19937 rng(99);
    for (int round = 0; round < 3000; ++round) {
        const GbkText text = stepwise::randomText(rng, pieces, 16);
        std::vector<GbkText> matches;
        std::vector<GbkText> replacements;
        GbkText matchList;
        GbkText replaceList;
        for (int k = 0; k < 3; ++k) {
            GbkText m = stepwise::randomText(rng, pieces, 2);
            GbkText r = stepwise::randomText(rng, pieces, 3);
            // An item ending in a lone lead byte would take the separator as its second byte.
            if (!stepwise::boundariesOf(m).back())
                m += "x";
            if (!stepwise::boundariesOf(r).back())
                r += "x";
            matchList += (k ? ";" : "") + m;
            replaceList += (k ? ";" : "") + r;
            matches.push_back(m);
            replacements.push_back(r);
        }
        GbkText expected = text;
        for (std::size_t k = 0; k < matches.size(); ++k)
            expected = stepwise::replaceAll(expected, matches[k], replacements[k], true);
        ASSERT_EQ(replaceLists(text, matchList, replaceList, ";"), expected)
            << testing::PrintToString(text) << " " << testing::PrintToString(matchList) << " "
            << testing::PrintToString(replaceList);
        const GbkText& what = matches[0];
        for (long long from = 0; from <= static_cast<long long>(text.size()) + 1; ++from)
            ASSERT_EQ(findText(text, what, from), stepwise::find(text, what, from, true))
                << testing::PrintToString(text) << " " << testing::PrintToString(what) << " " << from;
    }
}

TEST(TextBetweenEx, AWalkSeesATextChangedInPlaceBetweenCalls)
{
    // Searches remember what they learned about a large text between calls. A text of the same
    // size at the same place but with other bytes must not be judged by that memory.
    GbkText text;
    for (int i = 0; i < 4000; ++i)
        text += gbk("中");
    text += "[x]";
    for (int i = 0; i < 4000; ++i)
        text += gbk("文");
    text += "[y]";
    GbkText start = "[";
    GbkText end = "]";
    long long position = 0;
    EXPECT_EQ(textBetweenEx(text, start, end, 0, 0, position), "x");
    // Same size, same buffer: one two-byte character before the second marker becomes two
    // ASCII bytes, and a lone lead byte now swallows the "[" of the second marker.
    const size_t second = text.find("[y]");
    text[second - 2] = 'a';
    text[second - 1] = '\xB0';
    EXPECT_EQ(findText(text, "[y]", 1), -1);
    long long again = 0;
    start = "[";
    end = "]";
    EXPECT_EQ(textBetweenEx(text, start, end, 0, 0, again), "x");
    EXPECT_EQ(textBetweenEx(text, start, end, 0, 0, again), "");
}
