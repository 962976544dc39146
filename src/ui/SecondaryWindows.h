#pragma once

#include "Window.h"

namespace quillet::ui {

// The modal text dialog at its design size, with no title of its own (set when shown).
[[nodiscard]] Window makeTextDialog();
// The title the text dialog gets when none is given: "墨汀：".
[[nodiscard]] const GbkText& textDialogDefaultTitle();

// The proxy window; its one value is kept under proxySection() / proxyKey().
[[nodiscard]] Window makeProxyWindow();
[[nodiscard]] const GbkText& proxySection(); // "设置代理"
[[nodiscard]] const GbkText& proxyKey();     // "代理IP"

// The window that collects the product IDs of one shop; its controls are saved under
// shopIdSection().
[[nodiscard]] Window makeShopIdWindow();
[[nodiscard]] const GbkText& shopIdSection(); // "店铺采集ID"
// The example shop home addresses shown as the shop window's initial content and hint.
[[nodiscard]] const GbkText& exampleMallShopAddress();
[[nodiscard]] const GbkText& exampleMarketShopAddress();

// The window that collects product IDs by keyword search; saved under keywordIdSection().
[[nodiscard]] Window makeKeywordIdWindow();
[[nodiscard]] const GbkText& keywordIdSection(); // "关键词采集ID"

} // namespace quillet::ui
