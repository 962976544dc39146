// Shop listings and keyword search pages, read the way the ID collectors read them.

#include "MarketFixture.h"

#include "idcollect/TagFinder.h"
#include "regex/RegexObject.h"
#include "text/GbkText.h"

#include <gtest/gtest.h>

#include <set>

namespace quillet::testmarket::testing {
namespace {

using quillet::gbk;

// The ID of an item: the first id=NNNNN (five digits or more) in its first link.
std::string idOfItem(const std::string& item)
{
    RegexObject pattern;
    pattern.compile("id=(\\d{5,})");
    const std::string href = between(item, "href=\"", "\"");
    return pattern.execute(href) > 0 ? pattern.submatchText(1, 1) : std::string();
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
    idcollect::TagFinder finder;
    const std::string block = finder.findElement(page, "ul", {"class"}, {"shop-list"});
    const int n = block.empty() ? finder.findAll(page, "dl", {"class", "class"}, {"item", "item last"})
                                : finder.findAll(block, "li", {}, {});
    for (int i = 1; i <= n; ++i)
        if (const std::string id = idOfItem(finder.foundElement(i)); !id.empty())
            l.ids.push_back(id);
    return l;
}

// Keeps the last occurrence of every ID, as the collectors' clean-up does.
std::vector<std::string> lastOccurrences(const std::vector<std::string>& ids)
{
    std::vector<std::string> out;
    std::set<std::string> seen;
    for (auto it = ids.rbegin(); it != ids.rend(); ++it)
        if (seen.insert(*it).second)
            out.insert(out.begin(), *it);
    return out;
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
                ids.insert(ids.end(), l.ids.begin(), l.ids.end());
            }
            EXPECT_EQ(pages, static_cast<int>((shop.productIds.size() + shop.pageSize - 1) / shop.pageSize));
            EXPECT_GT(ids.size(), shop.productIds.size()) << "items repeat across pages and in nested lists";
            EXPECT_EQ(lastOccurrences(ids), m_catalogue->shopListing(shop, order)) << shop.host << " " << order;
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
            idcollect::TagFinder finder;
            RegexObject pattern;
            pattern.compile("(&|\\?)id=(\\d+)");
            std::size_t rows = 0;
            for (int j = 1; j <= finder.findAll(r.body, "div", {"class"}, {"row item"}, true); ++j) {
                if (pattern.execute(finder.foundElement(j)) == 0)
                    continue;
                ids.push_back(pattern.submatchText(1, 2));
                ++rows;
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
