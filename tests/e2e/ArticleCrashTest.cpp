// Article files across kills: quillet-cli harvesting into a folder is killed at random moments;
// every final name must hold a whole article, and the next run removes what the killed one left
// and reports exactly the files it added.

#include "E2eSupport.h"

#include "harvest/BatchRun.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>

namespace quillet::e2e {
namespace {

namespace fs = std::filesystem;

struct FolderState {
    std::vector<std::string> articles; // contents of the files under final names
    int temporaries = 0;               // hidden files a writer left
};

FolderState look(const fs::path& folder)
{
    FolderState state;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        if (entry.path().filename().string().front() == '.')
            ++state.temporaries;
        else
            state.articles.push_back(testsupport::readFileBytes(entry.path()));
    }
    return state;
}

TEST(ArticleCrashSafety, KilledRunsLeaveWholeArticlesAndTheNextRunRemovesTheRest)
{
    constexpr int kProducts = 60;
    Catalogue c;
    std::set<std::string> whole;
    std::string ids;
    for (int i = 1; i <= kProducts; ++i) {
        const std::string id = std::to_string(8000000 + i);
        const std::string prefix = "p" + std::to_string(i) + "r" + std::string(400, 'x');
        c.addProduct(marketProduct(id, "shared title " + std::to_string(i % 4), numberedReviews(3, prefix)));
        whole.insert(prefix + "1\r\n" + prefix + "2\r\n" + prefix + "3\r\n");
        ids += id + "\r\n";
    }
    MarketSession market(std::move(c));
    RunBench bench;
    bench.writeIds(ids);
    bench.setIndex("组合框命名方式", 0); // named after the title: names are claimed, "_1", "_2", ...
    testsupport::writeFileBytes(bench.folder.file("plain.txt"), "#评论#\r\n");
    fs::create_directories(bench.outputFolder());

    std::vector<std::string> args = {QUILLET_CLI_PROGRAM, "harvest", "--settings",
                                     bench.folder.file("cli.ini").string(), "--ids", bench.folder.file("ids.txt").string(),
                                     "--out", bench.outputFolder().string(), "--template",
                                     bench.folder.file("plain.txt").string(), "--naming", "title", "--type", "all",
                                     "--min-chars", "0", "--pages", "0", "--delay", "0", "--no-shuffle-title",
                                     "--no-shuffle-content", "--start", "1"};
    for (const std::string& entry : market.connectToEntries()) {
        args.push_back("--connect-to");
        args.push_back(entry);
    }
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    for (int attempt = 0; attempt < 5; ++attempt) {
        SCOPED_TRACE(attempt);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const int null = ::open("/dev/null", O_WRONLY);
            if (null < 0 || ::dup2(null, 2) < 0 || ::dup2(null, 1) < 0)
                ::_exit(120);
            ::execv(argv[0], argv.data());
            ::_exit(121);
        }
        ::usleep(static_cast<useconds_t>(40000 + attempt * 45000));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);

        const FolderState killed = look(bench.outputFolder());
        for (const std::string& article : killed.articles)
            ASSERT_TRUE(whole.count(article)) << "a final name holds a torn or foreign article";
        // The next run removes the leftovers and reports exactly what it added.
        bench.setText("编辑框序号", "1");
        const harvest::RunOutcome outcome = harvest::runButtonClicked(bench.context, bench.ui);
        const FolderState after = look(bench.outputFolder());
        EXPECT_EQ(after.temporaries, 0);
        EXPECT_EQ(outcome.articles, kProducts);
        EXPECT_EQ(after.articles.size(), killed.articles.size() + kProducts);
        for (const std::string& article : after.articles)
            ASSERT_TRUE(whole.count(article));
    }
}

} // namespace
} // namespace quillet::e2e
#endif
