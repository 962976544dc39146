#pragma once

#include "compose/Article.h"
#include "text/GbkText.h"
#include "web/PageRetry.h"

#include <functional>
#include <string>
#include <utility>
#include <optional>
#include <vector>

namespace quillet::regex {
class RegexObject;
}
namespace quillet::ui {
class Window;
}
namespace quillet::web {
class WebClient;
}

namespace quillet::harvest {

// What the batch run hands to the harvest of one product, read from the main window's
// controls as they are when the product starts.
struct HarvestRequest {
    GbkText line;            // the line of the product-ID file
    int reviewType = 0;      // 组合框类型: 0 全部, 1 好评, 2 中评, 3 差评, 4 追评
    GbkText templateText;    // 编辑框组合
    bool filterOn = false;   // 选择框过滤
    bool regexMode = false;  // 选择框正则
    GbkText matchList;       // 编辑框匹配式
    GbkText replaceList;     // 编辑框替换式
    long long minChars = 0;  // 编辑框字数
    long long maxPages = 0;  // 编辑框页数; below 1: no limit
    bool previewOnly = false;   // 选择框仅信息框
    long long articlesSoFar = 0;
    bool contentShuffle = false; // 选择框内容打乱
    bool titleShuffle = false;   // 选择框标题打乱
    GbkText outputPattern;   // output folder, separator, "*.", extension
};

// One product as its page describes it.
struct ProductInfo {
    GbkText productId;
    GbkText proxy;           // empty: direct connection
    GbkText pageText;
    GbkText sellerId;
    bool isMall = false;
    GbkText title;           // may be changed by the title shuffle
    GbkText originalTitle;
    GbkText rateType;
};

// What became of one product of a run.
enum class ProductResult {
    Article,       // it gave an article (written, or shown by the preview)
    Refused,       // the marketplace refused its pages after every retry; the run stops there
    NotFound,      // no such product, or a page without title or seller
    NetworkFailed, // its pages were lost in transit after every retry, or could not be reached
    NoReviews,     // no review passed the filters
    WriteFailed,   // its article could not be written
};

// A stable short name for logs ("article", "refused", "not-found", ...).
[[nodiscard]] std::string productResultName(ProductResult result);

// What the harvest of one product did, for the run's summary, log and failed-products file.
struct ProductReport {
    GbkText productId;
    ProductResult result = ProductResult::NoReviews;
    long long pagesFetched = 0; // review-feed pages that came
    long long reviewsKept = 0;
    long long refusedPage = 0;  // the feed page refused; 0: the product page
    bool stopped = false;       // a stop was asked for while the product was harvested
    std::string reason;         // the last failed fetch, in a few words ("HTTP 404", "refused: punish-page")
    long long line = 0;         // set by the batch run: the line of the product-ID file
    double seconds = 0;         // set by the batch run: how long the product took
};

// One review as the article gets it, with every attribute its record names.
struct ReviewFields {
    GbkText content; // cleaned and filtered
    GbkText nick;
    GbkText date;
    std::vector<std::pair<GbkText, GbkText>> attributes; // name, value, in record order
};

// The process-wide pieces the harvest works with.
struct HarvestContext {
    regex::RegexObject& patternRegex;
    regex::RegexObject& whitespaceRegex;
    bool& stopRequested;
    // The main window: the run button's caption shows the progress; the per-page pause
    // (编辑框每页延时秒) and the empty-value rule (选择框空无) are read from it.
    ui::Window& mainWindow;
    // The proxy text while the proxy window is open; empty (direct) otherwise.
    std::function<GbkText()> currentProxy;
    // How refused and failed pages are asked for again.
    web::RetryPolicy retry = {};
    // Filled by harvestProduct for the product it harvested.
    ProductReport report = {};
    // When set, every review taken is handed over as well (the raw-review export).
    std::function<void(const ProductInfo&, const ReviewFields&)> onReview = {};
    // When set, the batch run hands over the report of every product when it is done (the run log).
    std::function<void(const ProductReport&)> onProductDone = {};
    // Work left by the previous product (assembling and staging its article), done once
    // while this product's first request is on its way, so that the marketplace answers
    // meanwhile. The batch run does it itself wherever no request went out.
    std::function<void()> whileFirstRequest = {};
};

// A feed that answers this many pages in a row without a record has ended, page limit or not.
inline constexpr int kMaxEmptyFeedPages = 5;

// The review-type code the feeds understand for a 组合框类型 index; empty for "all" and for
// indexes without a code.
[[nodiscard]] GbkText rateTypeFor(int reviewType);

// The product ID of a product-ID file entry: the digits after "?id=" or "&id=" (at least
// five), otherwise the whole entry.
[[nodiscard]] GbkText productIdOf(const GbkText& line, regex::RegexObject& patternRegex);

// Downloads and reads the product page; nothing when the line names no product or the page
// lacks a title with a storefront suffix or a seller ID.
[[nodiscard]] std::optional<ProductInfo> resolveProduct(const GbkText& line, int reviewType, web::WebClient& client,
                                                        HarvestContext& context);

// Pages through the product's review feed and fills the columns; may change product.title.
void harvestReviews(ProductInfo& product, const HarvestRequest& request, std::vector<compose::FieldColumn>& columns,
                    web::WebClient& client, HarvestContext& context);

// The attribute of a review record for a template field that is none of the built-in ones
// (颜色, 尺码, ...). Empty values become "无" when emptyAsNone, else a single blank.
[[nodiscard]] GbkText skuValue(const GbkText& record, const GbkText& fieldName, bool emptyAsNone);

// Every attribute a review record names ("颜色分类:黑色;尺码:XL" and {"desc":..,"name":..}
// forms), each name once, in record order.
[[nodiscard]] std::vector<std::pair<GbkText, GbkText>> recordAttributes(const GbkText& record);

// One product from line to reviews: resolve, prepare the template into `prepared`, harvest
// the reviews into its columns. False when there is nothing to assemble (no product, or the
// marketplace refused it). Also hands back the title and product ID.
[[nodiscard]] bool harvestProduct(const HarvestRequest& request, HarvestContext& context, GbkText& title,
                                  GbkText& productId, compose::PreparedTemplate& prepared);

// The article of a harvested product; notes in `report` whether it gave one.
[[nodiscard]] GbkText assembleProductArticle(compose::PreparedTemplate& prepared, bool contentShuffle,
                                             ProductReport& report);

// A query value made safe for a request line: every byte outside letters, digits and
// "-._~" is percent-encoded, so a product-ID line holding blanks, control characters or
// Chinese text cannot break the request.
[[nodiscard]] GbkText encodeQueryValue(const GbkText& value);

} // namespace quillet::harvest
