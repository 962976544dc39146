#include "compose/DelimiterSet.h"
#include "compose/RandomBag.h"
#include "compose/TextOps.h"
#include "regex/RegexObject.h"
#include "text/EventPump.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>

using namespace quillet;
using namespace quillet::compose;

namespace {

// Counts how often each of the given texts occurs in `text` (non-overlapping).
int occurrences(const GbkText& text, const GbkText& what)
{
    int count = 0;
    for (long long at = findText(text, what, 1, false); at > 0;
         at = findText(text, what, at + static_cast<long long>(what.size()), false))
        ++count;
    return count;
}

// The fragment found by asking for a keyword with emptyIfNone (which shows how the text was cut).
GbkText fragmentWith(const GbkText& text, const GbkText& keyword, const GbkText& set = GbkText())
{
    return pickFragment(text, set, 0, keyword, true);
}

} // namespace

TEST(RandomBag, DrawsEveryNumberOnceThenRefills)
{
    RandomBag bag;
    EXPECT_TRUE(bag.empty());
    std::set<long long> seen;
    for (int k = 0; k < 3; ++k)
        seen.insert(bag.draw(1, 3));
    EXPECT_EQ(seen, (std::set<long long>{1, 2, 3}));
    EXPECT_TRUE(bag.empty());
    const long long fourth = bag.draw(1, 3);
    EXPECT_GE(fourth, 1);
    EXPECT_LE(fourth, 3);
    EXPECT_EQ(bag.remaining(), 2u);
    // The range only matters at a refill.
    const long long fifth = bag.draw(100, 200);
    EXPECT_GE(fifth, 1);
    EXPECT_LE(fifth, 3);
    EXPECT_NE(fifth, fourth);
    bag.clear();
    EXPECT_EQ(bag.draw(7, 7), 7);
}

TEST(RandomBag, OrdersVaryAndPicksAreUniform)
{
    std::set<std::vector<long long>> orders;
    std::map<long long, int> firstDraws;
    for (int round = 0; round < 3000; ++round) {
        RandomBag bag;
        std::vector<long long> order;
        for (int k = 0; k < 4; ++k)
            order.push_back(bag.draw(1, 4));
        std::vector<long long> sorted = order;
        std::sort(sorted.begin(), sorted.end());
        ASSERT_EQ(sorted, (std::vector<long long>{1, 2, 3, 4}));
        orders.insert(order);
        ++firstDraws[order.front()];
    }
    EXPECT_EQ(orders.size(), 24u); // every permutation turns up
    for (const auto& [value, count] : firstDraws) {
        EXPECT_GT(count, 600) << value;
        EXPECT_LT(count, 900) << value;
    }
}

TEST(RandomBag, FixedSeedRepeatsAndOddRangesWork)
{
    auto run = [] {
        RandomBag bag;
        std::vector<long long> order;
        for (int k = 0; k < 10; ++k)
            order.push_back(bag.draw(1, 10));
        return order;
    };
    RandomBag::setFixedSeed(12345);
    const auto a = run();
    RandomBag::setFixedSeed(12345);
    const auto b = run();
    RandomBag::setFixedSeed(0);
    EXPECT_EQ(a, b);

    RandomBag reversed;
    std::set<long long> seen{reversed.draw(5, 3), reversed.draw(5, 3), reversed.draw(5, 3)};
    EXPECT_EQ(seen, (std::set<long long>{3, 4, 5}));
    // A huge range costs nothing up front.
    RandomBag huge;
    const long long big = huge.draw(-(1LL << 62), 1LL << 62);
    EXPECT_GE(big, -(1LL << 62));
    EXPECT_LE(big, 1LL << 62);
    const long long u = RandomBag::uniform(1, 10);
    EXPECT_GE(u, 1);
    EXPECT_LE(u, 10);
}

TEST(RandomBag, AFixedSeedGivesThePinnedDraws)
{
    // Every draw takes the next seed, even one whose answer is known (one number left), so
    // the draws after it stay the same whichever way the bag finds its number.
    RandomBag::setFixedSeed(99);
    RandomBag bag;
    RandomBag one;
    std::vector<long long> draws;
    for (int k = 0; k < 12; ++k) {
        draws.push_back(bag.draw(1, 5));
        if (k % 3 == 0)
            draws.push_back(one.draw(4, 4));
    }
    draws.push_back(RandomBag::uniform(1, 1000));
    RandomBag::setFixedSeed(0);
#if defined(__GLIBCXX__)
    // The numbers this standard library's uniform distribution makes of the seeds.
    EXPECT_EQ(draws, (std::vector<long long>{2, 4, 5, 4, 1, 4, 3, 4, 3, 4, 2, 1, 5, 4, 3, 2, 584}));
#endif
}

TEST(ShuffleFragments, WithoutDelimitersReturnsTheCleanedText)
{
    EXPECT_EQ(shuffleFragments(" <i>a b</i> \r\n\r\n \t c d\xA1\xA1\r\n", ","), "a b\r\nc d\r\n");
    EXPECT_EQ(shuffleFragments(GbkText(), GbkText()), "");
}

TEST(ShuffleFragments, KeepsEveryFragmentOnceAndStartsWithAFragment)
{
    const GbkText text = gbk("甲，乙。丙！丁\r\n\r\n戊<b>己</b>");
    const std::vector<GbkText> fragments = {gbk("甲"), gbk("乙"), gbk("丙"), gbk("丁"), gbk("戊己")};
    // The delimiters met in the untouched input, the tags' among them.
    const std::vector<GbkText> separators = {gbk("，"), gbk("。"), gbk("！"), "\r\n", "<", ">", "/"};
    std::set<GbkText> results;
    for (int round = 0; round < 200; ++round) {
        const GbkText result = shuffleFragments(text, GbkText());
        results.insert(result);
        for (const auto& fragment : fragments)
            ASSERT_EQ(occurrences(result, fragment), 1) << testing::PrintToString(result);
        bool startsWithFragment = false;
        for (const auto& fragment : fragments)
            startsWithFragment = startsWithFragment || result.compare(0, fragment.size(), fragment) == 0;
        ASSERT_TRUE(startsWithFragment) << testing::PrintToString(result);
        // Whatever joins the fragments is one of the delimiters of the input.
        GbkText rest = result;
        for (const auto& fragment : fragments)
            rest = replaceAll(rest, fragment, "|", false);
        for (const auto& piece : splitText(rest, "|")) {
            if (!piece.empty()) {
                ASSERT_NE(std::find(separators.begin(), separators.end(), piece), separators.end())
                    << testing::PrintToString(result);
            }
        }
    }
    EXPECT_GT(results.size(), 20u);
}

TEST(ShuffleFragments, TitleWordsJoinedBySingleSpaces)
{
    const GbkText title = "Apple iPhone 15 Pro";
    for (int round = 0; round < 50; ++round) {
        const GbkText result = shuffleFragments(title, " ");
        ASSERT_EQ(result.size(), title.size());
        auto words = splitText(result, " ");
        std::sort(words.begin(), words.end());
        ASSERT_EQ(words, (std::vector<GbkText>{"15", "Apple", "Pro", "iPhone"}));
    }
}

TEST(ShuffleFragments, SeparatorsFromTheSetWhenTheInputHasNoDelimiter)
{
    // The fragment mark itself in the input cuts without any delimiter match.
    for (int round = 0; round < 20; ++round) {
        const GbkText result = shuffleFragments("a[\xA1\xCD]b", ";");
        ASSERT_TRUE(result == "a;b" || result == "b;a") << result;
    }
}

TEST(ShuffleFragments, BlankFragmentsBecomeOccasionalLineBreaks)
{
    // Blank fragments never put a line break first, and at most one per blank fragment.
    for (int round = 0; round < 100; ++round) {
        const GbkText result = shuffleFragments(gbk("甲，　，乙，，丙"), gbk("，"));
        ASSERT_NE(result.substr(0, 2), "\r\n");
        ASSERT_LE(occurrences(result, "\r\n"), 2);
        ASSERT_EQ(occurrences(result, gbk("乙")), 1);
    }
}

// The plain scans against the regular expressions they stand for, on random texts and sets
// made of blanks, ideographic spaces, tabs, CR LF, lone CR and LF, delimiters, wildcards,
// letters in both cases, ranges, marks, tags and bytes that make no character.
TEST(DelimiterSet, CutsAsTheRegularExpressionsDo)
{
    const std::vector<GbkText> pieces = {
        " ", "\t", "\xA1\xA1", "\r\n", "\r", "\n", ",", "\xA3\xAC", "\xA1\xA3", ".", ". ", "*", "?", "-", "a", "K",
        "\xA3\xC1", "\xA3\xE1", "\xB0\xA1", "\xD6\xD0", "\x81\x7B", "{", "\xA1\xCD", "[\xA1\xCD]", "]", "<b>", "x", "1",
        "\x81\x30\x81\x30", "\xB0", "\x80", "\xFF", "\\", "^",
    };
    std::mt19937 rng(7);
    const auto randomText = [&](std::size_t most) {
        GbkText text;
        for (std::size_t k = rng() % (most + 1); k > 0; --k)
            text += pieces[rng() % pieces.size()];
        return text;
    };
    RegexObject blankLines;
    blankLines.compile(gbk("^[　 \\t]*$(\\r\\n)|^[ 　\\t]+|[ 　\\t]+$"));
    const GbkText mark = "[\xA1\xCD]";
    std::vector<GbkText> sets = {GbkText(), " ", gbk("，"), "\r\n", ". \r\n\xA1\xA1", "*?"};
    for (int k = 0; k < 60; ++k)
        sets.push_back(randomText(5));
    int plainSets = 0;
    for (const GbkText& set : sets) {
        const DelimiterSet prepared(set);
        plainSets += prepared.scansPlainly() ? 1 : 0;
        RegexObject delimiters;
        delimiters.compile(prepared.pattern());
        for (int round = 0; round < 150; ++round) {
            const GbkText text = randomText(12);
            const GbkText cleaned = blankLines.replace(stripTags(text), GbkText());
            ASSERT_EQ(withoutBlankLines(stripTags(text)), cleaned) << testing::PrintToString(text);
            ASSERT_EQ(prepared.fragments(text), splitText(delimiters.replace(cleaned, mark), mark))
                << testing::PrintToString(set) << " " << testing::PrintToString(text);
            std::vector<GbkText> found;
            for (int i = 1, count = delimiters.execute(text); i <= count; ++i)
                found.push_back(delimiters.matchText(i));
            ASSERT_EQ(prepared.delimitersIn(text), found) << testing::PrintToString(set) << " " << testing::PrintToString(text);
        }
    }
    // The sets the review run uses are scanned, and so are many of the random ones.
    EXPECT_TRUE(DelimiterSet(GbkText()).scansPlainly());
    EXPECT_TRUE(DelimiterSet(" ").scansPlainly());
    EXPECT_TRUE(DelimiterSet(gbk("，")).scansPlainly());
    EXPECT_GT(plainSets, 10);
}

TEST(PickFragment, DelimitersOfTheDefaultSet)
{
    EXPECT_EQ(fragmentWith(gbk("好评，物流快"), gbk("物流")), gbk("物流快"));
    EXPECT_EQ(fragmentWith("x(y", "y"), "y");
    EXPECT_EQ(fragmentWith("x=y", "y"), "y");
    EXPECT_EQ(fragmentWith("x\"y", "y"), "y");
    EXPECT_EQ(fragmentWith("x\r\ny", "y"), "y");
    EXPECT_EQ(fragmentWith("x\ny", "y"), "y");
    // "?" of the set turns into ".?" inside the class, so a lone "." cuts as well.
    EXPECT_EQ(fragmentWith("x. y", "y"), " y");
    EXPECT_EQ(fragmentWith("x.y", "y"), "y");
    EXPECT_EQ(fragmentWith(gbk("x“y”"), "y"), "y");
    // A single space is no delimiter of its own, a hyphen neither.
    EXPECT_EQ(fragmentWith("x y", "y"), "x y");
    EXPECT_EQ(fragmentWith("x-y", "y"), "x-y");
}

TEST(PickFragment, LengthAndKeywordChooseTheFragment)
{
    const GbkText review = gbk("好，很好，非常好用");
    for (int round = 0; round < 30; ++round) {
        ASSERT_EQ(pickFragment(review, gbk("，"), 3), gbk("非常好用"));
        ASSERT_EQ(pickFragment("Abc,abd", ",", 0, "ab"), "abd");
        const GbkText any = pickFragment(review, gbk("，"));
        ASSERT_TRUE(any == gbk("好") || any == gbk("很好") || any == gbk("非常好用"));
        // No fragment has the keyword: a random one, or nothing when asked.
        const GbkText fallback = pickFragment(review, gbk("，"), 0, "zz");
        ASSERT_TRUE(fallback == gbk("好") || fallback == gbk("很好") || fallback == gbk("非常好用"));
        ASSERT_EQ(pickFragment(review, gbk("，"), 0, "zz", true), "");
        ASSERT_EQ(pickFragment(review, gbk("，"), 10, GbkText(), true), "");
    }
    EXPECT_EQ(pickFragment(GbkText(), gbk("，")), "");
}

TEST(PickFragment, PumpsEventsPerFragment)
{
    int calls = 0;
    auto previous = text::setEventPump([&calls] { ++calls; });
    EXPECT_EQ(pickFragment("a", ",", 0, "zz", true), "");
    const int forOne = calls;
    calls = 0;
    EXPECT_EQ(pickFragment("a,b,c,d", ",", 0, "zz", true), "");
    text::setEventPump(previous);
    EXPECT_EQ(calls - forOne, 3);
}

TEST(UserReplacements, FilterOffRegexAndListModes)
{
    RegexObject patternRegex;
    const GbkText review = gbk("字符1好字符2很字符3") + "AAB";
    prepareUserReplacements(patternRegex, false, "a+");
    EXPECT_EQ(applyUserReplacements(review, false, true, "a+", "-", patternRegex), review);

    prepareUserReplacements(patternRegex, true, "a+|b");
    EXPECT_EQ(applyUserReplacements("xAAby", true, true, "a+|b", "[$&]", patternRegex), "x[AA][b]y");

    const GbkText list = gbk("字符1|字符2|字符3");
    prepareUserReplacements(patternRegex, true, list);
    EXPECT_EQ(applyUserReplacements(review, true, false, list, GbkText(), patternRegex), gbk("好很") + "AAB");
    EXPECT_EQ(applyUserReplacements(review, true, false, list, gbk("新字符1|新字符2|新字符3"), patternRegex),
              gbk("新字符1好新字符2很新字符3") + "AAB");
}

TEST(UserReplacements, ARejectedPatternKeepsTheReviews)
{
    // A typo in the user's expression must not wipe every review of the run.
    RegexObject patternRegex;
    prepareUserReplacements(patternRegex, true, "([a-");
    EXPECT_FALSE(patternRegex.isValid());
    const GbkText review = gbk("好看") + "abc";
    EXPECT_EQ(applyUserReplacements(review, true, true, "([a-", "x", patternRegex), review);
}
