#pragma once

// Every control name of every window, written once. The window tables build their controls
// from these constants and every handler, the batch run and the command line look controls up
// through them, so a misspelt name does not compile instead of silently finding nothing.
//
// The constant is named exactly like the control (the macro spells the name from the
// identifier), e.g. ui::mainwin::按钮采集 is the control "按钮采集" of the main window.

#include "text/GbkText.h"

#include <string_view>

namespace quillet::ui {

// The name of one control: UTF-8 in the source, GBK (the program's text) when used.
class ControlName {
public:
    constexpr explicit ControlName(std::string_view utf8) : m_utf8(utf8) {}

    [[nodiscard]] constexpr std::string_view utf8() const { return m_utf8; }
    // The GBK name, converted once per process and cached.
    [[nodiscard]] const GbkText& gbk() const { return quillet::gbk(m_utf8); }

    friend bool operator==(const ControlName& a, const ControlName& b) { return a.m_utf8 == b.m_utf8; }
    friend bool operator==(const GbkText& name, const ControlName& c) { return name == c.gbk(); }

private:
    std::string_view m_utf8;
};

} // namespace quillet::ui

#define QUILLET_CONTROL_NAME(identifier) inline constexpr ::quillet::ui::ControlName identifier{#identifier}

// The main window.
namespace quillet::ui::mainwin {
QUILLET_CONTROL_NAME(图片框2);
QUILLET_CONTROL_NAME(图片保存配置);
QUILLET_CONTROL_NAME(链接保存配置);
QUILLET_CONTROL_NAME(图片疑点说明);
QUILLET_CONTROL_NAME(链接疑点说明);
QUILLET_CONTROL_NAME(图片软件主页);
QUILLET_CONTROL_NAME(链接软件主页);
QUILLET_CONTROL_NAME(图片联系作者);
QUILLET_CONTROL_NAME(链接联系作者);
QUILLET_CONTROL_NAME(图片墨汀软件);
QUILLET_CONTROL_NAME(图片框代理);
QUILLET_CONTROL_NAME(超级链接框代理);
QUILLET_CONTROL_NAME(标签12);
QUILLET_CONTROL_NAME(分组框1);
QUILLET_CONTROL_NAME(按钮按关键词);
QUILLET_CONTROL_NAME(按钮按店铺);
QUILLET_CONTROL_NAME(标签1);
QUILLET_CONTROL_NAME(编辑框商品ID文件);
QUILLET_CONTROL_NAME(按钮2);
QUILLET_CONTROL_NAME(标签9);
QUILLET_CONTROL_NAME(编辑框序号);
QUILLET_CONTROL_NAME(分组框2);
QUILLET_CONTROL_NAME(标签8);
QUILLET_CONTROL_NAME(组合框类型);
QUILLET_CONTROL_NAME(标签7);
QUILLET_CONTROL_NAME(编辑框字数);
QUILLET_CONTROL_NAME(标签4);
QUILLET_CONTROL_NAME(编辑框页数);
QUILLET_CONTROL_NAME(选择框标题打乱);
QUILLET_CONTROL_NAME(选择框内容打乱);
QUILLET_CONTROL_NAME(选择框过滤);
QUILLET_CONTROL_NAME(编辑框匹配式);
QUILLET_CONTROL_NAME(标签6);
QUILLET_CONTROL_NAME(编辑框替换式);
QUILLET_CONTROL_NAME(选择框正则);
QUILLET_CONTROL_NAME(分组框3);
QUILLET_CONTROL_NAME(标签3);
QUILLET_CONTROL_NAME(选择框仅信息框);
QUILLET_CONTROL_NAME(选择框空无);
QUILLET_CONTROL_NAME(按钮引用说明);
QUILLET_CONTROL_NAME(编辑框组合);
QUILLET_CONTROL_NAME(按钮采集);
QUILLET_CONTROL_NAME(标签2);
QUILLET_CONTROL_NAME(编辑框每页延时秒);
QUILLET_CONTROL_NAME(标签5);
QUILLET_CONTROL_NAME(编辑框保存目录);
QUILLET_CONTROL_NAME(按钮选择目录);
QUILLET_CONTROL_NAME(组合框命名方式);
QUILLET_CONTROL_NAME(编辑框扩展名);
QUILLET_CONTROL_NAME(通用对话框1);
} // namespace quillet::ui::mainwin

// The text dialog.
namespace quillet::ui::textdlg {
QUILLET_CONTROL_NAME(编辑框提示);
QUILLET_CONTROL_NAME(编辑框正文);
QUILLET_CONTROL_NAME(按钮确定);
QUILLET_CONTROL_NAME(按钮取消);
QUILLET_CONTROL_NAME(外形框);
} // namespace quillet::ui::textdlg

// The proxy window.
namespace quillet::ui::proxywin {
QUILLET_CONTROL_NAME(标签1);
QUILLET_CONTROL_NAME(链接代理检测);
QUILLET_CONTROL_NAME(标签2);
QUILLET_CONTROL_NAME(编辑框代理IP);
QUILLET_CONTROL_NAME(按钮粘贴);
} // namespace quillet::ui::proxywin

// The window that collects the product IDs of one shop.
namespace quillet::ui::shopwin {
QUILLET_CONTROL_NAME(标签1);
QUILLET_CONTROL_NAME(编辑框店铺地址);
QUILLET_CONTROL_NAME(按钮1);
QUILLET_CONTROL_NAME(标签2);
QUILLET_CONTROL_NAME(编辑框保存目录);
QUILLET_CONTROL_NAME(按钮选择);
QUILLET_CONTROL_NAME(标签3);
QUILLET_CONTROL_NAME(单选框默认);
QUILLET_CONTROL_NAME(单选框人气);
QUILLET_CONTROL_NAME(单选框销量);
QUILLET_CONTROL_NAME(单选框新品);
QUILLET_CONTROL_NAME(单选框价格);
QUILLET_CONTROL_NAME(单选框收藏);
QUILLET_CONTROL_NAME(按钮开始);
QUILLET_CONTROL_NAME(选择框插入);
QUILLET_CONTROL_NAME(按钮查询宝贝数);
} // namespace quillet::ui::shopwin

// The window that collects product IDs by keyword search.
namespace quillet::ui::keywordwin {
QUILLET_CONTROL_NAME(标签1);
QUILLET_CONTROL_NAME(组合框排序);
QUILLET_CONTROL_NAME(标签3);
QUILLET_CONTROL_NAME(编辑框页数);
QUILLET_CONTROL_NAME(标签2);
QUILLET_CONTROL_NAME(编辑框关键词);
QUILLET_CONTROL_NAME(按钮采集);
QUILLET_CONTROL_NAME(标签4);
QUILLET_CONTROL_NAME(编辑框保存目录);
QUILLET_CONTROL_NAME(按钮选择);
QUILLET_CONTROL_NAME(选择框插入);
} // namespace quillet::ui::keywordwin
