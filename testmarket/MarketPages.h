#pragma once

// The pages of the simulated marketplace, rendered in GBK from the catalogue.

#include "Catalogue.h"
#include "MarketHosts.h"

#include <string>
#include <string_view>

namespace quillet::testmarket::pages {

// Product page of the storefront the product belongs to (marketplace or mall form).
[[nodiscard]] GbkText productPage(const Product& product, const MarketHosts& hosts);
// What the marketplace answers for a mall product: a small page holding only the script
// that sends the browser to the mall's product page.
[[nodiscard]] GbkText mallRedirectPage(const MarketHosts& hosts);
// The script element of the mall redirect page.
[[nodiscard]] GbkText mallRedirectElement(const MarketHosts& hosts);
[[nodiscard]] GbkText notFoundPage();

// Mall review-list feed page `page` (from 1). Past the last page the last page comes again.
// Empty text for a product without reviews.
[[nodiscard]] GbkText mallFeedPage(const Product& product, int page, int perPage);
// Marketplace review feed page of the reviews of `rateType`; past the last page (or for an
// unknown product, `product` null) the page whose comments are null.
[[nodiscard]] GbkText marketFeedPage(const Product* product, std::string_view rateType, int page, int perPage,
                                     const std::string& callback);

// One record of each feed (as it appears on a page).
[[nodiscard]] GbkText mallRecord(const Product& product, const Review& review, int index);
[[nodiscard]] GbkText marketRecord(const Product& product, const Review& review, int index);

// Shop listing page `page` (from 1) in the order `orderType`: the item count line (when the
// shop shows it), the page count in the shop's style, then the items. From page 2 on the last
// product of the page before comes first again. Links use the id parameter, an itemid
// parameter, or spaces around the href's "="; some items nest a list of variants linking the
// same product; every page also holds an item without a link and one with a four-digit id.
[[nodiscard]] GbkText shopListingPage(const Catalogue& catalogue, const Shop& shop, const MarketHosts& hosts, int page,
                                      std::string_view orderType);
// Keyword search page from result `offset` (40 rows a page). `keyword` null: no results.
// Rows are "row item" div elements with further class words; some are written in capitals,
// some with spaces around "="; an advertisement row without a product id follows the third.
[[nodiscard]] GbkText searchPage(const Catalogue& catalogue, const Keyword* keyword, const GbkText& word,
                                 std::string_view sort, long long offset, const MarketHosts& hosts);
inline constexpr int kSearchRowsPerPage = 40;

// The refusals of the marketplace.
[[nodiscard]] GbkText punishPage();
[[nodiscard]] std::string refusalJson(const std::string& host);
[[nodiscard]] std::string feedWaitAnswer(int waitSeconds = 5);

// Decodes %XX escapes (and + as a space) into bytes.
[[nodiscard]] std::string percentDecode(std::string_view text);

} // namespace quillet::testmarket::pages
