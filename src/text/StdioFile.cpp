#include "StdioFile.h"

#include <string>
#include <utility>

namespace quillet::text {

StdioFile::~StdioFile()
{
    reset();
}

StdioFile::StdioFile(StdioFile&& other) noexcept
    : m_file(std::exchange(other.m_file, nullptr))
{
}

StdioFile& StdioFile::operator=(StdioFile&& other) noexcept
{
    if (this != &other)
        reset(std::exchange(other.m_file, nullptr));
    return *this;
}

StdioFile StdioFile::open(const std::filesystem::path& path, const char* mode)
{
#ifdef _WIN32
    const std::string narrow(mode);
    const std::wstring wide(narrow.begin(), narrow.end());
    return StdioFile(::_wfopen(path.c_str(), wide.c_str()));
#else
    return StdioFile(std::fopen(path.c_str(), mode));
#endif
}

void StdioFile::reset(std::FILE* file)
{
    if (m_file)
        (void)std::fclose(m_file);
    m_file = file;
}

bool StdioFile::close()
{
    if (!m_file)
        return true;
    return std::fclose(std::exchange(m_file, nullptr)) == 0;
}

} // namespace quillet::text
