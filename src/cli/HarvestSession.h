#pragma once

#include "text/GbkText.h"

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace quillet::cli {

// The options of `quillet-cli harvest`: each mirrors a control of the main window. An option
// not given leaves the control as the saved settings (or the design default) have it.
struct HarvestOptions {
    std::optional<std::string> ids;          // 编辑框商品ID文件
    std::optional<std::string> start;        // 编辑框序号
    std::optional<int> type;                 // 组合框类型
    std::optional<std::string> minChars;     // 编辑框字数
    std::optional<std::string> pages;        // 编辑框页数
    std::optional<std::string> delay;        // 编辑框每页延时秒
    std::optional<bool> shuffleTitle;        // 选择框标题打乱
    std::optional<bool> shuffleContent;      // 选择框内容打乱
    std::optional<bool> filter;              // 选择框过滤
    std::optional<std::string> matchList;    // 编辑框匹配式
    std::optional<std::string> replaceList;  // 编辑框替换式
    std::optional<bool> regex;               // 选择框正则
    std::optional<std::string> templateFile; // 编辑框组合, read from this file
    std::optional<bool> emptyAsNone;         // 选择框空无
    std::optional<bool> preview;             // 选择框仅信息框
    std::optional<std::string> out;          // 编辑框保存目录
    std::optional<int> naming;               // 组合框命名方式
    std::optional<std::string> ext;          // 编辑框扩展名
    std::optional<std::string> proxy;        // as if the proxy window were open with this text
    std::vector<std::string> connectTo;      // HOST:PORT:ADDRESS:PORT
    std::optional<std::string> settings;     // the settings file
    bool save = false;                       // store the control states after the run
    bool help = false;
};

// Parses the arguments after "harvest". On a bad option returns false with a message.
bool parseHarvestOptions(const std::vector<std::string>& args, HarvestOptions& options, std::string& error);

// The help text of `quillet-cli harvest`, with every option's default.
[[nodiscard]] std::string harvestHelp();

// Reads a template file written in UTF-8 (with or without a byte-order mark) or GBK, and
// gives it as GBK with CR LF line ends. False when the file cannot be read.
bool readTemplateFile(const std::string& path, GbkText& templateText);

// Runs one batch harvest as the desktop program's run button would. Returns the exit status.
int runHarvestSession(const HarvestOptions& options, std::ostream& out, std::ostream& err);

} // namespace quillet::cli
