#pragma once

#include "text/GbkText.h"
#include "text/Searcher.h"
#include "text/TextScan.h"

#include <string_view>

namespace quillet::harvest {

// The literal markers of one storefront's review feed, prepared for searching once per
// process: the record, its review text, nickname and date, and the feed's line break.
struct FeedSyntax {
    text::Searcher recordStart, recordEnd;
    text::Searcher contentStart, contentEnd;
    text::Searcher nickStart, nickEnd;
    text::Searcher dateStart, dateEnd;
    text::Searcher lineBreak;
};

[[nodiscard]] const FeedSyntax& mallFeedSyntax();
[[nodiscard]] const FeedSyntax& marketFeedSyntax();

// One review record as the record loop cuts it from a feed page.
struct FeedRecord {
    std::string_view text; // the whole record: a view into the page
    GbkText content;       // the review text, line breaks as CR LF, character references decoded
    GbkText nick;
    GbkText date;
};

// Walks the records of one feed page in one pass. Each record is found with the prepared
// record markers from where the previous one ended (textBetweenEx's forward walk), and its
// review text, nickname and date are cut from the record's start (each textBetweenEx over the
// record alone). The page must stay unchanged while the reader is used.
class FeedPageReader {
public:
    FeedPageReader(const FeedSyntax& syntax, std::string_view page);
    // The next record; false when there is none, or when it is empty (which ends the loop).
    bool next(FeedRecord& record);

private:
    const FeedSyntax& m_syntax;
    std::string_view m_page;
    text::TextScan m_scan;
    std::size_t m_from = 0;
};

} // namespace quillet::harvest
