#pragma once

#include "idcollect/CollectContext.h"
#include "text/GbkText.h"

namespace quillet::settings {
class SettingsStore;
}
namespace quillet::ui {
class Ui;
class Window;
} // namespace quillet::ui

namespace quillet::idcollect {

// The product IDs a keyword search of the marketplace finds, page by page. The handlers work
// on the KeywordIdWindow model (ui::makeKeywordIdWindow) and speak through the Ui.

// The text's own GBK bytes as a query value: ASCII letters and digits stay, every other byte
// becomes %XX (upper-case hex), then "%2E", "%5F", "%2D" go back to ".", "_", "-".
[[nodiscard]] GbkText percentEncodeGbk(const GbkText& text);

// The search's sort value of a 组合框排序 index: 人气, 销量, 信用 (anything else: 人气).
[[nodiscard]] const char* searchSort(int comboIndex);
// The search address of result page `page` (from 1), 40 rows a page.
[[nodiscard]] GbkText searchAddress(const GbkText& searchHost, const GbkText& keyword, int comboIndex, long long page);

// Result pages fetched at most, whatever 编辑框页数 asks for.
inline constexpr long long kMaxSearchPages = 100;

// Window events.
void restoreKeywordWindow(ui::Window& window, settings::SettingsStore& store);
void saveKeywordWindow(const ui::Window& window, settings::SettingsStore& store);
// 按钮采集 (or Enter): starts a run, or asks the one in progress to stop after the ID in hand.
RunOutcome keywordRunClicked(ui::Window& window, CollectContext& context, ui::Ui& ui);

} // namespace quillet::idcollect
