// The one-pass reading of feed pages (FeedPageReader, AttributeReader) against the step-by-step
// reading it replaces: records, review texts, nicknames, dates and attribute values must come
// out byte for byte the same, on the simulated marketplace's pages and on random records.

#include "compose/TextOps.h"
#include "harvest/AttributeReader.h"
#include "harvest/FeedPageReader.h"
#include "regex/RegexObject.h"
#include "testmarket/MarketPages.h"
#include "text/Charset.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace quillet::harvest {
namespace {

GbkText g(const char* utf8) { return text::utf8ToGbk(utf8); }

// The text with its ASCII letters' case changed at random, each with a chance of one in `oneIn`.
GbkText someLettersFlipped(GbkText text, std::mt19937& random, unsigned oneIn)
{
    for (char& c : text)
        if (random() % oneIn == 0 && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')))
            c ^= 0x20;
    return text;
}

struct Markers {
    const char *recordStart, *recordEnd, *contentStart, *contentEnd, *nickStart, *nickEnd, *dateStart, *dateEnd,
        *lineBreak;
};
const Markers kMall{"{''aliMallSeller''", "''userVipPic'':", "''rateContent'':''", "'',''rateDate''",
                    "''displayUserNick'':''", "''", "''rateDate'':''", "''", "\\\\r\\\\n"};
const Markers kMarket{"{''append'':", "''validscore'':", "''content'':''", "'',''", "''nick'':''", "\"",
                      "''date'':''", "\"", "<br/>\\n"};

GbkText cut(const GbkText& text, const char* start, const char* end)
{
    GbkText s = compose::unquoteMarker(start);
    GbkText e = compose::unquoteMarker(end);
    return compose::textBetweenEx(text, s, e);
}

// The step-by-step reading: every value cut with textBetweenEx, attributes by the pattern.
std::vector<std::vector<GbkText>> stepwise(const GbkText& page, const Markers& m, const std::vector<GbkText>& names)
{
    std::vector<std::vector<GbkText>> rows;
    long long position = 0;
    for (;;) {
        GbkText s = compose::unquoteMarker(m.recordStart);
        GbkText e = compose::unquoteMarker(m.recordEnd);
        const GbkText record = compose::textBetweenEx(page, s, e, 0, 0, position);
        if (record.empty())
            return rows;
        GbkText content = cut(record, m.contentStart, m.contentEnd);
        content = compose::decodeEntities(compose::replaceAll(content, m.lineBreak, "\r\n", true));
        std::vector<GbkText> row{record, content, cut(record, m.nickStart, m.nickEnd), cut(record, m.dateStart, m.dateEnd)};
        for (const GbkText& name : names) {
            GbkText value;
            for (const GbkText& suffix : {GbkText(), g("分类")}) {
                regex::RegexObject pattern;
                pattern.compile(regex::RegexObject::escapeAll(name + suffix) + ":([^:,;&{}\"]+)");
                if (compose::findText(record, name + suffix + ":") > 0 && pattern.execute(record) > 0) {
                    value = pattern.submatchText(1, 1);
                    break;
                }
                GbkText ds = compose::unquoteMarker("{''desc'':''");
                GbkText de = compose::unquoteMarker("'',''name'':''" + name + suffix + "''");
                long long back = 0;
                value = compose::replaceAll(compose::textBetweenEx(record, ds, de, 0, 0, back, true), ";", "", false);
                if (!value.empty())
                    break;
            }
            value = compose::replaceAll(compose::decodeEntities(value), "\"", "", false);
            for (bool trimmed = false; !trimmed;) { // blanks of both widths off both ends
                trimmed = true;
                if (!value.empty() && value.front() == ' ')
                    value.erase(0, 1), trimmed = false;
                else if (value.rfind("\xA1\xA1", 0) == 0)
                    value.erase(0, 2), trimmed = false;
                else if (!value.empty() && value.back() == ' ')
                    value.pop_back(), trimmed = false;
                else if (value.size() >= 2 && value.compare(value.size() - 2, 2, "\xA1\xA1") == 0
                         && text::lastCharStart(value) == value.size() - 2)
                    value.resize(value.size() - 2), trimmed = false;
            }
            row.push_back(value.empty() ? g("无") : value);
        }
        rows.push_back(row);
    }
}

std::vector<std::vector<GbkText>> onePass(const GbkText& page, bool mall, const std::vector<GbkText>& names)
{
    std::vector<std::vector<GbkText>> rows;
    AttributeReader attributes;
    FeedPageReader reader(mall ? mallFeedSyntax() : marketFeedSyntax(), page);
    FeedRecord r;
    while (reader.next(r)) {
        std::vector<GbkText> row{GbkText(r.text), r.content, r.nick, r.date};
        attributes.setRecord(r.text);
        for (const GbkText& name : names)
            row.push_back(attributes.value(attributes.field(name), true));
        rows.push_back(row);
    }
    return rows;
}

TEST(FeedReadingTest, OnePassReadsTheMarketplacePagesAsTheStepByStepReading)
{
    testmarket::CatalogueOptions options;
    options.seed = 11;
    options.products = 30;
    const testmarket::Catalogue catalogue = testmarket::Catalogue::generate(options);
    const std::vector<GbkText> names{g("颜色"), g("尺码"), g("颜色分类"), g("口味"), g("产地")};
    int records = 0;
    for (const testmarket::Product& product : catalogue.products()) {
        for (int page = 1; page <= 3; ++page) {
            const GbkText text = product.isMall() ? testmarket::pages::mallFeedPage(product, page, 20)
                                                  : testmarket::pages::marketFeedPage(&product, "", page, 20, "cb");
            const auto expected = stepwise(text, product.isMall() ? kMall : kMarket, names);
            ASSERT_EQ(onePass(text, product.isMall(), names), expected) << product.id << " page " << page;
            records += static_cast<int>(expected.size());
        }
    }
    EXPECT_GT(records, 200);
}

// Random records: attributes in both forms, names needing pattern escapes or folding case
// beyond ASCII, letter case changed, line breaks, character references, blanks of both widths,
// and bytes the two-byte reading and the pattern engine see differently.
TEST(FeedReadingTest, OnePassReadsRandomRecordsAsTheStepByStepReading)
{
    const std::vector<GbkText> names{g("颜色"), g("尺码(cm)"), g("a.b*"), g("[型]"), g("Size"), g("ＡＢ"),
                                     g("Σ号"), g("σ号"), g("ａｂ"), g("k线"), g("重量"), g("x''y"),
                                     g("颜"), g("量"), g("Ab")};
    const std::vector<GbkText> pieces{g("黑色"), "XL", " ", g("　"), "&amp;", "&#20320;", "&quot;", ";", ":", ",",
                                      "&", "{", "}", "\"", "\\\\r\\\\n", "<br/>\\n", "\r\n", g("ｓ"), "\x81\x30\x81\x30",
                                      "\x80", "\xA1", "\x81\x3A", "ab", "AB", g("σ"), g("大份")};
    std::mt19937 random(20261208);
    auto pick = [&random](const auto& list) { return list[random() % list.size()]; };
    auto randomText = [&](int n) {
        GbkText t;
        for (int i = 0; i < n; ++i) {
            if (random() % 4 == 0) { // any two-byte character
                t += static_cast<char>(0x81 + random() % 0x7E);
                const unsigned trail = 0x40 + random() % 0xBF;
                t += static_cast<char>(trail == 0x7F ? 0x80 : trail);
            } else {
                t += pick(pieces);
            }
        }
        return t;
    };
    auto caseOf = [&random](GbkText name) { return someLettersFlipped(std::move(name), random, 2); };
    for (int round = 0; round < 300; ++round) {
        const bool mall = round % 2 == 0;
        const Markers& m = mall ? kMall : kMarket;
        GbkText page = "jsonp(";
        for (int r = 0; r < 4; ++r) {
            GbkText record = compose::unquoteMarker(m.recordStart) + randomText(2);
            for (int a = random() % 5; a > 0; --a) {
                const GbkText name = caseOf(pick(names)) + (random() % 3 == 0 ? g("分类") : GbkText());
                switch (random() % 4) {
                case 0:
                case 1:
                    record += name + ":" + randomText(1 + random() % 3) + pick(pieces);
                    break;
                case 2: // an object, sometimes without its start, keys in any case
                    record += compose::unquoteMarker((random() % 5 ? "{''desc'':''" : "{''dsc'':''")
                                                     + randomText(1 + random() % 3) + "'',''" + caseOf("name")
                                                     + "'':''" + name + "''}");
                    break;
                default: // the name with no attribute after it
                    record += name + pick(pieces);
                }
                record += randomText(1);
            }
            record += compose::unquoteMarker(m.contentStart) + randomText(3) + compose::unquoteMarker(m.contentEnd);
            record += compose::unquoteMarker(m.nickStart) + randomText(1) + compose::unquoteMarker(m.nickEnd);
            record += compose::unquoteMarker(m.dateStart) + randomText(1) + compose::unquoteMarker(m.dateEnd);
            page += record + compose::unquoteMarker(m.recordEnd) + "1},";
        }
        ASSERT_EQ(onePass(page, mall, names), stepwise(page, m, names)) << "round " << round;
    }
}

// Each field is cut from its own record alone: fields in any order, missing or twice, markers
// in either case, a start marker whose last byte would be the record end's first (not in the
// record), and two-byte characters whose second byte is a quote's neighbour.
TEST(FeedReadingTest, OnePassFindsFieldsInAnyOrderAndOnlyInsideTheirRecord)
{
    std::mt19937 random(20261209);
    const std::vector<GbkText> fill{g("好评"), "x", "\"", "\"\"", ":", "\x81\x22", "\xA1", ",\"", "AB", "&amp;"};
    auto anyCase = [&random](GbkText marker) { return someLettersFlipped(std::move(marker), random, 3); };
    for (int round = 0; round < 400; ++round) {
        const bool mall = round % 2 == 0;
        const Markers& m = mall ? kMall : kMarket;
        GbkText page = "cb(";
        for (int r = 0; r < 3; ++r) {
            std::vector<GbkText> fields{
                anyCase(compose::unquoteMarker(m.contentStart)) + fill[random() % fill.size()]
                    + compose::unquoteMarker(m.contentEnd),
                anyCase(compose::unquoteMarker(m.nickStart)) + fill[random() % fill.size()] + compose::unquoteMarker(m.nickEnd),
                anyCase(compose::unquoteMarker(m.dateStart)) + fill[random() % fill.size()] + compose::unquoteMarker(m.dateEnd)};
            std::shuffle(fields.begin(), fields.end(), random);
            GbkText record = compose::unquoteMarker(m.recordStart);
            for (const GbkText& field : fields) {
                for (int copies = random() % 3; copies > 0; --copies)
                    record += fill[random() % fill.size()] + field;
            }
            if (random() % 4 == 0) { // a start marker cut before its last byte, then the end
                const GbkText start = compose::unquoteMarker(random() % 2 ? m.nickStart : m.contentStart);
                record += start.substr(0, start.size() - 1);
            }
            page += record + (random() % 8 ? anyCase(compose::unquoteMarker(m.recordEnd)) + "1}," : GbkText());
        }
        ASSERT_EQ(onePass(page, mall, {}), stepwise(page, m, {})) << "round " << round;
    }
}

} // namespace
} // namespace quillet::harvest
