#include "FileIo.h"

#include "FileDescriptor.h"
#include "StdioFile.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <io.h>
#include <process.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace quillet::text {

namespace fs = std::filesystem;

namespace {

fs::path folderOf(const fs::path& path)
{
    return path.has_parent_path() ? path.parent_path() : fs::path(".");
}

#ifndef _WIN32
// The process's ID, asked of the system once rather than for every temporary file; a child
// made by fork() asks again, so its temporary files carry its own ID.
std::atomic<long> g_processId{0};

long processId()
{
    static const bool forgetInChild = [] {
        (void)::pthread_atfork(nullptr, nullptr, [] { g_processId.store(0, std::memory_order_relaxed); });
        return true;
    }();
    (void)forgetInChild;
    long pid = g_processId.load(std::memory_order_relaxed);
    if (pid == 0) {
        pid = static_cast<long>(::getpid());
        g_processId.store(pid, std::memory_order_relaxed);
    }
    return pid;
}

// Staged files kept open between their writing and their flush; beyond this many, a staged
// file is closed at once and opened again for its flush, so a long queue of groups cannot use
// up the process's descriptors.
constexpr int kMaxOpenStaged = 256;
std::atomic<int> g_openStaged{0};
#endif

// A short name of its own in the target's folder rather than the target's name plus a
// suffix: a target whose name is near the file system's length limit still gets one, and two
// processes never share one.
fs::path temporaryBeside(const fs::path& target)
{
    static std::atomic<unsigned> counter{0};
#ifdef _WIN32
    const long pid = ::_getpid();
#else
    const long pid = processId();
#endif
    const fs::path name = ".quillet-" + std::to_string(pid) + "-" + std::to_string(counter.fetch_add(1)) + ".tmp";
    return target.has_parent_path() ? target.parent_path() / name : name;
}

// The process that made a temporary file of temporaryBeside's form, read off its name.
bool temporaryOwner(const std::string& name, long& pid)
{
    static const std::string prefix = ".quillet-";
    if (name.size() < prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0
        || name.compare(name.size() - 4, 4, ".tmp") != 0)
        return false;
    std::size_t i = prefix.size();
    pid = 0;
    const std::size_t digits = i;
    while (i < name.size() && name[i] >= '0' && name[i] <= '9' && i - digits < 12)
        pid = pid * 10 + (name[i++] - '0');
    if (i == digits || i >= name.size() || name[i] != '-')
        return false;
    for (++i; i < name.size() - 4; ++i)
        if (name[i] < '0' || name[i] > '9')
            return false;
    return true;
}

// The journal of an in-place rewrite: the new bytes, then a trailer of a mark and the byte
// count, so that a journal cut short is never taken for a whole one.
constexpr std::string_view kJournalMark = "QLJRNL01";
constexpr std::size_t kJournalTrailer = kJournalMark.size() + 8;

fs::path journalPathFor(const fs::path& target)
{
    fs::path name = ".";
    name += target.filename();
    name += ".quillet-journal";
    return target.has_parent_path() ? target.parent_path() / name : name;
}

std::string journalContent(std::string_view bytes)
{
    std::string content;
    content.reserve(bytes.size() + kJournalTrailer);
    content.append(bytes);
    content.append(kJournalMark);
    std::uint64_t size = bytes.size();
    for (int i = 0; i < 8; ++i, size >>= 8)
        content.push_back(static_cast<char>(size & 0xFF));
    return content;
}

// The bytes a whole journal holds; false for one that was cut short or is not a journal.
bool journalBytes(const std::string& content, std::string_view& bytes)
{
    if (content.size() < kJournalTrailer)
        return false;
    const std::size_t size = content.size() - kJournalTrailer;
    if (std::string_view(content).substr(size, kJournalMark.size()) != kJournalMark)
        return false;
    std::uint64_t stored = 0;
    for (int i = 7; i >= 0; --i)
        stored = (stored << 8) | static_cast<unsigned char>(content[size + kJournalMark.size() + i]);
    if (stored != size)
        return false;
    bytes = std::string_view(content).substr(0, size);
    return true;
}

#ifndef _WIN32

bool writeAll(int fd, std::string_view bytes, off_t offset = -1)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = offset < 0 ? ::write(fd, bytes.data() + done, bytes.size() - done)
                                     : ::pwrite(fd, bytes.data() + done, bytes.size() - done,
                                                offset + static_cast<off_t>(done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// A new temporary file beside target holding bytes, left open in `fd`. Its path is left in
// `temporary`; on failure nothing is left behind.
bool createTemporary(const fs::path& target, std::string_view bytes, const mode_t* keepMode, fs::path& temporary,
                     FileDescriptor& fd)
{
    fd.reset();
    for (int attempt = 0; attempt < 100 && !fd.valid(); ++attempt) {
        temporary = temporaryBeside(target);
        fd.reset(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (!fd.valid() && errno != EEXIST)
            return false;
    }
    if (!fd.valid())
        return false;
    bool ok = !keepMode || ::fchmod(fd.get(), *keepMode) == 0;
    ok = ok && writeAll(fd.get(), bytes);
    if (!ok) {
        fd.reset();
        ::unlink(temporary.c_str());
    }
    return ok;
}

// The same, flushed to the disk and closed.
bool writeTemporary(const fs::path& target, std::string_view bytes, const mode_t* keepMode, fs::path& temporary)
{
    FileDescriptor fd;
    if (!createTemporary(target, bytes, keepMode, temporary, fd))
        return false;
    bool ok = ::fdatasync(fd.get()) == 0;
    ok = fd.close() && ok;
    if (!ok)
        ::unlink(temporary.c_str());
    return ok;
}

bool syncFolder(const fs::path& folder)
{
    FileDescriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return fd.valid() && ::fsync(fd.get()) == 0;
}

bool overwriteInPlace(const fs::path& target, std::string_view bytes)
{
    FileDescriptor fd(::open(target.c_str(), O_WRONLY | O_CLOEXEC));
    if (!fd.valid())
        return false;
    bool ok = writeAll(fd.get(), bytes, 0);
    ok = ok && ::ftruncate(fd.get(), static_cast<off_t>(bytes.size())) == 0;
    ok = ok && ::fdatasync(fd.get()) == 0;
    return fd.close() && ok;
}

// A file with several names: every name must keep seeing it, so it is rewritten in place,
// with the new bytes in a journal first, so that a kill in the middle can be completed.
bool rewriteHardLinked(const fs::path& target, std::string_view bytes)
{
    const FileContent old = readWholeFile(target);
    if (!old.ok())
        return false;
    const fs::path journal = journalPathFor(target);
    fs::path temporary;
    if (!writeTemporary(target, journalContent(bytes), nullptr, temporary))
        return false;
    if (::rename(temporary.c_str(), journal.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    // The journal's name must be on the disk before the file is touched.
    if (!syncFolder(folderOf(target))) {
        ::unlink(journal.c_str());
        return false;
    }
    if (!overwriteInPlace(target, bytes)) {
        // Put the old bytes back (they fit where they were); if even that fails, the journal
        // stays so that the next recovery completes the new content.
        if (overwriteInPlace(target, old.bytes))
            ::unlink(journal.c_str());
        return false;
    }
    ::unlink(journal.c_str());
    return true;
}

#endif

} // namespace

FileContent readWholeFile(const fs::path& path)
{
    FileContent result;
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (status.type() == fs::file_type::not_found)
        return result;
    result.status = ReadStatus::Failed;
    // Only a regular file is read: a folder gives nothing and a pipe would never end.
    if (ec || status.type() != fs::file_type::regular)
        return result;
    StdioFile file = StdioFile::open(path, "rb");
    if (!file) {
        if (errno == ENOENT)
            result.status = ReadStatus::Missing;
        return result;
    }
    const auto size = fs::file_size(path, ec);
    if (!ec)
        result.bytes.reserve(static_cast<std::size_t>(size));
    char buffer[65536];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0)
        result.bytes.append(buffer, got);
    if (std::ferror(file.get())) {
        result.bytes.clear();
        return result;
    }
    result.status = ReadStatus::Ok;
    return result;
}

fs::path resolveSymlinks(const fs::path& path)
{
    fs::path current = path;
    // A loop of links ends here rather than spinning; the operating system then refuses the
    // path itself.
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code ec;
        if (fs::symlink_status(current, ec).type() != fs::file_type::symlink || ec)
            return current;
        const fs::path target = fs::read_symlink(current, ec);
        if (ec)
            return current;
        current = target.is_absolute() || !current.has_parent_path() ? target : current.parent_path() / target;
    }
    return current;
}

#ifndef _WIN32

bool writeFileAtomically(const fs::path& path, std::string_view bytes)
{
    const fs::path target = resolveSymlinks(path);
    struct stat st {};
    const bool exists = ::stat(target.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode))
        return false;
    if (exists && st.st_nlink > 1)
        return rewriteHardLinked(target, bytes);
    const mode_t mode = st.st_mode & 07777;
    fs::path temporary;
    if (!writeTemporary(target, bytes, exists ? &mode : nullptr, temporary))
        return false;
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    // The folder entry is not flushed on purpose: until it reaches the disk a power cut brings
    // back the complete old file (its blocks are untouched), afterwards the complete new one.
    // Either is whole, and skipping that second flush halves the cost of a write.
    return true;
}

bool recoverInterruptedWrite(const fs::path& path)
{
    const fs::path target = resolveSymlinks(path);
    const fs::path journal = journalPathFor(target);
    const FileContent content = readWholeFile(journal);
    if (content.status == ReadStatus::Missing)
        return false;
    std::string_view bytes;
    if (!content.ok() || !journalBytes(content.bytes, bytes)) {
        // A journal cut short: the file itself was not touched yet.
        ::unlink(journal.c_str());
        return false;
    }
    if (!overwriteInPlace(target, bytes))
        return false;
    ::unlink(journal.c_str());
    return true;
}

PublishResult publishStagedFile(const fs::path& temporary, const fs::path& path, bool replace)
{
    auto finish = [&](PublishResult result) {
        if (result == PublishResult::Failed)
            ::unlink(temporary.c_str());
        return result;
    };
    if (replace)
        return finish(::rename(temporary.c_str(), path.c_str()) == 0 ? PublishResult::Published : PublishResult::Failed);
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0)
        return finish(PublishResult::Published);
    if (errno == EEXIST)
        return finish(PublishResult::Taken);
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP && errno != ENOTSUP)
        return finish(PublishResult::Failed);
#endif
    // Without a rename that refuses to replace: a second name for the temporary file is made
    // only if the name is free.
    if (::link(temporary.c_str(), path.c_str()) == 0) {
        ::unlink(temporary.c_str());
        return PublishResult::Published;
    }
    if (errno == EEXIST)
        return finish(PublishResult::Taken);
    if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOTSUP && errno != EMLINK && errno != ENOSYS)
        return finish(PublishResult::Failed);
    // A file system without hard links: claim the name with an empty file of our own, then
    // put the written one over it.
    FileDescriptor claim(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (!claim.valid())
        return finish(errno == EEXIST ? PublishResult::Taken : PublishResult::Failed);
    (void)claim.close();
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        ::unlink(path.c_str());
        return finish(PublishResult::Failed);
    }
    return PublishResult::Published;
}

PublishResult publishNewFile(const fs::path& path, std::string_view bytes, FolderSync sync)
{
    fs::path temporary;
    if (!writeTemporary(path, bytes, nullptr, temporary))
        return PublishResult::Failed;
    const PublishResult result = publishStagedFile(temporary, path, false);
    if (result == PublishResult::Taken)
        ::unlink(temporary.c_str());
    if (result == PublishResult::Published && sync == FolderSync::Yes)
        (void)syncFolder(folderOf(path)); // the file has its name either way; this only hastens the disk
    return result;
}

StagedFile::~StagedFile()
{
    release();
}

StagedFile::StagedFile(StagedFile&& other) noexcept
    : temporary(std::move(other.temporary)), m_descriptor(std::move(other.m_descriptor))
{
}

StagedFile& StagedFile::operator=(StagedFile&& other) noexcept
{
    if (this != &other) {
        release();
        temporary = std::move(other.temporary);
        m_descriptor = std::move(other.m_descriptor);
    }
    return *this;
}

bool StagedFile::release()
{
    if (!m_descriptor.valid())
        return true;
    g_openStaged.fetch_sub(1, std::memory_order_relaxed);
    return m_descriptor.close();
}

bool stageFile(const fs::path& target, std::string_view bytes, StagedFile& staged)
{
    // Flushed later, a group at a time (syncFiles).
    staged.release();
    FileDescriptor fd;
    if (!createTemporary(target, bytes, nullptr, staged.temporary, fd))
        return false;
    if (g_openStaged.fetch_add(1, std::memory_order_relaxed) < kMaxOpenStaged) {
        staged.m_descriptor = std::move(fd);
        return true;
    }
    g_openStaged.fetch_sub(1, std::memory_order_relaxed);
    if (!fd.close()) {
        ::unlink(staged.temporary.c_str());
        return false;
    }
    return true;
}

std::vector<bool> syncFiles(const std::vector<StagedFile*>& files)
{
    for (StagedFile* file : files) {
        // A file closed after its writing is opened again for its flush.
        if (!file->m_descriptor.valid()) {
            file->m_descriptor.reset(::open(file->temporary.c_str(), O_RDONLY | O_CLOEXEC));
            if (file->m_descriptor.valid())
                g_openStaged.fetch_add(1, std::memory_order_relaxed);
        }
#ifdef SYNC_FILE_RANGE_WRITE
        // Every file's writeback starts before the first wait, so the file system can put the
        // whole group into one journal commit instead of one per file.
        if (file->m_descriptor.valid())
            (void)::sync_file_range(file->m_descriptor.get(), 0, 0, SYNC_FILE_RANGE_WRITE);
#endif
    }
    std::vector<bool> synced(files.size(), false);
    for (std::size_t i = 0; i < files.size(); ++i) {
        StagedFile& file = *files[i];
        synced[i] = file.m_descriptor.valid() && ::fdatasync(file.m_descriptor.get()) == 0;
        // A close that reports a late write error counts as a failed flush.
        synced[i] = file.release() && synced[i];
    }
    return synced;
}

bool syncFolderOf(const fs::path& path)
{
    return syncFolder(folderOf(path));
}

std::size_t removeAbandonedTemporaries(const fs::path& folder)
{
    std::error_code ec;
    std::size_t removed = 0;
    const long self = processId();
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        long pid = 0;
        if (!temporaryOwner(it->path().filename().string(), pid))
            continue;
        // A process that still runs may be writing it (this one included).
        if (pid == self || ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM)
            continue;
        if (::unlink(it->path().c_str()) == 0)
            ++removed;
    }
    return removed;
}

bool canReplaceFile(const fs::path& path)
{
    const fs::path target = resolveSymlinks(path);
    const fs::path folder = folderOf(target);
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        return false;
    if (::stat(target.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode))
            return false;
        if (::access(target.c_str(), W_OK) != 0)
            return false;
    }
    return true;
}

#else // Windows: the same contracts with the means the platform offers. Hard-linked files are
      // replaced like any other there.

namespace {

void removeQuietly(const fs::path& path)
{
    std::error_code ec;
    fs::remove(path, ec);
}

// Writes bytes to a new temporary file beside target; with `durable` they are also committed
// to the disk before the file is closed.
bool writeTemporary(const fs::path& target, std::string_view bytes, fs::path& temporary, bool durable = true)
{
    StdioFile file;
    for (int attempt = 0; attempt < 100 && !file; ++attempt) {
        temporary = temporaryBeside(target);
        file = StdioFile::open(temporary, "wbx");
    }
    if (!file)
        return false;
    bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
    if (durable) {
        ok = std::fflush(file.get()) == 0 && ok;
        ok = ::_commit(::_fileno(file.get())) == 0 && ok;
    }
    ok = file.close() && ok;
    if (!ok)
        removeQuietly(temporary);
    return ok;
}

} // namespace

bool writeFileAtomically(const fs::path& path, std::string_view bytes)
{
    const fs::path target = resolveSymlinks(path);
    fs::path temporary;
    if (!writeTemporary(target, bytes, temporary))
        return false;
    if (!::MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        removeQuietly(temporary);
        return false;
    }
    return true;
}

bool recoverInterruptedWrite(const fs::path&)
{
    return false;
}

PublishResult publishNewFile(const fs::path& path, std::string_view bytes, FolderSync)
{
    fs::path temporary;
    if (!writeTemporary(path, bytes, temporary))
        return PublishResult::Failed;
    // Without MOVEFILE_REPLACE_EXISTING the move refuses an existing name.
    if (::MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_WRITE_THROUGH))
        return PublishResult::Published;
    const DWORD error = ::GetLastError();
    removeQuietly(temporary);
    return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ? PublishResult::Taken
                                                                         : PublishResult::Failed;
}

StagedFile::~StagedFile() = default;
StagedFile::StagedFile(StagedFile&& other) noexcept = default;
StagedFile& StagedFile::operator=(StagedFile&& other) noexcept = default;

bool StagedFile::release()
{
    return true; // nothing is kept open here
}

bool stageFile(const fs::path& target, std::string_view bytes, StagedFile& staged)
{
    // Synced later, a group at a time (syncFiles).
    return writeTemporary(target, bytes, staged.temporary, false);
}

std::vector<bool> syncFiles(const std::vector<StagedFile*>& files)
{
    std::vector<bool> synced(files.size(), false);
    for (std::size_t i = 0; i < files.size(); ++i) {
        StdioFile file = StdioFile::open(files[i]->temporary, "r+b");
        synced[i] = file && ::_commit(::_fileno(file.get())) == 0;
    }
    return synced;
}

bool syncFolderOf(const fs::path&)
{
    return true; // a move made with MOVEFILE_WRITE_THROUGH is on the disk when it returns
}

PublishResult publishStagedFile(const fs::path& temporary, const fs::path& path, bool replace)
{
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
    if (::MoveFileExW(temporary.c_str(), path.c_str(), flags))
        return PublishResult::Published;
    const DWORD error = ::GetLastError();
    if (!replace && (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS))
        return PublishResult::Taken;
    removeQuietly(temporary);
    return PublishResult::Failed;
}

std::size_t removeAbandonedTemporaries(const fs::path& folder)
{
    std::error_code ec;
    std::size_t removed = 0;
    const long self = static_cast<long>(::_getpid());
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        long pid = 0;
        if (!temporaryOwner(it->path().filename().string(), pid))
            continue;
        if (pid == self)
            continue;
        {
            HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
            if (process) {
                const bool running = ::WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
                ::CloseHandle(process);
                if (running)
                    continue;
            } else if (::GetLastError() == ERROR_ACCESS_DENIED) {
                continue;
            }
        }
        std::error_code removeError;
        if (fs::remove(it->path(), removeError))
            ++removed;
    }
    return removed;
}

bool canReplaceFile(const fs::path& path)
{
    std::error_code ec;
    const fs::path target = resolveSymlinks(path);
    if (!fs::is_directory(folderOf(target), ec))
        return false;
    const fs::file_status status = fs::status(target, ec);
    if (status.type() == fs::file_type::not_found)
        return true;
    return status.type() == fs::file_type::regular && (status.permissions() & fs::perms::owner_write) != fs::perms::none;
}

#endif

} // namespace quillet::text
