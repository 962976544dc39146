#include "compose/FileHelpers.h"
#include "compose/TextOps.h"

#include <gtest/gtest.h>

using namespace quillet;
using namespace quillet::compose;

namespace {

const GbkText kNul(1, '\0');

GbkText repeatToSize(const GbkText& unit, std::size_t size)
{
    GbkText text;
    text.reserve(size + unit.size());
    while (text.size() < size)
        text += unit;
    return text;
}

constexpr std::size_t k50MB = 50u << 20;

} // namespace

TEST(InvalidGbk, LoneAndOddLeadBytes)
{
    // A lone lead byte at the end is a character start of its own for searches.
    EXPECT_EQ(findText("ab\xB0", "\xB0"), 3);
    EXPECT_EQ(findText("\xB0\xA1", "\xB0"), -1);
    EXPECT_EQ(charMid("ab\xB0", 2, 5), "b\xB0");
    EXPECT_EQ(leftChars("ab\xB0", 5), "ab\xB0");
    // 0x80 and 0xFF take the next byte like any lead byte.
    EXPECT_EQ(charCount("\x80" "a\xFF" "b", 1), 2);
    EXPECT_EQ(findText("\x80[\xFF]]", "]"), 5);
    GbkText start = "[";
    GbkText end = "]";
    EXPECT_EQ(textBetweenEx("[\x80]]", start, end), "\x80]");
    EXPECT_EQ(stripTags("<\xFF>>"), "");
    EXPECT_EQ(replaceLists("\xFF|x|", "|", "!", ";"), "\xFF|x!");
    EXPECT_EQ(decodeEntities("\xFF&#65;&#65;\xFF"), "\xFF&#65;A\xFF");
    EXPECT_EQ(sanitizeFileName("a\xFF"), "a\xFF");
}

TEST(NulBytes, AreOrdinaryCharacters)
{
    const GbkText text = "a" + kNul + "[x" + kNul + "]" + kNul;
    GbkText start = kNul + "[";
    GbkText end = "]";
    EXPECT_EQ(textBetweenEx(text, start, end), "x" + kNul);
    EXPECT_EQ(charCount(text, 1), 7);
    EXPECT_EQ(replaceLists(text, kNul, "0"), "a0[x0]0");
    EXPECT_EQ(stripTags("<" + kNul + ">" + kNul), kNul);
    EXPECT_EQ(decodeEntities("&#0;" + kNul + "&lt;"), kNul + "<");
    EXPECT_EQ(splitText("a" + kNul + "b", kNul), (std::vector<GbkText>{"a", "b"}));
}

TEST(EmptyInput, GivesEmptyOrUnchangedResults)
{
    GbkText start;
    GbkText end;
    EXPECT_EQ(textBetweenEx(GbkText(), start, end), "");
    GbkText x = "x";
    GbkText y = "y";
    long long position = 0;
    EXPECT_EQ(textBetweenEx(GbkText(), x, y, 0, 0, position, true), "");
    EXPECT_EQ(textBetweenRetry(GbkText(), "a", "b", position, true), "");
    EXPECT_EQ(textBetween(GbkText(), GbkText(), GbkText(), 1, true), "");
    EXPECT_EQ(replaceLists("abc", GbkText(), GbkText()), "abc");
    EXPECT_EQ(replaceLists(GbkText(), "a", "b"), "");
    EXPECT_EQ(decodeEntities(GbkText()), "");
    EXPECT_EQ(stripTags(GbkText()), "");
    EXPECT_EQ(charMid(GbkText(), 1, 1), "");
    EXPECT_EQ(sanitizeFileName(GbkText(), true, true), "");
    // A position beyond the text finds nothing.
    position = 100;
    EXPECT_EQ(textBetweenEx("[a]", x = "[", y = "]", 0, 0, position), "");
    EXPECT_EQ(position, 100);
}

TEST(LargeInput, FiftyMegabytesThroughEachScanner)
{
    const GbkText record = "{\"rateContent\":\"" + gbk("质量很好，物流快&amp;包装") + "&#20013;<b>ok</b>\\r\\n"
                           + "\x81\x5C\x81\x7C" + "\",\"rateDate\":\"2024-05-01\",\"displayUserNick\":\"t***1\"},";
    const GbkText text = repeatToSize(record, k50MB);
    const std::size_t records = text.size() / record.size();

    EXPECT_EQ(charCount(text, 1), static_cast<long long>(records) * charCount(record, 1));
    EXPECT_EQ(charMid(text, charCount(text, 1), 5), ",");

    GbkText start = "\"rateContent\":\"";
    GbkText end = "\",\"rateDate";
    long long position = 0;
    std::size_t found = 0;
    while (!textBetweenEx(text, start, end, 0, 0, position).empty())
        ++found;
    EXPECT_EQ(found, records);
    position = 0;
    found = 0;
    while (!textBetweenEx(text, start, end, 0, 0, position, true).empty() && found <= records)
        ++found;
    EXPECT_EQ(found, records);

    const GbkText replaced = replaceLists(text, "RATEdate|\\|t***", "d|/|u");
    EXPECT_EQ(replaced.size(), text.size() - records * ((8 - 1) + (4 - 1)));
    EXPECT_EQ(findText(replaced, "rateDate"), -1);

    const GbkText decoded = decodeEntities(text);
    EXPECT_EQ(decoded.size(), text.size() - records * (5 - 1) - records * (8 - 2));
    const GbkText stripped = stripTags(text);
    EXPECT_EQ(stripped.size(), text.size() - records * 7);
    EXPECT_EQ(splitText(text, "},").size(), records + 1);
}

TEST(LargeInput, FiftyMegabytesOfAwkwardShapes)
{
    // Nothing but references without ";", nothing but "<", one endless run of Chinese.
    const GbkText noSemicolons = repeatToSize("&#", k50MB);
    EXPECT_EQ(decodeEntities(noSemicolons), noSemicolons);
    const GbkText opens = repeatToSize("<", k50MB) + ">";
    EXPECT_EQ(stripTags(opens), opens.substr(0, opens.size() - 2));
    const GbkText chinese = repeatToSize(gbk("好评如潮，"), k50MB);
    const long long chars = charCount(chinese, 1);
    EXPECT_EQ(chars * 2, static_cast<long long>(chinese.size()));
    EXPECT_EQ(findTextBackward(chinese, gbk("潮，好")), static_cast<long long>(chinese.size()) - 13);
    EXPECT_EQ(findText(chinese, "\xC0\xC8"), -1); // the end of "评" and the start of "如"
    // A walk between Chinese markers through the whole run, with one scan of the text.
    GbkText comma = gbk("，");
    GbkText comma2 = gbk("，");
    long long position = 0;
    std::size_t values = 0;
    text::TextScan scan(chinese);
    while (!textBetweenEx(scan, comma, comma2, 0, 0, position).empty())
        ++values;
    // Each value uses up its closing comma, so the commas pair up.
    EXPECT_EQ(values, chinese.size() / 10 / 2);
}
