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

TEST(Paths, NamesFromTheSystemRoundTripByteForByte)
{
#ifndef _WIN32
    // Raw GBK bytes (a folder unpacked from a Windows archive), a lone continuation byte, a
    // truncated sequence, a surrogate, and the UTF-8 form of an escape code point.
    const std::string raw = std::string("/tmp/\xC4\xAB\xCD\xA1/x\x80y\xE4\xB8/\xED\xA0\x80/\xF4\x8F\xBC\x80/") + "\xE4\xB8\xAD.ini";
    const GbkText gbkPath = fromNativePath(std::filesystem::path(raw));
    EXPECT_EQ(toNativePath(gbkPath).native(), raw);
    EXPECT_EQ(gbkPath.find('?'), GbkText::npos);
    // Valid UTF-8 becomes its GBK text, and that text its UTF-8 again.
    EXPECT_EQ(fromNativePath(std::filesystem::path("/a/\xE4\xB8\xAD")), "/a/\xD6\xD0");
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
