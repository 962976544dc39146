#include "idcollect/IdFileWriter.h"

#include "compose/FileHelpers.h"
#include "text/FileIo.h"
#include "text/Paths.h"

#include <vector>

namespace quillet::idcollect {

bool IdFileWriter::open(const GbkText& path)
{
    close();
    m_path = path;
    m_failed = false;
    std::vector<GbkText> created;
    (void)compose::createDirectories(path, created);
    if (!path.empty())
        m_file = text::StdioFile::open(text::toNativePath(path), "wb");
    m_failed = !m_file;
    return !m_failed;
}

void IdFileWriter::write(const GbkText& bytes)
{
    if (bytes.empty())
        return;
    if (!m_file) {
        m_failed = true;
        return;
    }
    // Flushed page by page: a run that is killed keeps what it wrote.
    if (std::fwrite(bytes.data(), 1, bytes.size(), m_file.get()) != bytes.size() || std::fflush(m_file.get()) != 0)
        m_failed = true;
}

void IdFileWriter::close()
{
    if (m_file && !m_file.close())
        m_failed = true;
}

long long IdFileWriter::removeRepeatedLines()
{
    close();
    if (m_path.empty())
        return 0;
    text::FileContent file = text::readWholeFile(text::toNativePath(m_path));
    if (!file.ok())
        return 0;
    GbkText content = std::move(file.bytes);
    // Lines end with CR LF; the empty piece after the last one is not a line.
    if (content.size() >= 2 && content.compare(content.size() - 2, 2, "\r\n") == 0)
        content.resize(content.size() - 2);
    else if (content.empty())
        return 0;
    std::vector<GbkText> lines;
    const GbkText unique = compose::uniqueItems(lines, content, "\r\n");
    if (lines.size() < 2)
        return static_cast<long long>(lines.size());
    if (!compose::writeTextFile(m_path, unique))
        m_failed = true;
    return static_cast<long long>(lines.size());
}

GbkText idFilePath(const GbkText& folder, const GbkText& fileName)
{
    // An empty folder names no folder: the file goes to the working folder, never to the root.
    const bool separator = !folder.empty() && !compose::endsWithPathSeparator(folder);
    return folder + (separator ? text::pathSeparator() : GbkText()) + fileName + ".txt";
}

} // namespace quillet::idcollect
