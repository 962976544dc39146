#pragma once

#include "compose/RandomBag.h"
#include "text/GbkText.h"

#include <vector>

namespace quillet::regex {
class RegexObject;
}

namespace quillet::compose {

// One field of the template ("评论", "买家", "颜色", ...) and the values the review feed
// gathered for it, one per taken review.
struct FieldColumn {
    GbkText name;
    std::vector<GbkText> values;
    RandomBag picker; // draws value indexes when the content is shuffled
};

// One alternative of the template as the article is built from it: literal pieces of the
// alternative and the places where a column's value goes, in order.
struct AlternativePlan {
    struct Piece {
        int column = -1; // the column whose value goes here; -1 for literal text
        std::size_t offset = 0; // literal text: where it starts in the alternative
        std::size_t length = 0;
    };
    std::vector<Piece> pieces;
    std::vector<int> columns; // the columns that have a place here, each once
    // False when some later marker could be formed across a value put in by an earlier one;
    // such an alternative is filled marker by marker, as the plan cannot say the outcome.
    bool exact = false;
};

// The template of one product, ready to be filled.
struct PreparedTemplate {
    GbkText markers;                    // distinct markers ("#买家#"), joined by "|||"
    std::vector<GbkText> markerList;    // the same markers as a list
    std::vector<FieldColumn> columns;   // one per marker, same order
    std::vector<GbkText> alternatives;  // the template cut at "#分隔#"
    std::vector<AlternativePlan> plans; // one per alternative (made by prepareTemplate)
    RandomBag alternativePicker;
};

// The plan of one alternative for the markers given (see AlternativePlan).
[[nodiscard]] AlternativePlan planAlternative(const GbkText& alternative, const std::vector<GbkText>& markerList);

// The separator of the template's marker and value lists.
[[nodiscard]] const GbkText& threeBarSeparator();

// Parses the template: markers found by "#.+?#" (compiled into patternRegex), each distinct
// marker at the place of its last appearance, one column per marker, the alternatives cut at
// "#分隔#". An empty template is "#评论#" CR LF. The same text a second time in a row on one
// thread is not parsed again (patternRegex is compiled, but not run over it).
[[nodiscard]] PreparedTemplate prepareTemplate(const GbkText& templateText, regex::RegexObject& patternRegex);

// Builds the article: one piece per taken review, each a randomly drawn alternative with its
// markers replaced by that review's values (or, with contentShuffle, by values each column
// draws in its own random order). Empty when no review was taken or the template has no field.
// The i-th marker becomes the i-th value, letter case ignored, earlier markers first, so a
// value holding a later marker has it replaced too; each piece is written straight into the
// article from the alternative's plan when its values cannot interact with the markers.
[[nodiscard]] GbkText assembleArticle(PreparedTemplate& prepared, bool contentShuffle);

// The file path of a per-product article: naming 0 names it after the title, adding "_1",
// "_2", ... until the name is free (empty when 10,000 of them are taken); naming 1 after the
// product ID (an existing file is overwritten). Other namings have no per-product path (empty
// result).
[[nodiscard]] GbkText outputPath(int naming, const GbkText& directory, const GbkText& extension,
                                 const GbkText& title, const GbkText& productId);

// Writes a per-product article where outputPath would name it. Naming 0 claims the first free
// name without ever replacing a file, even one that another run creates at the same moment;
// naming 1 replaces the product's file. Missing folders are created. Returns the path written,
// or the empty text when the article could not be written.
[[nodiscard]] GbkText writeArticleFile(int naming, const GbkText& directory, const GbkText& extension,
                                       const GbkText& title, const GbkText& productId, const GbkText& article);

// The most "_1", "_2", ... names tried for one title before its article counts as not written.
inline constexpr long long kMaxTitleClashes = 10000;

// The j-th candidate path of a title-named article in the folder: the sanitized title, then
// "_j" for j above 0, then "." and the extension, cut to the file system's limit for a name.
[[nodiscard]] GbkText titledArticlePath(const GbkText& directory, const GbkText& title, const GbkText& extension,
                                        long long j);

// The longest leading part of a file name base, cut at a character boundary, that still leaves
// room for `tail` ("_1.txt", ".txt") within the file system's limit for one name.
[[nodiscard]] GbkText fitFileNameBase(const GbkText& base, const GbkText& tail);

} // namespace quillet::compose
