// Feed-page parsing: one page of either storefront's review feed, any bytes, is served by the
// simulated marketplace on 127.0.0.1 and read by the harvest as a run reads it (one page, the
// user's filter and minimum length, a template with the built-in fields and one attribute).
// Every column gets one value per taken review, every taken review text is long enough, a
// quick preview takes at most 10, and nothing hangs or crashes.

#include "FuzzSupport.h"

#include "compose/Article.h"
#include "compose/TextOps.h"
#include "harvest/Harvest.h"
#include "regex/RegexObject.h"
#include "testmarket/TestMarket.h"
#include "ui/ControlNames.h"
#include "ui/MainWindow.h"
#include "ui/Window.h"
#include "web/Endpoints.h"
#include "web/WebClient.h"

#include <mutex>

using namespace quillet;

namespace {

std::mutex pageLock;
std::string currentPage;

testmarket::Response servePage(const testmarket::RecordedRequest&)
{
    testmarket::Response response;
    response.headers = {{"Content-Type", "text/html; charset=gbk"}};
    const std::lock_guard<std::mutex> lock(pageLock);
    response.body = currentPage;
    return response;
}

testmarket::TestMarket& market()
{
    static testmarket::TestMarket* m = [] {
        auto* made = new testmarket::TestMarket();
        made->setRecordLimit(0);
        made->addRoute("", "/list_detail_rate.htm", servePage);
        made->addRoute("", "/feedRateList.htm", servePage);
        fuzz::check(made->start(), "the simulated marketplace starts");
        web::setConnectTo({"::127.0.0.1:" + std::to_string(made->port())});
        return made;
    }();
    return *m;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    market();
    FuzzedDataProvider in(data, size);
    harvest::ProductInfo product;
    product.productId = "520001000010";
    product.sellerId = "346311528";
    product.isMall = in.ConsumeBool();
    product.title = product.originalTitle = "\xC1\xAC\xD2\xC2\xC8\xB9 A"; // "连衣裙 A"
    harvest::HarvestRequest request;
    request.maxPages = 1;
    request.minChars = in.ConsumeIntegralInRange(0, 4);
    request.previewOnly = in.ConsumeBool();
    request.filterOn = in.ConsumeBool();
    request.regexMode = in.ConsumeBool();
    request.titleShuffle = in.ConsumeBool();
    request.matchList = in.ConsumeRandomLengthString(16);
    request.replaceList = in.ConsumeRandomLengthString(16);
    const GbkText field = in.ConsumeRandomLengthString(8);
    {
        const std::lock_guard<std::mutex> lock(pageLock);
        currentPage = in.ConsumeRemainingBytesAsString();
    }

    static regex::RegexObject patternRegex;
    static regex::RegexObject whitespaceRegex;
    static web::WebClient client;
    bool stop = false;
    ui::Window window = ui::makeMainWindow();
    window.find(ui::mainwin::编辑框每页延时秒)->setText("0");
    harvest::HarvestContext context{patternRegex, whitespaceRegex, stop, window, [] { return GbkText(); }};

    // 评论, 买家, 日期, 标题 and an attribute of the input's choosing.
    compose::PreparedTemplate prepared = compose::prepareTemplate(
        "#\xC6\xC0\xC2\xDB##\xC2\xF2\xBC\xD2##\xC8\xD5\xC6\xDA##\xB1\xEA\xCC\xE2##" + field + "#", patternRegex);
    harvest::harvestReviews(product, request, prepared.columns, client, context);

    const std::size_t taken = prepared.columns.front().values.size();
    for (const compose::FieldColumn& column : prepared.columns)
        fuzz::check(column.values.size() == taken, "every column holds one value per taken review");
    fuzz::check(!request.previewOnly || taken <= 10, "a quick preview takes at most 10 reviews");
    for (const compose::FieldColumn& column : prepared.columns)
        if (column.name == "\xC6\xC0\xC2\xDB") // 评论
            for (const GbkText& review : column.values)
                fuzz::check(compose::charCount(review, 1) >= request.minChars, "a taken review is long enough",
                            fuzz::hex(review));
    return 0;
}
