// The catalogue: deterministic generation, its file form, and the views tests rely on.

#include "testmarket/Catalogue.h"

#include "text/GbkText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace quillet::testmarket {
namespace {

using quillet::gbk;

TEST(CatalogueTest, GenerationIsDeterministicPerSeed)
{
    CatalogueOptions o;
    o.products = 12;
    EXPECT_EQ(Catalogue::generate(o).toText(), Catalogue::generate(o).toText());
    CatalogueOptions other = o;
    other.seed = 2;
    EXPECT_NE(Catalogue::generate(o).toText(), Catalogue::generate(other).toText());
}

TEST(CatalogueTest, GeneratedCatalogueHasWhatTheFeedsAndListingsNeed)
{
    CatalogueOptions o;
    o.products = 20;
    o.pagesPerFeed = 3;
    o.reviewsPerPage = 5;
    const Catalogue c = Catalogue::generate(o);
    ASSERT_EQ(c.products().size(), 20u);
    EXPECT_EQ(c.productIds(Storefront::Mall).size(), 10u);
    EXPECT_EQ(c.productIds(Storefront::Marketplace).size(), 10u);
    std::set<std::string> ids;
    std::size_t longest = 0;
    bool multiLine = false;
    for (const Product& p : c.products()) {
        EXPECT_TRUE(ids.insert(p.id).second) << "unique product IDs";
        EXPECT_GE(p.id.size(), 5u);
        EXPECT_FALSE(p.reviews.empty());
        longest = std::max(longest, p.reviews.size());
        const Shop* shop = c.shop(p.shopHost);
        ASSERT_NE(shop, nullptr);
        EXPECT_EQ(shop->storefront, p.storefront);
        for (const Review& r : p.reviews) {
            multiLine = multiLine || r.text.find("\r\n") != std::string::npos;
            EXPECT_EQ(r.isBlankPlaceholder(), r.text == gbk("此用户没有填写评论!"));
        }
    }
    EXPECT_EQ(longest, 15u) << "the fullest products fill every feed page";
    EXPECT_TRUE(multiLine);
    // Every product of a storefront is listed by exactly one shop of that storefront.
    std::size_t listed = 0;
    for (const Shop& s : c.shops())
        listed += s.productIds.size();
    EXPECT_EQ(listed, c.products().size());
    const Keyword* all = c.keyword(gbk("新款"));
    ASSERT_NE(all, nullptr);
    EXPECT_EQ(all->productIds.size(), c.products().size());
}

TEST(CatalogueTest, SortOrdersArePermutationsOfTheShopsProducts)
{
    const Catalogue c = Catalogue::generate();
    const Shop& shop = c.shops().front();
    std::vector<std::string> base = c.shopListing(shop, "defaultSort");
    EXPECT_EQ(base, shop.productIds);
    std::sort(base.begin(), base.end());
    for (const char* order : {"coefp_desc", "hotsell_desc", "newOn_asc", "price_asc", "hotkeep_desc", "bogus"}) {
        std::vector<std::string> ids = c.shopListing(shop, order);
        std::sort(ids.begin(), ids.end());
        EXPECT_EQ(ids, base) << order;
    }
    const std::vector<std::string> cheap = c.shopListing(shop, "price_asc");
    for (std::size_t i = 1; i < cheap.size(); ++i)
        EXPECT_LE(c.product(cheap[i - 1])->priceCents, c.product(cheap[i])->priceCents);
}

TEST(CatalogueTest, ReviewTypesSplitTheReviews)
{
    const Catalogue c = Catalogue::generate();
    const Product& p = c.products().front();
    const std::size_t good = Catalogue::reviewsOfType(p, "1").size();
    const std::size_t neutral = Catalogue::reviewsOfType(p, "0").size();
    const std::size_t bad = Catalogue::reviewsOfType(p, "-1").size();
    EXPECT_GT(good, 0u);
    EXPECT_GT(neutral, 0u);
    EXPECT_GT(bad, 0u);
    EXPECT_EQ(good + neutral + bad, p.reviews.size());
    EXPECT_EQ(Catalogue::reviewsOfType(p, "").size(), p.reviews.size());
    EXPECT_GT(Catalogue::reviewsOfType(p, "2").size(), 0u);
    EXPECT_TRUE(Catalogue::reviewsOfType(p, "x").empty());
}

TEST(CatalogueTest, TextFormRoundTripsAndHandWrittenFilesLoad)
{
    CatalogueOptions o;
    o.products = 8;
    const Catalogue generated = Catalogue::generate(o);
    const std::optional<Catalogue> back = Catalogue::fromText(generated.toText());
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->toText(), generated.toText());

    const std::string file = "# two products\n"
                             "option\treviewsPerPage\t2\n"
                             "product\t123456\tmall\t99\tbrand.tmall.com\t好看的裙子\n"
                             "review\t1\t0\t小***猫\t2015-01-02 03:04:05\t{}颜色=黑色\t第一行\\n第二行 \"引号\"\n"
                             "review\t-1\t1\tj***8\t2015-01-03 00:00:00\t\t此用户没有填写评论!\n"
                             "product\t654321\tmarket\t77\tshop77.taobao.com\tT恤\tempty\n"
                             "keyword\t裙子\t123456,654321\n";
    const std::optional<Catalogue> c = Catalogue::fromText(file);
    ASSERT_TRUE(c.has_value());
    ASSERT_EQ(c->products().size(), 2u);
    const Product& mall = *c->product("123456");
    EXPECT_TRUE(mall.isMall());
    EXPECT_EQ(mall.sellerForm, SellerForm::Semicolon);
    ASSERT_EQ(mall.reviews.size(), 2u);
    EXPECT_EQ(mall.reviews[0].text, gbk("第一行\r\n第二行 \"引号\""));
    EXPECT_EQ(mall.reviews[0].servedText(), gbk("第一行\r\n第二行 &quot;引号&quot;"));
    EXPECT_TRUE(mall.reviews[0].skuAsObjects);
    EXPECT_EQ(mall.reviews[0].skuValue(gbk("颜色")), gbk("黑色"));
    EXPECT_TRUE(mall.reviews[1].isBlankPlaceholder());
    EXPECT_TRUE(mall.reviews[1].followUp);
    EXPECT_EQ(c->product("654321")->sellerForm, SellerForm::EmptyQuoted);
    EXPECT_EQ(c->reviewsPerPage(), 2);
    EXPECT_EQ(c->shops().size(), 2u);
    ASSERT_NE(c->keyword(gbk("裙子")), nullptr);
    EXPECT_EQ(c->keyword(gbk("裙子"))->productIds.size(), 2u);

    for (const char* bad : {"review\t1\t0\tn\td\t\ttext\n",              // review before any product
                            "product\tabc\tmall\t1\th\tt\n",              // ID not digits
                            "product\t123\tshop\t1\th\tt\n",              // unknown storefront
                            "product\t1\tmall\t1\th\tt\nproduct\t1\tmall\t1\th\tt\n", // repeated ID
                            "option\treviewsPerPage\t0\n", "keyword\tk\t1,x\n", "nonsense\n"})
        EXPECT_FALSE(Catalogue::fromText(bad).has_value()) << bad;
    EXPECT_FALSE(Catalogue::loadFile("/nonexistent/catalogue.txt").has_value());
}

TEST(CatalogueTest, ServedTextEscapesWhatAFeedCannotCarry)
{
    Review r;
    r.text = "a&b<c>\"d\"\\e";
    EXPECT_EQ(r.servedText(), "a&amp;b&lt;c&gt;&quot;d&quot;&#92;e");
    // A GBK trail byte that looks like a backslash (5C) stays part of its character.
    r.text = std::string("\xB0\x5C");
    EXPECT_EQ(r.servedText(), r.text);
}

} // namespace
} // namespace quillet::testmarket
