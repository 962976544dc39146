#include "harvest/Harvest.h"

#include "compose/TextOps.h"
#include "regex/RegexObject.h"
#include "text/Searcher.h"
#include "web/Endpoints.h"
#include "web/WebClient.h"

#include <utility>

namespace quillet::harvest {

GbkText rateTypeFor(int reviewType)
{
    switch (reviewType) {
    case 1:
        return "1";
    case 2:
        return "0";
    case 3:
        return "-1";
    case 4:
        return "2";
    default:
        return GbkText();
    }
}

GbkText encodeQueryValue(const GbkText& value)
{
    static const char hex[] = "0123456789ABCDEF";
    GbkText out;
    out.reserve(value.size());
    for (unsigned char c : value) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-'
            || c == '.' || c == '_' || c == '~';
        if (plain) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 0x0F];
        }
    }
    return out;
}

namespace {
// True when the line holds "?id=" or "&id=" (any letter case): without them the product-ID
// pattern cannot match, and a huge line (a damaged file) is not copied into the pattern layer.
bool mayHoldIdKey(const GbkText& line)
{
    for (size_t i = line.find_first_of("?&"); i != GbkText::npos && i + 3 < line.size();
         i = line.find_first_of("?&", i + 1)) {
        const bool id = (line[i + 1] == 'i' || line[i + 1] == 'I') && (line[i + 2] == 'd' || line[i + 2] == 'D');
        if (id && line[i + 3] == '=')
            return true;
    }
    return false;
}

// The mall's redirect element, prepared for searching once for the endpoints in force (they
// change only with the configuration, so nearly never within a run).
bool holdsRedirectElement(const GbkText& page, const GbkText& element)
{
    thread_local GbkText preparedFor;
    thread_local text::Searcher searcher;
    if (preparedFor != element) {
        searcher = text::Searcher(element);
        preparedFor = element;
    }
    return searcher.find(page) != text::Searcher::npos;
}
} // namespace

GbkText productIdOf(const GbkText& line, regex::RegexObject& patternRegex)
{
    if (!mayHoldIdKey(line))
        return line;
    patternRegex.compile("[&\\?]id=(\\d{5,})");
    patternRegex.execute(line);
    GbkText id = patternRegex.submatchText(1, 1);
    if (id.empty())
        id = line;
    return id;
}

std::optional<ProductInfo> resolveProduct(const GbkText& line, int reviewType, web::WebClient& client,
                                          HarvestContext& context)
{
    ProductInfo product;
    product.productId = productIdOf(line, context.patternRegex);
    // An entry too long to be sent in an address names no product (a damaged file).
    if (product.productId.empty() || product.productId.size() > web::kMaxAddressBytes)
        return std::nullopt;

    product.proxy = context.currentProxy ? context.currentProxy() : GbkText();

    const web::Endpoints endpoints = web::currentEndpoints();
    const GbkText id = encodeQueryValue(product.productId);
    ProductReport& report = context.report;
    // One product page, asked for again after a refusal or a failure in transit. False when
    // it did not come: the report says why.
    bool firstRequest = true;
    auto fetchProductPage = [&](const GbkText& address) {
        // The previous product's leftover work is done while the first request is answered.
        if (std::exchange(firstRequest, false) && context.whileFirstRequest) {
            client.startText(address, web::CharsetDetect, 0, product.proxy);
            std::exchange(context.whileFirstRequest, nullptr)();
        }
        const web::PageResult page = web::fetchPage(
            client, [&] { return client.fetchOrFinishText(address, web::CharsetDetect, 0, product.proxy); },
            context.retry, [&context] { return context.stopRequested; }, product.pageText);
        switch (page.verdict) {
        case web::PageVerdict::Ok:
            if (!page.outcome.ok()) {
                report.result = ProductResult::NotFound;
                report.reason = page.outcome.describe();
            }
            return page.outcome.ok();
        case web::PageVerdict::Refused:
            report.result = ProductResult::Refused;
            break;
        case web::PageVerdict::Stopped:
            report.stopped = true;
            report.result = ProductResult::NetworkFailed;
            break;
        case web::PageVerdict::Failed:
            report.result = ProductResult::NetworkFailed;
            break;
        }
        report.reason = page.outcome.describe();
        return false;
    };
    if (!fetchProductPage("http://" + endpoints.marketItemHost + "/item.htm?id=" + id))
        return std::nullopt;

    // The marketplace answers a mall product with a small page that sends the browser on to
    // the mall's own product page.
    const GbkText mallAddress = "http://" + endpoints.mallItemHost + "/item.htm";
    const GbkText redirectElement = "<script>(function(){if('" + mallAddress + "'){window.location.href='"
        + mallAddress + "'+window.location.search;}})()</script>";
    if (holdsRedirectElement(product.pageText, redirectElement) && !fetchProductPage(mallAddress + "?id=" + id))
        return std::nullopt;

    GbkText start = "userid: '";
    GbkText end = "'";
    product.sellerId = compose::textBetweenEx(product.pageText, start, end);
    if (product.sellerId.empty()) {
        start = "userid=";
        end = ";";
        product.sellerId = compose::textBetweenEx(product.pageText, start, end);
    }

    start = "<title>";
    static const GbkText& mallSuffix = gbk("天猫");
    static const GbkText& marketTitleEnd = gbk("-淘宝网</title>");
    end = "-" + endpoints.mallDomain + mallSuffix + "</title>";
    product.title = compose::textBetweenEx(product.pageText, start, end);
    if (!product.title.empty()) {
        product.isMall = true;
    } else {
        product.isMall = false;
        start = "<title>";
        end = marketTitleEnd;
        product.title = compose::textBetweenEx(product.pageText, start, end);
    }
    product.originalTitle = product.title;
    product.rateType = rateTypeFor(reviewType);

    if (product.title.empty() || product.sellerId.empty()) {
        report.result = ProductResult::NotFound;
        report.reason = product.title.empty() ? "no title" : "no seller";
        return std::nullopt;
    }
    return product;
}

} // namespace quillet::harvest
