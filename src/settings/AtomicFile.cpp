#include "AtomicFile.h"

#include <cerrno>
#include <fstream>
#include <system_error>
#include <utility>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace quillet::settings {

namespace fs = std::filesystem;

FileDescriptor::~FileDescriptor()
{
    reset();
}

FileDescriptor::FileDescriptor(FileDescriptor&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1))
{
}

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept
{
    if (this != &other)
        reset(std::exchange(other.m_fd, -1));
    return *this;
}

int FileDescriptor::release()
{
    return std::exchange(m_fd, -1);
}

void FileDescriptor::reset(int fd)
{
#ifndef _WIN32
    if (m_fd >= 0)
        ::close(m_fd);
#endif
    m_fd = fd;
}

std::optional<std::string> readWholeFile(const fs::path& path)
{
    std::error_code ec;
    if (!fs::is_regular_file(path, ec))
        return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string bytes;
    const auto size = fs::file_size(path, ec);
    if (!ec)
        bytes.reserve(static_cast<std::size_t>(size));
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad())
        return std::nullopt;
    return bytes;
}

namespace {

fs::path temporaryPathFor(const fs::path& path)
{
    fs::path tmp = path;
    tmp += ".tmp";
    return tmp;
}

} // namespace

#ifndef _WIN32

bool writeFileAtomically(const fs::path& path, std::string_view bytes)
{
    const fs::path tmp = temporaryPathFor(path);
    mode_t mode = 0644;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0)
        mode = st.st_mode & 07777;

    FileDescriptor fd(::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode));
    if (!fd.valid())
        return false;
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd.get(), p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fd.reset();
            ::unlink(tmp.c_str());
            return false;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    const bool synced = ::fdatasync(fd.get()) == 0;
    const bool closed = ::close(fd.release()) == 0;
    if (!synced || !closed) {
        ::unlink(tmp.c_str());
        return false;
    }
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        ::unlink(tmp.c_str());
        return false;
    }
    // The folder entry is not flushed on purpose: until it reaches the disk a power cut brings
    // back the complete old file (its blocks are untouched), afterwards the complete new one.
    // Either is whole, and skipping that second flush halves the cost of a write.
    return true;
}

FileLock::Result FileLock::acquire(const fs::path& settingsPath)
{
    release();
    fs::path lockPath = settingsPath;
    lockPath += ".lock";
    FileDescriptor fd(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
    if (!fd.valid())
        return Result::Failed;
    while (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR)
            continue;
        return errno == EWOULDBLOCK ? Result::HeldElsewhere : Result::Failed;
    }
    m_fd = std::move(fd);
    return Result::Locked;
}

void FileLock::release()
{
    m_fd.reset();
}

bool canReplaceFile(const fs::path& path)
{
    const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        return false;
    if (::stat(path.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode))
            return false;
        if (::access(path.c_str(), W_OK) != 0)
            return false;
    }
    return true;
}

#else // Windows: the same contract with the standard library's means.

bool writeFileAtomically(const fs::path& path, std::string_view bytes)
{
    const fs::path tmp = temporaryPathFor(path);
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        if (!out)
            return false;
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.flush();
        if (!out) {
            std::error_code ec;
            fs::remove(tmp, ec);
            return false;
        }
    }
    std::error_code ec;
    fs::rename(tmp, path, ec); // replaces an existing file
    if (ec) {
        fs::remove(tmp, ec);
        return false;
    }
    return true;
}

FileLock::Result FileLock::acquire(const fs::path&)
{
    return Result::Locked;
}

void FileLock::release() {}

bool canReplaceFile(const fs::path& path)
{
    std::error_code ec;
    const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
    return fs::is_directory(folder, ec);
}

#endif

} // namespace quillet::settings
