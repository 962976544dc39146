#pragma once

#include "harvest/Harvest.h"
#include "text/GbkText.h"
#include "text/StdioFile.h"

namespace quillet::harvest {

// The raw reviews of a run, beside the articles, for analysis: one row per review taken,
// UTF-8, appended to the file. A name ending in ".csv" gives comma-separated rows under a
// header (product_id,title,storefront,nick,date,attributes,review; the attributes as
// "name=value" pairs joined by "; "); ".jsonl" gives one JSON object a line with the
// attributes as an object. Each row is flushed when written.
class ReviewExport {
public:
    enum class Format { Csv, JsonLines };

    // The format a file name asks for; false for any other extension.
    [[nodiscard]] static bool formatOf(const GbkText& path, Format& format);

    // Opens (creating) the file for appending; false for an unknown extension or a file that
    // cannot be written.
    bool open(const GbkText& path);
    [[nodiscard]] bool isOpen() const { return static_cast<bool>(m_file); }
    bool write(const ProductInfo& product, const ReviewFields& review);
    [[nodiscard]] bool failed() const { return m_failed; }
    bool close();

private:
    text::StdioFile m_file;
    Format m_format = Format::Csv;
    bool m_failed = false;
};

} // namespace quillet::harvest
