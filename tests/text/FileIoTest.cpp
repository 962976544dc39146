#include "text/FileIo.h"

#include "support/OrdinaryUser.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
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

TEST(WriteFileAtomically, LinksKeepTheirFileAndACutShortRewriteIsCompleted)
{
#ifndef _WIN32
    TempFolder folder;
    const fs::path real = folder.file("real/s.ini");
    fs::create_directories(real.parent_path());
    writeFileBytes(real, "old");
    fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read,
                    fs::perm_options::replace);
    fs::create_symlink("real/s.ini", folder.file("link.ini"));
    ASSERT_TRUE(writeFileAtomically(folder.file("link.ini"), "through the link"));
    EXPECT_TRUE(fs::is_symlink(folder.file("link.ini")));
    EXPECT_EQ(readFileBytes(real), "through the link");
    EXPECT_EQ(fs::status(real).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(namesIn(folder.path()), (std::set<std::string>{"link.ini", "real"}));

    fs::create_hard_link(real, folder.file("hard.ini"));
    ASSERT_TRUE(writeFileAtomically(folder.file("hard.ini"), "both names"));
    EXPECT_EQ(readFileBytes(real), "both names");
    EXPECT_EQ(fs::hard_link_count(real), 2u);
    EXPECT_EQ(namesIn(real.parent_path()), std::set<std::string>{"s.ini"});
    EXPECT_FALSE(recoverInterruptedWrite(folder.file("hard.ini")));

    // A rewrite that could not finish (the file became write-protected under it) leaves its
    // journal, and the next recovery completes it.
    const std::string failures = quillet::testsupport::runAsOrdinaryUser(folder.path(), [&] {
        quillet::testsupport::CheckLog log;
        fs::permissions(real, fs::perms::owner_read, fs::perm_options::replace);
        log.check(!writeFileAtomically(folder.file("hard.ini"), "newest"), "write to a protected file succeeded");
        log.check(readFileBytes(real) == "both names", "protected file changed");
        fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::replace);
        log.check(recoverInterruptedWrite(folder.file("hard.ini")), "nothing to recover");
        return log.failures();
    });
    EXPECT_EQ(failures, "");
    EXPECT_EQ(readFileBytes(folder.file("link.ini")), "newest");
    EXPECT_EQ(fs::hard_link_count(real), 2u);
    EXPECT_EQ(namesIn(folder.path()), (std::set<std::string>{"hard.ini", "link.ini", "real"}));
#endif
}

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>

// Staged files beyond the number kept open are flushed all the same; a child made by fork()
// after the parent staged files names its temporaries after itself, so once it is gone the
// next run removes them and keeps the parent's.
TEST(StageFile, ManyStagedFilesAndAForkedChildsLeftovers)
{
    TempFolder folder;
    std::vector<StagedFile> staged(300);
    for (std::size_t i = 0; i < staged.size(); ++i)
        ASSERT_TRUE(stageFile(folder.file("a" + std::to_string(i)), std::to_string(i), staged[i]));
    std::vector<StagedFile*> group;
    for (StagedFile& file : staged)
        group.push_back(&file);
    const std::vector<bool> synced = syncFiles(group);
    EXPECT_EQ(std::count(synced.begin(), synced.end(), true), 300);
    EXPECT_EQ(readFileBytes(staged[299].temporary), "299");

    const pid_t child = ::fork();
    if (child == 0) {
        StagedFile mine;
        ::_exit(stageFile(folder.file("child"), "c", mine) ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const std::string childPrefix = ".quillet-" + std::to_string(child) + "-";
    std::size_t childFiles = 0;
    for (const std::string& name : namesIn(folder.path()))
        childFiles += name.rfind(childPrefix, 0) == 0 ? 1 : 0;
    EXPECT_EQ(childFiles, 1u);
    EXPECT_EQ(removeAbandonedTemporaries(folder.path()), 1u);
    EXPECT_EQ(namesIn(folder.path()).size(), 300u);
}
#endif

// How much unwritten data the system holds is read off its memory report: both lines are
// needed, and a name counts only at the start of a line.
TEST(UnwrittenData, ReadOffTheSystemsMemoryReport)
{
    EXPECT_EQ(unwrittenKiB("MemTotal: 100 kB\nDirty:        62884 kB\nWriteback:       16 kB\nWritebackTmp: 9 kB\n"),
              62900);
    EXPECT_EQ(unwrittenKiB("Dirty: 5 kB\n"), -1);
    EXPECT_EQ(unwrittenKiB("NotDirty: 5 kB\nWriteback: 1 kB\n"), -1);
    EXPECT_EQ(unwrittenKiB("Dirty: none\nWriteback: 1 kB\n"), -1);
    EXPECT_EQ(unwrittenKiB(""), -1);
#ifdef __linux__
    const FileContent report = readWholeFile("/proc/meminfo");
    ASSERT_TRUE(report.ok());
    EXPECT_GE(unwrittenKiB(report.bytes), 0);
#endif
}
