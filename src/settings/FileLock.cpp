#include "FileLock.h"

#include "text/FileIo.h"

#include <cerrno>
#include <utility>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace quillet::settings {

namespace fs = std::filesystem;

#ifndef _WIN32

FileLock::Result FileLock::acquire(const fs::path& settingsPath)
{
    release();
    // Two stores that reach one file by different names (a link and its target) must meet at
    // the same lock.
    fs::path lockPath = text::resolveSymlinks(settingsPath);
    lockPath += ".lock";
    text::FileDescriptor fd(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
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

#else

FileLock::Result FileLock::acquire(const fs::path&)
{
    return Result::Locked;
}

#endif

void FileLock::release()
{
    m_fd.reset();
}

} // namespace quillet::settings
