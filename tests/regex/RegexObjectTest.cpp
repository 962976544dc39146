#include "regex/RegexObject.h"
#include <gtest/gtest.h>
TEST(Smoke, Compiles) { quillet::RegexObject r; EXPECT_TRUE(r.compile("a")); EXPECT_EQ(r.execute("aAa"), 3); }
