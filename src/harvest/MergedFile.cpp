#include "harvest/MergedFile.h"

#include "text/Paths.h"

#include <cerrno>
#include <string>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace quillet::harvest {

namespace {

// The most "_1", "_2", ... names tried before the file counts as not creatable.
constexpr int kMaxNameClashes = 10000;

int createExclusive(const GbkText& path)
{
    const auto native = text::toNativePath(path);
#ifdef _WIN32
    int fd = -1;
    if (::_wsopen_s(&fd, native.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, _SH_DENYNO,
                    _S_IREAD | _S_IWRITE)
        != 0)
        return -1;
    return fd;
#else
    return ::open(native.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
#endif
}

long long writeSome(int fd, const char* data, std::size_t size)
{
#ifdef _WIN32
    const unsigned chunk = size > 0x40000000u ? 0x40000000u : static_cast<unsigned>(size);
    return ::_write(fd, data, chunk);
#else
    return ::write(fd, data, size);
#endif
}

// Cuts the file back to `size` bytes and puts the write position there.
bool cutBackTo(int fd, long long size)
{
#ifdef _WIN32
    return ::_chsize_s(fd, size) == 0 && ::_lseeki64(fd, size, SEEK_SET) == size;
#else
    int rc = 0;
    do
        rc = ::ftruncate(fd, static_cast<off_t>(size));
    while (rc != 0 && errno == EINTR);
    return rc == 0 && ::lseek(fd, static_cast<off_t>(size), SEEK_SET) == static_cast<off_t>(size);
#endif
}

} // namespace

bool MergedFile::create(const GbkText& folder, const GbkText& name, const GbkText& extension)
{
    (void)close();
    m_size = 0;
    const GbkText base = folder + text::pathSeparator() + name;
    for (int j = 0; j <= kMaxNameClashes; ++j) {
        GbkText path = base + (j == 0 ? GbkText() : "_" + std::to_string(j)) + "." + extension;
        if (j == 0)
            m_path = path;
        const int fd = createExclusive(path);
        if (fd >= 0) {
            m_file.reset(fd);
            m_path = std::move(path);
            return true;
        }
        if (errno != EEXIST)
            return false;
    }
    return false;
}

bool MergedFile::appendLine(std::string_view line)
{
    if (!m_file.valid())
        return false;
    std::size_t done = 0;
    while (done < line.size()) {
        const long long wrote = writeSome(m_file.get(), line.data() + done, line.size() - done);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0) {
            // Take back what went in of this line; if even that fails, the next line starts
            // after the torn one rather than inside it.
            if (done > 0 && !cutBackTo(m_file.get(), m_size))
                m_size += static_cast<long long>(done);
            return false;
        }
        done += static_cast<std::size_t>(wrote);
    }
    m_size += static_cast<long long>(line.size());
    return true;
}

bool MergedFile::close()
{
    return m_file.close();
}

} // namespace quillet::harvest
