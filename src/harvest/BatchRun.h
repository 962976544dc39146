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
// at a NUL byte or at a 0x1A byte.
//
// What a line costs: the reader itself holds one 64 KB block, whatever the file. A line is
// built once, in the caller's string, at its own length: a line longer than the block is read
// twice from the file (first to learn its length), so a 100 MB line takes 100 MB, not the
// doubling growth of a string. The caller may move the line on; nothing else keeps it.
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
    static constexpr size_t kBlockBytes = 65536;

    bool readBlock();
    // Reserves the exact length of a line that runs on past the current block, when the file
    // can be read ahead and wound back.
    void reserveLongLine(GbkText& line);

    text::StdioFile m_file;
    std::string m_block;
    size_t m_pos = 0;
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
        Refused,       // the marketplace refused further requests: the run stopped, keeping what it gathered
        Previewed,     // quick preview: one product shown, nothing written
    };
    Kind kind = Kind::Finished;
    long long articles = 0;     // articles written (lines of the merged file for merged naming)
    long long failedWrites = 0; // articles lost because they could not be written
    // Products that gave no article, by reason (write failures are failedWrites).
    long long products = 0;     // products harvested (one cut short by a stop not counted)
    long long refused = 0;      // the product the marketplace refused (the run stops at it)
    long long notFound = 0;
    long long networkFailed = 0;
    long long noReviews = 0;
    // The refused product: its ID, its line and the feed page refused (0: its product page).
    GbkText refusedProductId;
    long long refusedLine = 0;
    long long refusedPage = 0;
    // The products that gave nothing, written beside the product-ID file; empty when none.
    GbkText unfinishedFile;
    bool unfinishedFileFailed = false;
    bool startBeyondEnd = false; // the start line lies behind the last line of the file

    [[nodiscard]] long long withoutArticle() const { return refused + notFound + networkFailed + noReviews + failedWrites; }
};

// The file that lists the products of a run that gave nothing: the product-ID file's name
// with ".未完成" before its extension, in the same folder.
[[nodiscard]] GbkText unfinishedFilePath(const GbkText& idFilePath);

// The message at the end of a run: how many products gave articles, how many none and why,
// and where the refused run resumes.
[[nodiscard]] GbkText runSummaryMessage(const RunOutcome& outcome);

// What the run button does: starts a batch run over the product-ID file named in the main
// window, or, while one is going on, asks it to stop. Runs on the caller's thread; the
// harvest processes window events at fixed points, which is where a second click arrives.
RunOutcome runButtonClicked(HarvestContext& context, ui::Ui& ui);

} // namespace quillet::harvest
