#include "harvest/Harvest.h"

#include "compose/Article.h"
#include "compose/FileHelpers.h"
#include "compose/TextOps.h"
#include "regex/RegexObject.h"
#include "text/EventPump.h"
#include "text/GbkChars.h"
#include "text/Numbers.h"
#include "text/Paths.h"
#include "ui/Window.h"
#include "web/Endpoints.h"
#include "web/WebClient.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <string>
#include <system_error>

namespace quillet::harvest {

namespace {

// The literal markers that cut a feed into records and values. They are written with two
// apostrophes for each double quote and unquoted once, right before use.
struct FeedMarkers {
    GbkText recordStart, recordEnd;
    GbkText contentStart, contentEnd;
    GbkText nickStart, nickEnd;
    GbkText dateStart, dateEnd;
    GbkText lineBreak;
};

const FeedMarkers& mallMarkers()
{
    static const FeedMarkers markers = [] {
        FeedMarkers m;
        m.recordStart = compose::unquoteMarker("{''aliMallSeller''");
        m.recordEnd = compose::unquoteMarker("''userVipPic'':");
        m.contentStart = compose::unquoteMarker("''rateContent'':''");
        m.contentEnd = compose::unquoteMarker("'',''rateDate''");
        m.nickStart = compose::unquoteMarker("''displayUserNick'':''");
        m.nickEnd = compose::unquoteMarker("''");
        m.dateStart = compose::unquoteMarker("''rateDate'':''");
        m.dateEnd = compose::unquoteMarker("''");
        m.lineBreak = "\\\\r\\\\n"; // backslash, backslash, r, backslash, backslash, n
        return m;
    }();
    return markers;
}

const FeedMarkers& marketMarkers()
{
    static const FeedMarkers markers = [] {
        FeedMarkers m;
        m.recordStart = compose::unquoteMarker("{''append'':");
        m.recordEnd = compose::unquoteMarker("''validscore'':");
        m.contentStart = compose::unquoteMarker("''content'':''");
        m.contentEnd = compose::unquoteMarker("'',''");
        m.nickStart = compose::unquoteMarker("''nick'':''");
        m.nickEnd = GbkText(1, '"');
        m.dateStart = compose::unquoteMarker("''date'':''");
        m.dateEnd = GbkText(1, '"');
        m.lineBreak = "<br/>\\n"; // "<br/>", backslash, n
        return m;
    }();
    return markers;
}

// The text between two markers, searched forward from the start of `text`.
GbkText between(const GbkText& text, const GbkText& start, const GbkText& end)
{
    GbkText s = start;
    GbkText e = end;
    return compose::textBetweenEx(text, s, e);
}

// Removes blanks, half-width and full-width (A1 A1), from both ends.
GbkText trimBlanks(const GbkText& text)
{
    size_t begin = 0;
    size_t end = text.size();
    for (;;) {
        if (begin < end && text[begin] == ' ')
            ++begin;
        else if (begin + 1 < end && text.compare(begin, 2, "\xA1\xA1") == 0)
            begin += 2;
        else
            break;
    }
    for (;;) {
        if (end > begin && text[end - 1] == ' ') {
            --end;
        } else if (end >= begin + 2 && text.compare(end - 2, 2, "\xA1\xA1") == 0) {
            // Only a whole full-width blank: the byte before it must not make it a trail byte.
            if (begin + text::lastCharStart(std::string_view(text).substr(begin, end - begin)) == end - 2)
                end -= 2;
            else
                break;
        } else {
            break;
        }
    }
    return text.substr(begin, end - begin);
}

GbkText mallFeedAddress(const ProductInfo& product, long long pageNo)
{
    return "http://" + web::currentEndpoints().mallRateHost + "/list_detail_rate.htm?itemId="
        + encodeQueryValue(product.productId) + "&spuId=&sellerId=" + encodeQueryValue(product.sellerId)
        + "&order=0&forShop=1&append=0&currentPage=" + std::to_string(pageNo) + "&ismore=1&content=1";
}

GbkText marketFeedAddress(const ProductInfo& product, long long pageNo)
{
    return "http://" + web::currentEndpoints().marketRateHost + "/feedRateList.htm?userNumId="
        + encodeQueryValue(product.sellerId) + "&auctionNumId=" + encodeQueryValue(product.productId)
        + "&siteID=7&currentPageNum=" + std::to_string(pageNo) + "&rateType=" + product.rateType
        + "&orderType=sort_weight&showContent=1&attribute=&callback=jsonp_reviews_list";
}

void setCaption(ui::Window& window, const ui::ControlName& name, const GbkText& text)
{
    if (ui::Control* control = window.find(name))
        control->setText(text);
}

GbkText controlText(const ui::Window& window, const ui::ControlName& name)
{
    const ui::Control* control = window.find(name);
    return control ? control->text() : GbkText();
}

bool controlChecked(const ui::Window& window, const ui::ControlName& name)
{
    const ui::Control* control = window.find(name);
    return control && control->checked();
}

bool fileExists(const GbkText& path)
{
    std::error_code ec;
    return std::filesystem::exists(text::toNativePath(path), ec);
}

// The compiled pattern of one attribute name. Compiling costs far more than matching a
// record, and the same few names are looked up in every review, so each is compiled once.
regex::RegexObject& attributePattern(const GbkText& name)
{
    thread_local std::map<GbkText, regex::RegexObject> patterns;
    auto it = patterns.find(name);
    if (it == patterns.end()) {
        if (patterns.size() > 256) // a template cannot name that many fields; keep the cache small
            patterns.clear();
        it = patterns.emplace(name, regex::RegexObject()).first;
        it->second.compile(regex::RegexObject::escapeAll(name) + ":([^:,;&{}\"]+)");
    }
    return it->second;
}

// Notes a fetched feed page in the product's report. False when paging must end: the page
// did not come (refused, lost, or a stop came during a retry's wait).
bool noteFeedPage(ProductReport& report, const web::PageResult& page, long long pageNo)
{
    switch (page.verdict) {
    case web::PageVerdict::Ok:
        if (page.outcome.ok()) {
            ++report.pagesFetched;
            return true;
        }
        break; // an answer such as 404: the feed has nothing more to give
    case web::PageVerdict::Refused:
        report.result = ProductResult::Refused;
        report.refusedPage = pageNo;
        break;
    case web::PageVerdict::Stopped:
        report.stopped = true;
        [[fallthrough]];
    case web::PageVerdict::Failed:
        report.result = ProductResult::NetworkFailed;
        break;
    }
    report.reason = page.outcome.describe();
    return false;
}

} // namespace

GbkText skuValue(const GbkText& record, const GbkText& fieldName, bool emptyAsNone)
{
    GbkText value;
    const GbkText suffixes[] = {GbkText(), gbk("分类")};
    for (const GbkText& suffix : suffixes) {
        // "颜色分类:黑色;尺码:XL": the name, a colon and a run of characters up to the next
        // separator. The name is taken literally, so a field such as "尺码(cm)" still works.
        // The pattern can only match where "name:" stands; most records lack one of the two
        // forms, and a plain search is far cheaper than running the pattern.
        regex::RegexObject& pattern = attributePattern(fieldName + suffix);
        if (compose::findText(record, fieldName + suffix + ":", 1, true) > 0 && pattern.execute(record) > 0) {
            value = pattern.submatchText(1, 1);
            break;
        }
        // {"desc":"黑色","name":"颜色"}: the last such object of that name.
        GbkText start = compose::unquoteMarker("{''desc'':''");
        GbkText end = compose::unquoteMarker("'',''name'':''" + fieldName + suffix + "''");
        long long position = 0;
        value = compose::textBetweenEx(record, start, end, 0, 0, position, true);
        value = compose::replaceAll(value, ";", "", false);
        if (!value.empty())
            break;
    }
    value = compose::decodeEntities(value);
    value = compose::replaceAll(value, "\"", "", false);
    value = trimBlanks(value);
    if (value.empty())
        return emptyAsNone ? gbk("无") : GbkText(" ");
    return value;
}

void harvestReviews(ProductInfo& product, const HarvestRequest& request, std::vector<compose::FieldColumn>& columns,
                    web::WebClient& client, HarvestContext& context)
{
    const FeedMarkers& markers = product.isMall ? mallMarkers() : marketMarkers();
    const GbkText marketEnd = compose::unquoteMarker(",''comments'':null})");
    const GbkText& emptyReview = gbk("此用户没有填写评论!");

    compose::prepareUserReplacements(context.patternRegex, request.filterOn, request.matchList);
    context.whitespaceRegex.compile("[\\s\\r\\n]");

    long long pageNo = 0;
    GbkText previousFirstRecord;
    GbkText titlePhrase;
    long long previewTaken = 0;
    int emptyPages = 0;

    for (;;) {
        ++pageNo;
        setCaption(context.mainWindow, ui::mainwin::按钮采集,
                   gbk("停止..已生成 ") + std::to_string(request.articlesSoFar) + gbk(" 篇|正采集 ")
                       + std::to_string(pageNo) + gbk(" 页"));
        const GbkText address = product.isMall ? mallFeedAddress(product, pageNo) : marketFeedAddress(product, pageNo);
        text::processEvents();
        GbkText feedText;
        const web::PageResult page = web::fetchPage(
            client, [&] { return client.fetchText(address, {}, web::CharsetDetect, 0, product.proxy); }, context.retry,
            [&context] { return context.stopRequested; }, feedText);
        if (!noteFeedPage(context.report, page, pageNo))
            break;

        if (feedText.empty())
            break;
        if (!product.isMall && compose::findText(feedText, marketEnd, 1, true) > 0)
            break;

        bool feedEnded = false;
        bool firstRecord = true;
        long long position = 0;
        for (;;) {
            GbkText recordStart = markers.recordStart;
            GbkText recordEnd = markers.recordEnd;
            const GbkText record = compose::textBetweenEx(feedText, recordStart, recordEnd, 0, 0, position);
            if (record.empty())
                break;
            if (product.isMall && firstRecord) {
                if (!previousFirstRecord.empty() && previousFirstRecord == record) {
                    feedEnded = true;
                    break;
                }
                previousFirstRecord = record;
            }
            firstRecord = false;

            GbkText content = between(record, markers.contentStart, markers.contentEnd);
            content = compose::replaceAll(content, markers.lineBreak, "\r\n", true);
            content = compose::decodeEntities(content);
            if (product.isMall && content == emptyReview)
                continue;
            content = compose::applyUserReplacements(content, request.filterOn, request.regexMode, request.matchList,
                                                     request.replaceList, context.patternRegex);
            if (request.minChars > 0 && compose::charCount(content, 1) < request.minChars)
                continue;

            if (titlePhrase.empty()) {
                bool shuffle = request.titleShuffle;
                if (!shuffle && product.isMall) {
                    // The name the article would get, cut to the file system's limit the
                    // same way the article's own file name is.
                    const GbkText& pattern = request.outputPattern;
                    const size_t star = pattern.rfind('*');
                    if (star != GbkText::npos) {
                        const GbkText tail = pattern.substr(star + 1);
                        shuffle = fileExists(pattern.substr(0, star)
                                             + compose::fitFileNameBase(compose::sanitizeFileName(product.title), tail)
                                             + tail);
                    }
                }
                if (shuffle) {
                    titlePhrase = compose::pickFragment(context.whitespaceRegex.replace(content, GbkText()),
                                                        gbk("，"), 0, GbkText(), false);
                    product.title = compose::shuffleFragments(product.title, " ") + " " + titlePhrase;
                }
            }

            const GbkText nick = between(record, markers.nickStart, markers.nickEnd);
            const GbkText date = between(record, markers.dateStart, markers.dateEnd);
            const bool emptyAsNone = controlChecked(context.mainWindow, ui::mainwin::选择框空无);
            for (compose::FieldColumn& column : columns) {
                if (column.name == gbk("评论"))
                    column.values.push_back(content);
                else if (column.name == gbk("买家"))
                    column.values.push_back(nick);
                else if (column.name == gbk("日期"))
                    column.values.push_back(date);
                else if (column.name == gbk("标题"))
                    column.values.push_back(product.title);
                else if (column.name == gbk("原标题"))
                    column.values.push_back(product.originalTitle);
                else
                    column.values.push_back(skuValue(record, column.name, emptyAsNone));
            }

            ++context.report.reviewsKept;
            if (context.onReview)
                context.onReview(product, ReviewFields{content, nick, date, recordAttributes(record)});

            if (request.previewOnly && ++previewTaken >= 10)
                break;
            if (context.stopRequested)
                break;
        }

        if (feedEnded)
            break;
        // A feed that keeps answering pages without records would be paged for ever.
        emptyPages = firstRecord ? emptyPages + 1 : 0;
        if (emptyPages >= kMaxEmptyFeedPages)
            break;
        if (request.maxPages >= 1 && pageNo >= request.maxPages)
            break;
        if (context.stopRequested)
            break;
        if (request.previewOnly && previewTaken >= 10)
            break;

        const double seconds = text::textToNumber(controlText(context.mainWindow, ui::mainwin::编辑框每页延时秒));
        const double ms = std::round(seconds * 1000.0);
        // A negative or absurd pause is no pause / at most a day, never an overflow. A stop
        // ends the pause at once: a long pause must not keep the user waiting.
        compose::pauseMs(ms > 0 ? static_cast<long long>(std::min(ms, 86400000.0)) : 0, context.stopRequested);
        if (context.stopRequested)
            break;
    }
}

} // namespace quillet::harvest
