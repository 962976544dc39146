#include "compose/Article.h"
#include "compose/FileHelpers.h"
#include "text/EventPump.h"
#include "text/Paths.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <chrono>
#include <set>

#ifndef _WIN32
#include <unistd.h>
#endif

using namespace quillet;
using namespace quillet::compose;
using namespace std::string_literals;
namespace fs = std::filesystem;

namespace {

// A fresh folder for one test, removed afterwards.
class FileHelpersFolder : public testing::Test {
protected:
    void SetUp() override
    {
        static std::atomic<int> counter{0};
        m_root = fs::temp_directory_path()
                 / ("quillet-compose-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + "-" + std::to_string(counter++));
        fs::remove_all(m_root);
        fs::create_directories(m_root);
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::remove_all(m_root, ec);
    }

    // The folder as a GBK path written with "\" separators, as the program's settings hold it.
    GbkText root() const
    {
        GbkText path = text::fromNativePath(m_root);
        for (auto& c : path)
            if (c == '/')
                c = '\\';
        return path;
    }

    static std::string readAll(const fs::path& path)
    {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    std::set<std::string> entries() const
    {
        std::set<std::string> names;
        for (const auto& entry : fs::recursive_directory_iterator(m_root))
            names.insert(fs::relative(entry.path(), m_root).generic_string());
        return names;
    }

    fs::path m_root;
};

} // namespace

TEST(LeftChars, CutsWholeCharacters)
{
    const GbkText text = gbk("中文") + "abc";
    EXPECT_EQ(leftChars(text, 3), gbk("中文") + "a");
    EXPECT_EQ(leftChars(text, -1), gbk("中文") + "ab");
    EXPECT_EQ(leftChars(text, 0), "");
    EXPECT_EQ(leftChars(text, 50), text);
    EXPECT_EQ(leftChars(text, -9), "");
    // Line breaks do not count for the negative form but do for the cut.
    EXPECT_EQ(leftChars("ab\r\ncd", -1), "ab\r\n");
    EXPECT_EQ(leftChars("\x81\x41" "b", 1), "\x81\x41");
}

TEST(SanitizeFileName, ReplacesForbiddenCharactersAndCleans)
{
    EXPECT_EQ(sanitizeFileName("a:b*c\"d"), "a\xA3\xBA" "b\xA3\xAA" "cd");
    EXPECT_EQ(sanitizeFileName("\\/:*?|<>"), "\xA3\xDC\xA3\xAF\xA3\xBA\xA3\xAA\xA3\xBF\xA3\xFC\xA3\xBC\xA3\xBE");
    EXPECT_EQ(sanitizeFileName("a\r\nb\rc\nd\te"), "abcde");
    // A backslash or bar that is the second byte of a character stays as it is.
    EXPECT_EQ(sanitizeFileName("\x81\x5C\x81\x7C"), "\x81\x5C\x81\x7C");
    // No control byte survives, and a byte below 0x40 is never the trail of a broken character.
    EXPECT_EQ(sanitizeFileName("a\0b\x01\x1F\x7F" "c"s), "abc");
    // A lead byte without its trail goes (kept, 81 would swallow the first byte of the
    // full-width slash and FE the "y"); 80 and FF lead nothing; four-byte characters stay whole.
    EXPECT_EQ(sanitizeFileName("\x81/x\xFE\0y\x80:"s), "\xA3\xAFxy\x80\xA3\xBA");
    EXPECT_EQ(sanitizeFileName("\x80\\\xFF/\x81\x30\x81\x30"), "\x80\xA3\xDC\xFF\xA3\xAF\x81\x30\x81\x30");
    // The name stays one name for the file system, also when a removed byte stood between two
    // lead bytes.
    for (const GbkText& title : {"\xAE\x7F\xAE\\."s, "\x80\\.."s, "\xAE\t\xAE/x"s})
        EXPECT_EQ(text::toNativePath("d/" + sanitizeFileName(title)).parent_path(), "d") << title;
    // A product ID and extension that would name the folder or its parent give no path.
    EXPECT_EQ(outputPath(1, "d", "", "t", "."), "");
    EXPECT_EQ(outputPath(1, "d", "", "t", ""), "");
    EXPECT_EQ(outputPath(1, "d", "", "t", "7"), "d" + text::pathSeparator() + "7.");
}

TEST(SanitizeFileName, CutAndTrim)
{
    GbkText longName;
    for (int i = 0; i < 300; ++i)
        longName += gbk("评");
    EXPECT_EQ(sanitizeFileName(longName, true).size(), 400u);
    EXPECT_EQ(sanitizeFileName(longName, false).size(), 600u);
    EXPECT_EQ(sanitizeFileName(" \xA1\xA1 x y\xA1\xA1  ", false, true), "x y");
    EXPECT_EQ(sanitizeFileName(" \xA1\xA1 x y\xA1\xA1  ", false, false), " \xA1\xA1 x y\xA1\xA1  ");
    EXPECT_EQ(sanitizeFileName(" \xA1\xA1 ", false, true), "");
    // "\xB0\xA1\xA1..." holds the character B0 A1, not an ideographic space.
    EXPECT_EQ(sanitizeFileName("\xB0\xA1\xA1\xA1", false, true), "\xB0\xA1");
}

TEST_F(FileHelpersFolder, CreateDirectoriesMakesEveryMissingLevel)
{
    std::vector<GbkText> created;
    const GbkText file = root() + "\\a\\b\\file.txt";
    ASSERT_TRUE(createDirectories(file, created));
    EXPECT_EQ(created, (std::vector<GbkText>{root() + "\\a", root() + "\\a\\b"}));
    EXPECT_TRUE(fs::is_directory(m_root / "a" / "b"));
    EXPECT_FALSE(fs::exists(m_root / "a" / "b" / "file.txt"));

    created.clear();
    ASSERT_TRUE(createDirectories(file, created));
    EXPECT_TRUE(created.empty());

    // "/" separates too, and a folder path needs its closing separator for its last level.
    ASSERT_TRUE(createDirectories(root() + "/c/" + gbk("评论") + "/", created));
    EXPECT_TRUE(fs::is_directory(m_root / "c" / fs::u8path(u8"评论")));
    ASSERT_TRUE(createDirectories(root() + "\\d", created));
    EXPECT_FALSE(fs::exists(m_root / "d"));
}

TEST_F(FileHelpersFolder, CreateDirectoriesStopsAtTheFirstFailure)
{
    std::ofstream(m_root / "plain") << "x";
    std::vector<GbkText> created;
    EXPECT_FALSE(createDirectories(root() + "\\plain\\sub\\", created));
    EXPECT_TRUE(created.empty());
    EXPECT_FALSE(fs::exists(m_root / "plain" / "sub"));
    // A second byte equal to "\" is no separator.
    created.clear();
    ASSERT_TRUE(createDirectories(root() + "\\x\x81\x5Cy\\", created));
    ASSERT_EQ(created.size(), 1u);
    EXPECT_EQ(created[0], root() + "\\x\x81\x5Cy");
}

TEST_F(FileHelpersFolder, WriteTextFileReplacesAndAppends)
{
    const GbkText path = root() + "\\" + gbk("输出") + ".txt";
    const fs::path native = m_root / fs::u8path(u8"输出.txt");
    ASSERT_TRUE(writeTextFile(path, gbk("第一")));
    EXPECT_EQ(readAll(native), gbk("第一"));
    ASSERT_TRUE(writeTextFile(path, "second"));
    EXPECT_EQ(readAll(native), "second");
    ASSERT_TRUE(writeTextFile(path, "+more", true));
    EXPECT_EQ(readAll(native), "second+more");
    ASSERT_TRUE(writeTextFile(path, GbkText(1, '\0') + "z", true));
    EXPECT_EQ(readAll(native), GbkText("second+more") + '\0' + "z");
    ASSERT_TRUE(writeTextFile(root() + "\\new.txt", "fresh", true));
    EXPECT_EQ(readAll(m_root / "new.txt"), "fresh");
    ASSERT_TRUE(writeTextFile(root() + "\\empty.txt", GbkText()));
    EXPECT_TRUE(fs::exists(m_root / "empty.txt"));
    // Nothing but the files themselves is left in the folder.
    EXPECT_EQ(entries(), (std::set<std::string>{"输出.txt", "new.txt", "empty.txt"}));
}

TEST_F(FileHelpersFolder, WriteTextFileTakesNamesNearTheLengthLimit)
{
    // 250 bytes of name: the temporary file used on the way must not need more.
    const std::string name(246, 'n');
    ASSERT_TRUE(writeTextFile(root() + "\\" + name + ".txt", "long"));
    EXPECT_EQ(readAll(m_root / (name + ".txt")), "long");
    ASSERT_TRUE(writeTextFile(root() + "\\" + name + ".txt", "+", true));
    EXPECT_EQ(readAll(m_root / (name + ".txt")), "long+");
    EXPECT_EQ(entries(), (std::set<std::string>{name + ".txt"}));
}

TEST_F(FileHelpersFolder, WriteTextFileFailsCleanly)
{
    std::ofstream(m_root / "plain") << "keep";
    fs::create_directory(m_root / "folder");
    EXPECT_FALSE(writeTextFile(root() + "\\missing\\x.txt", "a"));
    EXPECT_FALSE(writeTextFile(root() + "\\plain\\x.txt", "a"));
    EXPECT_FALSE(writeTextFile(root() + "\\folder", "a"));
    EXPECT_FALSE(writeTextFile(GbkText(), "a"));
    EXPECT_EQ(readAll(m_root / "plain"), "keep");
    EXPECT_EQ(entries(), (std::set<std::string>{"plain", "folder"}));
}

TEST_F(FileHelpersFolder, WriteTextFileInAReadOnlyFolder)
{
#ifndef _WIN32
    if (::geteuid() == 0)
        GTEST_SKIP() << "the superuser writes everywhere";
#endif
    fs::create_directory(m_root / "locked");
    std::ofstream(m_root / "locked" / "old.txt") << "old";
    fs::permissions(m_root / "locked", fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_FALSE(writeTextFile(root() + "\\locked\\old.txt", "new", true));
    EXPECT_FALSE(writeTextFile(root() + "\\locked\\other.txt", "new"));
    fs::permissions(m_root / "locked", fs::perms::owner_all);
    EXPECT_EQ(readAll(m_root / "locked" / "old.txt"), "old");
    EXPECT_EQ(entries(), (std::set<std::string>{"locked", "locked/old.txt"}));
}

TEST(UniqueItems, KeepsLastOccurrences)
{
    std::vector<GbkText> items;
    EXPECT_EQ(uniqueItems(items, "a\r\nb\r\na\r\nc\r\nb"), "a\r\nc\r\nb");
    EXPECT_EQ(items, (std::vector<GbkText>{"a", "c", "b"}));
    EXPECT_EQ(uniqueItems(items, "1|A|a|1", "|"), "A|a|1");
    EXPECT_EQ(uniqueItems(items, "x\r\n\r\nx\r\n"), "x\r\n");
    EXPECT_EQ(items, (std::vector<GbkText>{"x", ""}));
    EXPECT_EQ(uniqueItems(items, GbkText()), "");
    EXPECT_TRUE(items.empty());
}

TEST(PauseMs, TenMillisecondStepsWithEvents)
{
    int steps = 0;
    bool stop = false;
    auto previous = text::setEventPump([&steps] { ++steps; });
    pauseMs(25, stop);
    EXPECT_EQ(steps, 3);
    steps = 0;
    pauseMs(0, stop);
    pauseMs(-5, stop);
    EXPECT_EQ(steps, 0);
    steps = 0;
    pauseMs(20, stop);
    EXPECT_EQ(steps, 2);

    // A stop set from inside the event processing ends the pause after that step.
    steps = 0;
    text::setEventPump([&] {
        if (++steps == 2)
            stop = true;
    });
    pauseMs(1000, stop);
    EXPECT_EQ(steps, 2);
    steps = 0;
    pauseMs(1000, stop);
    EXPECT_EQ(steps, 0);
    text::setEventPump(previous);
}
