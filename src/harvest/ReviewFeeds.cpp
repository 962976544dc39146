#include "harvest/Harvest.h"

#include "compose/Article.h"
#include "compose/FileHelpers.h"
#include "compose/TextOps.h"
#include "harvest/ArticleCommitter.h"
#include "harvest/AttributeReader.h"
#include "harvest/FeedPageReader.h"
#include "regex/RegexObject.h"
#include "text/EventPump.h"
#include "text/GbkChars.h"
#include "text/Numbers.h"
#include "text/Paths.h"
#include "text/Searcher.h"
#include "ui/Window.h"
#include "web/Endpoints.h"
#include "web/WebClient.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <initializer_list>
#include <map>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

namespace quillet::harvest {

namespace {

// The parts of an address one after the other, the room made once.
GbkText joined(std::initializer_list<std::string_view> parts)
{
    std::size_t size = 0;
    for (const std::string_view part : parts)
        size += part.size();
    GbkText address;
    address.reserve(size);
    for (const std::string_view part : parts)
        address += part;
    return address;
}

GbkText mallFeedAddress(const ProductInfo& product, long long pageNo)
{
    return joined({"http://", web::currentEndpoint(&web::Endpoints::mallRateHost), "/list_detail_rate.htm?itemId=",
                   encodeQueryValue(product.productId), "&spuId=&sellerId=", encodeQueryValue(product.sellerId),
                   "&order=0&forShop=1&append=0&currentPage=", std::to_string(pageNo), "&ismore=1&content=1"});
}

GbkText marketFeedAddress(const ProductInfo& product, long long pageNo)
{
    return joined({"http://", web::currentEndpoint(&web::Endpoints::marketRateHost), "/feedRateList.htm?userNumId=",
                   encodeQueryValue(product.sellerId), "&auctionNumId=", encodeQueryValue(product.productId),
                   "&siteID=7&currentPageNum=", std::to_string(pageNo), "&rateType=", product.rateType,
                   "&orderType=sort_weight&showContent=1&attribute=&callback=jsonp_reviews_list"});
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

// The prepared attribute names of this thread's runs: each name is prepared once, whichever
// product or record asks for it.
AttributeReader& attributeReader()
{
    thread_local AttributeReader reader;
    return reader;
}

enum class ColumnKind { Content, Nick, Date, Title, OriginalTitle, Attribute };

// What one column takes from a review, worked out once per product.
struct ColumnPlan {
    ColumnKind kind = ColumnKind::Attribute;
    const AttributeReader::Field* field = nullptr;
    bool lastOfKind = true; // no later column takes the same value, so it may be moved here
};

std::vector<ColumnPlan> planColumns(const std::vector<compose::FieldColumn>& columns, AttributeReader& attributes)
{
    static const GbkText& comment = gbk("评论");
    static const GbkText& buyer = gbk("买家");
    static const GbkText& date = gbk("日期");
    static const GbkText& title = gbk("标题");
    static const GbkText& originalTitle = gbk("原标题");
    // A template cannot name that many fields; keep what is prepared small.
    attributes.trim(256);
    std::vector<ColumnPlan> plan;
    plan.reserve(columns.size());
    for (const compose::FieldColumn& column : columns) {
        ColumnPlan p;
        if (column.name == comment)
            p.kind = ColumnKind::Content;
        else if (column.name == buyer)
            p.kind = ColumnKind::Nick;
        else if (column.name == date)
            p.kind = ColumnKind::Date;
        else if (column.name == title)
            p.kind = ColumnKind::Title;
        else if (column.name == originalTitle)
            p.kind = ColumnKind::OriginalTitle;
        else
            p.field = &attributes.field(column.name);
        for (ColumnPlan& earlier : plan)
            if (earlier.kind == p.kind)
                earlier.lastOfKind = false;
        plan.push_back(p);
    }
    return plan;
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
    AttributeReader& attributes = attributeReader();
    attributes.trim(256);
    const AttributeReader::Field& field = attributes.field(fieldName);
    attributes.setRecord(record);
    return attributes.value(field, emptyAsNone);
}

void harvestReviews(ProductInfo& product, const HarvestRequest& request, std::vector<compose::FieldColumn>& columns,
                    web::WebClient& client, HarvestContext& context)
{
    const FeedSyntax& syntax = product.isMall ? mallFeedSyntax() : marketFeedSyntax();
    static const text::Searcher marketEnd(compose::unquoteMarker(",''comments'':null})"));
    static const GbkText& emptyReview = gbk("此用户没有填写评论!");
    static const GbkText& progressHead = gbk("停止..已生成 ");
    static const GbkText& progressMiddle = gbk(" 篇|正采集 ");
    static const GbkText& progressTail = gbk(" 页");
    static const GbkText& fullWidthComma = gbk("，");

    compose::prepareUserReplacements(context.patternRegex, request.filterOn, request.matchList);
    context.whitespaceRegex.compile("[\\s\\r\\n]");

    AttributeReader& attributes = attributeReader();
    const std::vector<ColumnPlan> plan = planColumns(columns, attributes);
    bool anyAttribute = false;
    for (const ColumnPlan& p : plan)
        anyAttribute = anyAttribute || p.kind == ColumnKind::Attribute;
    // The export sees each review's values after the columns got them; they are copied then.
    const bool mayMove = !context.onReview;

    // The name the article would get, cut to the file system's limit the same way the
    // article's own file name is: what the mall's title shuffle looks for.
    auto titlePath = [&request](const GbkText& title) {
        const GbkText& pattern = request.outputPattern;
        const size_t star = pattern.rfind('*');
        if (star == GbkText::npos)
            return GbkText();
        const GbkText tail = pattern.substr(star + 1);
        return pattern.substr(0, star) + compose::fitFileNameBase(compose::sanitizeFileName(title), tail) + tail;
    };
    GbkText existingTitlePath = product.isMall ? titlePath(product.title) : GbkText();

    long long pageNo = 0;
    GbkText previousFirstRecord;
    GbkText titlePhrase;
    long long previewTaken = 0;
    int emptyPages = 0;
    FeedRecord record;
    auto feedAddress = [&product](long long n) {
        return product.isMall ? mallFeedAddress(product, n) : marketFeedAddress(product, n);
    };
    // The next page's request goes out before a page is read, so that the marketplace answers
    // it while this side reads; a request sent for a page that is then not wanted (a stop) is
    // abandoned when the paging ends.
    struct DropStarted {
        web::WebClient& client;
        ~DropStarted() { client.dropStartedText(); }
    } dropStarted{client};

    for (;;) {
        ++pageNo;
        setCaption(context.mainWindow, ui::mainwin::按钮采集,
                   progressHead + std::to_string(request.articlesSoFar) + progressMiddle + std::to_string(pageNo)
                       + progressTail);
        const GbkText address = feedAddress(pageNo);
        text::processEvents();
        GbkText feedText;
        // The first try of a page whose request was sent ahead takes that request's answer.
        const web::PageResult page = web::fetchPage(
            client, [&] { return client.fetchOrFinishText(address, web::CharsetDetect, 0, product.proxy); },
            context.retry, [&context] { return context.stopRequested; }, feedText);
        if (!noteFeedPage(context.report, page, pageNo))
            break;

        if (feedText.empty())
            break;
        if (!product.isMall && marketEnd.find(feedText) != text::Searcher::npos)
            break;

        // No window events are processed while a page is read, so the controls read here
        // hold for all its records.
        const bool emptyAsNone = controlChecked(context.mainWindow, ui::mainwin::选择框空无);
        // A negative or absurd pause is no pause / at most a day, never an overflow.
        const double pauseSeconds = text::textToNumber(controlText(context.mainWindow, ui::mainwin::编辑框每页延时秒));
        const double roundedMs = std::round(pauseSeconds * 1000.0);
        const long long pauseMs = roundedMs > 0 ? static_cast<long long>(std::min(roundedMs, 86400000.0)) : 0;
        // Whether the file the mall's title shuffle looks for is there, asked once a page.
        int titleFileExists = -1;

        FeedPageReader reader(syntax, feedText);
        const bool anyRecord = reader.next(record);
        // Whether paging goes on after this page is known from its first record, except for a
        // stop or the quick preview's ten reviews: the next request is sent now when it goes
        // on without a pause. A mall feed that answers the previous page again has ended; a
        // feed that keeps answering pages without records would be paged for ever.
        const bool repeatsPage = product.isMall && anyRecord && !previousFirstRecord.empty()
            && previousFirstRecord == record.text;
        const bool lastPage = repeatsPage || (!anyRecord && emptyPages + 1 >= kMaxEmptyFeedPages)
            || (request.maxPages >= 1 && pageNo >= request.maxPages);
        if (!lastPage && pauseMs == 0 && !request.previewOnly && !context.stopRequested)
            client.startText(feedAddress(pageNo + 1), web::CharsetDetect, 0, product.proxy);
        if (repeatsPage)
            break;
        if (product.isMall && anyRecord)
            previousFirstRecord.assign(record.text);

        for (bool more = anyRecord; more; more = reader.next(record)) {
            if (product.isMall && record.content == emptyReview)
                continue;
            GbkText content = request.filterOn
                ? compose::applyUserReplacements(record.content, request.filterOn, request.regexMode, request.matchList,
                                                 request.replaceList, context.patternRegex)
                : std::move(record.content);
            if (request.minChars > 0 && compose::charCount(content, 1) < request.minChars)
                continue;

            if (titlePhrase.empty()) {
                bool shuffle = request.titleShuffle;
                if (!shuffle && product.isMall && !existingTitlePath.empty()) {
                    if (titleFileExists < 0)
                        titleFileExists =
                            fileExists(existingTitlePath) || ArticleCommitter::willName(existingTitlePath) ? 1 : 0;
                    shuffle = titleFileExists == 1;
                }
                if (shuffle) {
                    titlePhrase = compose::pickFragment(context.whitespaceRegex.replace(content, GbkText()),
                                                        fullWidthComma, 0, GbkText(), false);
                    product.title = compose::shuffleFragments(product.title, " ") + " " + titlePhrase;
                    if (titlePhrase.empty() && product.isMall) {
                        // An empty phrase leaves the shuffle on: the next review looks for the new title.
                        existingTitlePath = titlePath(product.title);
                        titleFileExists = -1;
                    }
                }
            }

            if (anyAttribute)
                attributes.setRecord(record.text);
            // A value is moved into the last column that takes it, copied into earlier ones.
            for (size_t i = 0; i < columns.size(); ++i) {
                std::vector<GbkText>& values = columns[i].values;
                const bool move = mayMove && plan[i].lastOfKind;
                switch (plan[i].kind) {
                case ColumnKind::Content:
                    values.push_back(move ? std::move(content) : content);
                    break;
                case ColumnKind::Nick:
                    values.push_back(move ? std::move(record.nick) : record.nick);
                    break;
                case ColumnKind::Date:
                    values.push_back(move ? std::move(record.date) : record.date);
                    break;
                case ColumnKind::Title:
                    values.push_back(product.title);
                    break;
                case ColumnKind::OriginalTitle:
                    values.push_back(product.originalTitle);
                    break;
                case ColumnKind::Attribute:
                    values.push_back(attributes.value(*plan[i].field, emptyAsNone));
                    break;
                }
            }

            ++context.report.reviewsKept;
            if (context.onReview)
                context.onReview(product, ReviewFields{content, record.nick, record.date,
                                                       recordAttributes(GbkText(record.text))});

            if (request.previewOnly && ++previewTaken >= 10)
                break;
            if (context.stopRequested)
                break;
        }

        if (lastPage)
            break;
        emptyPages = anyRecord ? 0 : emptyPages + 1;
        if (context.stopRequested)
            break;
        if (request.previewOnly && previewTaken >= 10)
            break;

        // A stop ends the pause at once: a long pause must not keep the user waiting.
        compose::pauseMs(pauseMs, context.stopRequested);
        if (context.stopRequested)
            break;
    }
}

} // namespace quillet::harvest
