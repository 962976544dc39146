#include "compose/Article.h"

#include "compose/FileHelpers.h"
#include "compose/TextOps.h"
#include "regex/RegexObject.h"
#include "text/EventPump.h"
#include "text/GbkChars.h"
#include "text/FileIo.h"
#include "text/Paths.h"
#include "text/Searcher.h"
#include "text/TextScan.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <unordered_set>
#include <vector>

namespace quillet::compose {

const GbkText& threeBarSeparator()
{
    static const GbkText separator = "|||";
    return separator;
}

PreparedTemplate prepareTemplate(const GbkText& templateText, regex::RegexObject& patternRegex)
{
    // A run fills the same template for every product: the last one read on this thread is
    // kept, with no values, and handed out again while the text stays the same.
    thread_local GbkText lastText;
    thread_local PreparedTemplate lastPrepared;
    thread_local bool haveLast = false;
    patternRegex.compile("#.+?#");
    if (haveLast && templateText == lastText)
        return lastPrepared;

    PreparedTemplate prepared;
    const GbkText& separatorMarker = gbk("#分隔#");
    const GbkText text = templateText.empty() ? gbk("#评论#") + "\r\n" : templateText;

    const int found = patternRegex.execute(text);
    // Each distinct marker at the place of its last appearance. The list is made from the
    // matches themselves, not by cutting their joined text at "|||": a marker may hold "|||"
    // itself ("#a|||b#"), and cut apart it would become markers that were never written.
    std::vector<GbkText> matches;
    for (int i = 1; i <= found; ++i) {
        GbkText marker = patternRegex.matchText(i);
        if (marker != separatorMarker)
            matches.push_back(std::move(marker));
    }
    std::unordered_set<std::string_view> seen;
    for (std::size_t i = matches.size(); i-- > 0;)
        if (seen.insert(matches[i]).second)
            prepared.markerList.push_back(matches[i]);
    std::reverse(prepared.markerList.begin(), prepared.markerList.end());
    for (const GbkText& marker : prepared.markerList)
        prepared.markers += (prepared.markers.empty() ? GbkText() : threeBarSeparator()) + marker;

    for (const GbkText& marker : prepared.markerList) {
        FieldColumn column;
        column.name = replaceAll(marker, "#", "", false);
        prepared.columns.push_back(std::move(column));
    }

    // An empty alternative (a template that starts or ends with the separator, or holds two
    // in a row) would turn the reviews drawn for it into nothing; it is left out.
    for (GbkText& alternative : splitText(text, separatorMarker))
        if (!alternative.empty())
            prepared.alternatives.push_back(std::move(alternative));
    for (const GbkText& alternative : prepared.alternatives)
        prepared.plans.push_back(planAlternative(alternative, prepared.markerList));
    lastText = templateText;
    lastPrepared = prepared;
    haveLast = true;
    return prepared;
}

namespace {

using Piece = AlternativePlan::Piece;

char foldAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Whether `marker` could be found, in the text the pieces stand for, as a match that takes in
// at least one value. A value may hold any bytes but '#' here (a value with '#' is never put in
// by the plan), so starting at each literal '#', a value can stand for any run of the marker
// that holds no '#'. Character boundaries are left out, which can only find more.
bool markerCanSpanValue(const std::vector<Piece>& pieces, std::string_view alternative, std::string_view marker)
{
    const std::size_t m = marker.size();
    std::vector<char> at(m + 1);
    std::vector<char> next(m + 1);
    for (std::size_t first = 0; first < pieces.size(); ++first) {
        if (pieces[first].column >= 0)
            continue;
        const std::string_view literal = alternative.substr(pieces[first].offset, pieces[first].length);
        // Only a start from which the marker runs past this piece can take in a value.
        const std::size_t from = literal.size() >= m ? literal.size() - m + 1 : 0;
        for (std::size_t start = from; start < literal.size(); ++start) {
            if (literal[start] != '#')
                continue;
            std::fill(at.begin(), at.end(), 0);
            at[0] = 1;
            bool tookValue = false;
            bool alive = true;
            for (std::size_t p = first; p < pieces.size() && alive; ++p) {
                if (pieces[p].column >= 0) {
                    // A value takes in any run of the marker without '#'.
                    for (std::size_t i = 0; i < m; ++i)
                        if (at[i] && marker[i] != '#')
                            at[i + 1] = 1;
                    tookValue = true;
                    continue;
                }
                const std::string_view text = alternative.substr(pieces[p].offset, pieces[p].length);
                for (std::size_t b = p == first ? start : 0; b < text.size(); ++b) {
                    std::fill(next.begin(), next.end(), 0);
                    alive = false;
                    for (std::size_t i = 0; i < m; ++i)
                        if (at[i] && foldAscii(marker[i]) == foldAscii(text[b])) {
                            next[i + 1] = 1;
                            alive = true;
                        }
                    at.swap(next);
                    if (tookValue && at[m])
                        return true;
                    if (!alive)
                        break;
                }
            }
            if (tookValue && at[m])
                return true;
        }
    }
    return false;
}

// Whether the value can be put in without changing what the markers match around it: it holds
// no '#' (so no marker starts, ends or is completed in it) and ends on a character boundary
// (so the characters of the text after it stay as they were).
bool isInertValue(std::string_view value)
{
    if (value.find('#') != std::string_view::npos)
        return false;
    // The run of bytes >= 0x80 that ends the value (most of a Chinese review), eight at a time
    // while a whole word lies in it.
    constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;
    std::size_t run = 0;
    while (value.size() - run >= 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, value.data() + value.size() - run - 8, 8);
        if ((word & kHighBits) != kHighBits)
            break;
        run += 8;
    }
    while (run < value.size() && static_cast<unsigned char>(value[value.size() - 1 - run]) >= 0x80)
        ++run;
    return run % 2 == 0;
}

// One alternative with each marker replaced in turn by its value, the i-th marker by the i-th
// value, letter case ignored: the rule the plan reproduces, used where the plan cannot.
GbkText fillMarkerByMarker(const GbkText& alternative, const std::vector<GbkText>& markerList,
                           const std::vector<const GbkText*>& values)
{
    GbkText piece = alternative;
    for (size_t c = 0; c < markerList.size() && c < values.size(); ++c)
        piece = replaceAll(piece, markerList[c], *values[c], true);
    return piece;
}

} // namespace

AlternativePlan planAlternative(const GbkText& alternative, const std::vector<GbkText>& markerList)
{
    // The markers are replaced in turn as they would be in the text, each value standing as a
    // place of its own that no later marker is searched in. That matches the text itself as
    // long as no later marker can be formed across a value, which is checked before each one.
    AlternativePlan plan;
    std::vector<Piece> pieces{{-1, 0, alternative.size()}};
    std::vector<Piece> split;
    const std::string_view whole(alternative);
    // What follows relies on markers that begin and end with '#', as the template's markers do.
    for (const GbkText& marker : markerList)
        if (marker.size() < 2 || marker.front() != '#' || marker.back() != '#')
            return plan;
    for (std::size_t c = 0; c < markerList.size(); ++c) {
        if (c > 0 && markerCanSpanValue(pieces, whole, markerList[c]))
            return plan;
        const text::Searcher needle(markerList[c], true);
        split.clear();
        for (const Piece& piece : pieces) {
            if (piece.column >= 0 || needle.empty() || needle.size() > piece.length) {
                split.push_back(piece);
                continue;
            }
            text::TextScan scan(whole.substr(piece.offset, piece.length));
            std::size_t pos = 0;
            for (std::size_t hit = needle.find(scan, 0); hit != text::Searcher::npos;
                 hit = needle.find(scan, pos)) {
                if (hit > pos)
                    split.push_back({-1, piece.offset + pos, hit - pos});
                split.push_back({static_cast<int>(c), 0, 0});
                pos = hit + needle.size();
            }
            if (pos < piece.length)
                split.push_back({-1, piece.offset + pos, piece.length - pos});
        }
        pieces.swap(split);
    }
    for (const Piece& piece : pieces)
        if (piece.column >= 0 && std::find(plan.columns.begin(), plan.columns.end(), piece.column) == plan.columns.end())
            plan.columns.push_back(piece.column);
    plan.pieces = std::move(pieces);
    plan.exact = true;
    return plan;
}

GbkText assembleArticle(PreparedTemplate& prepared, bool contentShuffle)
{
    GbkText article;
    if (prepared.columns.empty() || prepared.alternatives.empty())
        return article;
    const auto n = static_cast<long long>(prepared.columns.front().values.size());
    const auto alternativeCount = static_cast<long long>(prepared.alternatives.size());
    const bool planned = prepared.plans.size() == prepared.alternatives.size()
        && prepared.markerList.size() == prepared.columns.size();

    // Room for the whole article at once: the longest alternative's literal text per review,
    // and every value of a column as often as an alternative has a place for it.
    if (planned) {
        std::size_t literal = 0;
        std::vector<std::size_t> places(prepared.columns.size(), 0);
        for (const AlternativePlan& plan : prepared.plans) {
            std::size_t bytes = 0;
            std::vector<std::size_t> count(prepared.columns.size(), 0);
            for (const Piece& piece : plan.pieces) {
                bytes += piece.length;
                if (piece.column >= 0)
                    ++count[static_cast<size_t>(piece.column)];
            }
            literal = std::max(literal, bytes);
            for (size_t c = 0; c < count.size(); ++c)
                places[c] = std::max(places[c], count[c]);
        }
        std::size_t total = literal * static_cast<std::size_t>(n);
        for (size_t c = 0; c < places.size(); ++c)
            if (places[c] > 0)
                for (const GbkText& value : prepared.columns[c].values)
                    total += places[c] * value.size();
        article.resize(total);
    }
    // The article is written into its room piece by piece; a piece that would not fit (a
    // column shorter than the others) makes more room.
    std::size_t used = 0;
    const auto put = [&article, &used](const char* bytes, std::size_t length) {
        if (article.size() - used < length)
            article.resize(std::max(article.size() * 2, used + length));
        std::memcpy(article.data() + used, bytes, length);
        used += length;
    };

    std::vector<const GbkText*> values(prepared.columns.size());
    for (long long k = 1; k <= n; ++k) {
        for (size_t c = 0; c < prepared.columns.size(); ++c) {
            FieldColumn& column = prepared.columns[c];
            long long index = contentShuffle ? column.picker.draw(1, n) : k;
            // Every column holds one value per review; a shorter one (never made by the
            // review feed) gives empty values rather than reading past its end.
            static const GbkText none;
            values[c] = index >= 1 && index <= static_cast<long long>(column.values.size())
                ? &column.values[static_cast<size_t>(index - 1)]
                : &none;
        }
        const auto pick = static_cast<size_t>(prepared.alternativePicker.draw(1, alternativeCount) - 1);
        const GbkText& alternative = prepared.alternatives[pick];
        // Markers and values are kept as lists, so a value that itself holds "|||" cannot
        // shift the values of the markers after it.
        bool direct = planned && prepared.plans[pick].exact;
        if (direct)
            for (int c : prepared.plans[pick].columns)
                if (!isInertValue(*values[static_cast<size_t>(c)])) {
                    direct = false;
                    break;
                }
        if (direct) {
            for (const Piece& piece : prepared.plans[pick].pieces) {
                if (piece.column >= 0) {
                    const GbkText& value = *values[static_cast<size_t>(piece.column)];
                    put(value.data(), value.size());
                } else {
                    put(alternative.data() + piece.offset, piece.length);
                }
            }
        } else {
            const GbkText piece = fillMarkerByMarker(alternative, prepared.markerList, values);
            put(piece.data(), piece.size());
        }
        text::processEvents();
    }
    article.resize(used);
    return article;
}

namespace {
// The longest article file name (one path component): file systems take 255 bytes on Linux,
// where a GBK character becomes up to three UTF-8 bytes, and 255 UTF-16 units on Windows. The
// temporary file an article is first written to has a short name of its own.
constexpr size_t kMaxFileNameLength = 255;

// The most "_1", "_2", ... names tried for one title before its article counts as not written.
constexpr long long kMaxNameClashes = kMaxTitleClashes;

bool fitsFileName(const GbkText& name)
{
    return text::toNativePath(name).native().size() <= kMaxFileNameLength;
}

// The longest leading part of `base`, cut at a character boundary, that still leaves room for
// `tail` in one file name. A title that makes a longer name (a long title with a phrase of a
// review added by the title shuffle) would otherwise make every write of the article fail.
GbkText fittedBase(const GbkText& base, const GbkText& tail)
{
    if (fitsFileName(base + tail))
        return base;
    std::vector<size_t> ends; // byte offset after each character
    for (size_t i = 0; i < base.size();) {
        i += text::charLength(base, i);
        ends.push_back(i);
    }
    size_t low = 0; // characters known to fit
    size_t high = ends.size();
    while (low + 1 < high) {
        const size_t middle = (low + high) / 2;
        if (fitsFileName(base.substr(0, ends[middle - 1]) + tail))
            low = middle;
        else
            high = middle;
    }
    return low == 0 ? GbkText() : base.substr(0, ends[low - 1]);
}
} // namespace

GbkText fitFileNameBase(const GbkText& base, const GbkText& tail)
{
    return fittedBase(base, tail);
}

namespace {
GbkText folderOf(const GbkText& directory)
{
    GbkText folder = directory;
    if (endsWithPathSeparator(folder))
        folder.pop_back();
    return folder;
}

// The j-th candidate name of a title-named article: base, base_1, base_2, ...
GbkText titledPath(const GbkText& folder, const GbkText& base, const GbkText& extension, long long j)
{
    const GbkText tail = (j == 0 ? GbkText() : "_" + std::to_string(j)) + "." + extension;
    return folder + text::pathSeparator() + fittedBase(base, tail) + tail;
}

bool fileExists(const GbkText& path)
{
    std::error_code ec;
    return std::filesystem::exists(text::toNativePath(path), ec);
}
} // namespace

GbkText titledArticlePath(const GbkText& directory, const GbkText& title, const GbkText& extension, long long j)
{
    return titledPath(folderOf(directory), sanitizeFileName(title), extension, j);
}

GbkText outputPath(int naming, const GbkText& directory, const GbkText& extension, const GbkText& title,
                   const GbkText& productId)
{
    const GbkText folder = folderOf(directory);
    if (naming == 1) {
        const GbkText name = fittedBase(sanitizeFileName(productId), "." + extension) + "." + extension;
        // "." and ".." name the folder itself or its parent, never a file of its own.
        if (name == "." || name == "..")
            return GbkText();
        return folder + text::pathSeparator() + name;
    }
    if (naming != 0)
        return GbkText();
    const GbkText base = sanitizeFileName(title);
    for (long long j = 0; j <= kMaxNameClashes; ++j) {
        GbkText path = titledPath(folder, base, extension, j);
        if (!fileExists(path))
            return path;
    }
    return GbkText(); // every name taken: the write fails rather than the run looping for ever
}

GbkText writeArticleFile(int naming, const GbkText& directory, const GbkText& extension, const GbkText& title,
                         const GbkText& productId, const GbkText& article)
{
    std::vector<GbkText> created;
    if (naming == 1) {
        const GbkText path = outputPath(naming, directory, extension, title, productId);
        if (path.empty())
            return GbkText();
        createDirectories(path, created);
        return writeTextFile(path, article) ? path : GbkText();
    }
    if (naming != 0)
        return GbkText();
    const GbkText folder = folderOf(directory);
    createDirectories(folder + text::pathSeparator(), created);
    const GbkText base = sanitizeFileName(title);
    for (long long j = 0; j <= kMaxNameClashes; ++j) {
        GbkText path = titledPath(folder, base, extension, j);
        if (fileExists(path))
            continue;
        // The name is claimed only if it is still free when the article gets it: another run
        // writing the same titles into this folder at the same moment takes the next one.
        switch (text::publishNewFile(text::toNativePath(path), article)) {
        case text::PublishResult::Published:
            return path;
        case text::PublishResult::Taken:
            continue;
        case text::PublishResult::Failed:
            return GbkText();
        }
    }
    return GbkText();
}

} // namespace quillet::compose
