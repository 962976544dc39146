// Article files that runs running side by side, or a full disk, must not damage: the merged
// file of a run and the title-named files of the per-file methods.

#include "compose/Article.h"
#include "harvest/MergedFile.h"
#include "support/TempFolder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <thread>

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace quillet::harvest {
namespace {

using testsupport::readFileBytes;
using testsupport::TempFolder;
using testsupport::writeFileBytes;

TEST(MergedOutput, ASecondRunInTheSameSecondTakesTheNextName)
{
    TempFolder folder;
    writeFileBytes(folder.file("2014-05-06 08-09-10.txt"), "another run's article\r\n");
    MergedFile first;
    ASSERT_TRUE(first.create(folder.gbkFile(""), "2014-05-06 08-09-10", "txt"));
    MergedFile second;
    ASSERT_TRUE(second.create(folder.gbkFile(""), "2014-05-06 08-09-10", "txt"));
    EXPECT_TRUE(first.appendLine("one\r\n"));
    EXPECT_TRUE(second.appendLine("two\r\n"));
    EXPECT_TRUE(first.close());
    EXPECT_TRUE(second.close());
    EXPECT_EQ(readFileBytes(folder.file("2014-05-06 08-09-10.txt")), "another run's article\r\n");
    EXPECT_EQ(readFileBytes(folder.file("2014-05-06 08-09-10_1.txt")), "one\r\n");
    EXPECT_EQ(readFileBytes(folder.file("2014-05-06 08-09-10_2.txt")), "two\r\n");

    MergedFile nowhere;
    EXPECT_FALSE(nowhere.create(folder.gbkFile("missing"), "x", "txt"));
    EXPECT_FALSE(nowhere.appendLine("lost\r\n"));
}

#ifndef _WIN32
TEST(MergedOutput, ALineThatDoesNotFitIsTakenBackOut)
{
    TempFolder folder;
    const std::string line(298, 'a');
    // A child process whose files may not grow beyond 1000 bytes stands in for a full disk.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{1000, 1000};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
            ::_exit(77);
        MergedFile file;
        if (!file.create(folder.gbkFile(""), "m", "txt"))
            ::_exit(2);
        int outcome = 0;
        for (int i = 0; i < 4; ++i) // three lines fit, the fourth does not
            outcome = outcome * 2 + (file.appendLine(line + "\r\n") ? 1 : 0);
        outcome = outcome * 2 + (file.appendLine("short\r\n") ? 1 : 0); // there is still room for this
        ::_exit(outcome == 0b11101 && file.close() ? 0 : 3);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77)
        GTEST_SKIP() << "no file size limit can be set here";
    EXPECT_EQ(WEXITSTATUS(status), 0);
    const std::string whole = line + "\r\n";
    EXPECT_EQ(readFileBytes(folder.file("m.txt")), whole + whole + whole + "short\r\n");
}
#endif

TEST(TitledOutput, RunsWritingTheSameTitlesIntoOneFolderKeepEveryArticle)
{
    TempFolder folder;
    constexpr int kEach = 40;
    auto run = [&](const std::string& who) {
        for (int i = 0; i < kEach; ++i) {
            const GbkText article = who + std::to_string(i);
            EXPECT_FALSE(compose::writeArticleFile(0, folder.gbkFile("out"), "txt", "same", "1", article).empty());
        }
    };
    std::thread a(run, "a");
    std::thread b(run, "b");
    a.join();
    b.join();
    std::set<std::string> articles;
    for (const auto& entry : std::filesystem::directory_iterator(folder.file("out")))
        articles.insert(readFileBytes(entry.path()));
    EXPECT_EQ(articles.size(), 2u * kEach);
}

} // namespace
} // namespace quillet::harvest
