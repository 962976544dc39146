#include "idcollect/ShopIds.h"

#include "compose/FileHelpers.h"
#include "compose/TextOps.h"
#include "idcollect/IdFileWriter.h"
#include "idcollect/TagFinder.h"
#include "regex/RegexObject.h"
#include "settings/SettingsStore.h"
#include "text/Numbers.h"
#include "ui/SecondaryWindows.h"
#include "ui/Ui.h"
#include "ui/Window.h"
#include "web/WebClient.h"

#include <climits>
#include <string>

namespace quillet::idcollect {

namespace {

const GbkText& idleCaption()
{
    return gbk("开始采集");
}
const GbkText& runningCaption()
{
    return gbk("停止");
}

GbkText lowerAscii(GbkText text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

bool containsIgnoringCase(const GbkText& text, const GbkText& what)
{
    return compose::findText(text, what, 1, true) > 0;
}

// The leading decimal digits of a text (after blanks), as a count: 0 without digits, never
// more than INT_MAX.
int leadingCount(const GbkText& text)
{
    const long long n = text::textToInteger(text);
    if (n <= 0)
        return 0;
    return n > INT_MAX ? INT_MAX : static_cast<int>(n);
}

const GbkText& textOf(const ui::Window& window, const ui::ControlName& name)
{
    static const GbkText none;
    const ui::Control* c = window.find(name);
    return c ? c->text() : none;
}

bool checkedOf(const ui::Window& window, const ui::ControlName& name)
{
    const ui::Control* c = window.find(name);
    return c && c->checked();
}

// The count after the first "/" of a page-count element's text.
int pagesAfterSlash(const GbkText& element)
{
    const std::size_t slash = element.find('/');
    return slash == GbkText::npos ? 0 : leadingCount(element.substr(slash + 1));
}

} // namespace

const char* shopOrderType(int sortIndex)
{
    static const char* const values[] = {"defaultSort", "coefp_desc",   "hotsell_desc",
                                         "newOn_asc",   "price_asc",    "hotkeep_desc"};
    return values[sortIndex >= 0 && sortIndex <= 5 ? sortIndex : 0];
}

int shopSortIndex(const ui::Window& window)
{
    static const ui::ControlName radios[] = {ui::shopwin::单选框人气, ui::shopwin::单选框销量, ui::shopwin::单选框新品,
                                             ui::shopwin::单选框价格, ui::shopwin::单选框收藏};
    for (int i = 0; i < 5; ++i)
        if (checkedOf(window, radios[i]))
            return i + 1;
    return 0;
}

GbkText listingHost(const GbkText& shopAddress)
{
    GbkText address = lowerAscii(shopAddress);
    if (address.empty() || address.back() != '/')
        address += '/';
    GbkText host;
    if (address.rfind("https://", 0) == 0) {
        const std::size_t end = address.find('/', 8);
        host = address.substr(8, end - 8);
    } else {
        std::size_t at = address.find("http://");
        if (at == GbkText::npos) {
            address = "http://" + address;
            at = 0;
        }
        const std::size_t from = at + 7;
        host = address.substr(from, address.find('/', from) - from);
    }
    const std::size_t colon = host.find(':');
    return colon == GbkText::npos ? host : host.substr(0, colon);
}

GbkText listingAddress(const GbkText& shopAddress, int page, int sortIndex)
{
    return "http://" + listingHost(shopAddress) + "/search.htm?pageNo=" + std::to_string(page < 1 ? 1 : page) +
           "&orderType=" + shopOrderType(sortIndex);
}

GbkText shopFilePath(const GbkText& folder, const GbkText& shopAddress)
{
    std::size_t from = shopAddress.find("//");
    from = from == GbkText::npos ? 0 : from + 2;
    const std::size_t end = shopAddress.find('/', from);
    const GbkText shopName = shopAddress.substr(from, end == GbkText::npos ? GbkText::npos : end - from);
    return idFilePath(folder, compose::sanitizeFileName(shopName));
}

bool checkShopAddress(const GbkText& shopAddress, const web::Endpoints& endpoints, ui::Ui& ui)
{
    if (containsIgnoringCase(shopAddress, "." + endpoints.marketDomain) ||
        containsIgnoringCase(shopAddress, "." + endpoints.mallDomain))
        return true;
    ui.messageBox(gbk("输入店铺地址错误！您的店铺地址要么挂名在") + endpoints.mallDomain + gbk("下要么就是") +
                  endpoints.marketDomain);
    return false;
}

GbkText collectShopPage(const ui::Window& window, const CollectContext& context, const GbkText& shopAddress,
                        int page, int sortIndex, int& pageCount, int& itemCount, int& idCount,
                        const std::function<bool()>& stopped, web::PageVerdict* verdict)
{
    TagFinder finder;
    RegexObject idPattern;
    idPattern.compile("id=(\\d{5,})");

    const GbkText address = listingAddress(shopAddress, page, sortIndex);
    GbkText html;
    const web::PageResult result = web::fetchPage(
        context.webClient, [&] { return context.webClient.fetchText(address); }, context.retry, stopped, html);
    if (verdict)
        *verdict = result.verdict;

    long long position = 1;
    itemCount = leadingCount(
        compose::textBetweenRetry(html, gbk("共搜索到<span> "), gbk(" </span>个符合条件的商品。"), position));

    pageCount = pagesAfterSlash(finder.findElement(html, "span", {"class"}, {"page-info"}));
    if (pageCount == 0)
        pageCount = pagesAfterSlash(finder.findElement(html, "b", {"class"}, {"ui-page-s-len"}));

    const GbkText block = finder.findElement(html, "ul", {"class"}, {"shop-list"});
    const int items = block.empty() ? finder.findAll(html, "dl", {"class", "class"}, {"item", "item last"})
                                    : finder.findAll(block, "li", {}, {});

    GbkText prefix;
    if (checkedOf(window, ui::shopwin::选择框插入)) {
        const bool mall = containsIgnoringCase(textOf(window, ui::shopwin::编辑框店铺地址), context.endpoints.mallDomain);
        prefix = "http://" + (mall ? context.endpoints.mallItemHost : context.endpoints.marketItemHost) +
                 "/item.htm?id=";
    }

    GbkText lines;
    int found = 0;
    for (int i = 1; i <= items; ++i) {
        const GbkText item = finder.foundElement(i);
        const long long href = compose::findText(item, "href=\"", 1, true);
        if (href < 0)
            continue;
        const std::size_t from = static_cast<std::size_t>(href - 1) + 6;
        const std::size_t quote = item.find('"', from);
        if (quote == GbkText::npos)
            continue;
        if (idPattern.execute(item.substr(from, quote - from)) < 1)
            continue;
        const GbkText id = idPattern.submatchText(1, 1);
        if (id.empty())
            continue;
        ++found;
        lines += prefix + id + "\r\n";
    }
    idCount = idCount > INT_MAX - found ? INT_MAX : idCount + found;

    if (itemCount == 0) {
        const long long estimate = static_cast<long long>(items) * pageCount - items / 2;
        itemCount = estimate > INT_MAX ? INT_MAX : static_cast<int>(estimate < 0 ? 0 : estimate);
    }
    return lines;
}

void restoreShopWindow(ui::Window& window, settings::SettingsStore& store)
{
    store.restoreWindowControls(window, ui::shopIdSection());
}

void saveShopWindow(const ui::Window& window, settings::SettingsStore& store)
{
    store.saveWindowControls(window, ui::shopIdSection());
}

RunOutcome shopStartClicked(ui::Window& window, CollectContext& context, ui::Ui& ui)
{
    RunOutcome outcome;
    ui::Control* button = window.find(ui::shopwin::按钮开始);
    if (!button)
        return outcome;
    if (button->text() != idleCaption()) {
        // A click during a run: the run sees the new caption after its current page.
        button->setText(gbk("正在停止.."));
        return outcome;
    }
    if (!checkShopAddress(textOf(window, ui::shopwin::编辑框店铺地址), context.endpoints, ui))
        return outcome;

    outcome.ran = true;
    button->setText(runningCaption());
    IdFileWriter file;
    outcome.filePath = shopFilePath(textOf(window, ui::shopwin::编辑框保存目录), textOf(window, ui::shopwin::编辑框店铺地址));
    file.open(outcome.filePath);
    window.setTitle(gbk("正在初始化采集.."));

    int pageCount = 0;
    int itemCount = 0;
    int idCount = 0;
    // The run stops when the button no longer says it runs (a click, or Ctrl-C).
    const std::function<bool()> stopped = [button] { return button->text() != runningCaption(); };
    web::PageVerdict verdict = web::PageVerdict::Ok;
    GbkText lines = collectShopPage(window, context, textOf(window, ui::shopwin::编辑框店铺地址), 1, shopSortIndex(window),
                                    pageCount, itemCount, idCount, stopped, &verdict);
    const int pages = pageCount;
    if (verdict == web::PageVerdict::Refused)
        outcome.refusedPage = 1;
    for (int k = 1; k <= pages; ++k) {
        if (k > 1) {
            int ignoredPages = 0;
            lines = collectShopPage(window, context, textOf(window, ui::shopwin::编辑框店铺地址), k, shopSortIndex(window),
                                    ignoredPages, itemCount, idCount, stopped, &verdict);
            if (verdict == web::PageVerdict::Refused) {
                outcome.refusedPage = k;
                outcome.stopped = true;
                break;
            }
        }
        file.write(lines);
        window.setTitle("(" + std::to_string(k) + "/" + std::to_string(pages) + gbk(")  已采集 ") +
                        std::to_string(idCount));
        ui.processEvents();
        if (button->text() != runningCaption()) {
            outcome.stopped = k < pages;
            break;
        }
    }
    window.setTitle(gbk("采集商品ID_按店铺"));
    file.close();

    outcome.count = file.removeRepeatedLines();
    outcome.fileFailed = file.failed();
    button->setText(idleCaption());

    ui.messageBox(runFinishedMessage(gbk("OK！已采集了 "), outcome));
    return outcome;
}

bool shopCountClicked(ui::Window& window, CollectContext& context, ui::Ui& ui)
{
    window.setTitle(gbk("正在查询.."));
    const GbkText address = textOf(window, ui::shopwin::编辑框店铺地址);
    const bool accepted = checkShopAddress(address, context.endpoints, ui);
    if (accepted) {
        int pageCount = 0;
        int itemCount = 0;
        int idCount = 0;
        web::PageVerdict verdict = web::PageVerdict::Ok;
        (void)collectShopPage(window, context, address, 1, shopSortIndex(window), pageCount, itemCount, idCount, {},
                              &verdict);
        GbkText message = containsIgnoringCase(address, context.endpoints.marketDomain)
                              ? gbk("该店有 ") + std::to_string(itemCount) + gbk(" 个宝贝")
                              : gbk("该天猫店大概有 ") + std::to_string(itemCount) + gbk(" 个宝贝");
        message += gbk("，分 ") + std::to_string(pageCount) + gbk(" 页显示！");
        if (verdict == web::PageVerdict::Refused)
            message = gbk("淘宝拒绝了更多请求，暂时无法查询，请稍后再试。");
        ui.messageBox(message);
    }
    window.setTitle(gbk("查询完成！"));
    return accepted;
}

void shopHintClicked(ui::Ui& ui)
{
    ui.messageBox(gbk("店铺首页地址，类似 ") + ui::exampleMallShopAddress() + "  " + gbk("或") + "  " +
                  ui::exampleMarketShopAddress());
}

} // namespace quillet::idcollect
