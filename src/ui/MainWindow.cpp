#include "MainWindow.h"

#include "DesignHelpers.h"
#include "text/Paths.h"

namespace quillet::ui {

using namespace design;
using namespace mainwin;
using K = ControlKind;

const GbkText& mainWindowSection()
{
    return gbk("Quillet");
}

const GbkText& programNameText()
{
    return gbk("墨汀·Quillet");
}

const GbkText& defaultTemplate()
{
    return gbk("【#买家#】在#日期#买的#颜色##尺码#：Ta说 >> #评论#\r\n"
               "#分隔##买家#Ta说：#评论#\r\n"
               "#分隔##买家#买的颜色是#颜色#，尺码是#尺码#，Ta的意见是：#评论#\r\n");
}

const GbkText& templateHelpExampleAddress()
{
    return gbk("http://detail.tmall.com/item.htm?id=23274328099");
}

const GbkText& templateHelpPrompt()
{
    return gbk("模板里引用评论项目，下面是可引用项目说明：");
}

const GbkText& templateHelpText()
{
    static const GbkText text = [] {
        GbkText t;
        t += gbk("■ 在模板中可引用项目及说明：") + "\r\n";
        t += "\r\n";
        const std::pair<const char*, const char*> markers[] = {
            {"#评论#", "一条评论信息"},
            {"#买家#", "写评论的买家昵称"},
            {"#日期#", "评论发表的日期"},
            {"#颜色#", "商品的颜色或颜色分类"},
            {"#尺码#", "商品的尺码或大小范围"},
            {"#年龄#", "女装类项目"},
            {"#身高#", "女装类项目"},
            {"#体重#", "女装类项目"},
            {"#是否合身#", "女装类项目"},
            {"#标题#", "商品标题，如果启用标题打乱，则是打乱后的标题"},
            {"#原标题#", "商品原标题，不受打乱影响"},
            {"#分隔#", "如果你想弄多个模板随机切换，那就在多个模板之间插入#分隔#吧"},
        };
        for (const auto& [marker, description] : markers)
            t += gbk(marker) + "\t" + gbk(description) + "\r\n";
        t += "\r\n";
        t += gbk("■ 更多评论项目可直接以“#项目名#”来引用，程序可智能识别提取对应数据。") + "\r\n";
        t += "\r\n";
        t += gbk("如这件商品“") + templateHelpExampleAddress() + gbk("”是食品类，") + "\r\n";
        t += gbk("评论里有个“风味”参数，在模板中引用时只需填“#风味#”即可自动引用该数据。");
        return t;
    }();
    return text;
}

const GbkText& notesTitle()
{
    return gbk("疑点说明");
}

const GbkText& notesText()
{
    return gbk(
        "本程序从淘宝和天猫的商品页采集买家评论，按你写的模板把评论、买家昵称、日期、颜色、尺码等"
        "项目组合成一篇篇文章或报告，保存为文本文件。\r\n"
        "模板可写多个，以#分隔#隔开，每段随机选用；评论可按字数筛选，可按替换列表过滤改写；"
        "标题和内容都可打乱，使每篇文章各不相同。\r\n"
        "商品ID文件可以用“采集商品ID_按店铺”和“采集商品ID_按关键词”两个小工具生成。\r\n"
        "\r\n"
        "-----------------【疑点说明】-----------------\r\n"
        "\r\n"
        "【评论类型】只采集所选类型的评论：全部、好评、中评、差评或追评。\r\n"
        "\r\n"
        "【评论最少字数】字数少于此数的评论不采用，一个汉字算一个字。\r\n"
        "\r\n"
        "【采集页数】每个商品最多采集多少页评论，最多100页；填0则采集全部页。\r\n"
        "\r\n"
        "【标题打乱】把商品标题按空格分成若干词，随机打乱词的顺序，作为#标题#。\r\n"
        "\r\n"
        "【内容打乱】同一项目（如#评论#、#买家#）的值在各条评论之间随机互换。\r\n"
        "\r\n"
        "【替换】把匹配列表里的各项依次替换为替换列表里的对应项，各项用“|”隔开，"
        "例如把“1|2|3”替换为“一|二|三”；勾选“正则模式”后，匹配列表按正则表达式处理。\r\n"
        "\r\n"
        "【保存模板】文章的模板，引用的项目见“查看引用说明”；多个模板之间插入#分隔#，随机选用。\r\n"
        "\r\n"
        "【仅信息框快速预览】不写文件，只把一页评论的前10条结果显示在信息框里，用来检查模板和设置。\r\n"
        "\r\n"
        "【保存目录和扩展名】文章保存到这个目录，文件扩展名由右边的输入框决定（默认txt）；"
        "右击目录后的“..”按钮可以打开该目录。");
}

Window makeMainWindow()
{
    Window w(GbkText("MainWindow"), programNameText() + gbk(" 0.1 - 淘宝天猫评论采集与文章生成工具"),
             Rect{50, 50, 715, 628}, Border::Fixed);

    // Banner: picture buttons with a link label under each.
    {
        auto box = control(K::PictureBox, 图片框2, "", {0, 0, 816, 88});
        w.add(box);
        auto picture = [&](const ControlName& name, Rect place, const char* resource) {
            auto d = control(K::PictureButton, name, 图片框2, "", place);
            d.picture = resource;
            w.add(d);
        };
        auto link = [&](const ControlName& name, const char* caption, Rect place) {
            auto d = control(K::LinkLabel, name, 图片框2, caption, place);
            d.font = songti(12);
            w.add(d);
        };
        picture(图片保存配置, {16, 0, 64, 64}, "save");
        link(链接保存配置, "保存配置", {16, 64, 64, 24});
        picture(图片疑点说明, {96, 0, 64, 64}, "notes");
        link(链接疑点说明, "疑点说明", {96, 64, 64, 24});
        picture(图片软件主页, {176, 0, 64, 64}, "home");
        link(链接软件主页, "软件主页", {176, 64, 64, 24});
        picture(图片联系作者, {256, 0, 64, 64}, "contact");
        link(链接联系作者, "联系作者", {256, 64, 64, 24});
        picture(图片墨汀软件, {376, 12, 195, 64}, "logo");
        picture(图片框代理, {632, 0, 64, 64}, "proxy");
        link(超级链接框代理, "设置代理", {632, 64, 64, 24});
    }
    w.add(control(K::Label, 标签12, "", {0, 88, 1000, 2}));

    auto group = [&](const ControlName& name, const char* caption, Rect place) {
        auto d = control(K::GroupBox, name, caption, place);
        d.font = heiti(15);
        w.add(d);
    };

    // Step one: the product-ID file.
    group(分组框1, "第一步：采集商品ID,指定ID文件", {12, 104, 680, 104});
    w.add(control(K::Button, 按钮按关键词, 分组框1, "采集商品ID_按关键词", {8, 24, 304, 32}));
    w.add(control(K::Button, 按钮按店铺, 分组框1, "采集商品ID_按店铺", {360, 24, 304, 32}));
    w.add(control(K::Label, 标签1, 分组框1, "商品ID文件：", {8, 64, 92, 24}));
    {
        auto d = control(K::EditBox, 编辑框商品ID文件, 分组框1, "", {96, 64, 352, 24});
        d.text = text::localDefaultPath(gbk("C:\\商品ID文件.txt"));
        w.add(d);
    }
    w.add(control(K::Button, 按钮2, 分组框1, "..", {448, 64, 24, 24}));
    w.add(control(K::Label, 标签9, 分组框1, "从第        个ID开始采集", {496, 64, 183, 24}));
    {
        auto d = control(K::EditBox, 编辑框序号, 分组框1, "1", {536, 64, 32, 24});
        d.options.digitsOnly = true;
        d.options.centred = true;
        w.add(d);
    }

    // Step two: harvest settings.
    group(分组框2, "第二步：采集设置", {12, 224, 680, 93});
    w.add(control(K::Label, 标签8, 分组框2, "评论类型：", {8, 24, 72, 24}));
    {
        auto d = control(K::ComboBox, 组合框类型, 分组框2, "", {80, 26, 65, 20});
        d.items = items({"全部", "好评", "中评", "差评", "追评"});
        d.selectedIndex = 1;
        w.add(d);
    }
    w.add(control(K::Label, 标签7, 分组框2, "评论最少字数：", {176, 24, 105, 24}));
    auto centredEdit = [&](const ControlName& name, const ControlName& parent, const char* text, Rect place, int fontSize = 14) {
        auto d = control(K::EditBox, name, parent, text, place);
        d.options.centred = true;
        d.font = songti(fontSize);
        w.add(d);
    };
    auto checkBox = [&](const ControlName& name, const ControlName& parent, const char* caption, bool checked, Rect place) {
        auto d = control(K::CheckBox, name, parent, caption, place);
        d.checked = checked;
        w.add(d);
    };
    centredEdit(编辑框字数, 分组框2, "5", {278, 24, 39, 24});
    w.add(control(K::Label, 标签4, 分组框2, "采集页数：", {344, 24, 76, 24}));
    centredEdit(编辑框页数, 分组框2, "10", {418, 24, 39, 24});
    checkBox(选择框标题打乱, 分组框2, "标题打乱", true, {496, 24, 80, 24});
    checkBox(选择框内容打乱, 分组框2, "内容打乱", true, {595, 24, 77, 24});
    checkBox(选择框过滤, 分组框2, "替 换：", false, {8, 56, 72, 24});
    w.add(control(K::EditBox, 编辑框匹配式, 分组框2, "字符1|字符2|字符3", {80, 56, 237, 24}));
    w.add(control(K::Label, 标签6, 分组框2, "为", {323, 56, 21, 24}));
    w.add(control(K::EditBox, 编辑框替换式, 分组框2, "新字符1|新字符2|新字符3", {348, 56, 220, 24}));
    checkBox(选择框正则, 分组框2, "正则模式", false, {595, 61, 77, 16});

    // Step three: output settings and the run button.
    group(分组框3, "第三步：保存设置,开始采集", {12, 331, 680, 248});
    w.add(control(K::Label, 标签3, 分组框3, "保存模板：", {8, 16, 80, 24}));
    checkBox(选择框仅信息框, 分组框3, "仅信息框快速预览", false, {240, 16, 142, 24});
    checkBox(选择框空无, 分组框3, "空数据显示为无", true, {392, 16, 132, 24});
    w.add(control(K::Button, 按钮引用说明, 分组框3, "查看引用说明", {528, 16, 136, 24}));
    {
        auto d = control(K::EditBox, 编辑框组合, 分组框3, "", {8, 40, 656, 128});
        d.text = defaultTemplate();
        d.options.multiLine = true;
        d.options.verticalScrollBar = true;
        d.tag = gbk("字节集方式");
        w.add(d);
    }
    {
        auto d = control(K::Button, 按钮采集, 分组框3, "开始采集", {8, 168, 500, 32});
        d.options.defaultButton = true;
        d.font = songti(19, true);
        w.add(d);
    }
    {
        auto d = control(K::Label, 标签2, 分组框3, "每页延时秒：、", {522, 173, 91, 24});
        d.font = songti(15);
        w.add(d);
    }
    centredEdit(编辑框每页延时秒, 分组框3, "0.01", {616, 173, 48, 24}, 15);
    w.add(control(K::Label, 标签5, 分组框3, "保存目录：", {8, 208, 72, 24}));
    {
        auto d = control(K::EditBox, 编辑框保存目录, 分组框3, "", {80, 208, 448, 24});
        d.text = text::localDefaultPath(gbk("C:\\淘宝评论"));
        w.add(d);
    }
    w.add(control(K::Button, 按钮选择目录, 分组框3, "..", {495, 210, 30, 20}));
    {
        auto d = control(K::ComboBox, 组合框命名方式, 分组框3, "", {531, 208, 91, 23});
        d.items = items({"标题命名", "ID号命名", "全部合并", "ID号|合并"});
        d.selectedIndex = 0;
        d.font = songti(15);
        w.add(d);
    }
    centredEdit(编辑框扩展名, 分组框3, "txt", {625, 208, 40, 24});

    {
        auto d = control(K::FileDialog, 通用对话框1, "", {0, 0, 0, 0});
        d.options.visibleByDesign = false;
        d.dialogFilter = gbk("文本文件(*.txt)|*.txt|全部文件(*.*)|*.*");
        d.defaultExtension = gbk("txt");
        w.add(d);
    }
    return w;
}

} // namespace quillet::ui
