#include "compose/Article.h"

#include "compose/FileHelpers.h"
#include "compose/TextOps.h"
#include "regex/RegexObject.h"
#include "text/EventPump.h"
#include "text/GbkChars.h"
#include "text/FileIo.h"
#include "text/Paths.h"

#include <algorithm>
#include <filesystem>
#include <string>
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
    PreparedTemplate prepared;
    const GbkText& separatorMarker = gbk("#分隔#");
    const GbkText text = templateText.empty() ? gbk("#评论#") + "\r\n" : templateText;

    patternRegex.compile("#.+?#");
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
    return prepared;
}

GbkText assembleArticle(PreparedTemplate& prepared, bool contentShuffle)
{
    GbkText article;
    if (prepared.columns.empty() || prepared.alternatives.empty())
        return article;
    const auto n = static_cast<long long>(prepared.columns.front().values.size());
    const auto alternativeCount = static_cast<long long>(prepared.alternatives.size());
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
        const long long pick = prepared.alternativePicker.draw(1, alternativeCount);
        GbkText piece = prepared.alternatives[static_cast<size_t>(pick - 1)];
        // The i-th marker becomes the i-th value, letter case ignored, earlier pairs first.
        // Markers and values are kept as lists, so a value that itself holds "|||" cannot
        // shift the values of the markers after it.
        for (size_t c = 0; c < prepared.markerList.size() && c < values.size(); ++c)
            piece = replaceAll(piece, prepared.markerList[c], *values[c], true);
        article += piece;
        text::processEvents();
    }
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
