#include "FileDescriptor.h"

#include <utility>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace quillet::text {

namespace {

int closeDescriptor(int fd)
{
#ifdef _WIN32
    return ::_close(fd);
#else
    return ::close(fd);
#endif
}

} // namespace

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

void FileDescriptor::reset(int fd)
{
    if (m_fd >= 0)
        (void)closeDescriptor(m_fd);
    m_fd = fd;
}

bool FileDescriptor::close()
{
    if (m_fd < 0)
        return true;
    // POSIX leaves the descriptor closed even when close reports an error: never retry it.
    return closeDescriptor(std::exchange(m_fd, -1)) == 0;
}

int FileDescriptor::release()
{
    return std::exchange(m_fd, -1);
}

} // namespace quillet::text
