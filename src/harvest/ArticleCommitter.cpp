#include "harvest/ArticleCommitter.h"

#include "compose/Article.h"
#include "compose/FileHelpers.h"
#include "text/FileIo.h"
#include "text/Paths.h"

#include <system_error>

namespace quillet::harvest {

namespace {

thread_local ArticleCommitter* t_active = nullptr;

} // namespace

ArticleCommitter::ArticleCommitter() : ArticleCommitter(Limits{}) {}

ArticleCommitter::ArticleCommitter(Limits limits) : m_limits(limits), m_outer(t_active)
{
    t_active = this;
}

ArticleCommitter::~ArticleCommitter()
{
    commit();
    if (m_worker.joinable()) {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_quit = true;
        }
        m_wake.notify_all();
        m_worker.join();
    }
    t_active = m_outer;
}

bool ArticleCommitter::stage(int naming, const GbkText& folder, const GbkText& extension, const GbkText& title,
                             const GbkText& productId, const GbkText& article, long long line, const GbkText& entry)
{
    Pending pending;
    pending.line = line;
    pending.entry = entry;
    pending.naming = naming;
    pending.folder = folder;
    pending.title = title;
    pending.extension = extension;
    if (naming == 1)
        pending.path = compose::outputPath(1, folder, extension, title, productId);
    else if (naming == 0)
        pending.path = compose::titledArticlePath(folder, title, extension, 0);
    if (pending.path.empty())
        return false;
    const std::filesystem::path target = text::toNativePath(pending.path);
    const std::filesystem::path parent = target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
    std::vector<GbkText> created;
    // The first article of a folder makes it and clears what killed runs left there; later
    // ones make it again only when it has gone meanwhile.
    if (m_cleanedFolders.insert(parent).second) {
        compose::createDirectories(pending.path, created);
        (void)text::removeAbandonedTemporaries(parent);
    }
    if (!text::stageFile(target, article, pending.staged)
        && !(compose::createDirectories(pending.path, created) && text::stageFile(target, article, pending.staged)))
        return false;
    if (m_pending.empty())
        m_groupStart = std::chrono::steady_clock::now();
    m_pending.push_back(std::move(pending));
    return true;
}

bool ArticleCommitter::due() const
{
    if (m_pending.empty())
        return false;
    return m_pending.size() >= m_limits.articles || std::chrono::steady_clock::now() - m_groupStart >= m_limits.wait;
}

bool ArticleCommitter::name(const Pending& article)
{
    if (article.naming == 1)
        return text::publishStagedFile(article.staged.temporary, text::toNativePath(article.path), true)
            == text::PublishResult::Published;
    long long& next = m_nextSuffix[article.path];
    for (long long j = next; j <= compose::kMaxTitleClashes; ++j) {
        const GbkText path = j == 0 ? article.path : compose::titledArticlePath(article.folder, article.title,
                                                                                article.extension, j);
        // No look for the name first: the naming itself refuses a name that is taken.
        switch (text::publishStagedFile(article.staged.temporary, text::toNativePath(path), false)) {
        case text::PublishResult::Published:
            next = j + 1;
            return true;
        case text::PublishResult::Taken:
            continue; // another program took it meanwhile
        case text::PublishResult::Failed:
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::remove(article.staged.temporary, ec); // every name taken
    return false;
}

ArticleCommitter::Committed ArticleCommitter::commitGroup(std::vector<Pending>& group)
{
    Committed result;
    // First every article's bytes onto the disk, then the names: a name never shows bytes
    // that a power cut could still take away.
    std::vector<text::StagedFile*> staged;
    staged.reserve(group.size());
    for (Pending& article : group)
        staged.push_back(&article.staged);
    const std::vector<bool> synced = text::syncFiles(staged);
    std::set<std::filesystem::path> folders;
    for (std::size_t i = 0; i < group.size(); ++i) {
        const Pending& article = group[i];
        if (synced[i] && name(article)) {
            ++result.articles;
            folders.insert(article.staged.temporary.parent_path());
            continue;
        }
        if (!synced[i]) {
            std::error_code ec;
            std::filesystem::remove(article.staged.temporary, ec);
        }
        result.lost.push_back({article.line, article.entry, article.folder});
    }
    for (const std::filesystem::path& folder : folders)
        (void)text::syncFolderOf(folder / "x");
    return result;
}

void ArticleCommitter::work()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_quit || !m_queue.empty(); });
        if (m_queue.empty())
            return;
        m_inFlight = std::move(m_queue.front());
        m_queue.pop_front();
        m_busy = true;
        lock.unlock();
        Committed committed = commitGroup(m_inFlight);
        lock.lock();
        m_inFlight.clear();
        m_busy = false;
        m_done.articles += committed.articles;
        for (Lost& lost : committed.lost)
            m_done.lost.push_back(std::move(lost));
        m_idle.notify_all();
    }
}

void ArticleCommitter::commitInBackground()
{
    if (m_pending.empty())
        return;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_queue.push_back(std::move(m_pending));
    }
    m_pending.clear();
    if (!m_worker.joinable())
        m_worker = std::thread([this] { work(); });
    m_wake.notify_all();
}

ArticleCommitter::Committed ArticleCommitter::collect()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    Committed done = std::move(m_done);
    m_done = Committed();
    return done;
}

ArticleCommitter::Committed ArticleCommitter::commit()
{
    commitInBackground();
    std::unique_lock<std::mutex> lock(m_mutex);
    m_idle.wait(lock, [this] { return m_queue.empty() && !m_busy; });
    Committed done = std::move(m_done);
    m_done = Committed();
    return done;
}

bool ArticleCommitter::willName(const GbkText& path)
{
    for (ArticleCommitter* c = t_active; c; c = c->m_outer) {
        for (const Pending& p : c->m_pending)
            if (p.path == path)
                return true;
        const std::lock_guard<std::mutex> lock(c->m_mutex);
        for (const std::vector<Pending>& group : c->m_queue)
            for (const Pending& p : group)
                if (p.path == path)
                    return true;
        for (const Pending& p : c->m_inFlight)
            if (p.path == path)
                return true;
    }
    return false;
}

} // namespace quillet::harvest
