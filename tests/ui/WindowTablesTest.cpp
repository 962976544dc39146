// Every window carries exactly the controls, captions, defaults and places of its table.
#include "text/Charset.h"
#include "text/Paths.h"
#include "ui/MainWindow.h"
#include "ui/SecondaryWindows.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace quillet::ui {
namespace {

using K = ControlKind;

struct Row {
    const char* name;
    K kind;
    std::string text; // UTF-8
    Rect place;
};

void expectRows(const Window& w, const std::vector<Row>& rows)
{
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const Control* c = w.find(gbk(row.name));
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(c->kind(), row.kind);
        EXPECT_EQ(text::gbkToUtf8(c->text()), row.text);
        EXPECT_EQ(c->designText(), c->text());
        EXPECT_EQ(c->place(), row.place);
    }
}

std::string home(const char* rest)
{
    return text::gbkToUtf8(text::localDefaultPath(gbk(std::string("C:\\") + rest)));
}

TEST(WindowTables, MainWindow)
{
    const Window w = makeMainWindow();
    EXPECT_EQ(w.geometry(), (Rect{50, 50, 715, 628}));
    EXPECT_EQ(w.border(), Border::Fixed);
    EXPECT_TRUE(w.title().starts_with(programNameText() + " "));
    expectRows(w, {
        {"图片框2", K::PictureBox, "", {0, 0, 816, 88}},
        {"图片保存配置", K::PictureButton, "", {16, 0, 64, 64}},
        {"链接保存配置", K::LinkLabel, "保存配置", {16, 64, 64, 24}},
        {"图片疑点说明", K::PictureButton, "", {96, 0, 64, 64}},
        {"链接疑点说明", K::LinkLabel, "疑点说明", {96, 64, 64, 24}},
        {"图片软件主页", K::PictureButton, "", {176, 0, 64, 64}},
        {"链接软件主页", K::LinkLabel, "软件主页", {176, 64, 64, 24}},
        {"图片墨汀软件", K::PictureButton, "", {376, 12, 195, 64}},
        {"图片框代理", K::PictureButton, "", {632, 0, 64, 64}},
        {"超级链接框代理", K::LinkLabel, "设置代理", {632, 64, 64, 24}},
        {"标签12", K::Label, "", {0, 88, 1000, 2}},
        {"分组框1", K::GroupBox, "第一步：采集商品ID,指定ID文件", {12, 104, 680, 104}},
        {"按钮按关键词", K::Button, "采集商品ID_按关键词", {8, 24, 304, 32}},
        {"按钮按店铺", K::Button, "采集商品ID_按店铺", {360, 24, 304, 32}},
        {"标签1", K::Label, "商品ID文件：", {8, 64, 92, 24}},
        {"编辑框商品ID文件", K::EditBox, home("商品ID文件.txt"), {96, 64, 352, 24}},
        {"按钮2", K::Button, "..", {448, 64, 24, 24}},
        {"标签9", K::Label, "从第        个ID开始采集", {496, 64, 183, 24}},
        {"编辑框序号", K::EditBox, "1", {536, 64, 32, 24}},
        {"分组框2", K::GroupBox, "第二步：采集设置", {12, 224, 680, 93}},
        {"标签8", K::Label, "评论类型：", {8, 24, 72, 24}},
        {"组合框类型", K::ComboBox, "", {80, 26, 65, 20}},
        {"标签7", K::Label, "评论最少字数：", {176, 24, 105, 24}},
        {"编辑框字数", K::EditBox, "5", {278, 24, 39, 24}},
        {"标签4", K::Label, "采集页数：", {344, 24, 76, 24}},
        {"编辑框页数", K::EditBox, "10", {418, 24, 39, 24}},
        {"选择框标题打乱", K::CheckBox, "标题打乱", {496, 24, 80, 24}},
        {"选择框内容打乱", K::CheckBox, "内容打乱", {595, 24, 77, 24}},
        {"选择框过滤", K::CheckBox, "替 换：", {8, 56, 72, 24}},
        {"编辑框匹配式", K::EditBox, "字符1|字符2|字符3", {80, 56, 237, 24}},
        {"标签6", K::Label, "为", {323, 56, 21, 24}},
        {"编辑框替换式", K::EditBox, "新字符1|新字符2|新字符3", {348, 56, 220, 24}},
        {"选择框正则", K::CheckBox, "正则模式", {595, 61, 77, 16}},
        {"分组框3", K::GroupBox, "第三步：保存设置,开始采集", {12, 331, 680, 248}},
        {"标签3", K::Label, "保存模板：", {8, 16, 80, 24}},
        {"选择框仅信息框", K::CheckBox, "仅信息框快速预览", {240, 16, 142, 24}},
        {"选择框空无", K::CheckBox, "空数据显示为无", {392, 16, 132, 24}},
        {"按钮引用说明", K::Button, "查看引用说明", {528, 16, 136, 24}},
        {"编辑框组合", K::EditBox, text::gbkToUtf8(defaultTemplate()), {8, 40, 656, 128}},
        {"按钮采集", K::Button, "开始采集", {8, 168, 500, 32}},
        {"标签2", K::Label, "每页延时秒：、", {522, 173, 91, 24}},
        {"编辑框每页延时秒", K::EditBox, "0.01", {616, 173, 48, 24}},
        {"标签5", K::Label, "保存目录：", {8, 208, 72, 24}},
        {"编辑框保存目录", K::EditBox, home("淘宝评论"), {80, 208, 448, 24}},
        {"按钮选择目录", K::Button, "..", {495, 210, 30, 20}},
        {"组合框命名方式", K::ComboBox, "", {531, 208, 91, 23}},
        {"编辑框扩展名", K::EditBox, "txt", {625, 208, 40, 24}},
        {"通用对话框1", K::FileDialog, "", {0, 0, 0, 0}},
    });

    // Group boxes hold their rows; the banner holds its buttons.
    EXPECT_EQ(w.find(gbk("编辑框序号"))->parent(), gbk("分组框1"));
    EXPECT_EQ(w.find(gbk("选择框正则"))->parent(), gbk("分组框2"));
    EXPECT_EQ(w.find(gbk("编辑框扩展名"))->parent(), gbk("分组框3"));
    EXPECT_EQ(w.find(gbk("超级链接框代理"))->parent(), gbk("图片框2"));

    const Control* type = w.find(gbk("组合框类型"));
    EXPECT_EQ(type->items().size(), 5u);
    EXPECT_EQ(type->items()[type->selectedIndex()], gbk("好评"));
    const Control* naming = w.find(gbk("组合框命名方式"));
    EXPECT_EQ(naming->items()[3], gbk("ID号|合并"));
    EXPECT_EQ(naming->selectedIndex(), 0);
    EXPECT_EQ(naming->font().pixelSize, 15);

    EXPECT_TRUE(w.find(gbk("选择框标题打乱"))->checked());
    EXPECT_TRUE(w.find(gbk("选择框空无"))->checked());
    EXPECT_FALSE(w.find(gbk("选择框过滤"))->checked());
    EXPECT_FALSE(w.find(gbk("选择框仅信息框"))->checked());

    const Control* run = w.find(gbk("按钮采集"));
    EXPECT_TRUE(run->options().defaultButton);
    EXPECT_EQ(run->font(), (Font{gbk("宋体"), 19, true}));
    EXPECT_EQ(w.find(gbk("分组框1"))->font(), (Font{gbk("黑体"), 15, false}));
    EXPECT_EQ(w.find(gbk("链接保存配置"))->font().pixelSize, 12);
    EXPECT_EQ(w.find(gbk("标签1"))->font(), (Font{gbk("宋体"), 14, false}));
    EXPECT_TRUE(w.find(gbk("编辑框序号"))->options().digitsOnly);
    EXPECT_TRUE(w.find(gbk("编辑框序号"))->options().centred);

    const Control* templ = w.find(gbk("编辑框组合"));
    EXPECT_EQ(templ->tag(), gbk("字节集方式"));
    EXPECT_TRUE(templ->options().multiLine);
    EXPECT_TRUE(templ->options().verticalScrollBar);

    const Control* dialog = w.find(gbk("通用对话框1"));
    EXPECT_FALSE(dialog->visible());
    EXPECT_EQ(dialog->dialogFilter(), gbk("文本文件(*.txt)|*.txt|全部文件(*.*)|*.*"));
    EXPECT_EQ(dialog->defaultExtension(), "txt");
}

TEST(WindowTables, FixedTexts)
{
    // "墨汀·Quillet": the dot is the GBK middle dot A1 A4.
    EXPECT_EQ(programNameText(), "\xC4\xAB\xCD\xA1\xA1\xA4Quillet");

    const GbkText& templ = defaultTemplate();
    EXPECT_EQ(templ,
              gbk("【#买家#】在#日期#买的#颜色##尺码#：Ta说 >> #评论#") + "\r\n" + gbk("#分隔##买家#Ta说：#评论#") + "\r\n"
                  + gbk("#分隔##买家#买的颜色是#颜色#，尺码是#尺码#，Ta的意见是：#评论#") + "\r\n");

    std::vector<GbkText> lines;
    const GbkText& help = templateHelpText();
    for (std::size_t pos = 0;;) {
        const std::size_t end = help.find("\r\n", pos);
        lines.push_back(help.substr(pos, end == std::string::npos ? std::string::npos : end - pos));
        if (end == std::string::npos)
            break;
        pos = end + 2;
    }
    ASSERT_EQ(lines.size(), 19u);
    EXPECT_EQ(lines[0], gbk("■ 在模板中可引用项目及说明："));
    EXPECT_TRUE(lines[1].empty());
    for (int i = 2; i <= 13; ++i)
        EXPECT_EQ(std::count(lines[i].begin(), lines[i].end(), '\t'), 1) << i + 1;
    EXPECT_EQ(lines[2], gbk("#评论#") + "\t" + gbk("一条评论信息"));
    EXPECT_EQ(lines[13], gbk("#分隔#") + "\t" + gbk("如果你想弄多个模板随机切换，那就在多个模板之间插入#分隔#吧"));
    EXPECT_TRUE(lines[14].empty());
    EXPECT_TRUE(lines[16].empty());
    EXPECT_NE(lines[17].find("/item.htm?id=23274328099"), std::string::npos);
    EXPECT_TRUE(lines[17].starts_with(gbk("如这件商品“")));
    EXPECT_TRUE(lines[17].ends_with(gbk("”是食品类，")));
    EXPECT_EQ(lines[18], gbk("评论里有个“风味”参数，在模板中引用时只需填“#风味#”即可自动引用该数据。"));

    EXPECT_NE(notesText().find(gbk("-----------------【疑点说明】-----------------")), std::string::npos);
    EXPECT_NE(notesText().find("100"), std::string::npos);
}

TEST(WindowTables, TextDialogAndProxyWindow)
{
    const Window dialog = makeTextDialog();
    EXPECT_EQ(dialog.geometry().width, 495);
    EXPECT_EQ(dialog.geometry().height, 393);
    EXPECT_EQ(dialog.border(), Border::Resizable);
    EXPECT_TRUE(dialog.title().empty());
    expectRows(dialog, {
        {"编辑框提示", K::EditBox, "", {13, 8, 395, 33}},
        {"编辑框正文", K::EditBox, "", {5, 56, 411, 168}},
        {"按钮确定", K::Button, "确定", {351, 328, 64, 24}},
        {"按钮取消", K::Button, "取消", {414, 328, 64, 24}},
        {"外形框", K::Frame, "", {8, 320, 336, 34}},
    });
    EXPECT_TRUE(dialog.find(gbk("编辑框提示"))->options().readOnly);
    EXPECT_TRUE(dialog.find(gbk("按钮确定"))->options().defaultButton);
    EXPECT_EQ(dialog.find(gbk("编辑框正文"))->font().pixelSize, 15);
    EXPECT_EQ(textDialogDefaultTitle(), gbk("墨汀："));

    const Window proxy = makeProxyWindow();
    EXPECT_EQ(proxy.title(), gbk("启用代理IP访问"));
    EXPECT_EQ(proxy.geometry().width, 379);
    EXPECT_EQ(proxy.geometry().height, 164);
    EXPECT_EQ(proxy.border(), Border::FixedToolWindow);
    expectRows(proxy, {
        {"标签1", K::Label,
         "当采集大量评论时，淘宝可能会限制IP，导致不能采集。\r\n因此本功能可以设置一个代理IP来继续采集。\r\n\r\n"
         "显示本窗口时代理IP有效。",
         {8, 8, 360, 48}},
        {"标签2", K::Label, "代理IP：", {8, 104, 72, 24}},
        {"编辑框代理IP", K::EditBox, "IP:端口", {88, 104, 216, 24}},
        {"按钮粘贴", K::Button, "粘贴", {312, 102, 56, 28}},
    });
    EXPECT_EQ(proxy.find(gbk("按钮粘贴"))->font(), (Font{gbk("宋体"), 19, true}));
    EXPECT_EQ(proxy.find(gbk("标签1"))->font().pixelSize, 12);
    EXPECT_EQ(proxySection(), gbk("设置代理"));
    EXPECT_EQ(proxyKey(), gbk("代理IP"));
}

TEST(WindowTables, ProductIdWindows)
{
    const Window shop = makeShopIdWindow();
    EXPECT_EQ(shop.title(), gbk("采集商品ID_按店铺"));
    EXPECT_EQ(shop.geometry(), (Rect{50, 50, 494, 221}));
    expectRows(shop, {
        {"标签1", K::Label, "店铺地址：", {16, 24, 72, 24}},
        {"编辑框店铺地址", K::EditBox, text::gbkToUtf8(exampleMallShopAddress()), {88, 24, 376, 24}},
        {"按钮1", K::Button, "?", {431, 26, 30, 20}},
        {"标签2", K::Label, "保存目录：", {16, 64, 72, 24}},
        {"编辑框保存目录", K::EditBox, home(""), {88, 64, 376, 24}},
        {"按钮选择", K::Button, "..", {431, 66, 30, 20}},
        {"标签3", K::Label, "商品排序：", {16, 104, 72, 32}},
        {"单选框默认", K::RadioButton, "默认", {88, 104, 56, 32}},
        {"单选框人气", K::RadioButton, "人气", {144, 104, 64, 32}},
        {"单选框销量", K::RadioButton, "销量", {208, 104, 64, 32}},
        {"单选框新品", K::RadioButton, "新品", {280, 104, 56, 32}},
        {"单选框价格", K::RadioButton, "价格", {352, 104, 56, 32}},
        {"单选框收藏", K::RadioButton, "收藏", {416, 104, 80, 32}},
        {"按钮开始", K::Button, "开始采集", {16, 144, 296, 32}},
        {"选择框插入", K::CheckBox, "插入商品地址前缀", {325, 144, 160, 32}},
        {"按钮查询宝贝数", K::Button, "查询该店铺宝贝数目..", {16, 184, 240, 32}},
    });
    EXPECT_TRUE(shop.find(gbk("单选框默认"))->checked());
    EXPECT_FALSE(shop.find(gbk("单选框收藏"))->checked());
    EXPECT_TRUE(shop.find(gbk("选择框插入"))->checked());
    EXPECT_FALSE(shop.find(gbk("按钮查询宝贝数"))->visible());
    EXPECT_EQ(shopIdSection(), gbk("店铺采集ID"));

    const Window keyword = makeKeywordIdWindow();
    EXPECT_EQ(keyword.title(), gbk("采集商品ID_按关键词"));
    EXPECT_EQ(keyword.geometry(), (Rect{50, 50, 608, 127}));
    expectRows(keyword, {
        {"标签1", K::Label, "排序：", {16, 20, 48, 24}},
        {"组合框排序", K::ComboBox, "", {64, 20, 56, 24}},
        {"标签3", K::Label, "页数：", {136, 20, 48, 24}},
        {"编辑框页数", K::EditBox, "5", {184, 20, 32, 24}},
        {"标签2", K::Label, "关键词：", {251, 20, 61, 24}},
        {"编辑框关键词", K::EditBox, "女装", {312, 20, 128, 24}},
        {"按钮采集", K::Button, "采集", {456, 20, 128, 28}},
        {"标签4", K::Label, "保存目录：", {16, 56, 80, 24}},
        {"编辑框保存目录", K::EditBox, home(""), {96, 56, 344, 24}},
        {"按钮选择", K::Button, "..", {408, 58, 30, 20}},
        {"选择框插入", K::CheckBox, "插入商品地址前缀", {456, 56, 160, 24}},
    });
    const Control* sort = keyword.find(gbk("组合框排序"));
    EXPECT_EQ(sort->items(), (std::vector<GbkText>{gbk("人气"), gbk("销量"), gbk("信用")}));
    EXPECT_EQ(sort->selectedIndex(), 0);
    EXPECT_TRUE(keyword.find(gbk("按钮采集"))->options().defaultButton);
    EXPECT_TRUE(keyword.find(gbk("编辑框页数"))->options().centred);
    EXPECT_EQ(keywordIdSection(), gbk("关键词采集ID"));
}

} // namespace
} // namespace quillet::ui
