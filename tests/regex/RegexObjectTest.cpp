#include "regex/RegexObject.h"
#include "text/GbkText.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <type_traits>

using quillet::GbkText;
using quillet::gbk;
using quillet::RegexObject;

namespace {

// GBK bytes used below.
const std::string kZhong = "\xD6\xD0";      // 中
const std::string kWen = "\xCE\xC4";        // 文
const std::string kBackslashTrail = "\x95\x5C"; // a character whose trail byte is "\"
const std::string kBarTrail = "\xB1\x7C";       // a character whose trail byte is "|"
const std::string kIdeographicSpace = "\xA1\xA1";

std::vector<GbkText> allMatches(const RegexObject& re)
{
    std::vector<GbkText> out;
    for (int i = 1; i <= re.matchCount(); ++i)
        out.push_back(re.matchText(i));
    return out;
}

} // namespace

// ---- Text helpers -------------------------------------------------------------------------

TEST(EscapeHelpers, EscapeTheirMetacharacterSets)
{
    EXPECT_EQ(RegexObject::wildcardToPattern("a*b?c|d"), "a.*b.?c|d");
    EXPECT_EQ(RegexObject::escapeAll("1+1=2?"), "1\\+1\\=2\\?");
    EXPECT_EQ(RegexObject::escapeKeepAlternation("x|y."), "x|y\\.");
    EXPECT_EQ(RegexObject::escapeAll("a|b*\"c\""), "a\\|b\\*\\\"c\\\"");
    EXPECT_EQ(RegexObject::wildcardToPattern("(x)[y]{z}^$+.=\""), "\\(x\\)\\[y\\]\\{z\\}\\^\\$\\+\\.\\=\\\"");
}

TEST(EscapeHelpers, DoubleExistingBackslashesOnce)
{
    EXPECT_EQ(RegexObject::wildcardToPattern("a\\b"), "a\\\\b");
    EXPECT_EQ(RegexObject::escapeAll("a\\b"), "a\\\\b");
    EXPECT_EQ(RegexObject::escapeKeepAlternation("a\\b"), "a\\\\b");
    EXPECT_EQ(RegexObject::escapeAll("\\."), "\\\\\\.");
    EXPECT_EQ(RegexObject::wildcardToPattern("\\*"), "\\\\.*");
}

TEST(EscapeHelpers, NeverTakeATrailByteForAMetacharacter)
{
    const GbkText text = kBackslashTrail + "|" + kBarTrail + "." + kZhong;
    EXPECT_EQ(RegexObject::escapeAll(text), kBackslashTrail + "\\|" + kBarTrail + "\\." + kZhong);
    EXPECT_EQ(RegexObject::escapeKeepAlternation(text), kBackslashTrail + "|" + kBarTrail + "\\." + kZhong);
    EXPECT_EQ(RegexObject::wildcardToPattern(kBarTrail + "*"), kBarTrail + ".*");
    // A lead byte without a valid trail stands alone: the metacharacter after it is escaped.
    EXPECT_EQ(RegexObject::escapeAll("\x81$"), "\x81\\$");
    EXPECT_EQ(RegexObject::escapeAll("\xFF" "("), "\xFF\\(");
}

TEST(EscapeHelpers, EscapedTextMatchesItselfLiterally)
{
    const GbkText text = "1+1=2? (a|b) [c] {d} ^$ \\ \"q\" " + kBackslashTrail + kBarTrail + kZhong;
    RegexObject re;
    ASSERT_TRUE(re.compile(RegexObject::escapeAll(text)));
    ASSERT_EQ(re.execute("x" + text + "y" + text), 2);
    EXPECT_EQ(re.matchText(1), text);
    EXPECT_EQ(re.matchText(2), text);
}

TEST(EscapeHelpers, WildcardsMatchRunsAndSingleCharacters)
{
    RegexObject re;
    ASSERT_TRUE(re.compile("^" + RegexObject::wildcardToPattern(kZhong + "*" + kWen + "?") + "$"));
    EXPECT_EQ(re.execute(kZhong + kWen), 1);
    EXPECT_EQ(re.execute(kZhong + "xyz" + kWen + kZhong), 1);
    EXPECT_EQ(re.execute(kZhong + "ab" + kWen + kWen + kZhong), 1); // "*" takes "ab" and one character
    EXPECT_EQ(re.execute(kZhong + kWen + kZhong + kZhong), 0);     // "?" takes at most one
    EXPECT_EQ(re.execute(kWen), 0);
}

// ---- Compile and flags --------------------------------------------------------------------

TEST(Compile, DefaultsIgnoreCaseMultilineAndGlobal)
{
    RegexObject re;
    EXPECT_EQ(re.pattern(), "");
    ASSERT_TRUE(re.compile("^ab$"));
    EXPECT_EQ(re.pattern(), "^ab$");
    EXPECT_EQ(re.execute("AB\nab\r\nAb\rx"), 3);
    EXPECT_EQ(allMatches(re), (std::vector<GbkText>{"AB", "ab", "Ab"}));
}

TEST(Compile, FlagsOffMatchCaseWholeTextAndFirstOnly)
{
    RegexObject re;
    ASSERT_TRUE(re.compile("^ab", false, false, false));
    EXPECT_EQ(re.execute("x\nab"), 0);
    EXPECT_EQ(re.execute("AB"), 0);
    ASSERT_TRUE(re.compile("b", false, false, false));
    EXPECT_EQ(re.execute("abcb"), 1);
    EXPECT_EQ(re.replace("abcb", "X"), "aXcb");
    EXPECT_EQ(re.firstIndex(1), 1);
}

TEST(Compile, RejectedPatternGivesEmptyResults)
{
    RegexObject re;
    EXPECT_TRUE(re.compile("(ab"));
    EXPECT_EQ(re.pattern(), "(ab");
    EXPECT_EQ(re.execute("ab"), 0);
    EXPECT_EQ(re.matchText(1), "");
    EXPECT_EQ(re.submatchCount(), 0);
    EXPECT_EQ(re.replace("ab", "x"), "");
}

TEST(Compile, UseBeforeCompileGivesEmptyResults)
{
    RegexObject re;
    EXPECT_EQ(re.execute("abc"), 0);
    EXPECT_EQ(re.matchCount(), 0);
    EXPECT_EQ(re.replace("abc", "x"), "");
    EXPECT_EQ(re.submatchText(1, 1), "");
    long long position = 7;
    EXPECT_EQ(re.matchTextAt(1, position, true), "");
    EXPECT_EQ(position, -2);
    EXPECT_EQ(re.firstIndex(1), -1);
}

TEST(Compile, RecompilingKeepsTheEarlierMatchList)
{
    RegexObject re;
    ASSERT_TRUE(re.compile("a(b)"));
    ASSERT_EQ(re.execute("xab"), 1);
    ASSERT_TRUE(re.compile("zzz"));
    EXPECT_EQ(re.pattern(), "zzz");
    EXPECT_EQ(re.matchCount(), 1);
    EXPECT_EQ(re.submatchText(1, 1), "b");
    EXPECT_EQ(re.execute("xab"), 0);
}

// ---- Match list ----------------------------------------------------------------------------

TEST(MatchList, NoMatchGivesZeroAndEmptyTexts)
{
    RegexObject re;
    ASSERT_TRUE(re.compile("(x)(y)(z)"));
    EXPECT_EQ(re.execute("abc"), 0);
    EXPECT_EQ(re.matchText(1), "");
    EXPECT_EQ(re.submatchCount(), 0);
    EXPECT_EQ(re.execute("xyz"), 1);
    EXPECT_EQ(re.submatchCount(), 3);
}

TEST(MatchList, GroupsAreAddressedFromOne)
{
    RegexObject re;
    ASSERT_TRUE(re.compile("[&\\?]id=(\\d{5,})"));
    ASSERT_EQ(re.execute("http://x/item.htm?spm=1&id=1234&ID=555555&id=77777"), 2);
    EXPECT_EQ(re.submatchText(1, 1), "555555");
    EXPECT_EQ(re.submatchText(2, 1), "77777");
    EXPECT_EQ(re.matchText(2), "&id=77777");
    // Indexes outside the list.
    EXPECT_EQ(re.matchText(0), "");
    EXPECT_EQ(re.matchText(3), "");
    EXPECT_EQ(re.matchText(-1), "");
    EXPECT_EQ(re.submatchText(1, 0), "");
    EXPECT_EQ(re.submatchText(1, 2), "");
    EXPECT_EQ(re.submatchText(3, 1), "");
}

TEST(MatchList, GroupThatTookNoPartIsEmpty)
{
    RegexObject re;
    ASSERT_TRUE(re.compile("(a)|(b)"));
    ASSERT_EQ(re.execute("ba"), 2);
    EXPECT_EQ(re.submatchText(1, 1), "");
    EXPECT_EQ(re.submatchText(1, 2), "b");
    EXPECT_EQ(re.submatchText(2, 1), "a");
    EXPECT_EQ(re.submatchText(2, 2), "");
    EXPECT_EQ(re.submatchCount(), 2);
    long long position = 0;
    EXPECT_EQ(re.submatchTextAt(1, 1, position, true), "");
    EXPECT_EQ(position, -2);
}

TEST(MatchList, DotMatchesOneWholeChineseCharacter)
{
    RegexObject re;
    ASSERT_TRUE(re.compile("^..$"));
    EXPECT_EQ(re.execute(kZhong + kWen), 1);
    ASSERT_TRUE(re.compile(kZhong + "(.)"));
    ASSERT_EQ(re.execute("a" + kZhong + kWen + kZhong + "b"), 2);
    EXPECT_EQ(re.submatchText(1, 1), kWen);
    EXPECT_EQ(re.submatchText(2, 1), "b");
    EXPECT_EQ(re.firstIndex(1), 1);
    EXPECT_EQ(re.firstIndex(2), 3); // characters, not bytes
    EXPECT_EQ(re.firstIndex(3), -1);
}

TEST(MatchList, LazyMarkersAcrossChineseText)
{
    // Template markers as the article assembly reads them.
    const GbkText tmpl = gbk("开头#评论#中间#昵称#结尾#分隔#尾");
    RegexObject re;
    ASSERT_TRUE(re.compile("#.+?#"));
    ASSERT_EQ(re.execute(tmpl), 3);
    EXPECT_EQ(re.matchText(1), gbk("#评论#"));
    EXPECT_EQ(re.matchText(2), gbk("#昵称#"));
    EXPECT_EQ(re.matchText(3), gbk("#分隔#"));
}

TEST(MatchList, IgnoreCaseFoldsLettersIncludingFullWidth)
{
    RegexObject re;
    ASSERT_TRUE(re.compile("\xA3\xC1" "bc")); // full-width A
    EXPECT_EQ(re.execute("\xA3\xE1" "BC"), 1); // full-width a
    ASSERT_TRUE(re.compile("\xA3\xC1" "bc", false));
    EXPECT_EQ(re.execute("\xA3\xE1" "BC"), 0);
}

TEST(MatchList, ManyMatchesKeepCharacterIndexes)
{
    GbkText subject;
    for (int i = 0; i < 5000; ++i)
        subject += kZhong + "#" + kWen + "a#\r\n";
    RegexObject re;
    ASSERT_TRUE(re.compile("#.+?#"));
    ASSERT_EQ(re.execute(subject), 5000);
    // Each line is 7 characters and 9 bytes; the marker starts at character 1, byte 2.
    EXPECT_EQ(re.firstIndex(5000), 4999LL * 7 + 1);
    long long position = 0;
    EXPECT_EQ(re.matchTextAt(5000, position, true), "#" + kWen + "a#");
    EXPECT_EQ(position, 4999LL * 9 + 2);
}

// ---- Positions ------------------------------------------------------------------------------

TEST(Positions, MatchTextAtGivesByteOffsetsAfterChineseText)
{
    RegexObject re;
    ASSERT_TRUE(re.compile("b(c)"));
    ASSERT_EQ(re.execute(kZhong + kWen + "abc" + kZhong + "bc"), 2);
    long long position = 0;
    EXPECT_EQ(re.matchTextAt(1, position, true), "bc");
    EXPECT_EQ(position, 5);
    EXPECT_EQ(re.submatchTextAt(1, 1, position, true), "c");
    EXPECT_EQ(position, 6);
    EXPECT_EQ(re.matchTextAt(2, position, true), "bc");
    EXPECT_EQ(position, 9);
    EXPECT_EQ(re.firstIndex(2), 6);
}

TEST(Positions, ExactOffsetEvenWhenTheSameTextOccursEarlier)
{
    // "a" occurs first at byte 4, the match is the final "a" at byte 7 (character 4). A search
    // for the text from the character index would find the earlier one.
    RegexObject re;
    ASSERT_TRUE(re.compile("a$", true, false));
    ASSERT_EQ(re.execute(kZhong + kZhong + "a" + kZhong + "a"), 1);
    long long position = 0;
    EXPECT_EQ(re.matchTextAt(1, position, true), "a");
    EXPECT_EQ(position, 7);
    EXPECT_EQ(re.firstIndex(1), 4);
}

TEST(Positions, OutOfRangeGivesMinusTwoAndNoPositionIsLeftAlone)
{
    RegexObject re;
    ASSERT_TRUE(re.compile("(x)"));
    ASSERT_EQ(re.execute("ax"), 1);
    long long position = 0;
    EXPECT_EQ(re.matchTextAt(2, position, true), "");
    EXPECT_EQ(position, -2);
    EXPECT_EQ(re.submatchTextAt(1, 2, position, true), "");
    EXPECT_EQ(position, -2);
    position = 42;
    EXPECT_EQ(re.matchTextAt(1, position, false), "x");
    EXPECT_EQ(position, 42);
}

TEST(Positions, GroupsInLookaroundsAreLocatedToo)
{
    RegexObject re;
    ASSERT_TRUE(re.compile("(?=(" + kWen + "))"));
    ASSERT_EQ(re.execute(kZhong + kWen + kZhong + kWen), 2);
    long long position = 0;
    EXPECT_EQ(re.submatchTextAt(2, 1, position, true), kWen);
    EXPECT_EQ(position, 6);
    EXPECT_EQ(re.matchTextAt(2, position, true), "");
    EXPECT_EQ(position, 6);
}

// ---- Invalid GBK -----------------------------------------------------------------------------

TEST(InvalidGbk, SubjectsRoundTripThroughReplaceUnchanged)
{
    RegexObject re;
    ASSERT_TRUE(re.compile("zzz"));
    const std::vector<GbkText> subjects = {
        "ab\x81",                              // lone lead byte at the end
        std::string("\x80x\xFF", 3),           // bytes that are no GBK at all
        std::string("a\0b\0", 4),              // NUL bytes
        kZhong + "\x81" "\x20" + kWen + "\xFF\xFF",
        "\x81\x30\x41" + kZhong,               // a broken four-byte sequence
    };
    for (const auto& subject : subjects) {
        EXPECT_EQ(re.replace(subject, "Q"), subject);
        EXPECT_EQ(re.execute(subject), 0);
    }
}

TEST(InvalidGbk, MatchesAroundInvalidBytesKeepThemIntact)
{
    RegexObject re;
    ASSERT_TRUE(re.compile("b"));
    const GbkText subject = std::string("\x80" "b\0\xFF" "b\x81", 6);
    EXPECT_EQ(re.replace(subject, "[$&]"), std::string("\x80[b]\0\xFF[b]\x81", 10));
    ASSERT_EQ(re.execute(subject), 2);
    long long position = 0;
    EXPECT_EQ(re.matchTextAt(2, position, true), "b");
    EXPECT_EQ(position, 4);
    // An invalid byte is one character for the dot.
    ASSERT_TRUE(re.compile("b(.)(.)"));
    ASSERT_EQ(re.execute(subject), 1);
    EXPECT_EQ(re.submatchText(1, 1), std::string(1, '\0'));
    EXPECT_EQ(re.submatchText(1, 2), "\xFF");
}

TEST(InvalidGbk, EveryCharacterOfRandomBytesIsLocatedExactly)
{
    std::mt19937 rng(20240611);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int round = 0; round < 20; ++round) {
        GbkText subject;
        for (int i = 0; i < 400; ++i)
            subject += static_cast<char>(byte(rng));
        RegexObject re;
        ASSERT_TRUE(re.compile("[\\s\\S]"));
        const int count = re.execute(subject);
        GbkText joined;
        long long expected = 0;
        for (int i = 1; i <= count; ++i) {
            long long position = -1;
            joined += re.matchTextAt(i, position, true);
            ASSERT_EQ(position, expected) << "round " << round << " match " << i;
            ASSERT_EQ(re.firstIndex(i), i - 1);
            expected += static_cast<long long>(re.matchText(i).size());
        }
        EXPECT_EQ(joined, subject) << "round " << round;
        EXPECT_EQ(re.replace(subject, "$&"), subject);
    }
}

// ---- Replace -----------------------------------------------------------------------------------

TEST(Replace, GroupAndSpecialReferences)
{
    RegexObject re;
    ASSERT_TRUE(re.compile("(\\d+)-(\\d+)"));
    EXPECT_EQ(re.replace("a12-34b", "$2-$1"), "a34-12b");
    EXPECT_EQ(re.replace("a12-34b", "[$&]"), "a[12-34]b");
    EXPECT_EQ(re.replace("a12-34b", "<$`|$'>"), "a<a|b>b");
    EXPECT_EQ(re.replace("a12-34b", "$$1"), "a$1b");
    EXPECT_EQ(re.replace("a12-34b", "$"), "a$b");
    EXPECT_EQ(re.replace("a12-34b", "$x$"), "a$x$b");
    EXPECT_EQ(re.replace("a12-34b", "$0$3"), "a$0$3b");
    EXPECT_EQ(re.replace("a12-34b", "$01"), "a12b");
    EXPECT_EQ(re.replace("a12-34b", "$10"), "a120b"); // no group 10: group 1, then "0"
}

TEST(Replace, TwoDigitReferencesWhenTheGroupExists)
{
    RegexObject re;
    ASSERT_TRUE(re.compile("(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)(k)"));
    EXPECT_EQ(re.replace("abcdefghijk", "$10$11$1$12"), "jkaa2");
}

TEST(Replace, GroupThatTookNoPartExpandsToNothing)
{
    RegexObject re;
    ASSERT_TRUE(re.compile("(a)|(b)"));
    EXPECT_EQ(re.replace("ab", "<$1$2>"), "<a><b>");
}

TEST(Replace, ChineseTextInAndOut)
{
    RegexObject re;
    ASSERT_TRUE(re.compile(kZhong + "(.)"));
    EXPECT_EQ(re.replace(kZhong + kWen + "x" + kZhong + kBackslashTrail, "$1" + kBarTrail),
              kWen + kBarTrail + "x" + kBackslashTrail + kBarTrail);
}

TEST(Replace, EmptyMatchesAdvanceByWholeCharacters)
{
    RegexObject re;
    ASSERT_TRUE(re.compile("x*"));
    EXPECT_EQ(re.replace("abc", "-"), "-a-b-c-");
    EXPECT_EQ(re.replace(kZhong + kWen, "-"), "-" + kZhong + "-" + kWen + "-");
    EXPECT_EQ(re.replace("axxb", "-"), "-a--b-");
    EXPECT_EQ(re.replace("", "-"), "-");
    ASSERT_TRUE(re.compile(""));
    EXPECT_EQ(re.replace("a\r\nb", "|"), "|a|\r\n|b|");
    EXPECT_EQ(re.execute(std::string("\x81", 1)), 2);
}

TEST(Replace, WhitespaceIncludesTheIdeographicSpace)
{
    RegexObject re;
    ASSERT_TRUE(re.compile("[\\s\\r\\n]"));
    EXPECT_EQ(re.replace(kZhong + " \t" + kIdeographicSpace + "\r\n" + kWen + "\xA0", ""), kZhong + kWen + "\xA0");
}

TEST(Replace, LeavesTheMatchListAlone)
{
    RegexObject re;
    ASSERT_TRUE(re.compile("a"));
    ASSERT_EQ(re.execute("aa"), 2);
    EXPECT_EQ(re.replace("bab", "c"), "bcb");
    EXPECT_EQ(re.matchCount(), 2);
}

// ---- Limits ----------------------------------------------------------------------------------------

TEST(Limits, PathologicalPatternEndsWithEmptyOrUnchangedResult)
{
    const GbkText subject = std::string(100000, 'a') + "b";
    RegexObject re;
    ASSERT_TRUE(re.compile("(a+)+$"));
    EXPECT_EQ(re.execute(subject), 0);
    EXPECT_EQ(re.replace(subject, "x"), subject);
    // The same object still works afterwards.
    EXPECT_EQ(re.execute("aaa"), 1);
}

TEST(Limits, DeepButSoundPatternsStillMatchLongSubjects)
{
    GbkText subject;
    for (int i = 0; i < 200000; ++i)
        subject += (i % 2) ? "a" : "b";
    subject += "c";
    RegexObject re;
    ASSERT_TRUE(re.compile("(?:a|b)*c"));
    ASSERT_EQ(re.execute(subject), 1);
    EXPECT_EQ(re.matchText(1).size(), subject.size());
}

// ---- Copies ----------------------------------------------------------------------------------------

TEST(Copies, ShareMatchesAndPatternButKeepTheirOwnSubject)
{
    static_assert(std::is_nothrow_move_constructible_v<RegexObject>);
    static_assert(std::is_nothrow_move_assignable_v<RegexObject>);
    RegexObject original;
    ASSERT_TRUE(original.compile("(b)"));
    ASSERT_EQ(original.execute("abcb"), 2);
    RegexObject copy(original);
    EXPECT_EQ(copy.pattern(), "(b)");
    EXPECT_EQ(copy.matchCount(), 2);
    EXPECT_EQ(copy.submatchText(2, 1), "b");

    // The copy's new execute and compile do not reach the original.
    EXPECT_EQ(copy.execute("bbbb"), 4);
    ASSERT_TRUE(copy.compile("z"));
    EXPECT_EQ(original.matchCount(), 2);
    EXPECT_EQ(original.pattern(), "(b)");
    long long position = 0;
    EXPECT_EQ(original.matchTextAt(2, position, true), "b");
    EXPECT_EQ(position, 3);

    RegexObject assigned;
    assigned = original;
    EXPECT_EQ(original.execute(kZhong + "b"), 1);
    EXPECT_EQ(assigned.matchCount(), 2); // still the earlier list over its own subject copy
    EXPECT_EQ(assigned.matchTextAt(2, position, true), "b");
    EXPECT_EQ(position, 3);

    RegexObject moved(std::move(assigned));
    EXPECT_EQ(moved.matchCount(), 2);
    EXPECT_EQ(moved.replace("bb", "$1$1"), "bbbb");
}
