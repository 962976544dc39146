#pragma once

#include "harvest/Harvest.h"
#include "text/GbkText.h"
#include "text/StdioFile.h"

#include <memory>

namespace quillet::ui {
class Ui;
}

namespace quillet::harvest {

// Reads a product-ID file line by line. A line ends at LF (a CR right before it is dropped),
// at a NUL byte or at a 0x1A byte. Reads in blocks, so a huge file or a 1 MB line costs no
// more memory than that line.
class ProductIdFile {
public:
    ProductIdFile() = default;
    ~ProductIdFile();
    ProductIdFile(const ProductIdFile&) = delete;
    ProductIdFile& operator=(const ProductIdFile&) = delete;

    bool open(const GbkText& path);
    void close();
    [[nodiscard]] bool isOpen() const { return static_cast<bool>(m_file); }
    // The next line; false at the end of the file.
    bool nextLine(GbkText& line);

private:
    bool fill();

    text::StdioFile m_file;
    std::string m_buffer;
    size_t m_pos = 0;
    bool m_eof = false;
};

// The current local date and time: kind 0 "YYYY-MM-DD hh:mm:ss", 1 the date, 2 the time.
[[nodiscard]] GbkText formatTimestamp(int kind);

// How a click on the run button ended, so callers need not read message texts.
struct RunOutcome {
    enum class Kind {
        StopRequested, // a run was going on: the click only asked it to stop
        IdFileMissing, // the product-ID file could not be opened; nothing ran
        Finished,      // the run went through to the end of the product-ID file
        Stopped,       // the run ended early on a stop request, keeping what it gathered
        Previewed,     // quick preview: one product shown, nothing written
    };
    Kind kind = Kind::Finished;
    long long articles = 0;     // articles written (lines of the merged file for merged naming)
    long long failedWrites = 0; // articles lost because they could not be written
};

// What the run button does: starts a batch run over the product-ID file named in the main
// window, or, while one is going on, asks it to stop. Runs on the caller's thread; the
// harvest processes window events at fixed points, which is where a second click arrives.
RunOutcome runButtonClicked(HarvestContext& context, ui::Ui& ui);

} // namespace quillet::harvest
