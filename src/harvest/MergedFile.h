#pragma once

#include "text/FileDescriptor.h"
#include "text/GbkText.h"

#include <string_view>

namespace quillet::harvest {

// The one file a merged run writes its articles into, one line each.
// - Creating it never cuts short a file that is there already (another run's, started in the
//   same second): the first free name of "name.ext", "name_1.ext", "name_2.ext", ... is taken,
//   claimed by an exclusive create.
// - A line is written whole or not at all: when the disk fills (or a size limit is reached)
//   part way through, the part written is taken back out, so the file only ever holds whole
//   lines and the next line may still go in once there is room.
class MergedFile {
public:
    MergedFile() = default;

    // Creates folder + separator + name (+ "_N") + "." + extension. False when no file could be
    // created; path() then names the file that was meant.
    bool create(const GbkText& folder, const GbkText& name, const GbkText& extension);
    // Appends one line (its bytes as given). False when it could not be written whole.
    bool appendLine(std::string_view line);
    // Closes the file; false when the system reported a delayed write error.
    bool close();

    [[nodiscard]] bool isOpen() const { return m_file.valid(); }
    [[nodiscard]] const GbkText& path() const { return m_path; }

private:
    text::FileDescriptor m_file;
    GbkText m_path;
    long long m_size = 0; // bytes of whole lines in the file
};

} // namespace quillet::harvest
