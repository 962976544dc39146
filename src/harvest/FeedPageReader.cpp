#include "harvest/FeedPageReader.h"

#include "compose/TextOps.h"

namespace quillet::harvest {

namespace {

constexpr std::size_t npos = text::Searcher::npos;

// The text between two markers, searched forward from the start of the scanned text, into
// `out` (whose storage is reused).
void takeBetween(text::TextScan& scan, const text::Searcher& start, const text::Searcher& end, GbkText& out)
{
    out.clear();
    const std::size_t s = start.find(scan, 0);
    if (s == npos)
        return;
    const std::size_t valueAt = s + start.size();
    const std::size_t e = end.find(scan, valueAt);
    if (e == npos)
        return;
    out.assign(scan.text().substr(valueAt, e - valueAt));
}

FeedSyntax makeSyntax(const char* recordStart, const char* recordEnd, const char* contentStart,
                      const char* contentEnd, const char* nickStart, const GbkText& nickEnd, const char* dateStart,
                      const GbkText& dateEnd, const GbkText& lineBreak)
{
    using compose::unquoteMarker;
    FeedSyntax s;
    s.recordStart = text::Searcher(unquoteMarker(recordStart));
    s.recordEnd = text::Searcher(unquoteMarker(recordEnd));
    s.contentStart = text::Searcher(unquoteMarker(contentStart));
    s.contentEnd = text::Searcher(unquoteMarker(contentEnd));
    s.nickStart = text::Searcher(unquoteMarker(nickStart));
    s.nickEnd = text::Searcher(nickEnd);
    s.dateStart = text::Searcher(unquoteMarker(dateStart));
    s.dateEnd = text::Searcher(dateEnd);
    s.lineBreak = text::Searcher(lineBreak);
    return s;
}

} // namespace

// The markers are written with two apostrophes for each double quote, as everywhere.
const FeedSyntax& mallFeedSyntax()
{
    static const FeedSyntax syntax = makeSyntax(
        "{''aliMallSeller''", "''userVipPic'':", "''rateContent'':''", "'',''rateDate''", "''displayUserNick'':''",
        compose::unquoteMarker("''"), "''rateDate'':''", compose::unquoteMarker("''"),
        "\\\\r\\\\n"); // backslash, backslash, r, backslash, backslash, n
    return syntax;
}

const FeedSyntax& marketFeedSyntax()
{
    static const FeedSyntax syntax =
        makeSyntax("{''append'':", "''validscore'':", "''content'':''", "'',''", "''nick'':''", GbkText(1, '"'),
                   "''date'':''", GbkText(1, '"'), "<br/>\\n"); // "<br/>", backslash, n
    return syntax;
}

FeedPageReader::FeedPageReader(const FeedSyntax& syntax, std::string_view page)
    : m_syntax(syntax), m_page(page), m_scan(page)
{
}

bool FeedPageReader::next(FeedRecord& record)
{
    if (m_from > m_page.size())
        return false;
    const std::size_t s = m_syntax.recordStart.find(m_scan, m_from);
    if (s == npos)
        return false;
    const std::size_t valueAt = s + m_syntax.recordStart.size();
    const std::size_t e = m_syntax.recordEnd.find(m_scan, valueAt);
    if (e == npos)
        return false;
    m_from = e + m_syntax.recordEnd.size();
    if (e == valueAt)
        return false;
    record.text = m_page.substr(valueAt, e - valueAt);

    text::TextScan scan(record.text);
    takeBetween(scan, m_syntax.contentStart, m_syntax.contentEnd, record.content);
    // Only a text holding the line break's first byte can hold the line break. Both changes
    // only shorten the text, so they are made in its own storage.
    if (record.content.find(m_syntax.lineBreak.text().front()) != GbkText::npos)
        compose::replaceAllInPlace(record.content, m_syntax.lineBreak, "\r\n");
    if (record.content.find('&') != GbkText::npos)
        compose::decodeEntitiesInPlace(record.content);
    takeBetween(scan, m_syntax.nickStart, m_syntax.nickEnd, record.nick);
    takeBetween(scan, m_syntax.dateStart, m_syntax.dateEnd, record.date);
    return true;
}

} // namespace quillet::harvest
