// The small pieces of the harvest and its command line: product-ID file lines, time stamps,
// query encoding, attribute values, option parsing and template files.

#include "cli/HarvestSession.h"
#include "harvest/BatchRun.h"
#include "harvest/Harvest.h"
#include "support/TempFolder.h"
#include "text/Charset.h"
#include "ui/MainWindow.h"
#include "ui/Window.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>


namespace quillet::harvest {
namespace {

using ::testing::ElementsAre;
using namespace std::string_literals;
using testsupport::TempFolder;
using testsupport::writeFileBytes;

GbkText g(const char* utf8)
{
    return text::utf8ToGbk(utf8);
}

// True when text has the shape of pattern, where each '9' stands for a digit.
bool hasShape(const std::string& text, const std::string& pattern)
{
    if (text.size() != pattern.size())
        return false;
    for (size_t i = 0; i < text.size(); ++i)
        if (pattern[i] == '9' ? (text[i] < '0' || text[i] > '9') : text[i] != pattern[i])
            return false;
    return true;
}

std::vector<std::string> readLines(const TempFolder& folder, std::string_view bytes)
{
    writeFileBytes(folder.file("ids.txt"), bytes);
    ProductIdFile file;
    EXPECT_TRUE(file.open(folder.gbkFile("ids.txt")));
    std::vector<std::string> lines;
    GbkText line;
    while (file.nextLine(line))
        lines.push_back(line);
    return lines;
}

TEST(ProductIdFileLines, EveryLineEndAndNoneAtTheEnd)
{
    TempFolder folder;
    EXPECT_THAT(readLines(folder, "a\nb\r\nc\0d\x1A" "e\r\rf"s),
                ElementsAre("a", "b", "c", "d", "e\r\rf"));
    EXPECT_THAT(readLines(folder, "a\n\n\r\nb\n"), ElementsAre("a", "", "", "b"));
    EXPECT_THAT(readLines(folder, ""), ElementsAre());
    EXPECT_THAT(readLines(folder, std::string(3, '\0')), ElementsAre("", "", ""));
}

TEST(ProductIdFileLines, LongLinesAndBlockBoundaries)
{
    TempFolder folder;
    // A CR LF pair split over the 64 KB reading blocks, then a 1 MB line.
    std::string bytes(65535, 'x');
    bytes += "\r\n";
    bytes += std::string(1 << 20, 'y');
    bytes += "\r\nz";
    const auto lines = readLines(folder, bytes);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], std::string(65535, 'x'));
    EXPECT_EQ(lines[1], std::string(1 << 20, 'y'));
    EXPECT_EQ(lines[2], "z");
}

TEST(ProductIdFileLines, WhatCannotBeOpened)
{
    TempFolder folder;
    ProductIdFile file;
    EXPECT_FALSE(file.open(folder.gbkFile("missing.txt")));
    EXPECT_FALSE(file.open(folder.gbkFile("")));
    EXPECT_FALSE(file.open(GbkText()));
    GbkText line = "left over";
    EXPECT_FALSE(file.nextLine(line));
    EXPECT_EQ(line, "");
}

TEST(Timestamps, ThreeFormsWithTwoDigitFields)
{
    const std::string full = formatTimestamp(0);
    EXPECT_TRUE(hasShape(full, "9999-99-99 99:99:99")) << full;
    const std::string date = formatTimestamp(1);
    const std::string time = formatTimestamp(2);
    EXPECT_TRUE(hasShape(date, "9999-99-99")) << date;
    EXPECT_TRUE(hasShape(time, "99:99:99")) << time;
    EXPECT_EQ(full.substr(0, 10), date); // (a run across midnight would be unlucky)
}

TEST(QueryValues, OnlyUnreservedBytesStayAsTheyAre)
{
    EXPECT_EQ(encodeQueryValue("AZaz09-._~"), "AZaz09-._~");
    EXPECT_EQ(encodeQueryValue("a b&c=d?e#f%g+h/"), "a%20b%26c%3Dd%3Fe%23f%25g%2Bh%2F");
    EXPECT_EQ(encodeQueryValue(std::string("\r\n\0\x7F", 4)), "%0D%0A%00%7F");
    EXPECT_EQ(encodeQueryValue("\xD6\xD0"), "%D6%D0");
    EXPECT_EQ(encodeQueryValue(""), "");
}

TEST(AttributeValues, PatternAndObjectFormsThenCleaning)
{
    const GbkText record = g("{\"sku\":\"颜色分类:黑色&nbsp;&nbsp;尺码:XL\",\"props\":[{\"desc\":\"甜;辣\",\"name\":"
                             "\"风味\"},{\"desc\":\" 　大份　\",\"name\":\"份量\"},{\"desc\":\"A\",\"name\":\"款式\"},"
                             "{\"desc\":\"B\",\"name\":\"款式\"}],\"x\":\"尺寸(cm):42\"}");
    EXPECT_EQ(skuValue(record, g("颜色"), true), g("黑色"));         // second pass, pattern form
    EXPECT_EQ(skuValue(record, g("尺码"), true), "XL");               // stops at the "&"
    EXPECT_EQ(skuValue(record, g("风味"), true), g("甜辣"));          // ";" removed
    EXPECT_EQ(skuValue(record, g("份量"), true), g("大份"));          // blanks of both widths trimmed
    EXPECT_EQ(skuValue(record, g("款式"), true), "B");                // the last object of that name
    EXPECT_EQ(skuValue(record, g("尺寸(cm)"), true), "42");           // the name is taken literally
    EXPECT_EQ(skuValue(g("{\"x\":\"尺码:\tXL \t \"}"), g("尺码"), true), "\tXL \t"); // tabs are no blanks
    EXPECT_EQ(skuValue(record, g("产地"), true), g("无"));
    EXPECT_EQ(skuValue(record, g("产地"), false), " ");
    EXPECT_EQ(skuValue(GbkText(), g("颜色"), false), " ");
}

TEST(HarvestOptionParsing, ValuesFlagsAndErrors)
{
    using namespace ui::mainwin;
    const auto table = cli::harvestOptionTable();
    cli::ParsedOptions o;
    std::string error;
    ASSERT_TRUE(cli::parseOptions(table,
                                  {"--ids=a.txt", "--type", "bad", "--naming", "id-merged", "--replace", "x|y",
                                   "--with=1|2", "--regex", "--no-shuffle-title", "--connect-to", "a:80:127.0.0.1:1",
                                   "--connect-to", "b:80:[::1]:2", "--pages", "-1", "--delay", "0.5", "--save"},
                                  o, error))
        << error;
    ui::Window w = ui::makeMainWindow();
    ASSERT_TRUE(cli::applyOptions(o, w, error)) << error;
    EXPECT_EQ(w.find(编辑框商品ID文件)->text(), "a.txt");
    EXPECT_EQ(w.find(组合框类型)->selectedIndex(), 3);
    EXPECT_EQ(w.find(组合框命名方式)->selectedIndex(), 3);
    EXPECT_TRUE(w.find(选择框过滤)->checked());
    EXPECT_EQ(w.find(编辑框匹配式)->text(), "x|y");
    EXPECT_EQ(w.find(编辑框替换式)->text(), "1|2");
    EXPECT_TRUE(w.find(选择框正则)->checked());
    EXPECT_FALSE(w.find(选择框标题打乱)->checked());
    EXPECT_TRUE(w.find(选择框内容打乱)->checked()); // not given: as it was
    EXPECT_THAT(o.values("connect-to"), ElementsAre("a:80:127.0.0.1:1", "b:80:[::1]:2"));
    EXPECT_EQ(w.find(编辑框页数)->text(), "-1");
    EXPECT_EQ(w.find(编辑框每页延时秒)->text(), "0.5");
    EXPECT_TRUE(o.has("save"));

    cli::ParsedOptions off;
    ui::Window w2 = ui::makeMainWindow();
    ASSERT_TRUE(cli::parseOptions(table, {"--replace", "x", "--no-replace"}, off, error));
    ASSERT_TRUE(cli::applyOptions(off, w2, error));
    EXPECT_FALSE(w2.find(选择框过滤)->checked());
    EXPECT_EQ(w2.find(编辑框匹配式)->text(), "x");

    for (const std::vector<std::string>& bad :
         std::vector<std::vector<std::string>>{{"--preview=yes"}, {"--start", "1.5"}, {"--delay", "-1"},
                                               {"--type"}, {"-x"}, {"--ext"}, {"--no-ext"}, {"--no-save"}}) {
        cli::ParsedOptions ignored;
        error.clear();
        EXPECT_FALSE(cli::parseOptions(table, bad, ignored, error)) << bad.front();
        EXPECT_FALSE(error.empty());
    }
}

TEST(TemplateFiles, EncodingAndLineEnds)
{
    TempFolder folder;
    GbkText text;
    writeFileBytes(folder.file("utf8.txt"), "\xEF\xBB\xBF#评论#\na\r\nb");
    ASSERT_TRUE(cli::readTextFileAsGbk(folder.file("utf8.txt").string(), text));
    EXPECT_EQ(text, g("#评论#\r\na\r\nb"));
    writeFileBytes(folder.file("gbk.txt"), g("#买家#：\n"));
    ASSERT_TRUE(cli::readTextFileAsGbk(folder.file("gbk.txt").string(), text));
    EXPECT_EQ(text, g("#买家#：\r\n"));
    writeFileBytes(folder.file("empty.txt"), "");
    ASSERT_TRUE(cli::readTextFileAsGbk(folder.file("empty.txt").string(), text));
    EXPECT_EQ(text, "");
    EXPECT_FALSE(cli::readTextFileAsGbk(folder.file("missing.txt").string(), text));
}

} // namespace
} // namespace quillet::harvest
