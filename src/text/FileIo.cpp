#include "FileIo.h"

#include "FileDescriptor.h"
#include "StdioFile.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <system_error>
#include <utility>
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
#ifdef __linux__
#include <sys/statfs.h>
#include <sys/utsname.h>
#endif

namespace quillet::text {

namespace fs = std::filesystem;

// Unwritten file data the system holds (Dirty plus Writeback of Linux's /proc/meminfo), in
// KiB; -1 when the text does not say.
long long unwrittenKiB(std::string_view meminfo)
{
    long long total = 0;
    int found = 0;
    for (const std::string_view key : {std::string_view("Dirty:"), std::string_view("Writeback:")}) {
        std::size_t at = 0;
        while ((at = meminfo.find(key, at)) != std::string_view::npos && at != 0 && meminfo[at - 1] != '\n')
            at += key.size();
        if (at == std::string_view::npos)
            continue;
        std::size_t p = at + key.size();
        while (p < meminfo.size() && meminfo[p] == ' ')
            ++p;
        long long value = 0;
        const std::size_t digits = p;
        while (p < meminfo.size() && meminfo[p] >= '0' && meminfo[p] <= '9' && value < (1LL << 40))
            value = value * 10 + (meminfo[p++] - '0');
        if (p == digits)
            return -1;
        total += value;
        ++found;
    }
    return found == 2 ? total : -1;
}

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

#ifdef __linux__
namespace {

// One flush of a whole file system (syncfs) is as durable as a flush of each of its files, and
// costs one journal commit and one flush of the disk's cache instead of one of each per file,
// which on a real disk is most of the cost of a group. It serves a group where that holds and
// is safe:
//  - Linux 5.8 or later: a failed write of any file shows as the flush's error there; before,
//    it reported success regardless;
//  - file systems whose own flush writes the data, the names and a flush of the disk's cache:
//    ext2/3/4, XFS, Btrfs and F2FS (and tmpfs, which has nothing to write); others (network,
//    FAT, FUSE, overlays) get a flush per file as before;
//  - little unwritten data waits in the system: the flush would have to write other
//    programs' data too, and a large copy elsewhere must not hold up the group;
//  - the group's first file on that file system is still open from its writing, so that a
//    failed write of any file of the group after that moment shows as the flush's error.
// Where one of these fails, or the flush reports an error (to learn which files failed),
// each file is flushed on its own.

// About a second of writing for a slow disk; an ordinary desktop holds far less.
constexpr long long kMaxOtherUnwrittenKiB = 128 * 1024;

bool kernelReportsSyncfsErrors()
{
    static const bool reports = [] {
        struct utsname name {};
        int major = 0;
        int minor = 0;
        return ::uname(&name) == 0 && std::sscanf(name.release, "%d.%d", &major, &minor) == 2
            && (major > 5 || (major == 5 && minor >= 8));
    }();
    return reports;
}

bool flushesWholeFileSystem(int fd)
{
    struct statfs info {};
    if (::fstatfs(fd, &info) != 0)
        return false;
    switch (static_cast<unsigned long>(info.f_type)) {
    case 0xEF53UL:     // ext2, ext3, ext4
    case 0x58465342UL: // XFS
    case 0x9123683EUL: // Btrfs
    case 0xF2F52010UL: // F2FS
    case 0x01021994UL: // tmpfs
        return true;
    default:
        return false;
    }
}

bool littleUnwrittenData()
{
    const FileContent report = readWholeFile("/proc/meminfo");
    if (!report.ok())
        return false;
    const long long unwritten = unwrittenKiB(report.bytes);
    return unwritten >= 0 && unwritten <= kMaxOtherUnwrittenKiB;
}

// Flushes the files' file systems, one flush each, where that is sound (see above); marks
// the files so flushed. `descriptors` are the files' open descriptors in the order they were
// written (-1 where none), `stillOpen` whether each is the one the file was written through.
void flushFileSystems(const std::vector<int>& descriptors, const std::vector<bool>& stillOpen,
                      std::vector<bool>& synced)
{
    if (descriptors.size() < 2 || !kernelReportsSyncfsErrors() || !littleUnwrittenData())
        return;
    // Each file system met, and whether its flush served; the first file met on one is the
    // earliest written there.
    std::vector<std::pair<dev_t, bool>> fileSystems;
    for (std::size_t i = 0; i < descriptors.size(); ++i) {
        struct stat st {};
        if (descriptors[i] < 0 || ::fstat(descriptors[i], &st) != 0)
            continue;
        auto known = std::find_if(fileSystems.begin(), fileSystems.end(),
                                  [&st](const auto& entry) { return entry.first == st.st_dev; });
        if (known == fileSystems.end()) {
            bool flushed = false;
            if (stillOpen[i] && flushesWholeFileSystem(descriptors[i])) {
                int result = -1;
                do
                    result = ::syncfs(descriptors[i]);
                while (result != 0 && errno == EINTR);
                flushed = result == 0;
            }
            known = fileSystems.insert(fileSystems.end(), {st.st_dev, flushed});
        }
        synced[i] = known->second;
    }
}

} // namespace
#endif

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
    std::vector<bool> synced(files.size(), false);
    std::vector<bool> stillOpen(files.size(), false);
    for (std::size_t i = 0; i < files.size(); ++i) {
        StagedFile* file = files[i];
        stillOpen[i] = file->m_descriptor.valid();
        // A file closed after its writing is opened again for its flush.
        if (!file->m_descriptor.valid()) {
            file->m_descriptor.reset(::open(file->temporary.c_str(), O_RDONLY | O_CLOEXEC));
            if (file->m_descriptor.valid())
                g_openStaged.fetch_add(1, std::memory_order_relaxed);
        }
    }
#ifdef __linux__
    std::vector<int> descriptors(files.size());
    for (std::size_t i = 0; i < files.size(); ++i)
        descriptors[i] = files[i]->m_descriptor.get();
    flushFileSystems(descriptors, stillOpen, synced);
#endif
#ifdef SYNC_FILE_RANGE_WRITE
    // Every remaining file's writeback starts before the first wait, so the file system can
    // put them into one journal commit instead of one per file.
    for (std::size_t i = 0; i < files.size(); ++i)
        if (!synced[i] && files[i]->m_descriptor.valid())
            (void)::sync_file_range(files[i]->m_descriptor.get(), 0, 0, SYNC_FILE_RANGE_WRITE);
#endif
    for (std::size_t i = 0; i < files.size(); ++i) {
        StagedFile& file = *files[i];
        if (!synced[i])
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
