#pragma once

#include "text/FileIo.h"
#include "text/GbkText.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace quillet::harvest {

// Writes the per-product article files of a run in groups. Each article's bytes go to a
// temporary file in its folder at once; the group is committed when it holds `articles`
// articles, when its first one has waited `wait`, when asked (a stop), and at the end:
// every temporary file is flushed to the disk, then given its final name, then each folder is
// flushed. Groups are committed by a thread of the committer's own, behind the product loop,
// so the loop does not wait for the disk; commit() waits for them. A final name therefore only ever shows a complete article that is on the disk, one
// flush of the disk serves a whole group, and a kill loses at most the open group, left as
// temporary files that the next run into the folder removes.
//
// Names: by product ID (naming 1) the file replaces the product's file; by title (naming 0)
// the first free name of title, title_1, title_2, ... is claimed without replacing anything,
// even a file another program creates at the same moment. The run remembers the next suffix
// to try for each title, so many products of one title do not retry every name before it.
class ArticleCommitter {
public:
    struct Limits {
        std::size_t articles = 32;
        std::chrono::milliseconds wait{250};
    };
    // An article that could not be flushed or named, and where it came from.
    struct Lost {
        long long line = 0; // the line of the product-ID file
        GbkText entry;      // that line as the file had it
        GbkText folder;     // where the article should have gone
    };
    struct Committed {
        long long articles = 0; // articles that got their final names
        std::vector<Lost> lost;
    };

    ArticleCommitter();
    explicit ArticleCommitter(Limits limits);
    // Commits the open group.
    ~ArticleCommitter();
    ArticleCommitter(const ArticleCommitter&) = delete;
    ArticleCommitter& operator=(const ArticleCommitter&) = delete;

    // Puts an article into the open group; `line` and `entry` say which line of the product-ID
    // file it came from. False when its bytes could not be written (the folder cannot be made
    // or written); nothing is left behind then.
    [[nodiscard]] bool stage(int naming, const GbkText& folder, const GbkText& extension, const GbkText& title,
                             const GbkText& productId, const GbkText& article, long long line = 0,
                             const GbkText& entry = {});
    // Whether the open group is full or has waited long enough.
    [[nodiscard]] bool due() const;
    [[nodiscard]] bool empty() const { return m_pending.empty(); }
    // Hands the open group to the committing thread and returns at once.
    void commitInBackground();
    // What the committing thread has finished since the last collect() or commit(); no wait.
    [[nodiscard]] Committed collect();
    // Commits the open group, waits for every group handed over, and returns what was not
    // collected yet.
    Committed commit();

    // Whether an article of the open group of this thread's committer will take this path: its
    // product file, or the first name of its title. Lets a check for an existing file see the
    // articles that are written but not yet named.
    [[nodiscard]] static bool willName(const GbkText& path);

private:
    struct Pending {
        text::StagedFile staged;
        int naming = 0;
        GbkText folder;
        GbkText title;
        GbkText extension;
        GbkText path; // the product file (naming 1) or the title's first name (naming 0)
        long long line = 0;
        GbkText entry;
    };

    // Run by the committing thread.
    [[nodiscard]] bool name(const Pending& article);
    [[nodiscard]] Committed commitGroup(std::vector<Pending>& group);
    void work();

    Limits m_limits;
    std::vector<Pending> m_pending; // the open group (the caller's thread only)
    std::chrono::steady_clock::time_point m_groupStart;
    std::set<std::filesystem::path> m_cleanedFolders;
    std::map<GbkText, long long> m_nextSuffix; // by the title's first name (the committing thread only)
    ArticleCommitter* m_outer = nullptr;

    // Between the caller and the committing thread.
    std::mutex m_mutex;
    std::condition_variable m_wake; // a group was handed over, or the end came
    std::condition_variable m_idle; // a group was committed
    std::deque<std::vector<Pending>> m_queue;
    std::vector<Pending> m_inFlight;
    bool m_busy = false;
    bool m_quit = false;
    Committed m_done;
    std::thread m_worker;
};

} // namespace quillet::harvest
