#pragma once

#include "idcollect/CollectContext.h"
#include "text/GbkText.h"
#include "web/PageRetry.h"

#include <functional>

namespace quillet::settings {
class SettingsStore;
}
namespace quillet::ui {
class Ui;
class Window;
} // namespace quillet::ui
namespace quillet::web {
class WebClient;
}

namespace quillet::idcollect {

// The product IDs of one shop, read from the shop's own search-listing pages. Every handler
// works on the ShopIdWindow model (ui::makeShopIdWindow) and speaks through the Ui.

// The listing's orderType value of a sort index (0..5; anything else is 0, "defaultSort").
[[nodiscard]] const char* shopOrderType(int sortIndex);
// The sort index the window's radio buttons select (0 when none of 人气..收藏 is checked).
[[nodiscard]] int shopSortIndex(const ui::Window& window);

// The host of the shop's listing pages: lower-cased, port dropped.
[[nodiscard]] GbkText listingHost(const GbkText& shopAddress);
// "http://" + listing host + "/search.htm?pageNo=" + page + "&orderType=" + value.
[[nodiscard]] GbkText listingAddress(const GbkText& shopAddress, int page, int sortIndex);
// The product-ID file of a shop: the folder, the shop's host as typed (letter case and port
// kept) made file-name safe, ".txt".
[[nodiscard]] GbkText shopFilePath(const GbkText& folder, const GbkText& shopAddress);

// True when the address names a shop on the marketplace or the mall; otherwise shows why and
// gives false.
bool checkShopAddress(const GbkText& shopAddress, const web::Endpoints& endpoints, ui::Ui& ui);

// One listing page: fetches it, sets pageCount and itemCount from it, adds the number of IDs
// found to idCount and returns one line per ID (CR LF after each), as a bare ID or a product
// address as the window's 选择框插入 asks.
// A refused page, or one lost in transit, is asked for again as context.retry allows (a
// wait ends at once when `stopped` says so); `verdict`, when given, receives how it ended.
[[nodiscard]] GbkText collectShopPage(const ui::Window& window, const CollectContext& context,
                                      const GbkText& shopAddress, int page, int sortIndex, int& pageCount,
                                      int& itemCount, int& idCount, const std::function<bool()>& stopped = {},
                                      web::PageVerdict* verdict = nullptr);

// Window events.
void restoreShopWindow(ui::Window& window, settings::SettingsStore& store);
void saveShopWindow(const ui::Window& window, settings::SettingsStore& store);
// 按钮开始: starts a run, or asks the one in progress to stop after its current page.
RunOutcome shopStartClicked(ui::Window& window, CollectContext& context, ui::Ui& ui);
// 按钮查询宝贝数: tells how many products and listing pages the shop has. False when the
// address was refused.
bool shopCountClicked(ui::Window& window, CollectContext& context, ui::Ui& ui);
// 按钮1: the address hint.
void shopHintClicked(ui::Ui& ui);

} // namespace quillet::idcollect
