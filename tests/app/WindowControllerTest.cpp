// The main window's event table, the text dialog and the proxy window, driven headless
// through their controllers as a front end drives them.

#include "app/App.h"
#include "app/CollectorController.h"
#include "app/HelpDocument.h"
#include "app/MainWindowController.h"
#include "app/ProxyWindowController.h"
#include "app/TextDialogController.h"
#include "support/TempFolder.h"
#include "text/Paths.h"
#include "ui/ControlNames.h"
#include "ui/HeadlessUi.h"
#include "ui/MainWindow.h"

#include <gtest/gtest.h>

#include <memory>

namespace quillet::app {
namespace {

using namespace ui::mainwin;
using testsupport::readFileBytes;
using testsupport::TempFolder;
using Kind = ui::EventKind;

// One start of the program: an App whose settings live in the folder, a headless Ui and the
// main window shown by start-up.
struct Session {
    explicit Session(const TempFolder& folder)
        : app(App::Options{folder.gbkFile("settings.ini"), {}})
    {
        app.setUi(&ui);
        main = std::make_unique<MainWindowController>(app, ui);
        main->startUp();
    }
    void act(const ui::ControlName& control, Kind kind = Kind::Clicked)
    {
        main->handleEvent(control.gbk(), kind);
    }
    ui::Control& operator[](const ui::ControlName& control) { return *main->window().find(control); }

    ui::HeadlessUi ui;
    App app;
    std::unique_ptr<MainWindowController> main;
};

TEST(MainWindowEvents, FirstStartSaveAndTheReplaceRowAcrossARestart)
{
    TempFolder folder;
    {
        Session s(folder);
        EXPECT_TRUE(s.ui.isOpen(*s.main));
        EXPECT_EQ(s[组合框类型].selectedIndex(), 1);
        for (const auto* row : {&编辑框匹配式, &编辑框替换式, &选择框正则})
            EXPECT_FALSE(s[*row].enabled());

        s[选择框过滤].setChecked(true);
        s.act(选择框过滤);
        EXPECT_TRUE(s[编辑框替换式].enabled());

        // Saving writes at once, by the picture and by its link.
        s[编辑框扩展名].setText("art");
        s.act(图片保存配置);
        EXPECT_NE(readFileBytes(folder.file("settings.ini")).find("art"), std::string::npos);
        s.act(链接保存配置, Kind::LinkPressed);
        ASSERT_EQ(s.ui.messages().size(), 2u);
        EXPECT_EQ(s.ui.messages()[1].text, gbk("保存完毕！"));
        s.act(链接保存配置, Kind::Clicked); // a link reacts to its press only
        EXPECT_EQ(s.ui.messages().size(), 2u);

        // Closing saves again.
        s[编辑框序号].setText("7");
        EXPECT_EQ(s.ui.closeByUser(*s.main), ui::CloseAnswer::CloseNow);
    }
    Session again(folder);
    EXPECT_TRUE(again[选择框正则].enabled());
    EXPECT_EQ(again[编辑框序号].text(), "7");
    EXPECT_EQ(again[编辑框扩展名].text(), "art");
}

TEST(MainWindowEvents, DialogsFolderButtonAndTheMakersPages)
{
    TempFolder folder;
    Session s(folder);
    const GbkText idFile = s[编辑框商品ID文件].text();

    s.act(按钮2); // cancelled
    EXPECT_EQ(s[编辑框商品ID文件].text(), idFile);
    ASSERT_EQ(s.ui.fileDialogs().size(), 1u);
    EXPECT_EQ(s.ui.fileDialogs()[0].presetFileName, idFile);
    EXPECT_EQ(s.ui.fileDialogs()[0].filter, gbk("文本文件(*.txt)|*.txt|全部文件(*.*)|*.*"));
    EXPECT_EQ(s.ui.fileDialogs()[0].defaultExtension, "txt");
    s.ui.queueFileDialogAnswer({"/data/ids.txt"});
    s.act(按钮2);
    EXPECT_EQ(s[编辑框商品ID文件].text(), "/data/ids.txt");

    const GbkText out = s[编辑框保存目录].text();
    s.act(按钮选择目录);
    EXPECT_EQ(s[编辑框保存目录].text(), out);
    ASSERT_EQ(s.ui.folderRequests().size(), 1u);
    EXPECT_EQ(s.ui.folderRequests()[0], std::make_pair(out, gbk("选择一个保存的目录：")));
    s.ui.queueFolderAnswer(" /data/out ");
    s.act(按钮选择目录);
    EXPECT_EQ(s[编辑框保存目录].text(), "/data/out");

    // The right button shows the folder; a name ending in .EXE is shown too, never run.
    s[编辑框保存目录].setText("/data/tool.EXE");
    s.act(按钮选择目录, Kind::RightClicked);
    ASSERT_EQ(s.ui.programsStarted().size(), 1u);
    EXPECT_EQ(s.ui.programsStarted()[0].program, "xdg-open");
    EXPECT_EQ(s.ui.programsStarted()[0].arguments, std::vector<GbkText>{"/data/tool.EXE"});
    EXPECT_TRUE(s.ui.openedWithSystem().empty());

    // Every picture and link of the maker opens the program's own help page.
    s.act(图片软件主页);
    s.act(链接软件主页, Kind::LinkPressed);
    s.act(图片墨汀软件);
    s.act(图片联系作者);
    s.act(链接联系作者, Kind::LinkPressed);
    ASSERT_EQ(s.ui.openedWithSystem().size(), 5u);
    for (const auto& [target, parameters] : s.ui.openedWithSystem()) {
        EXPECT_EQ(target, helpDocumentPath());
        EXPECT_EQ(parameters, "");
    }
}

TEST(MainWindowEvents, SideWindowsOpenOnceOwnedByTheMainWindowAndCloseWithIt)
{
    TempFolder folder;
    {
        Session s(folder);
        s.act(按钮按店铺);
        s.act(按钮按关键词);
        s.act(图片框代理);
        s.act(超级链接框代理, Kind::LinkPressed); // already open: raised, not opened again
        s.act(按钮按店铺);
        EXPECT_EQ(s.ui.showings().size(), 4u); // main, shop, keyword, proxy
        EXPECT_EQ(s.ui.raised().size(), 2u);
        for (const char* name : {"ShopIdWindow", "KeywordIdWindow", "ProxyWindow"}) {
            ui::WindowController* w = s.ui.openWindow(name);
            ASSERT_NE(w, nullptr) << name;
            for (const auto& showing : s.ui.showings())
                if (showing.controller == w) {
                    EXPECT_EQ(showing.owner, s.main.get());
                    EXPECT_FALSE(showing.modal);
                }
        }
        s.main->shopIdWindow()->window().find(ui::shopwin::编辑框店铺地址)->setText("http://kept.taobao.com/");
        s.main->proxyWindow().window().find(ui::proxywin::编辑框代理IP)->setText("10.0.0.1:3128");
        EXPECT_EQ(s.ui.closeByUser(*s.main), ui::CloseAnswer::CloseNow);
        EXPECT_EQ(s.ui.openWindow("ShopIdWindow"), nullptr);
        EXPECT_EQ(s.main->proxyAddress(), ""); // closed with its owner: no proxy any more
    }
    Session again(folder);
    again.act(按钮按店铺);
    again.act(图片框代理);
    EXPECT_EQ(again.main->shopIdWindow()->window().find(ui::shopwin::编辑框店铺地址)->text(), "http://kept.taobao.com/");
    EXPECT_EQ(again.main->proxyAddress(), "10.0.0.1:3128");
}

TEST(TextDialog, TemplateHelpAndNotesInViewModeOneAtATime)
{
    TempFolder folder;
    Session s(folder);
    s.ui.setScreenSize({1000, 700});
    struct Seen {
        GbkText title, prompt, text, cancel;
        bool readOnly = false, okShown = true, frameShown = true, cancelDefault = false;
        ui::Rect geometry;
        bool nestedShown = true;
    };
    std::vector<Seen> seen;
    auto look = [&](ui::WindowController& dialog) {
        using namespace ui::textdlg;
        ui::Window& w = dialog.window();
        Seen v;
        v.title = w.title();
        v.prompt = w.find(编辑框提示)->text();
        v.text = w.find(编辑框正文)->text();
        v.cancel = w.find(按钮取消)->text();
        v.readOnly = w.find(编辑框正文)->options().readOnly;
        v.okShown = w.find(按钮确定)->visible();
        v.frameShown = w.find(外形框)->visible();
        v.cancelDefault = w.find(按钮取消)->options().defaultButton;
        v.geometry = w.geometry();
        // A second dialog while this one is open is refused and shows nothing.
        const size_t before = s.ui.showings().size();
        TextDialogOptions other;
        other.text = "x";
        EXPECT_FALSE(showTextDialog(s.app, s.ui, other, nullptr));
        v.nestedShown = s.ui.showings().size() != before;
        seen.push_back(v);
        dialog.handleEvent(按钮取消.gbk(), Kind::Clicked); // "关闭(&G)" closes it
    };
    s.ui.onModal(look);
    s.act(按钮引用说明);
    s.ui.onModal(look);
    s.act(链接疑点说明, Kind::LinkPressed);

    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].title, gbk("墨汀："));
    EXPECT_EQ(seen[0].prompt, ui::templateHelpPrompt());
    EXPECT_EQ(seen[0].text, ui::templateHelpText());
    EXPECT_EQ(seen[1].title, gbk("疑点说明"));
    EXPECT_EQ(seen[1].prompt, "");
    EXPECT_EQ(seen[1].text, ui::notesText());
    for (const Seen& v : seen) {
        EXPECT_EQ(v.cancel, gbk("关闭(&G)"));
        EXPECT_TRUE(v.readOnly && v.cancelDefault);
        EXPECT_FALSE(v.okShown || v.frameShown || v.nestedShown);
        // Design size, centred a little above the middle of the screen.
        EXPECT_EQ(v.geometry, (ui::Rect{(1000 - 495) / 2, (700 - 30) / 2 - 393 / 2, 495, 393}));
    }
    for (const auto& showing : s.ui.showings()) {
        if (showing.controller != s.main.get()) {
            EXPECT_TRUE(showing.modal && showing.owner == s.main.get());
        }
    }
    EXPECT_EQ(s.ui.focusRequests().size(), 2u);
    EXPECT_EQ(s.ui.focusRequests()[0].second, ui::textdlg::编辑框正文.gbk());
    // Both closed: a third can open.
    TextDialogOptions third;
    third.textWidth = 300;
    third.margin = 8;
    EXPECT_FALSE(showTextDialog(s.app, s.ui, third, nullptr));
    EXPECT_FALSE(s.app.textDialogOpen);
}

TEST(TextDialog, LayoutFollowsTheClientSize)
{
    ui::HeadlessUi ui;
    TextDialogOptions options;
    options.prompt = GbkText(200, 'p'); // wraps: the prompt grows with a narrow window
    TextDialogController dialog(ui, options);
    using namespace ui::textdlg;
    ui::Window& w = dialog.window();
    for (const ui::Size client : {ui::Size{479, 354}, ui::Size{300, 600}}) {
        SCOPED_TRACE(client.width);
        dialog.resized(client.width, client.height);
        const ui::Rect prompt = w.find(编辑框提示)->place();
        const ui::Rect text = w.find(编辑框正文)->place();
        const ui::Rect frame = w.find(外形框)->place();
        const ui::Rect ok = w.find(按钮确定)->place();
        const ui::Rect cancel = w.find(按钮取消)->place();
        EXPECT_EQ(prompt, (ui::Rect{5, 5, client.width - 10, ui.textHeight(options.prompt.value(), client.width - 10,
                                                                             w.find(编辑框提示)->font())}));
        EXPECT_EQ(text, (ui::Rect{5, prompt.top + prompt.height + 5, client.width - 10,
                                  client.height - (prompt.top + prompt.height + 5) - 34}));
        EXPECT_EQ(frame.top, text.top + text.height);
        EXPECT_EQ(frame.top + frame.height, client.height);
        EXPECT_EQ(cancel.left + cancel.width, client.width - 5);
        EXPECT_EQ(ok.left + ok.width, cancel.left);
        EXPECT_EQ(cancel.top + cancel.height / 2, frame.top + frame.height / 2);
        EXPECT_EQ(ok.top, cancel.top);
    }
    EXPECT_GT(w.find(编辑框提示)->place().height, ui.textHeight("p", 300, w.find(编辑框提示)->font()));

    // A requested text area sizes the window around it: frame, margins, prompt and buttons.
    TextDialogOptions sized;
    sized.textWidth = 300;
    sized.textHeight = 200;
    sized.margin = 8;
    const ui::Size frame = ui.frameSize(ui::Border::Resizable);
    const ui::Rect g = TextDialogController(ui, sized).window().geometry();
    EXPECT_EQ(g.width, 300 + frame.width + 16);
    EXPECT_EQ(g.height, 200 + frame.height + 33 + 24 + 40);
}

TEST(ProxyWindow, RemembersItsTextAndPastesTheClipboard)
{
    TempFolder folder;
    {
        Session s(folder);
        ProxyWindowController& proxy = s.main->proxyWindow();
        auto box = [&]() -> ui::Control& { return *proxy.window().find(ui::proxywin::编辑框代理IP); };
        EXPECT_EQ(s.main->proxyAddress(), "");
        s.act(图片框代理);
        EXPECT_EQ(box().text(), gbk("IP:端口"));
        EXPECT_EQ(s.main->proxyAddress(), gbk("IP:端口")); // handed on as it is
        s.ui.setClipboardText("127.0.0.1:8888");
        proxy.handleEvent(ui::proxywin::按钮粘贴.gbk(), Kind::Clicked);
        EXPECT_EQ(box().text(), "127.0.0.1:8888");
        EXPECT_EQ(s.ui.closeByUser(proxy), ui::CloseAnswer::CloseNow);
        EXPECT_EQ(s.main->proxyAddress(), "");
        box().setText("typed while closed");
        s.act(超级链接框代理, Kind::LinkPressed);
        EXPECT_EQ(box().text(), "127.0.0.1:8888");
        proxy.handleEvent(ui::proxywin::链接代理检测.gbk(), Kind::LinkPressed);
        EXPECT_EQ(s.ui.openedWithSystem().size(), 1u);
    }
    Session again(folder); // closing the main window closed and saved it
    again.act(图片框代理);
    EXPECT_EQ(again.main->proxyAddress(), "127.0.0.1:8888");
}

TEST(HelpDocument, FoundBesideTheProgramOrInItsShareFolder)
{
    TempFolder folder;
    const auto bin = folder.file("bin");
    std::filesystem::create_directories(bin);
    EXPECT_EQ(helpDocumentPathIn(bin), text::fromNativePath(bin / kHelpDocumentName)); // none: the first place
    testsupport::writeFileBytes(folder.file("share/quillet/quillet-help.html"), "<html/>");
    EXPECT_EQ(helpDocumentPathIn(bin), folder.gbkFile("share/quillet/quillet-help.html"));
    testsupport::writeFileBytes(bin / kHelpDocumentName, "<html/>");
    EXPECT_EQ(helpDocumentPathIn(bin), text::fromNativePath(bin / kHelpDocumentName));
}

} // namespace
} // namespace quillet::app
