#include "SecondaryWindows.h"

#include "DesignHelpers.h"
#include "text/Paths.h"

namespace quillet::ui {

using namespace design;
using K = ControlKind;

const GbkText& textDialogDefaultTitle()
{
    return gbk("墨汀：");
}

Window makeTextDialog()
{
    using namespace textdlg;
    // Left and top of -1: the dialog is centred on the screen when shown.
    Window w(GbkText("TextDialog"), GbkText(), Rect{-1, -1, 495, 393}, Border::Resizable);
    {
        auto d = control(K::EditBox, 编辑框提示, "", {13, 8, 395, 33});
        d.options.multiLine = true;
        d.options.readOnly = true;
        w.add(d);
    }
    {
        auto d = control(K::EditBox, 编辑框正文, "", {5, 56, 411, 168});
        d.options.multiLine = true;
        d.options.verticalScrollBar = true;
        d.font = songti(15);
        w.add(d);
    }
    {
        auto d = control(K::Button, 按钮确定, "确定", {351, 328, 64, 24});
        d.options.defaultButton = true;
        d.font = songti(15);
        w.add(d);
    }
    {
        auto d = control(K::Button, 按钮取消, "取消", {414, 328, 64, 24});
        d.font = songti(15);
        w.add(d);
    }
    w.add(control(K::Frame, 外形框, "", {8, 320, 336, 34}));
    return w;
}

const GbkText& proxySection()
{
    return gbk("设置代理");
}

const GbkText& proxyKey()
{
    return gbk("代理IP");
}

Window makeProxyWindow()
{
    using namespace proxywin;
    Window w(GbkText("ProxyWindow"), gbk("启用代理IP访问"), Rect{-1, -1, 379, 164}, Border::FixedToolWindow);
    {
        auto d = control(K::Label, 标签1,
                         "当采集大量评论时，淘宝可能会限制IP，导致不能采集。\r\n"
                         "因此本功能可以设置一个代理IP来继续采集。\r\n"
                         "\r\n"
                         "显示本窗口时代理IP有效。",
                         {8, 8, 360, 48});
        d.font = songti(12);
        w.add(d);
    }
    {
        auto d = control(K::LinkLabel, 链接代理检测, "代理IP是否可用？点此检测", {0, 64, 296, 24});
        d.font = songti(12);
        w.add(d);
    }
    const Font big = songti(19, true);
    {
        auto d = control(K::Label, 标签2, "代理IP：", {8, 104, 72, 24});
        d.font = big;
        w.add(d);
    }
    {
        auto d = control(K::EditBox, 编辑框代理IP, "IP:端口", {88, 104, 216, 24});
        d.font = big;
        w.add(d);
    }
    {
        auto d = control(K::Button, 按钮粘贴, "粘贴", {312, 102, 56, 28});
        d.font = big;
        w.add(d);
    }
    return w;
}

const GbkText& shopIdSection()
{
    return gbk("店铺采集ID");
}

const GbkText& exampleMallShopAddress()
{
    return gbk("http://example.tmall.com/");
}

const GbkText& exampleMarketShopAddress()
{
    return gbk("http://example.taobao.com/");
}

Window makeShopIdWindow()
{
    using namespace shopwin;
    Window w(GbkText("ShopIdWindow"), gbk("采集商品ID_按店铺"), Rect{50, 50, 494, 221}, Border::Fixed);
    w.add(control(K::Label, 标签1, "店铺地址：", {16, 24, 72, 24}));
    {
        auto d = control(K::EditBox, 编辑框店铺地址, "", {88, 24, 376, 24});
        d.text = exampleMallShopAddress();
        w.add(d);
    }
    w.add(control(K::Button, 按钮1, "?", {431, 26, 30, 20}));
    w.add(control(K::Label, 标签2, "保存目录：", {16, 64, 72, 24}));
    {
        auto d = control(K::EditBox, 编辑框保存目录, "", {88, 64, 376, 24});
        d.text = text::localDefaultPath(gbk("C:\\"));
        w.add(d);
    }
    w.add(control(K::Button, 按钮选择, "..", {431, 66, 30, 20}));
    w.add(control(K::Label, 标签3, "商品排序：", {16, 104, 72, 32}));
    auto radio = [&](const ControlName& name, const char* caption, Rect place, bool checked = false) {
        auto d = control(K::RadioButton, name, caption, place);
        d.checked = checked;
        w.add(d);
    };
    radio(单选框默认, "默认", {88, 104, 56, 32}, true);
    radio(单选框人气, "人气", {144, 104, 64, 32});
    radio(单选框销量, "销量", {208, 104, 64, 32});
    radio(单选框新品, "新品", {280, 104, 56, 32});
    radio(单选框价格, "价格", {352, 104, 56, 32});
    radio(单选框收藏, "收藏", {416, 104, 80, 32});
    w.add(control(K::Button, 按钮开始, "开始采集", {16, 144, 296, 32}));
    {
        auto d = control(K::CheckBox, 选择框插入, "插入商品地址前缀", {325, 144, 160, 32});
        d.checked = true;
        w.add(d);
    }
    {
        auto d = control(K::Button, 按钮查询宝贝数, "查询该店铺宝贝数目..", {16, 184, 240, 32});
        d.options.visibleByDesign = false;
        w.add(d);
    }
    return w;
}

const GbkText& keywordIdSection()
{
    return gbk("关键词采集ID");
}

Window makeKeywordIdWindow()
{
    using namespace keywordwin;
    Window w(GbkText("KeywordIdWindow"), gbk("采集商品ID_按关键词"), Rect{50, 50, 608, 127}, Border::Fixed);
    w.add(control(K::Label, 标签1, "排序：", {16, 20, 48, 24}));
    {
        auto d = control(K::ComboBox, 组合框排序, "", {64, 20, 56, 24});
        d.items = items({"人气", "销量", "信用"});
        d.selectedIndex = 0;
        w.add(d);
    }
    w.add(control(K::Label, 标签3, "页数：", {136, 20, 48, 24}));
    {
        auto d = control(K::EditBox, 编辑框页数, "5", {184, 20, 32, 24});
        d.options.centred = true;
        w.add(d);
    }
    w.add(control(K::Label, 标签2, "关键词：", {251, 20, 61, 24}));
    w.add(control(K::EditBox, 编辑框关键词, "女装", {312, 20, 128, 24}));
    {
        auto d = control(K::Button, 按钮采集, "采集", {456, 20, 128, 28});
        d.options.defaultButton = true;
        w.add(d);
    }
    w.add(control(K::Label, 标签4, "保存目录：", {16, 56, 80, 24}));
    {
        auto d = control(K::EditBox, 编辑框保存目录, "", {96, 56, 344, 24});
        d.text = text::localDefaultPath(gbk("C:\\"));
        w.add(d);
    }
    w.add(control(K::Button, 按钮选择, "..", {408, 58, 30, 20}));
    {
        auto d = control(K::CheckBox, 选择框插入, "插入商品地址前缀", {456, 56, 160, 24});
        d.checked = true;
        w.add(d);
    }
    return w;
}

} // namespace quillet::ui
