#include "compose/Article.h"

#include "compose/FileHelpers.h"
#include "compose/TextOps.h"
#include "regex/RegexObject.h"
#include "text/EventPump.h"
#include "text/Paths.h"

#include <filesystem>
#include <string>
#include <system_error>

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
    GbkText markers;
    for (int i = 1; i <= found; ++i) {
        const GbkText marker = patternRegex.matchText(i);
        if (marker == separatorMarker)
            continue;
        if (!markers.empty())
            markers += threeBarSeparator();
        markers += marker;
    }
    if (!markers.empty())
        prepared.markers = uniqueItems(prepared.markerList, markers, threeBarSeparator());

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
// True when the text ends with a one-byte "\\" or "/" (not the trail byte of a character).
bool endsWithSeparator(const GbkText& text)
{
    size_t i = 0;
    size_t last = 0;
    while (i < text.size()) {
        last = i;
        i += static_cast<unsigned char>(text[i]) >= 0x80 && i + 1 < text.size() ? 2 : 1;
    }
    return !text.empty() && last == text.size() - 1 && (text[last] == '\\' || text[last] == '/');
}
} // namespace

GbkText outputPath(int naming, const GbkText& directory, const GbkText& extension, const GbkText& title,
                   const GbkText& productId)
{
    const GbkText& sep = text::pathSeparator();
    GbkText folder = directory;
    if (endsWithSeparator(folder))
        folder.pop_back();
    if (naming == 1)
        return folder + sep + sanitizeFileName(productId) + "." + extension;
    if (naming != 0)
        return GbkText();
    const GbkText base = sanitizeFileName(title);
    for (long long j = 0;; ++j) {
        GbkText path = folder + sep + base + (j == 0 ? GbkText() : "_" + std::to_string(j)) + "." + extension;
        std::error_code ec;
        if (!std::filesystem::exists(text::toNativePath(path), ec))
            return path;
    }
}

} // namespace quillet::compose
