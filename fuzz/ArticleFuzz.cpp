// Template preparation and article assembly over any template and any review values: the
// markers are distinct, found in the template, one column each, and never the separator;
// no alternative is empty; an article exists exactly when there are fields and reviews, and
// with one alternative and no shuffling it is every review's copy of the template with the
// markers replaced in order, as a step-by-step replacement makes it.

#include "FuzzSupport.h"

#include "compose/Article.h"
#include "regex/RegexObject.h"
#include "tests/compose/StepwiseText.h"

#include <set>

using namespace quillet;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    const bool shuffle = in.ConsumeBool();
    const int reviews = in.ConsumeIntegralInRange(0, 6);
    const GbkText templateText = in.ConsumeRandomLengthString(256);

    static regex::RegexObject patternRegex;
    compose::PreparedTemplate prepared = compose::prepareTemplate(templateText, patternRegex);

    const GbkText separator = "#\xB7\xD6\xB8\xF4#"; // "#分隔#"
    const std::set<GbkText> distinct(prepared.markerList.begin(), prepared.markerList.end());
    fuzz::check(distinct.size() == prepared.markerList.size(), "markers are distinct", fuzz::hex(templateText));
    fuzz::check(prepared.columns.size() == prepared.markerList.size(), "one column per marker");
    GbkText joined;
    for (std::size_t i = 0; i < prepared.markerList.size(); ++i) {
        const GbkText& marker = prepared.markerList[i];
        joined += (i ? "|||" : "") + marker;
        fuzz::check(marker.size() >= 3 && marker.front() == '#' && marker.back() == '#' && marker != separator,
                    "a marker is a field between two #", fuzz::hex(marker));
        fuzz::check(templateText.empty() || templateText.find(marker) != GbkText::npos, "markers come from the template",
                    fuzz::hex(marker));
        fuzz::check(prepared.columns[i].name == stepwise::replaceAll(marker, "#", "", false), "a column is named after its marker");
    }
    fuzz::check(prepared.markers == joined, "the marker text lists the markers");
    for (const GbkText& alternative : prepared.alternatives)
        fuzz::check(!alternative.empty(), "no alternative is empty");

    for (compose::FieldColumn& column : prepared.columns)
        for (int k = 0; k < reviews; ++k)
            column.values.push_back(in.ConsumeRandomLengthString(24));
    const GbkText article = compose::assembleArticle(prepared, shuffle);
    const bool expectArticle = reviews > 0 && !prepared.columns.empty() && !prepared.alternatives.empty();
    if (!expectArticle || prepared.alternatives.size() != 1 || shuffle) {
        fuzz::check(expectArticle || article.empty(), "no article without fields and reviews");
        return 0;
    }
    GbkText expected;
    for (int k = 0; k < reviews; ++k) {
        GbkText piece = prepared.alternatives.front();
        for (std::size_t c = 0; c < prepared.markerList.size(); ++c)
            piece = stepwise::replaceAll(piece, prepared.markerList[c],
                                         prepared.columns[c].values[static_cast<std::size_t>(k)], true);
        expected += piece;
    }
    fuzz::check(article == expected, "one alternative gives every review's filled template in order",
                fuzz::hex(templateText));
    return 0;
}
