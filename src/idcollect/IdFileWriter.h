#pragma once

#include "text/GbkText.h"
#include "text/StdioFile.h"


namespace quillet::idcollect {

// The product-ID file of one run: created empty when the run starts, fed page by page, and
// at the end rewritten without repeated lines. Remembers whether anything failed, so the run
// can say so instead of reporting a count the file does not hold.
class IdFileWriter {
public:
    IdFileWriter() = default;
    IdFileWriter(const IdFileWriter&) = delete;
    IdFileWriter& operator=(const IdFileWriter&) = delete;

    // Creates the missing folders on the path and opens the file, emptying it.
    bool open(const GbkText& path);
    // Appends the bytes as they are.
    void write(const GbkText& bytes);
    void close();

    // Reads the closed file back, drops every line that occurs again further down (so the last
    // occurrence stays, in file order), and writes the lines back joined by CR LF without a
    // break after the last. A file of one line is left as it is. Returns the number of lines
    // kept (0 when the file cannot be read).
    long long removeRepeatedLines();

    [[nodiscard]] const GbkText& path() const { return m_path; }
    [[nodiscard]] bool failed() const { return m_failed; }

private:
    text::StdioFile m_file;
    GbkText m_path;
    bool m_failed = false;
};

// The folder, a separator unless it ends with one, the name, ".txt".
[[nodiscard]] GbkText idFilePath(const GbkText& folder, const GbkText& fileName);

} // namespace quillet::idcollect
