#include "text/Charset.h"
#include "text/GbkText.h"

#include <gtest/gtest.h>

using namespace quillet::text;

namespace {
// "中文" in GBK and UTF-8.
const std::string kZhongWenGbk = "\xD6\xD0\xCE\xC4";
const std::string kZhongWenUtf8 = "\xE4\xB8\xAD\xE6\x96\x87";
} // namespace

TEST(GbkLiteral, ConvertsOnceAndKeepsTheSameObject)
{
    const GbkText& a = gbk("中文");
    const GbkText& b = gbk("中文");
    EXPECT_EQ(a, kZhongWenGbk);
    EXPECT_EQ(&a, &b);
    // The program name's middle dot is A1 A4.
    EXPECT_EQ(gbk("墨汀·Quillet").substr(4, 2), "\xA1\xA4");
}

TEST(GbkUtf8, RoundTripsTextAndFourByteSequences)
{
    EXPECT_EQ(gbkToUtf8(kZhongWenGbk), kZhongWenUtf8);
    EXPECT_EQ(utf8ToGbk(kZhongWenUtf8), kZhongWenGbk);
    EXPECT_EQ(gbkToUtf8(""), "");
    // An emoji is outside GBK: it becomes a four-byte GB18030 sequence and comes back.
    const std::string emoji = "\xF0\x9F\x98\x80";
    const GbkText g = utf8ToGbk(emoji);
    EXPECT_EQ(g.size(), 4u);
    EXPECT_EQ(gbkToUtf8(g), emoji);
}

TEST(GbkUtf8, InvalidBytesAreReplacedOrCarriedLosslessly)
{
    const std::string bad[] = {std::string("ab\xD6"), std::string("\x80x"), std::string("\xFF\xFF"),
                               std::string("a\0b", 3), std::string("\xD6\xD0\x81")};
    for (const auto& input : bad) {
        const std::string escaped = gbkToUtf8(input, Invalid::Escape);
        EXPECT_EQ(utf8ToGbk(escaped), input);
        const std::u16string wide = gbkToUtf16(input, Invalid::Escape);
        EXPECT_EQ(utf16ToGbk(wide), input);
    }
    // Replacement mode shows U+FFFD for the lone lead byte.
    EXPECT_EQ(gbkToUtf8("ab\xD6"), "ab\xEF\xBF\xBD");
    // NUL bytes pass through untouched.
    EXPECT_EQ(gbkToUtf8(std::string("\xD6\xD0\0", 3)), std::string("\xE4\xB8\xAD\0", 4));
}

TEST(GbkUtf8, InvalidUtf8BecomesQuestionMarks)
{
    EXPECT_EQ(utf8ToGbk("a\xC3"), "a?");
    EXPECT_EQ(utf8ToGbk("\xE4\xB8\xAD\xFFz"), "\xD6\xD0?z");
}

TEST(GbkUtf16, RoundTripsAndHandlesLoneSurrogates)
{
    const std::u16string wide = gbkToUtf16(kZhongWenGbk + "A");
    ASSERT_EQ(wide.size(), 3u);
    EXPECT_EQ(wide[0], 0x4E2D);
    EXPECT_EQ(wide[2], u'A');
    EXPECT_EQ(utf16ToGbk(wide), kZhongWenGbk + "A");
    const std::u16string lone = {u'a', char16_t(0xD800), u'b'};
    EXPECT_EQ(utf16ToGbk(lone), "a?b");
}

TEST(NamedCharsets, ConvertToGb18030OrYieldEmpty)
{
    EXPECT_EQ(convertToGb18030(kZhongWenUtf8, "UTF-8"), kZhongWenGbk);
    EXPECT_EQ(convertToGb18030(std::string("\x2D\x4E\x87\x65", 4), "UTF-16LE"), kZhongWenGbk);
    EXPECT_EQ(convertToGb18030(std::string("\x4E\x2D\x65\x87", 4), "UTF-16BE"), kZhongWenGbk);
    // "中文" in Big5 is A4A4 A4E5.
    EXPECT_EQ(convertToGb18030("\xA4\xA4\xA4\xE5", "BIG5"), kZhongWenGbk);
    EXPECT_EQ(convertToGb18030("\xA4\xA4\xA4\xE5", "BIG5-HKSCS"), kZhongWenGbk);
    EXPECT_EQ(codePageToGb18030("\xA4\xA4\xA4\xE5", 950), kZhongWenGbk);
    EXPECT_EQ(codePageToGb18030(kZhongWenUtf8, 65001), kZhongWenGbk);
    EXPECT_EQ(codePageToGb18030(kZhongWenGbk, 936), kZhongWenGbk);
    // Failures: unknown charset, invalid bytes, a truncated sequence, an unknown code page.
    EXPECT_EQ(convertToGb18030(kZhongWenUtf8, "NO-SUCH-CHARSET"), "");
    EXPECT_EQ(convertToGb18030("ab\xFF", "UTF-8"), "");
    EXPECT_EQ(convertToGb18030("ab\xE4\xB8", "UTF-8"), "");
    EXPECT_EQ(convertToGb18030("abc", "UTF-16LE"), "");
    EXPECT_EQ(codePageToGb18030("abc", 1252), "");
}

TEST(CodePointToGbk, ConvertsOneUtf16Unit)
{
    EXPECT_EQ(codePointToGbk(0x4E2D), "\xD6\xD0");
    EXPECT_EQ(codePointToGbk(65), "A");
    EXPECT_EQ(codePointToGbk(0), "");
    EXPECT_EQ(codePointToGbk(0x10000), ""); // low 16 bits are 0
    EXPECT_EQ(codePointToGbk(0x14E2D), "\xD6\xD0");
    EXPECT_EQ(codePointToGbk(0xD800), "?");
    EXPECT_EQ(codePointToGbk(0x0E01), "?"); // Thai has no GBK form
    EXPECT_EQ(codePointToGbk(0xB7), "\xA1\xA4");
}

TEST(LargeInput, FiftyMegabytesConvertWithoutTrouble)
{
    std::string big;
    big.reserve(50u << 20);
    while (big.size() < (50u << 20))
        big += kZhongWenGbk + "abc";
    const std::string utf8 = gbkToUtf8(big, Invalid::Escape);
    EXPECT_EQ(utf8ToGbk(utf8), big);
}
