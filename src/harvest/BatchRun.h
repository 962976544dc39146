#pragma once

#include "harvest/Harvest.h"
#include "text/GbkText.h"

#include <cstdio>
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
    [[nodiscard]] bool isOpen() const { return m_file != nullptr; }
    // The next line; false at the end of the file.
    bool nextLine(GbkText& line);

private:
    bool fill();

    std::FILE* m_file = nullptr;
    std::string m_buffer;
    size_t m_pos = 0;
    bool m_eof = false;
};

// The current local date and time: kind 0 "YYYY-MM-DD hh:mm:ss", 1 the date, 2 the time.
[[nodiscard]] GbkText formatTimestamp(int kind);

// What the run button does: starts a batch run over the product-ID file named in the main
// window, or, while one is going on, asks it to stop. Runs on the caller's thread; the
// harvest processes window events at fixed points, which is where a second click arrives.
void runButtonClicked(HarvestContext& context, ui::Ui& ui);

} // namespace quillet::harvest
