#include "MarketPages.h"

#include <algorithm>
#include <cstdio>

namespace quillet::testmarket::pages {

namespace {

// Every line break of a served review text in the feed's own form (CR and LF bytes never
// occur inside a GBK character, so a byte-wise replace is safe).
GbkText withLineBreaks(const GbkText& text, std::string_view breakForm)
{
    GbkText out;
    out.reserve(text.size() + 16);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            out += breakForm;
        } else {
            out += text[i];
        }
    }
    return out;
}

GbkText skuText(const Review& review, std::string_view separator)
{
    GbkText out;
    if (review.skuAsObjects)
        return out;
    for (std::size_t i = 0; i < review.sku.size(); ++i) {
        if (i)
            out += separator;
        out += review.sku[i].name + ":" + review.sku[i].value;
    }
    return out;
}

GbkText skuObjects(const Review& review)
{
    GbkText out = "[";
    if (review.skuAsObjects) {
        for (std::size_t i = 0; i < review.sku.size(); ++i) {
            if (i)
                out += ",";
            out += "{\"desc\":\"" + review.sku[i].value + "\",\"name\":\"" + review.sku[i].name + "\"}";
        }
    }
    return out + "]";
}

std::string rateId(const Product& product, int index)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%05d", index % 100000);
    return product.id + buf;
}

std::string productHostOf(const Product& product, const MarketHosts& hosts)
{
    return product.isMall() ? hosts.mallProductHost : hosts.productHost;
}

std::string priceText(int cents)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%d.%02d", cents / 100, cents % 100);
    return buf;
}

GbkText pageHead(const GbkText& title)
{
    return "<!DOCTYPE html>\r\n<html>\r\n<head>\r\n"
           "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gbk\" />\r\n"
           "<title>" + title + "</title>\r\n";
}

// A few kilobytes of description, as real product pages carry plenty around the markers.
GbkText descriptionBlock(const Product& product)
{
    GbkText out = "<div id=\"description\" class=\"J_DetailSection\">\r\n<ul class=\"attributes-list\">\r\n";
    const char* labels[] = {"品牌", "适用年龄", "材质", "风格", "上市年份季节", "颜色分类", "尺码"};
    for (int round = 0; round < 3; ++round)
        for (const char* label : labels)
            out += "<li title=\"" + product.title + "\">" + gbk(label) + gbk("：") + product.title + "</li>\r\n";
    return out + "</ul>\r\n</div>\r\n";
}

} // namespace

GbkText mallRedirectElement(const MarketHosts& hosts)
{
    const std::string a = "http://" + hosts.mallProductHost + "/item.htm";
    return "<script>(function(){if('" + a + "'){window.location.href='" + a + "'+window.location.search;}})()</script>";
}

GbkText mallRedirectPage(const MarketHosts& hosts)
{
    return mallRedirectElement(hosts);
}

GbkText productPage(const Product& product, const MarketHosts& hosts)
{
    GbkText title = product.title;
    if (product.isMall())
        title += "-" + hosts.mallDomain + gbk("天猫");
    else
        title += gbk("-淘宝网");
    GbkText page = pageHead(title);
    page += "<meta name=\"keywords\" content=\"" + product.title + "\" />\r\n";
    page += "<script>\r\nvar g_config = {\r\n  appId: " + std::string(product.isMall() ? "2" : "1") +
            ",\r\n  itemId: '" + product.id + "',\r\n  shopId: '" + product.sellerId.substr(0, 6) + "',\r\n";
    switch (product.sellerForm) {
    case SellerForm::Quoted:
        page += "  seller: { userid: '" + product.sellerId + "', mode: 0 },\r\n";
        break;
    case SellerForm::EmptyQuoted:
        page += "  seller: { userid: '', mode: 0 },\r\n";
        break;
    case SellerForm::Semicolon:
        break;
    }
    page += "  descUrl: '//" + productHostOf(product, hosts) + "/desc.htm?id=" + product.id + "'\r\n};\r\n</script>\r\n";
    if (product.sellerForm != SellerForm::Quoted)
        page += "<script>var shopInfo = \"userid=" + product.sellerId + ";shopid=" + product.sellerId.substr(0, 6) +
                ";\";</script>\r\n";
    page += "</head>\r\n<body>\r\n<div class=\"tb-detail-hd\"><h1 data-spm=\"1000983\">" + product.title + "</h1></div>\r\n";
    page += "<div class=\"tb-price\"><em class=\"tb-rmb\">" + gbk("￥") + "</em><strong>" +
            priceText(product.priceCents) + "</strong></div>\r\n";
    page += "<div class=\"tb-shop\"><a href=\"//" + product.shopHost + "/\">" + gbk("进入店铺") + "</a></div>\r\n";
    page += descriptionBlock(product);
    page += "</body>\r\n</html>\r\n";
    return page;
}

GbkText notFoundPage()
{
    return pageHead(gbk("淘宝网 - 宝贝不存在")) + "</head>\r\n<body>\r\n<div class=\"error-notice\">" +
           gbk("很抱歉，您查看的宝贝不存在，可能已下架或者被转移。") + "</div>\r\n</body>\r\n</html>\r\n";
}

GbkText mallRecord(const Product& product, const Review& review, int index)
{
    GbkText r = "{\"aliMallSeller\":false,\"anony\":true,\"appendComment\":null,\"attributes\":\"\",\"aucNumId\":\"" +
                product.id + "\",\"auctionPicUrl\":\"\",\"auctionSku\":\"" + skuText(review, ";") +
                "\",\"buyCount\":0,\"cmsSource\":\"" + gbk("天猫") +
                "\",\"displayRatePic\":\"\",\"displayRateSum\":0,\"displayUserLink\":\"\",\"displayUserNick\":\"" +
                review.nick + "\",\"displayUserNumId\":\"\",\"dsr\":0.0,\"fromMall\":true,\"fromMemory\":0,\"id\":" +
                rateId(product, index) + ",\"pics\":\"\",\"position\":\"\",\"rateContent\":\"" +
                withLineBreaks(review.servedText(), "\\\\r\\\\n") + "\",\"rateDate\":\"" + review.date +
                "\",\"reply\":\"\",\"sellerId\":" + product.sellerId +
                ",\"serviceRateContent\":\"\",\"skuProps\":" + skuObjects(review) +
                ",\"structuredRateList\":[],\"tamllSweetLevel\":0,\"tmallSweetPic\":\"\",\"tradeEndTime\":\"\","
                "\"tradeId\":\"\",\"useful\":true,\"userIdEncryption\":\"\",\"userInfo\":\"\",\"userVipLevel\":0,"
                "\"userVipPic\":\"\"}";
    return r;
}

GbkText marketRecord(const Product& product, const Review& review, int index)
{
    GbkText r = "{\"append\":null,\"auction\":{\"aucNumId\":\"" + product.id +
                "\",\"auctionPic\":\"//img.alicdn.com/bao/uploaded/i1/T1.jpg_40x40.jpg\",\"link\":\"//item.taobao.com/"
                "item.htm?id=" + product.id + "\",\"sku\":\"" + skuText(review, "&nbsp;&nbsp;") +
                "\",\"thumbnail\":\"\",\"title\":\"\"},\"award\":\"\",\"bidPriceMoney\":{\"amount\":" +
                priceText(product.priceCents) + ",\"cent\":" + std::to_string(product.priceCents) +
                "},\"buyAmount\":1,\"content\":\"" + withLineBreaks(review.servedText(), "<br/>\\n") +
                "\",\"creditFraudRule\":0,\"date\":\"" + review.date +
                "\",\"dayAfterConfirm\":0,\"enableSNS\":false,\"from\":\"\",\"lastModifyFrom\":0,\"liked\":false,"
                "\"likes\":\"0\",\"mainTag\":\"\",\"photos\":[],\"promotionType\":\"\",\"propertiesAvg\":\"0.0\","
                "\"props\":" + skuObjects(review) + ",\"rate\":\"" + std::to_string(review.rating) +
                "\",\"rateId\":" + rateId(product, index) +
                ",\"raterType\":0,\"reply\":null,\"shareInfo\":{\"lastReplyTime\":\"\",\"pic\":0,\"reply\":0,"
                "\"share\":false},\"showCuIcon\":true,\"showDepositIcon\":\"\",\"spuRatting\":[],\"status\":0,"
                "\"tag\":\"\",\"useful\":0,\"user\":{\"anony\":true,\"avatar\":\"//img.alicdn.com/sns_logo.jpg\","
                "\"displayRatePic\":\"b_red_2.gif\",\"nick\":\"" + review.nick +
                "\",\"nickUrl\":\"\",\"rank\":12,\"rankUrl\":\"\",\"userId\":\"\",\"vip\":\"\",\"vipLevel\":0},"
                "\"validscore\":1,\"vicious\":\"\",\"voteWeb\":0}";
    return r;
}

GbkText mallFeedPage(const Product& product, int page, int perPage)
{
    const int total = static_cast<int>(product.reviews.size());
    if (total == 0)
        return {};
    perPage = std::max(1, perPage);
    const int lastPage = (total + perPage - 1) / perPage;
    page = std::clamp(page, 1, lastPage);
    GbkText out = "\"rateDetail\":{\"rateCount\":{\"picNum\":0,\"shop\":0,\"total\":" + std::to_string(total) +
                  ",\"used\":0},\"rateDanceInfo\":{\"currentMilles\":0,\"intervalMilles\":0,\"showChooseTopic\":false,"
                  "\"storeType\":4},\"rateList\":[";
    const int first = (page - 1) * perPage;
    const int end = std::min(total, first + perPage);
    for (int i = first; i < end; ++i) {
        if (i > first)
            out += ",";
        out += mallRecord(product, product.reviews[static_cast<std::size_t>(i)], i);
    }
    out += "],\"searchinfo\":\"\",\"tags\":\"\",\"paginator\":{\"items\":" + std::to_string(total) +
           ",\"lastPage\":" + std::to_string(lastPage) + ",\"page\":" + std::to_string(page) + "}}";
    return out;
}

GbkText marketFeedPage(const Product* product, std::string_view rateType, int page, int perPage,
                       const std::string& callback)
{
    std::vector<const Review*> reviews;
    if (product)
        reviews = Catalogue::reviewsOfType(*product, rateType);
    const int total = static_cast<int>(reviews.size());
    perPage = std::max(1, perPage);
    const int maxPage = (total + perPage - 1) / perPage;
    page = std::max(1, page);
    GbkText out = callback + "({\"qnaDisabled\":true,\"watershed\":100,\"search\":\"false\",\"total\":" +
                  std::to_string(total) + ",\"maxPage\":" + std::to_string(maxPage) +
                  ",\"currentPageNum\":" + std::to_string(page) + ",\"comments\":";
    if (page > maxPage)
        return out + "null})";
    out += "[";
    const int first = (page - 1) * perPage;
    const int end = std::min(total, first + perPage);
    for (int i = first; i < end; ++i) {
        if (i > first)
            out += ",";
        // The record id follows the review's place in the whole list, whatever the filter.
        const Review* r = reviews[static_cast<std::size_t>(i)];
        out += marketRecord(*product, *r, static_cast<int>(r - product->reviews.data()));
    }
    return out + "]})";
}

GbkText shopListingPage(const Catalogue& catalogue, const Shop& shop, const MarketHosts& hosts, int page,
                        std::string_view orderType)
{
    const std::vector<std::string> ids = catalogue.shopListing(shop, orderType);
    const int total = static_cast<int>(ids.size());
    const int pageSize = std::max(1, shop.pageSize);
    const int pages = (total + pageSize - 1) / pageSize;
    page = std::max(1, page);
    const GbkText storefrontTitle = shop.storefront == Storefront::Mall ? "-" + hosts.mallDomain + gbk("天猫")
                                                                         : gbk("-淘宝网");
    GbkText out = pageHead(gbk("首页") + "-" + shop.host + storefrontTitle);
    out += "</head>\r\n<body>\r\n<div class=\"shop-hesper\">\r\n";
    if (shop.showsItemCount)
        out += "<div class=\"search-result\">" + gbk("共搜索到<span> ") + std::to_string(total) +
               gbk(" </span>个符合条件的商品。") + "</div>\r\n";
    const std::string pageInfo = std::to_string(std::min(page, std::max(pages, 1))) + "/" + std::to_string(pages);
    if (shop.style == ListingStyle::ShopList)
        out += "<div class=\"pagination\"><span class=\"page-info\">" + pageInfo + "</span></div>\r\n";
    else
        out += "<div class=\"filter\"><b class=\"ui-page-s-len\">" + pageInfo + "</b></div>\r\n";

    // The products of this page. From page 2 on, the last product of the page before comes
    // again first, as real listings repeat a product that moved while the user paged.
    const int first = (page - 1) * pageSize;
    const int end = std::min(total, first + pageSize);
    std::vector<int> shown;
    if (page > 1 && first < total && first > 0)
        shown.push_back(first - 1);
    for (int i = first; i < end; ++i)
        shown.push_back(i);

    // The product link takes several forms (the reader must find the ID in each): the id
    // parameter, an itemid parameter, and spaces around the "=" of the href attribute.
    auto linkOf = [&](int i) {
        const std::string& id = ids[static_cast<std::size_t>(i)];
        const Product* p = catalogue.product(id);
        const std::string host = "//" + (p ? productHostOf(*p, hosts) : hosts.productHost);
        return i % 4 == 1 ? host + "/item.htm?spm=a1z10.3-c.w4002.9&itemid=" + id
                          : host + "/item.htm?spm=a1z10.3-c.w4002.9&id=" + id;
    };
    auto hrefOf = [&](int i) {
        return std::string(i % 6 == 5 ? "href = \"" : "href=\"") + linkOf(i) + "\"";
    };
    auto titleOf = [&](int i) {
        const Product* p = catalogue.product(ids[static_cast<std::size_t>(i)]);
        return p ? p->title : GbkText();
    };
    // Not products: an item without a link and an item whose id has only four digits.
    const GbkText soldOut = gbk("已下架");
    const std::string shortId = std::to_string(1000 + page % 9000);
    if (shop.style == ListingStyle::ShopList) {
        out += "<ul class=\"shop-list\">\r\n";
        for (std::size_t k = 0; k < shown.size(); ++k) {
            const int i = shown[k];
            out += "<li class=\"item\"><div class=\"pic\"><a " + hrefOf(i) +
                   " target=\"_blank\"><img src=\"//img.alicdn.com/i1.jpg\" /></a></div>"
                   "<div class=\"desc\"><a class=\"item-name\" href=\"" + linkOf(i) + "\">" + titleOf(i) + "</a></div>";
            // Some items hold a nested list of their variants, linking the same product.
            if (i % 3 == 0)
                out += "\r\n<ul class=\"sku-list\"><li><a href=\"" + linkOf(i) + "&sku=1\">S</a></li></ul>";
            out += "</li>\r\n";
            if (k == 0)
                out += "<li class=\"item\"><div class=\"pic\"><img src=\"//img.alicdn.com/i0.jpg\" /></div>"
                       "<div class=\"desc\">" + soldOut + "</div></li>\r\n"
                       "<li class=\"item\"><a href=\"//" + hosts.productHost + "/item.htm?id=" + shortId +
                       "\">old</a></li>\r\n";
        }
        out += "</ul>\r\n";
    } else {
        out += "<div class=\"shop-hesper-bd grid\">\r\n";
        for (std::size_t k = 0; k < shown.size(); ++k) {
            const int i = shown[k];
            const bool lastInRow = k % 4 == 3 || k + 1 == shown.size();
            out += std::string("<dl class=\"") + (lastInRow ? "item last" : "item") + "\" data-id=\"" +
                   ids[static_cast<std::size_t>(i)] + "\">\r\n<dt class=\"photo\"><a " + hrefOf(i) +
                   " target=\"_blank\"><img src=\"//img.alicdn.com/i1.jpg\" /></a></dt>\r\n"
                   "<dd class=\"detail\"><a class=\"item-name\" href=\"" + linkOf(i) + "\">" + titleOf(i) +
                   "</a></dd>\r\n</dl>\r\n";
            if (k == 0)
                out += "<dl class=\"item\"><dt class=\"photo\"><img src=\"//img.alicdn.com/i0.jpg\" /></dt>"
                       "<dd class=\"detail\">" + soldOut + "</dd></dl>\r\n"
                       "<dl class=\"item\"><dd><a href=\"//" + hosts.productHost + "/item.htm?id=" + shortId +
                       "\">old</a></dd></dl>\r\n";
        }
        out += "</div>\r\n";
    }
    // Recommendations outside the listing block, which a reader of the listing must not take.
    out += "<ul class=\"hot-list\"><li><a href=\"//" + hosts.productHost +
           "/item.htm?id=99999999999\">hot</a></li></ul>\r\n"
           "<dl class=\"item-recommend\"><dt><a href=\"//" + hosts.productHost +
           "/item.htm?id=99999999998\">recommend</a></dt></dl>\r\n";
    out += "</div>\r\n</body>\r\n</html>\r\n";
    return out;
}

GbkText searchPage(const Catalogue& catalogue, const Keyword* keyword, const GbkText& word, std::string_view sort,
                   long long offset, const MarketHosts& hosts)
{
    std::vector<std::string> ids;
    if (keyword)
        ids = catalogue.searchResults(*keyword, sort);
    GbkText out = pageHead(word + gbk("_淘宝搜索"));
    out += "</head>\r\n<body>\r\n<div class=\"m-itemlist\">\r\n<div class=\"items\">\r\n";
    const long long total = static_cast<long long>(ids.size());
    offset = std::max(0LL, offset);
    const long long end = std::min(total, offset + kSearchRowsPerPage);
    for (long long i = offset; i < end; ++i) {
        const std::string& id = ids[static_cast<std::size_t>(i)];
        const Product* p = catalogue.product(id);
        const std::string link = "//" + (p && p->isMall() ? hosts.mallProductHost : hosts.productHost) +
                                 "/item.htm?id=" + id + "&ns=1&abbucket=9";
        // Rows come in several spellings: capital tag and class, spaces around "=", and the
        // class value holding further words around "row item".
        const bool capitals = i % 5 == 4;
        const std::string div = capitals ? "DIV" : "div";
        const std::string rowClass = capitals ? "CLASS=\"Row Item icon-datalink\"" : "class=\"row item icon-datalink\"";
        const std::string eq = i % 7 == 3 ? " = " : "=";
        out += "<" + div + " " + rowClass + " data-category" + eq + "\"auctions\" data-id" + eq + "\"" + id +
               "\" data-index" + eq + "\"" + std::to_string(i - offset) + "\">\r\n"
               "<div class=\"col col-1\"><div class=\"pic\"><a class=\"pic-link\" href" + eq + "\"" + link +
               "#detail\" target=\"_blank\"><img src=\"//g-search1.alicdn.com/img/x.jpg\" /></a></div></div>\r\n"
               "<div class=\"col col-2\"><div class=\"title\"><a href=\"" + link + "\">" + (p ? p->title : GbkText()) +
               "</a></div><div class=\"shop\"><a href=\"//store.taobao.com/shop/view_shop.htm?user_number_id=" +
               (p ? p->sellerId : std::string()) + "\">" + gbk("店铺") + "</a></div></div>\r\n</" + div + ">\r\n";
        // An advertisement row without any product id after the third row.
        if (i - offset == 2)
            out += "<div class=\"row item ad\"><a href=\"//click.simba.taobao.com/cc_im?p=" + std::to_string(i) +
                   "\">" + gbk("广告") + "</a></div>\r\n";
    }
    if (end <= offset)
        out += "<div class=\"empty\">" + gbk("没有找到与“") + word + gbk("”相关的宝贝") + "</div>\r\n";
    out += "</div>\r\n</div>\r\n</body>\r\n</html>\r\n";
    return out;
}

GbkText punishPage()
{
    return pageHead(gbk("亲，访问受限了")) + "</head>\r\n<body>\r\n<div id=\"nocaptcha\" class=\"nc-container\">" +
           gbk("亲，请拖动下方滑块完成验证") + "</div>\r\n</body>\r\n</html>\r\n";
}

std::string refusalJson(const std::string& host)
{
    return "{\"rgv587_flag\":\"sm\",\"url\":\"//sec.taobao.com/query.htm?action=QueryAction&event_submit_do_login=ok"
           "&smApp=detailskip&smPolicy=detailskip-h5-anti_Spider-checklogin&smCharset=GBK&smTag=" + host +
           "&smReturn=&smSign=\"}";
}

std::string feedWaitAnswer(int waitSeconds)
{
    return "jsonp_reviews_list({\"status\":1111,\"wait\":" + std::to_string(waitSeconds) + "})";
}

std::string percentDecode(std::string_view text)
{
    auto hex = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    };
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hex(text[i + 1]) >= 0 && hex(text[i + 2]) >= 0) {
            out += static_cast<char>(hex(text[i + 1]) * 16 + hex(text[i + 2]));
            i += 2;
        } else if (text[i] == '+') {
            out += ' ';
        } else {
            out += text[i];
        }
    }
    return out;
}

} // namespace quillet::testmarket::pages
