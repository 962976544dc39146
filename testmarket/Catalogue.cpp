#include "Catalogue.h"

#include "text/Charset.h"
#include "text/GbkChars.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>

namespace quillet::testmarket {

using text::gbkToUtf8;
using text::utf8ToGbk;

namespace {

const GbkText& blankPlaceholder()
{
    return gbk("此用户没有填写评论!");
}

// Escapes the characters a feed cannot carry raw. Walks GBK characters so that a trail byte
// is never taken for an ASCII character.
GbkText escapeForFeed(const GbkText& text)
{
    GbkText out;
    out.reserve(text.size() + 16);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (text::charLength(text, i) == 2) {
            out += text[i];
            out += text[++i];
            continue;
        }
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\\': out += "&#92;"; break;
        default: out += static_cast<char>(c);
        }
    }
    return out;
}

// One phrase of a generated review: what the reader gets and how the feed writes it.
struct Phrase {
    const char* plain;
    const char* markup; // nullptr: the feed writes the plain form
};

constexpr Phrase kPhrases[] = {
    {"质量很好，做工精细", nullptr},
    {"穿着很舒服！", "穿着很舒服&#65281;"},
    {"“物美价廉”，值得购买", "&ldquo;物美价廉&rdquo;，值得购买"},
    {"尺码标准 <推荐>", "尺码标准 &lt;推荐&gt;"},
    {"包装说 \"正品\"", "包装说 &quot;正品&quot;"},
    {"很好 很满意", "很好&nbsp;很满意"},
    {"Tom&Jerry图案很可爱", "Tom&amp;Jerry图案很可爱"},
    {"物流很快，第二天就到了", nullptr},
    {"颜色和图片一样，没有色差", nullptr},
    {"客服态度好，耐心解答问题", nullptr},
    {"面料有点薄，夏天穿正好", nullptr},
    {"已经第三次购买了，一如既往的好", nullptr},
    {"性价比高，推荐大家购买", nullptr},
    {"好看！", nullptr},
    {"还可以吧，一般般", nullptr},
    {"有线头，不太满意", nullptr},
};

constexpr const char* kTitleStyles[] = {"2015夏季新款", "新款韩版", "新款修身", "新款 潮流", "正品新款"};
constexpr const char* kTitleWords[] = {"显瘦", "百搭", "宽松", "简约", "时尚", "加厚", "透气"};
constexpr const char* kCategories[] = {"连衣裙 女装", "T恤 女装", "手机壳", "运动鞋", "保温杯"};
constexpr const char* kKeywords[] = {"新款", "女装", "连衣裙", "T恤", "手机壳", "运动鞋", "保温杯"};
constexpr const char* kColours[] = {"黑色", "白色", "红色", "藏青色", "浅灰"};
constexpr const char* kSizes[] = {"S", "M", "L", "XL", "XXL"};
constexpr const char* kNickHeads[] = {"t", "小", "j", "快乐", "z", "宝贝", "m"};
constexpr const char* kNickTails[] = {"1", "猫", "8", "鱼", "a", "妈", "0"};

template <typename T, std::size_t N>
const T& pick(const T (&items)[N], std::mt19937_64& rng)
{
    return items[rng() % N];
}

Review makeReview(std::mt19937_64& rng, bool mall, int index)
{
    Review r;
    if (mall && index % 9 == 4) {
        r.text = blankPlaceholder();
    } else if (!mall && index % 13 == 6) {
        r.text = blankPlaceholder(); // the marketplace has no such placeholder: a real text
    } else {
        const int parts = 1 + static_cast<int>(rng() % 3);
        const bool multiline = index % 4 == 1;
        std::string plain, markup;
        bool hasMarkup = false;
        for (int p = 0; p < parts; ++p) {
            const Phrase& ph = pick(kPhrases, rng);
            if (p > 0) {
                const char* sep = multiline ? "\r\n" : "，";
                plain += sep;
                markup += sep;
            }
            plain += ph.plain;
            markup += ph.markup ? ph.markup : ph.plain;
            hasMarkup = hasMarkup || ph.markup != nullptr;
        }
        r.text = utf8ToGbk(plain);
        if (hasMarkup)
            r.markup = utf8ToGbk(markup);
    }
    r.nick = utf8ToGbk(std::string(pick(kNickHeads, rng)) + "***" + pick(kNickTails, rng));
    const int month = 1 + static_cast<int>(rng() % 12);
    const int day = 1 + static_cast<int>(rng() % 28);
    const int hour = static_cast<int>(rng() % 24);
    const int minute = static_cast<int>(rng() % 60);
    char date[64];
    if (mall)
        std::snprintf(date, sizeof date, "2015-%02d-%02d %02d:%02d:%02d", month, day, hour, minute,
                      static_cast<int>(rng() % 60));
    else
        std::snprintf(date, sizeof date, "2015年%02d月%02d日 %02d:%02d", month, day, hour, minute);
    r.date = utf8ToGbk(date);
    if (index % 7 != 3) {
        r.sku.push_back({gbk("颜色分类"), utf8ToGbk(pick(kColours, rng))});
        if (index % 5 != 2)
            r.sku.push_back({gbk("尺码"), utf8ToGbk(pick(kSizes, rng))});
    }
    r.skuAsObjects = index % 3 == 2;
    const int grade = index % 10;
    r.rating = grade < 7 ? 1 : (grade < 9 ? 0 : -1);
    r.followUp = index % 6 == 5;
    return r;
}

int reviewCount(int productIndex, const CatalogueOptions& o)
{
    const int perPage = std::max(1, o.reviewsPerPage);
    const int pages = std::max(1, o.pagesPerFeed);
    switch (productIndex % 4) {
    case 0: return pages * perPage;
    case 1: return std::max(1, (pages - 1) * perPage + perPage / 2);
    case 2: return 1;
    default: return perPage;
    }
}

const char* storefrontName(Storefront s)
{
    return s == Storefront::Mall ? "mall" : "market";
}

const char* sellerFormName(SellerForm f)
{
    switch (f) {
    case SellerForm::Semicolon: return "semicolon";
    case SellerForm::EmptyQuoted: return "empty";
    default: return "quoted";
    }
}

std::vector<std::string> splitTabs(std::string_view line)
{
    std::vector<std::string> out;
    std::size_t start = 0;
    while (true) {
        const std::size_t tab = line.find('\t', start);
        out.emplace_back(line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
        if (tab == std::string_view::npos)
            break;
        start = tab + 1;
    }
    return out;
}

bool allDigits(std::string_view s)
{
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool parseInt(std::string_view s, int& out)
{
    if (s.empty() || s.size() > 9)
        return false;
    bool negative = s.front() == '-';
    std::string_view digits = negative ? s.substr(1) : s;
    if (!allDigits(digits))
        return false;
    out = std::stoi(std::string(digits)) * (negative ? -1 : 1);
    return true;
}

// "\n" in a catalogue file stands for a line break, "\\" for a backslash.
std::string unescapeField(std::string_view s)
{
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size()) {
            if (s[i + 1] == 'n') {
                out += "\r\n";
                ++i;
                continue;
            }
            if (s[i + 1] == '\\' || s[i + 1] == 't') {
                out += s[i + 1] == 't' ? '\t' : '\\';
                ++i;
                continue;
            }
        }
        out += s[i];
    }
    return out;
}

std::string escapeField(const std::string& s)
{
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') {
            out += "\\n";
            ++i;
        } else if (s[i] == '\\') {
            out += "\\\\";
        } else if (s[i] == '\t') {
            out += "\\t";
        } else if (s[i] == '\n' || s[i] == '\r') {
            out += "\\n";
        } else {
            out += s[i];
        }
    }
    return out;
}

} // namespace

GbkText Review::servedText() const
{
    return markup.empty() ? escapeForFeed(text) : markup;
}

GbkText Review::skuValue(const GbkText& name) const
{
    for (const SkuAttribute& a : sku)
        if (a.name == name)
            return a.value;
    const GbkText longer = name + gbk("分类");
    for (const SkuAttribute& a : sku)
        if (a.name == longer)
            return a.value;
    return {};
}

bool Review::isBlankPlaceholder() const
{
    return text == blankPlaceholder();
}

Catalogue Catalogue::generate(const CatalogueOptions& options)
{
    Catalogue c;
    c.m_reviewsPerPage = std::max(1, options.reviewsPerPage);
    c.m_listingPageSize = std::max(1, options.listingPageSize);
    std::mt19937_64 rng(options.seed);

    // Shops alternate between the storefronts; each has one seller.
    const int shopCount = std::max(2, options.shops);
    std::vector<std::string> shopHosts, shopSellers;
    for (int k = 0; k < shopCount; ++k) {
        const std::string seller = std::to_string(100000000 + rng() % 900000000);
        shopSellers.push_back(seller);
        shopHosts.push_back(k % 2 == 0 ? "shop" + seller + ".taobao.com" : "store" + std::to_string(k) + ".tmall.com");
    }

    std::uint64_t nextId = 520000000000ULL + (options.seed % 1000) * 1000000ULL;
    int marketIndex = 0, mallIndex = 0;
    for (int i = 0; i < std::max(0, options.products); ++i) {
        Product p;
        nextId += 1 + rng() % 997;
        p.id = std::to_string(nextId);
        const bool mall = i % 2 == 1;
        p.storefront = mall ? Storefront::Mall : Storefront::Marketplace;
        // Shops of the same storefront take the products in turn.
        const int ownIndex = mall ? mallIndex++ : marketIndex++;
        const int shopsOfKind = mall ? shopCount / 2 : (shopCount + 1) / 2;
        const int shop = (ownIndex % shopsOfKind) * 2 + (mall ? 1 : 0);
        p.shopHost = shopHosts[static_cast<std::size_t>(shop)];
        p.sellerId = shopSellers[static_cast<std::size_t>(shop)];
        if (mall)
            p.sellerForm = i % 4 == 1 ? SellerForm::Quoted : SellerForm::Semicolon;
        else
            p.sellerForm = i % 5 == 3 ? SellerForm::Semicolon : (i % 5 == 4 ? SellerForm::EmptyQuoted : SellerForm::Quoted);
        std::string title = std::string(pick(kTitleStyles, rng)) + pick(kTitleWords, rng) + " " +
                            pick(kTitleWords, rng) + kCategories[i % std::size(kCategories)];
        p.title = utf8ToGbk(title);
        p.popularity = static_cast<int>(rng() % 100000);
        p.sales = static_cast<int>(rng() % 50000);
        p.priceCents = 990 + static_cast<int>(rng() % 100000);
        p.listedDay = static_cast<int>(rng() % 2000);
        p.favourites = static_cast<int>(rng() % 20000);
        p.credit = static_cast<int>(rng() % 10000);
        const int count = reviewCount(i, options);
        for (int r = 0; r < count; ++r)
            p.reviews.push_back(makeReview(rng, mall, r));
        c.addProduct(std::move(p));
    }

    for (const char* word : kKeywords) {
        Keyword k;
        k.word = utf8ToGbk(word);
        for (const Product& p : c.m_products)
            if (p.title.find(k.word) != GbkText::npos)
                k.productIds.push_back(p.id);
        c.addKeyword(std::move(k));
    }
    return c;
}

void Catalogue::addProduct(Product product)
{
    Shop* shop = nullptr;
    for (Shop& s : m_shops)
        if (s.host == product.shopHost)
            shop = &s;
    if (!shop && !product.shopHost.empty()) {
        const std::size_t k = m_shops.size();
        Shop s;
        s.host = product.shopHost;
        s.storefront = product.storefront;
        s.style = k % 2 == 0 ? ListingStyle::ShopList : ListingStyle::ItemBlocks;
        s.showsItemCount = k % 4 != 3;
        s.pageSize = m_listingPageSize;
        m_shops.push_back(std::move(s));
        shop = &m_shops.back();
    }
    if (shop)
        shop->productIds.push_back(product.id);
    m_products.push_back(std::move(product));
}

void Catalogue::addKeyword(Keyword keyword)
{
    m_keywords.push_back(std::move(keyword));
}

void Catalogue::setReviewsPerPage(int n)
{
    m_reviewsPerPage = std::max(1, n);
}

void Catalogue::setListingPageSize(int n)
{
    m_listingPageSize = std::max(1, n);
    for (Shop& s : m_shops)
        s.pageSize = m_listingPageSize;
}

const Product* Catalogue::product(std::string_view id) const
{
    for (const Product& p : m_products)
        if (p.id == id)
            return &p;
    return nullptr;
}

std::vector<std::string> Catalogue::productIds(Storefront storefront) const
{
    std::vector<std::string> ids;
    for (const Product& p : m_products)
        if (p.storefront == storefront)
            ids.push_back(p.id);
    return ids;
}

const Shop* Catalogue::shop(std::string_view host) const
{
    for (const Shop& s : m_shops)
        if (s.host == host)
            return &s;
    return nullptr;
}

std::vector<std::string> Catalogue::shopListing(const Shop& shop, std::string_view orderType) const
{
    std::vector<const Product*> items;
    for (const std::string& id : shop.productIds)
        if (const Product* p = product(id))
            items.push_back(p);
    auto by = [&](auto key, bool descending) {
        std::stable_sort(items.begin(), items.end(), [&](const Product* a, const Product* b) {
            return descending ? key(a) > key(b) : key(a) < key(b);
        });
    };
    if (orderType == "coefp_desc")
        by([](const Product* p) { return p->popularity; }, true);
    else if (orderType == "hotsell_desc")
        by([](const Product* p) { return p->sales; }, true);
    else if (orderType == "newOn_asc")
        by([](const Product* p) { return p->listedDay; }, false);
    else if (orderType == "price_asc")
        by([](const Product* p) { return p->priceCents; }, false);
    else if (orderType == "hotkeep_desc")
        by([](const Product* p) { return p->favourites; }, true);
    std::vector<std::string> ids;
    for (const Product* p : items)
        ids.push_back(p->id);
    return ids;
}

const Keyword* Catalogue::keyword(const GbkText& word) const
{
    for (const Keyword& k : m_keywords)
        if (k.word == word)
            return &k;
    return nullptr;
}

std::vector<std::string> Catalogue::searchResults(const Keyword& keyword, std::string_view sort) const
{
    std::vector<const Product*> items;
    for (const std::string& id : keyword.productIds)
        if (const Product* p = product(id))
            items.push_back(p);
    auto desc = [&](auto key) {
        std::stable_sort(items.begin(), items.end(), [&](const Product* a, const Product* b) { return key(a) > key(b); });
    };
    if (sort == "renqi-desc")
        desc([](const Product* p) { return p->popularity; });
    else if (sort == "sale-desc")
        desc([](const Product* p) { return p->sales; });
    else if (sort == "credit-desc")
        desc([](const Product* p) { return p->credit; });
    std::vector<std::string> ids;
    for (const Product* p : items)
        ids.push_back(p->id);
    return ids;
}

std::vector<const Review*> Catalogue::reviewsOfType(const Product& product, std::string_view rateType)
{
    std::vector<const Review*> out;
    for (const Review& r : product.reviews) {
        bool take = false;
        if (rateType.empty())
            take = true;
        else if (rateType == "1")
            take = r.rating == 1;
        else if (rateType == "0")
            take = r.rating == 0;
        else if (rateType == "-1")
            take = r.rating == -1;
        else if (rateType == "2")
            take = r.followUp;
        if (take)
            out.push_back(&r);
    }
    return out;
}

std::string Catalogue::toText() const
{
    std::ostringstream out;
    out << "# simulated marketplace catalogue\n";
    out << "option\treviewsPerPage\t" << m_reviewsPerPage << "\n";
    out << "option\tlistingPageSize\t" << m_listingPageSize << "\n";
    for (const Product& p : m_products) {
        out << "product\t" << p.id << '\t' << storefrontName(p.storefront) << '\t' << p.sellerId << '\t' << p.shopHost
            << '\t' << escapeField(gbkToUtf8(p.title)) << '\t' << sellerFormName(p.sellerForm) << '\t' << p.popularity
            << '\t' << p.sales << '\t' << p.priceCents << '\t' << p.listedDay << '\t' << p.favourites << '\t'
            << p.credit << "\n";
        for (const Review& r : p.reviews) {
            std::string sku = r.skuAsObjects ? "{}" : "";
            for (std::size_t i = 0; i < r.sku.size(); ++i) {
                if (i)
                    sku.push_back(';');
                sku.append(gbkToUtf8(r.sku[i].name));
                sku.push_back('=');
                sku.append(gbkToUtf8(r.sku[i].value));
            }
            out << "review\t" << r.rating << '\t' << (r.followUp ? 1 : 0) << '\t' << escapeField(gbkToUtf8(r.nick))
                << '\t' << escapeField(gbkToUtf8(r.date)) << '\t' << escapeField(sku) << '\t'
                << escapeField(gbkToUtf8(r.text)) << '\t' << escapeField(gbkToUtf8(r.markup)) << "\n";
        }
    }
    for (const Keyword& k : m_keywords) {
        out << "keyword\t" << escapeField(gbkToUtf8(k.word)) << '\t';
        for (std::size_t i = 0; i < k.productIds.size(); ++i)
            out << (i ? "," : "") << k.productIds[i];
        out << "\n";
    }
    return out.str();
}

std::optional<Catalogue> Catalogue::fromText(std::string_view utf8)
{
    Catalogue c;
    std::vector<Keyword> keywords;
    std::size_t start = 0;
    while (start < utf8.size()) {
        std::size_t end = utf8.find('\n', start);
        if (end == std::string_view::npos)
            end = utf8.size();
        std::string_view line = utf8.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty() || line.front() == '#')
            continue;
        const std::vector<std::string> f = splitTabs(line);
        if (f[0] == "option" && f.size() >= 3) {
            int n = 0;
            if (!parseInt(f[2], n) || n < 1)
                return std::nullopt;
            if (f[1] == "reviewsPerPage")
                c.m_reviewsPerPage = n;
            else if (f[1] == "listingPageSize")
                c.m_listingPageSize = n;
            else
                return std::nullopt;
        } else if (f[0] == "product" && f.size() >= 6) {
            Product p;
            p.id = f[1];
            if (!allDigits(p.id) || c.product(p.id) || (f[2] != "mall" && f[2] != "market") || !allDigits(f[3]))
                return std::nullopt;
            p.storefront = f[2] == "mall" ? Storefront::Mall : Storefront::Marketplace;
            p.sellerId = f[3];
            p.shopHost = f[4];
            p.title = utf8ToGbk(unescapeField(f[5]));
            p.sellerForm = p.isMall() ? SellerForm::Semicolon : SellerForm::Quoted;
            if (f.size() >= 7 && !f[6].empty()) {
                if (f[6] == "quoted")
                    p.sellerForm = SellerForm::Quoted;
                else if (f[6] == "semicolon")
                    p.sellerForm = SellerForm::Semicolon;
                else if (f[6] == "empty")
                    p.sellerForm = SellerForm::EmptyQuoted;
                else
                    return std::nullopt;
            }
            int* keys[] = {&p.popularity, &p.sales, &p.priceCents, &p.listedDay, &p.favourites, &p.credit};
            for (std::size_t k = 0; k < 6 && 7 + k < f.size(); ++k)
                if (!parseInt(f[7 + k], *keys[k]))
                    return std::nullopt;
            c.addProduct(std::move(p));
        } else if (f[0] == "review" && f.size() >= 7) {
            if (c.m_products.empty())
                return std::nullopt;
            Review r;
            int followUp = 0;
            if (!parseInt(f[1], r.rating) || !parseInt(f[2], followUp))
                return std::nullopt;
            r.followUp = followUp != 0;
            r.nick = utf8ToGbk(unescapeField(f[3]));
            r.date = utf8ToGbk(unescapeField(f[4]));
            std::string sku = unescapeField(f[5]);
            if (sku.rfind("{}", 0) == 0) {
                r.skuAsObjects = true;
                sku.erase(0, 2);
            }
            std::size_t from = 0;
            while (from < sku.size()) {
                std::size_t semi = sku.find(';', from);
                if (semi == std::string::npos)
                    semi = sku.size();
                const std::string pair = sku.substr(from, semi - from);
                const std::size_t eq = pair.find('=');
                if (eq == std::string::npos || eq == 0)
                    return std::nullopt;
                r.sku.push_back({utf8ToGbk(pair.substr(0, eq)), utf8ToGbk(pair.substr(eq + 1))});
                from = semi + 1;
            }
            r.text = utf8ToGbk(unescapeField(f[6]));
            if (f.size() >= 8)
                r.markup = utf8ToGbk(unescapeField(f[7]));
            c.m_products.back().reviews.push_back(std::move(r));
        } else if (f[0] == "keyword" && f.size() >= 3) {
            Keyword k;
            k.word = utf8ToGbk(unescapeField(f[1]));
            std::size_t from = 0;
            const std::string& ids = f[2];
            while (from < ids.size()) {
                std::size_t comma = ids.find(',', from);
                if (comma == std::string::npos)
                    comma = ids.size();
                const std::string id = ids.substr(from, comma - from);
                if (!allDigits(id))
                    return std::nullopt;
                k.productIds.push_back(id);
                from = comma + 1;
            }
            keywords.push_back(std::move(k));
        } else {
            return std::nullopt;
        }
    }
    for (Shop& s : c.m_shops)
        s.pageSize = c.m_listingPageSize;
    for (Keyword& k : keywords)
        c.addKeyword(std::move(k));
    return c;
}

std::optional<Catalogue> Catalogue::loadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    return fromText(buffer.str());
}

} // namespace quillet::testmarket
