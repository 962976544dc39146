#pragma once

// The data the simulated marketplace serves: products of the marketplace and of the mall,
// their sellers and shops, their reviews, and the keywords of the search. Generated
// deterministically from a seed, or read from a small text file. All texts are GBK.

#include "text/GbkText.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillet::testmarket {

enum class Storefront { Marketplace, Mall };

// How a product page names its seller.
enum class SellerForm {
    Quoted,       // userid: '123'
    Semicolon,    // userid=123;
    EmptyQuoted   // userid: '' first, then userid=123;
};

// One attribute of the bought item, e.g. 颜色分类 / 黑色.
struct SkuAttribute {
    GbkText name;
    GbkText value;
};

struct Review {
    // The review text as a reader gets it back: line breaks as CR LF, character references
    // decoded. A review left blank on the mall reads "此用户没有填写评论!".
    GbkText text;
    // The text as the feeds carry it (character references in place, line breaks still CR LF).
    // Empty: derived from `text` by escaping & < > " and backslash.
    GbkText markup;
    GbkText nick;
    GbkText date;                 // in the storefront's own date form
    std::vector<SkuAttribute> sku;
    bool skuAsObjects = false;    // {"desc":"黑色","name":"颜色分类"} instead of 颜色分类:黑色
    int rating = 1;               // 1 good, 0 neutral, -1 bad
    bool followUp = false;        // carries a follow-up review (review type 2)

    // The served form of the text (markup, or text escaped).
    [[nodiscard]] GbkText servedText() const;
    // The value of the attribute named `name` or `name` + 分类; "" when absent.
    [[nodiscard]] GbkText skuValue(const GbkText& name) const;
    // True for the mall's placeholder of a review without text.
    [[nodiscard]] bool isBlankPlaceholder() const;
};

struct Product {
    std::string id;               // digits
    Storefront storefront = Storefront::Marketplace;
    std::string sellerId;         // digits
    GbkText title;
    std::string shopHost;         // e.g. shop12345678.taobao.com or store3.tmall.com
    SellerForm sellerForm = SellerForm::Quoted;
    std::vector<Review> reviews;  // in feed order
    // Sort keys of the listings and the search.
    int popularity = 0;
    int sales = 0;
    int priceCents = 0;
    int listedDay = 0;            // higher is newer
    int favourites = 0;
    int credit = 0;

    [[nodiscard]] bool isMall() const { return storefront == Storefront::Mall; }
};

// How a shop renders its listing pages.
enum class ListingStyle {
    ShopList,   // <ul class="shop-list"><li>..., page count in <span class="page-info">
    ItemBlocks  // <dl class="item">/<dl class="item last"> blocks, page count in <b class="ui-page-s-len">
};

struct Shop {
    std::string host;
    Storefront storefront = Storefront::Marketplace;
    ListingStyle style = ListingStyle::ShopList;
    int pageSize = 10;
    bool showsItemCount = true;   // the "共搜索到<span> N </span>个符合条件的商品。" line
    std::vector<std::string> productIds; // catalogue order
};

struct Keyword {
    GbkText word;
    std::vector<std::string> productIds; // catalogue order
};

struct CatalogueOptions {
    std::uint64_t seed = 1;
    int products = 40;            // half marketplace, half mall (alternating)
    int pagesPerFeed = 3;         // feed pages of the fullest products
    int reviewsPerPage = 20;      // records per feed page
    int shops = 4;                // split evenly between the storefronts (at least one each)
    int listingPageSize = 10;     // products per shop listing page
};

class Catalogue {
public:
    Catalogue() = default;

    [[nodiscard]] static Catalogue generate(const CatalogueOptions& options = {});
    // The text form of `toText`: UTF-8, one record per line, fields separated by tabs.
    //   product <id> <market|mall> <sellerId> <shopHost> <title>  [sellerForm quoted|semicolon|empty]
    //   review <rating> <followUp 0|1> <nick> <date> <sku> <text>   (belongs to the last product)
    //   keyword <word> <id,id,...>
    //   option reviewsPerPage|listingPageSize <n>
    // sku: "颜色分类=黑色;尺码=XL", prefixed with "{}" for the object form; text: "\n" for a line break.
    // Lines starting with # and empty lines are skipped. Invalid input gives nullopt.
    [[nodiscard]] static std::optional<Catalogue> fromText(std::string_view utf8);
    [[nodiscard]] static std::optional<Catalogue> loadFile(const std::string& path);
    [[nodiscard]] std::string toText() const;

    [[nodiscard]] const std::vector<Product>& products() const { return m_products; }
    [[nodiscard]] const Product* product(std::string_view id) const;
    [[nodiscard]] std::vector<std::string> productIds(Storefront storefront) const;

    [[nodiscard]] const std::vector<Shop>& shops() const { return m_shops; }
    [[nodiscard]] const Shop* shop(std::string_view host) const;
    // The shop's product IDs in a listing order (defaultSort, coefp_desc, hotsell_desc,
    // newOn_asc, price_asc, hotkeep_desc; anything else is defaultSort).
    [[nodiscard]] std::vector<std::string> shopListing(const Shop& shop, std::string_view orderType) const;

    [[nodiscard]] const std::vector<Keyword>& keywords() const { return m_keywords; }
    [[nodiscard]] const Keyword* keyword(const GbkText& word) const;
    // Search results in a sort order (renqi-desc, sale-desc, credit-desc; anything else is
    // catalogue order).
    [[nodiscard]] std::vector<std::string> searchResults(const Keyword& keyword, std::string_view sort) const;

    // The reviews of a marketplace feed of review type `rateType` ("" all, "1" good, "0"
    // neutral, "-1" bad, "2" with follow-up; any other value gives none).
    [[nodiscard]] static std::vector<const Review*> reviewsOfType(const Product& product, std::string_view rateType);

    [[nodiscard]] int reviewsPerPage() const { return m_reviewsPerPage; }
    [[nodiscard]] int listingPageSize() const { return m_listingPageSize; }

    // Building by hand (tests).
    void addProduct(Product product);   // creates or joins its shop
    void addKeyword(Keyword keyword);
    void setReviewsPerPage(int n);
    void setListingPageSize(int n);

private:
    std::vector<Product> m_products;
    std::vector<Shop> m_shops;
    std::vector<Keyword> m_keywords;
    int m_reviewsPerPage = 20;
    int m_listingPageSize = 10;
};

} // namespace quillet::testmarket
