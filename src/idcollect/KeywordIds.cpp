#include "idcollect/KeywordIds.h"

#include "compose/FileHelpers.h"
#include "compose/TextOps.h"
#include "idcollect/IdFileWriter.h"
#include "idcollect/TagFinder.h"
#include "regex/RegexObject.h"
#include "settings/SettingsStore.h"
#include "text/Numbers.h"
#include "text/Paths.h"
#include "ui/SecondaryWindows.h"
#include "ui/Ui.h"
#include "ui/Window.h"
#include "web/WebClient.h"

#include <algorithm>
#include <functional>
#include <string>

namespace quillet::idcollect {

namespace {

const GbkText& runningCaption()
{
    return gbk("停止");
}

const GbkText& textOf(const ui::Window& window, const ui::ControlName& name)
{
    static const GbkText none;
    const ui::Control* c = window.find(name);
    return c ? c->text() : none;
}

// Leaves a page that gave nothing where the user can find it and send it in: the program's
// folder, or the settings file's folder when the program's cannot be written. Returns the
// folder used; empty when neither could take it.
GbkText dumpPage(const CollectContext& context, long long page, const GbkText& html)
{
    const GbkText name = gbk("提交给墨汀_") + std::to_string(page) + ".htm";
    for (const GbkText* folder : {&context.programFolder, &context.settingsFolder}) {
        if (folder->empty())
            continue;
        const bool separator = !compose::endsWithPathSeparator(*folder);
        if (compose::writeTextFile(*folder + (separator ? text::pathSeparator() : GbkText()) + name, html))
            return *folder;
    }
    return GbkText();
}

} // namespace

GbkText percentEncodeGbk(const GbkText& text)
{
    static const char hex[] = "0123456789ABCDEF";
    GbkText out;
    out.reserve(text.size() * 3);
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
            out += ch;
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    out = compose::replaceAll(out, "%2E", ".", false);
    out = compose::replaceAll(out, "%5F", "_", false);
    return compose::replaceAll(out, "%2D", "-", false);
}

const char* searchSort(int comboIndex)
{
    static const char* const values[] = {"renqi-desc", "sale-desc", "credit-desc"};
    return values[comboIndex >= 0 && comboIndex <= 2 ? comboIndex : 0];
}

GbkText searchAddress(const GbkText& searchHost, const GbkText& keyword, int comboIndex, long long page)
{
    return "http://" + searchHost + "/search?&style=list&q=" + percentEncodeGbk(keyword) + "&ex_q=@&sort=" +
           searchSort(comboIndex) + "&bcoffset=1&newpre=null&s=" + std::to_string((page - 1) * 40);
}

void restoreKeywordWindow(ui::Window& window, settings::SettingsStore& store)
{
    store.restoreWindowControls(window, ui::keywordIdSection());
}

void saveKeywordWindow(const ui::Window& window, settings::SettingsStore& store)
{
    store.saveWindowControls(window, ui::keywordIdSection());
}

RunOutcome keywordRunClicked(ui::Window& window, CollectContext& context, ui::Ui& ui)
{
    RunOutcome outcome;
    ui::Control* button = window.find(ui::keywordwin::按钮采集);
    if (!button)
        return outcome;
    if (button->text() != gbk("采集")) {
        // A click during a run: the run sees the new caption after the ID in hand.
        button->setText(gbk("停止中"));
        return outcome;
    }
    outcome.ran = true;
    button->setText(runningCaption());

    IdFileWriter file;
    outcome.filePath = idFilePath(textOf(window, ui::keywordwin::编辑框保存目录), compose::sanitizeFileName(textOf(window, ui::keywordwin::编辑框关键词)));
    file.open(outcome.filePath);

    const ui::Control* sortBox = window.find(ui::keywordwin::组合框排序);
    const int sortIndex = sortBox ? sortBox->selectedIndex() : 0;
    RegexObject idPattern;
    idPattern.compile("(&|\\?)id=(\\d+)");
    TagFinder finder;
    window.setTitle(gbk("正在初始化.."));

    const long long pages = std::min(text::textToInteger(textOf(window, ui::keywordwin::编辑框页数)), kMaxSearchPages);
    const bool prefixed = [&] {
        const ui::Control* c = window.find(ui::keywordwin::选择框插入);
        return c && c->checked();
    }();
    long long count = 0;
    // The run stops when the button no longer says it runs (a click, or Ctrl-C).
    const std::function<bool()> stopped = [button] { return button->text() != runningCaption(); };
    for (long long page = 1; page <= pages; ++page) {
        const GbkText address =
            searchAddress(context.endpoints.searchHost, textOf(window, ui::keywordwin::编辑框关键词), sortIndex, page);
        GbkText html;
        const web::PageResult result = web::fetchPage(
            context.webClient, [&] { return context.webClient.fetchText(address); }, context.retry, stopped, html);
        if (result.verdict == web::PageVerdict::Refused) {
            outcome.refusedPage = page;
            outcome.stopped = true;
            break;
        }
        const int rows = finder.findAll(html, "div", {"class"}, {"row item"}, true);
        for (int j = 1; j <= rows; ++j) {
            if (idPattern.execute(finder.foundElement(j)) < 1)
                continue;
            const GbkText prefix =
                prefixed ? "http://" + context.endpoints.marketItemHost + "/item.htm?id=" : GbkText();
            file.write(prefix + idPattern.submatchText(1, 2) + "\r\n");
            ++count;
            window.setTitle(textOf(window, ui::keywordwin::编辑框关键词) + gbk(" 第 ") + std::to_string(page) + gbk(" 页，") +
                            std::to_string(count) + gbk(" 条"));
            ui.processEvents();
            if (button->text() != runningCaption())
                break;
        }
        if (button->text() != runningCaption()) {
            outcome.stopped = true;
            break;
        }
        if (count == 0 && page <= 2) {
            const GbkText folder = dumpPage(context, page, html);
            if (folder.empty())
                outcome.dumpFailed = true;
            else
                outcome.dumpFolder = folder;
        }
    }
    file.close();
    (void)file.removeRepeatedLines();
    outcome.count = count;
    outcome.fileFailed = file.failed();

    window.setTitle(gbk("采集完成！共 ") + std::to_string(count) + gbk(" 个宝贝"));
    button->setText(gbk("采集"));

    ui.messageBox(runFinishedMessage(gbk("OK！总采集了 "), outcome, context.programFolder));
    return outcome;
}

} // namespace quillet::idcollect
