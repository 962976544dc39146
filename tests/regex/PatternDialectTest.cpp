#include "regex/RegexObject.h"

#include <gtest/gtest.h>

#include <string>

using quillet::GbkText;
using quillet::RegexObject;

namespace {

// Number of matches of the pattern (ignoring case, global) in the subject.
int count(const GbkText& pattern, const GbkText& subject, bool multiline = true)
{
    RegexObject re;
    re.compile(pattern, true, multiline);
    return re.execute(subject);
}

GbkText first(const GbkText& pattern, const GbkText& subject)
{
    RegexObject re;
    re.compile(pattern);
    re.execute(subject);
    return re.matchText(1);
}

} // namespace

TEST(Dialect, EscapedPunctuationCompiles)
{
    EXPECT_EQ(first("a\\=b", "xa=b"), "a=b");
    EXPECT_EQ(first("\\\"q\\\"", "say \"q\""), "\"q\"");
    EXPECT_EQ(first("\\/\\-\\:\\,", "/-:,"), "/-:,");
    EXPECT_EQ(first("([^:,;&{}\"]+)", "sku:red,size"), "sku");
}

TEST(Dialect, ClassesAndRepetition)
{
    EXPECT_EQ(first("\\d{5,}", "1234 123456"), "123456");
    EXPECT_EQ(first("\\w+", "  ab_9!"), "ab_9");
    EXPECT_EQ(count("\\d", "\xA3\xB1\xA3\xB2"), 0); // full-width digits are no \d
    EXPECT_EQ(count("\\w", "\xD6\xD0"), 0);         // nor is a Chinese character \w
    EXPECT_EQ(first("a{2}b{1,2}", "aabbb"), "aabb");
    EXPECT_EQ(first("x{", "ax{"), "x{"); // a brace that is no repetition is literal
}

TEST(Dialect, CharacterEscapes)
{
    EXPECT_EQ(first("\\x41\\u4e2d", "A\xD6\xD0"), "A\xD6\xD0");
    EXPECT_EQ(first("\\u00e9|\\uzz", "uzz"), "uzz"); // \u without four hex digits is "u"
    EXPECT_EQ(count("a\\vb", "a\vb"), 1);
    EXPECT_EQ(count("a\\vb", "a\nb"), 0);
    EXPECT_EQ(count("\\t\\n\\r\\f", "\t\n\r\f"), 1);
}

TEST(Dialect, LettersWithoutAnEscapeMeaningAreLiteral)
{
    EXPECT_EQ(first("\\Qa\\E", "QaE"), "QaE");
    EXPECT_EQ(first("\\A\\h\\K", "AhK"), "AhK");
}

TEST(Dialect, BracketsInsideClassesAndEmptyClasses)
{
    EXPECT_EQ(first("[[:a]+", "x[:a"), "[:a");
    EXPECT_EQ(count("a[]b", "ab"), 0);
    EXPECT_EQ(first("a[^]b", "a\nb"), "a\nb");
}

TEST(Dialect, WhitespaceClass)
{
    EXPECT_EQ(count("\\s", "\xA1\xA1"), 1); // ideographic space
    EXPECT_EQ(count("[\\s]", "\xA1\xA1 "), 2);
    EXPECT_EQ(first("\\S+", "\xA1\xA1" "ab\xA1\xA1"), "ab");
    EXPECT_EQ(count("[^\\s]", "\xA1\xA1\t"), 0);
}

TEST(Dialect, LineBoundaries)
{
    // Without multiline "$" is the very end, not before a final line end.
    EXPECT_EQ(count("b$", "ab\n", false), 0);
    EXPECT_EQ(count("b$", "ab", false), 1);
    // With multiline CR LF, CR and LF all end lines; CR LF is one line end.
    RegexObject re;
    ASSERT_TRUE(re.compile("^(.*)$"));
    ASSERT_EQ(re.execute("one\r\ntwo\rthree\nfour"), 4);
    EXPECT_EQ(re.submatchText(2, 1), "two");
    EXPECT_EQ(re.submatchText(4, 1), "four");
    ASSERT_TRUE(re.compile("^"));
    EXPECT_EQ(re.replace("a\nb\n", ">"), ">a\n>b\n>");
    EXPECT_EQ(re.replace("a\r\nb", ">"), ">a\r\n>b");
    ASSERT_TRUE(re.compile("$"));
    EXPECT_EQ(re.replace("a\r\nb\rc", "<"), "a<\r\nb<\rc<"); // never between CR and LF
    // The dot takes no line end.
    EXPECT_EQ(count("a.b", "a\rb"), 0);
    EXPECT_EQ(count("a.b", "a\nb"), 0);
    EXPECT_EQ(count("a.b", "a\tb"), 1);
}

TEST(Dialect, BlankLinePatternOfTheFragmentShuffler)
{
    // Blank lines (only spaces, tabs or ideographic spaces) with their line end, and spaces at
    // the start and end of every line.
    const GbkText pattern = "^[\xA1\xA1 \\t]*$(\\r\\n)|^[ \xA1\xA1\\t]+|[ \xA1\xA1\\t]+$";
    RegexObject re;
    ASSERT_TRUE(re.compile(pattern));
    EXPECT_EQ(re.replace(" a \r\n\xA1\xA1\r\n\tb\xA1\xA1\r\n", ""), "a\r\nb\r\n");
}

TEST(Dialect, BackReferences)
{
    EXPECT_EQ(first("(a|b)\\1", "abba"), "bb");
    EXPECT_EQ(count("(x)?y\\1", "y"), 1); // a group that took no part matches nothing
}
