#include "text/FileIo.h"

#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

using namespace quillet::text;
using quillet::testsupport::readFileBytes;
using quillet::testsupport::TempFolder;
using quillet::testsupport::writeFileBytes;
namespace fs = std::filesystem;

namespace {

std::set<std::string> namesIn(const fs::path& folder)
{
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

} // namespace

TEST(PublishNewFile, NeverReplacesAndRacingWritersEachKeepTheirFile)
{
    TempFolder folder;
    const fs::path name = folder.file("a.txt");
    EXPECT_EQ(publishNewFile(name, "first"), PublishResult::Published);
    EXPECT_EQ(publishNewFile(name, "second", FolderSync::Yes), PublishResult::Taken);
    EXPECT_EQ(readFileBytes(name), "first");
    EXPECT_EQ(publishNewFile(folder.file("missing/x.txt"), "x"), PublishResult::Failed);
    EXPECT_EQ(namesIn(folder.path()), std::set<std::string>{"a.txt"}); // no temporary left

    // Two writers taking "the next free name" in one folder: every file survives.
    constexpr int kEach = 40;
    auto writer = [&](char who) {
        int suffix = 0;
        for (int i = 0; i < kEach; ++i) {
            const std::string content = who + std::to_string(i);
            while (publishNewFile(folder.file("n_" + std::to_string(suffix)), content) == PublishResult::Taken)
                ++suffix;
        }
    };
    std::thread one(writer, 'x');
    std::thread two(writer, 'y');
    one.join();
    two.join();
    std::set<std::string> contents;
    for (int suffix = 0; suffix < 2 * kEach; ++suffix)
        contents.insert(readFileBytes(folder.file("n_" + std::to_string(suffix))));
    EXPECT_EQ(contents.size(), 2u * kEach);
    EXPECT_EQ(namesIn(folder.path()).size(), 2u * kEach + 1);
}

TEST(ReadWholeFile, TellsMissingFromUnreadable)
{
    TempFolder folder;
    writeFileBytes(folder.file("f"), std::string("a\0b", 3));
    const FileContent whole = readWholeFile(folder.file("f"));
    EXPECT_TRUE(whole.ok());
    EXPECT_EQ(whole.bytes, std::string("a\0b", 3));
    EXPECT_EQ(readWholeFile(folder.file("none")).status, ReadStatus::Missing);
    EXPECT_EQ(readWholeFile(folder.file("f/below")).status, ReadStatus::Missing);
    EXPECT_EQ(readWholeFile(folder.path()).status, ReadStatus::Failed);
}
