#include "TempFolder.h"

#include "text/Paths.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <system_error>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace quillet::testsupport {

namespace fs = std::filesystem;

TempFolder::TempFolder(std::string_view hint)
{
    static std::atomic<unsigned> counter{0};
    std::error_code ec;
    const fs::path base = fs::temp_directory_path(ec);
#ifndef _WIN32
    const long pid = static_cast<long>(::getpid());
#else
    const long pid = 0;
#endif
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    for (;;) {
        fs::path candidate = base
            / (std::string(hint) + "-" + std::to_string(pid) + "-" + std::to_string(stamp) + "-"
               + std::to_string(counter++));
        if (fs::create_directories(candidate, ec)) {
            m_path = candidate;
            break;
        }
    }
}

TempFolder::~TempFolder()
{
    std::error_code ec;
    // Make protected folders removable again before removing them.
    for (auto it = fs::recursive_directory_iterator(m_path, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(m_path, ec);
}

fs::path TempFolder::file(std::string_view utf8Name) const
{
    return m_path / fs::path(std::string(utf8Name));
}

GbkText TempFolder::gbkFile(std::string_view utf8Name) const
{
    return text::fromNativePath(file(utf8Name));
}

std::string readFileBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFileBytes(const fs::path& path, std::string_view bytes)
{
    std::error_code ec;
    if (path.has_parent_path())
        fs::create_directories(path.parent_path(), ec);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

ScopedEnvironment::ScopedEnvironment(std::string name, const char* value)
    : m_name(std::move(name))
{
    if (const char* old = std::getenv(m_name.c_str())) {
        m_hadValue = true;
        m_oldValue = old;
    }
#ifndef _WIN32
    if (value)
        ::setenv(m_name.c_str(), value, 1);
    else
        ::unsetenv(m_name.c_str());
#else
    _putenv_s(m_name.c_str(), value ? value : "");
#endif
}

ScopedEnvironment::~ScopedEnvironment()
{
#ifndef _WIN32
    if (m_hadValue)
        ::setenv(m_name.c_str(), m_oldValue.c_str(), 1);
    else
        ::unsetenv(m_name.c_str());
#else
    _putenv_s(m_name.c_str(), m_hadValue ? m_oldValue.c_str() : "");
#endif
}

} // namespace quillet::testsupport
