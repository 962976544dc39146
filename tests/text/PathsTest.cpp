#include "text/Charset.h"
#include "text/Paths.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace quillet::text;

TEST(Paths, BackslashesBecomeSeparatorsButTrailBytesDoNot)
{
#ifndef _WIN32
    EXPECT_EQ(toNativePath("a\\b/c").string(), "a/b/c");
    // GBK "脗" is C3 5C: its trail byte is a backslash and must survive.
    const GbkText trail = "\xC3\x5C";
    const auto native = toNativePath(trail + "\\x");
    EXPECT_EQ(native.string(), gbkToUtf8(trail) + "/x");
    EXPECT_EQ(fromNativePath(native), trail + "/x");
#endif
}

TEST(Paths, WindowsDefaultsMapToTheHomeFolder)
{
#ifndef _WIN32
    const char* old = std::getenv("HOME");
    const std::string saved = old ? old : "";
    setenv("HOME", "/home/tester/", 1);
    EXPECT_EQ(localDefaultPath(gbk("C:\\淘宝评论")), gbk("/home/tester/淘宝评论"));
    EXPECT_EQ(localDefaultPath("C:\\"), "/home/tester/");
    EXPECT_EQ(localDefaultPath("D:\\x"), "D:\\x");
    EXPECT_EQ(localDefaultPath("relative"), "relative");
    setenv("HOME", saved.c_str(), 1);
#endif
}

TEST(Paths, ExecutableFolderIsFound)
{
    const auto folder = executableFolder();
    EXPECT_FALSE(folder.empty());
    EXPECT_TRUE(std::filesystem::is_directory(folder));
}
