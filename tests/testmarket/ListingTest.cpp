// Shop listings and keyword search pages, read the way the ID collectors read them.

#include "MarketFixture.h"

#include "text/GbkText.h"

#include <gtest/gtest.h>

#include <set>

namespace quillet::testmarket::testing {
namespace {

using quillet::gbk;

std::string digitsAfter(const std::string& text, std::size_t at)
{
    std::string d;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9')
        d += text[at++];
    return d;
}

// The first id=NNNNN (five digits or more) in the first href of an item.
std::string idOfItem(const std::string& item)
{
    const std::string href = between(item, "href=\"", "\"");
    const std::size_t at = href.find("id=");
    const std::string id = at == std::string::npos ? std::string() : digitsAfter(href, at + 3);
    return id.size() >= 5 ? id : std::string();
}

struct Listing {
    int pages = 0;
    int items = -1; // -1: no count line
    std::vector<std::string> ids;
};

Listing readListing(const std::string& page)
{
    Listing l;
    const std::string count = between(page, gbk("共搜索到<span> "), gbk(" </span>个符合条件的商品。"));
    if (!count.empty())
        l.items = std::stoi(count);
    std::string info = between(page, "<span class=\"page-info\">", "</span>");
    if (info.empty())
        info = between(page, "<b class=\"ui-page-s-len\">", "</b>");
    const std::size_t slash = info.find('/');
    if (slash != std::string::npos)
        l.pages = std::stoi(info.substr(slash + 1));
    const std::string block = between(page, "<ul class=\"shop-list\">", "</ul>");
    if (!block.empty()) {
        std::size_t pos = 0;
        std::string item;
        while (!(item = between(block, "<li", "</li>", pos)).empty())
            if (const std::string id = idOfItem(item); !id.empty())
                l.ids.push_back(id);
    } else {
        std::size_t pos = 0;
        while ((pos = page.find("<dl class=\"item", pos)) != std::string::npos) {
            const std::size_t classEnd = page.find('"', pos + 11);
            const std::string cls = page.substr(pos + 11, classEnd - pos - 11);
            const std::size_t end = page.find("</dl>", pos);
            if (cls == "item" || cls == "item last")
                if (const std::string id = idOfItem(page.substr(pos, end - pos)); !id.empty())
                    l.ids.push_back(id);
            pos = end;
        }
    }
    return l;
}

using ListingTest = MarketFixture;

TEST_F(ListingTest, EveryShopListingYieldsTheShopsProductsInEachSortOrder)
{
    const char* orders[] = {"defaultSort", "coefp_desc", "hotsell_desc", "newOn_asc", "price_asc", "hotkeep_desc"};
    std::set<ListingStyle> styles;
    bool missingCount = false;
    for (const Shop& shop : m_catalogue->shops()) {
        styles.insert(shop.style);
        std::set<std::vector<std::string>> distinctOrders;
        for (const char* order : orders) {
            std::vector<std::string> ids;
            int pages = 1;
            for (int page = 1; page <= pages; ++page) {
                const FetchResult r = get("http://" + shop.host + "/search.htm?pageNo=" + std::to_string(page) +
                                          "&orderType=" + order);
                ASSERT_EQ(r.status, 200) << shop.host;
                const Listing l = readListing(r.body);
                pages = l.pages;
                if (l.items < 0)
                    missingCount = true;
                else
                    EXPECT_EQ(l.items, static_cast<int>(shop.productIds.size()));
                EXPECT_LE(l.ids.size(), static_cast<std::size_t>(shop.pageSize));
                ids.insert(ids.end(), l.ids.begin(), l.ids.end());
            }
            EXPECT_EQ(pages, static_cast<int>((shop.productIds.size() + shop.pageSize - 1) / shop.pageSize));
            EXPECT_EQ(ids, m_catalogue->shopListing(shop, order)) << shop.host << " " << order;
            distinctOrders.insert(ids);
        }
        EXPECT_GT(distinctOrders.size(), 2u) << "sort orders should differ";
    }
    EXPECT_EQ(styles.size(), 2u);
    EXPECT_TRUE(missingCount) << "one shop shows no item count";
}

TEST_F(ListingTest, ListingLinksPointToTheStorefrontsProductHost)
{
    for (const Shop& shop : m_catalogue->shops()) {
        const FetchResult r = get("http://" + shop.host + "/search.htm?pageNo=1&orderType=defaultSort");
        const std::string expectedHost = shop.storefront == Storefront::Mall ? "//detail.tmall.com/item.htm?"
                                                                             : "//item.taobao.com/item.htm?";
        EXPECT_NE(r.body.find(expectedHost), std::string::npos) << shop.host;
    }
    EXPECT_EQ(get("http://unknown.taobao.com/search.htm?pageNo=1").status, 404);
}

TEST_F(ListingTest, SearchPagesYieldTheKeywordsProductsFortyRowsAPage)
{
    const Keyword* all = m_catalogue->keyword(gbk("新款"));
    ASSERT_NE(all, nullptr);
    ASSERT_GT(all->productIds.size(), 40u);
    for (const char* sort : {"renqi-desc", "sale-desc", "credit-desc"}) {
        std::vector<std::string> ids;
        for (int page = 0; page < 5; ++page) {
            const FetchResult r = get("http://s.taobao.com/search?&style=list&q=" + percentEncode(all->word) +
                                      "&ex_q=@&sort=" + sort + "&bcoffset=1&newpre=null&s=" + std::to_string(page * 40));
            ASSERT_EQ(r.status, 200);
            std::size_t pos = 0;
            std::string row;
            std::size_t rows = 0;
            while ((pos = r.body.find("<div class=\"row item", pos)) != std::string::npos) {
                const std::size_t next = r.body.find("<div class=\"row item", pos + 1);
                row = r.body.substr(pos, next == std::string::npos ? std::string::npos : next - pos);
                std::size_t at = row.find("?id=");
                const std::size_t amp = row.find("&id=");
                at = std::min(at, amp);
                ASSERT_NE(at, std::string::npos);
                ids.push_back(digitsAfter(row, at + 4));
                ++rows;
                pos += 1;
            }
            EXPECT_LE(rows, 40u);
            if (page == 0) {
                EXPECT_EQ(rows, 40u);
            }
        }
        EXPECT_EQ(ids, m_catalogue->searchResults(*all, sort)) << sort;
    }
}

TEST_F(ListingTest, UnknownKeywordsFindNothing)
{
    const FetchResult r = get("http://s.taobao.com/search?&style=list&q=" + percentEncode(gbk("不存在的词")) +
                              "&ex_q=@&sort=renqi-desc&bcoffset=1&newpre=null&s=0");
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.body.find("row item"), std::string::npos);
    EXPECT_NE(r.body.find(gbk("不存在的词")), std::string::npos);
}

} // namespace
} // namespace quillet::testmarket::testing
