#include "text/Numbers.h"

#include <gtest/gtest.h>

using namespace quillet::text;

TEST(TextToInteger, LeadingDigitsCountAndTheRestIsIgnored)
{
    EXPECT_EQ(textToInteger("12abc"), 12);
    EXPECT_EQ(textToInteger("  7"), 7);
    EXPECT_EQ(textToInteger("-3"), -3);
    EXPECT_EQ(textToInteger("3.7"), 3);
    EXPECT_EQ(textToInteger(""), 0);
    EXPECT_EQ(textToInteger("abc"), 0);
    EXPECT_EQ(textToInteger("\xD6\xD0" "5"), 0);
    // Absurdly long numbers saturate instead of overflowing.
    EXPECT_GT(textToInteger(std::string(40, '9')), 1000000000000LL);
}

TEST(TextToNumber, ReadsFractionsWhateverTheLocale)
{
    EXPECT_DOUBLE_EQ(textToNumber("0.01"), 0.01);
    EXPECT_DOUBLE_EQ(textToNumber("1.5s"), 1.5);
    EXPECT_DOUBLE_EQ(textToNumber(".5"), 0.5);
    EXPECT_DOUBLE_EQ(textToNumber("+2"), 2.0);
    EXPECT_DOUBLE_EQ(textToNumber("-0.25"), -0.25);
    EXPECT_DOUBLE_EQ(textToNumber("2e1x"), 20.0);
    EXPECT_DOUBLE_EQ(textToNumber("2e"), 2.0);
    EXPECT_DOUBLE_EQ(textToNumber(""), 0.0);
    EXPECT_DOUBLE_EQ(textToNumber("."), 0.0);
    EXPECT_DOUBLE_EQ(textToNumber("1e999"), 0.0);
}
