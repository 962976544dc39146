// Saving and restoring whole windows: what is kept, under which key, and what is left alone.
#include "settings/SettingsStore.h"
#include "support/TempFolder.h"
#include "text/Charset.h"
#include "ui/HeadlessUi.h"
#include "ui/MainWindow.h"
#include "ui/SecondaryWindows.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace quillet::settings {
namespace {

using testsupport::readFileBytes;
using testsupport::TempFolder;
using ui::ControlDesign;
using ui::ControlKind;
using ui::Window;

class WindowControls : public ::testing::Test {
protected:
    void SetUp() override
    {
        store.setUi(&ui);
        ASSERT_TRUE(store.openStore(folder.gbkFile("s.ini")));
    }
    std::string onDisk() const { return readFileBytes(folder.file("s.ini")); }

    TempFolder folder;
    ui::HeadlessUi ui;
    SettingsStore store;
};

ControlDesign design(ControlKind kind, std::string_view utf8Name)
{
    ControlDesign d;
    d.kind = kind;
    d.name = gbk(utf8Name);
    return d;
}

void expectSameState(const Window& expected, const Window& actual)
{
    ASSERT_EQ(expected.size(), actual.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const ui::Control& e = expected.at(i);
        const ui::Control& a = actual.at(i);
        SCOPED_TRACE(text::gbkToUtf8(expected.name() + " " + e.name()));
        EXPECT_EQ(e.text(), a.text());
        EXPECT_EQ(e.checked(), a.checked());
        EXPECT_EQ(e.selectedIndex(), a.selectedIndex());
        EXPECT_EQ(e.items(), a.items());
        EXPECT_EQ(e.selectedIndices(), a.selectedIndices());
        EXPECT_EQ(e.checkedIndices(), a.checkedIndices());
        EXPECT_EQ(e.tag(), a.tag());
        EXPECT_EQ(e.colour(), a.colour());
    }
}

// Changes every control that the store keeps, by the kind its name prefix names.
int changeEverySavableControl(Window& w)
{
    int changed = 0;
    for (std::size_t i = 0; i < w.size(); ++i) {
        ui::Control& c = w.at(i);
        const GbkText& n = c.name();
        const std::string suffix = std::to_string(i);
        if (n.starts_with(gbk("按钮"))) {
            c.setTag("tag" + suffix);
        } else if (n.starts_with(gbk("编辑框"))) {
            c.setText(gbk("改过的") + suffix + "\r\n" + gbk("第二行"));
        } else if (n.starts_with(gbk("选择框")) || n.starts_with(gbk("单选框"))) {
            c.setChecked(!c.checked());
        } else if (n.starts_with(gbk("组合框"))) {
            c.setSelectedIndex(static_cast<int>(c.items().size()) - 1);
        } else {
            continue;
        }
        ++changed;
    }
    return changed;
}

// Every window of the program with the section it is kept under.
std::vector<std::pair<GbkText, std::function<Window()>>> everyWindow()
{
    return {
        {ui::mainWindowSection(), ui::makeMainWindow},   {ui::shopIdSection(), ui::makeShopIdWindow},
        {ui::keywordIdSection(), ui::makeKeywordIdWindow}, {gbk("文本"), ui::makeTextDialog},
        {ui::proxySection(), ui::makeProxyWindow},
    };
}

TEST_F(WindowControls, EveryWindowSurvivesSaveAndRestore)
{
    for (const auto& [section, make] : everyWindow()) {
        Window changed = make();
        ASSERT_GT(changeEverySavableControl(changed), 0);
        store.saveWindowControls(changed, section);
        Window fresh = make();
        store.restoreWindowControls(fresh, section);
        expectSameState(changed, fresh);
    }
    // Everything also survives a restart of the store.
    store.closeStore();
    SettingsStore again;
    ASSERT_TRUE(again.openStore(folder.gbkFile("s.ini")));
    Window changed = ui::makeMainWindow();
    changeEverySavableControl(changed);
    Window fresh = ui::makeMainWindow();
    again.restoreWindowControls(fresh, ui::mainWindowSection());
    expectSameState(changed, fresh);
}

TEST_F(WindowControls, RestoringAnAbsentSectionChangesNothing)
{
    Window w = ui::makeMainWindow();
    changeEverySavableControl(w);
    const Window before = w;
    int notifications = 0;
    w.addObserver([&](const Window&, const ui::Control*, ui::Property) { ++notifications; });
    store.restoreWindowControls(w, "nowhere");
    expectSameState(before, w);
    EXPECT_EQ(notifications, 0);
    EXPECT_EQ(onDisk(), "");
}

TEST_F(WindowControls, TagsSteerWhatIsKeptAndHow)
{
    Window w(GbkText("W"), GbkText(), {}, ui::Border::Fixed);
    auto& kept = w.add(design(ControlKind::EditBox, "编辑框普通"));
    auto& never = w.add(design(ControlKind::EditBox, "编辑框不存"));
    never.setTag(gbk("禁止保存"));
    auto& bytes = w.add(design(ControlKind::EditBox, "编辑框组合"));
    bytes.setTag(gbk("字节集方式"));
    auto& label = w.add(design(ControlKind::Label, "标签1"));
    auto& skipped = w.add(design(ControlKind::CheckBox, "选择框跳过"));
    kept.setText("a");
    never.setText("b");
    bytes.setText(gbk("模板\r\n"));
    label.setText("label");
    skipped.setChecked(true);

    store.saveWindowControls(w, "W", {gbk("选择框跳过")});
    EXPECT_EQ(onDisk(), "[W]\r\n" + gbk("编辑框普通") + "=a");
    EXPECT_EQ(readFileBytes(folder.path() / "inibin" / "W-编辑框组合.ibn"), gbk("模板\r\n"));

    Window fresh = w;
    fresh.find(gbk("编辑框普通"))->setText("");
    fresh.find(gbk("编辑框不存"))->setText("kept over restart");
    fresh.find(gbk("编辑框组合"))->setText("");
    fresh.find(gbk("选择框跳过"))->setChecked(false);
    store.restoreWindowControls(fresh, "W", {gbk("选择框跳过")});
    EXPECT_EQ(fresh.find(gbk("编辑框普通"))->text(), "a");
    EXPECT_EQ(fresh.find(gbk("编辑框不存"))->text(), "kept over restart");
    EXPECT_EQ(fresh.find(gbk("编辑框组合"))->text(), gbk("模板\r\n"));
    EXPECT_FALSE(fresh.find(gbk("选择框跳过"))->checked());
}

TEST_F(WindowControls, ListsAndTheirIndexKeys)
{
    Window w(GbkText("W"), GbkText(), {}, ui::Border::Fixed);
    auto& checkList = w.add(design(ControlKind::CheckListBox, "选择列表框1"));
    checkList.setItems({"a", "b", "c", "d"});
    checkList.setCheckedIndices({1, 3});
    checkList.setSelectedIndex(2);
    auto& list = w.add(design(ControlKind::ListBox, "列表框1"));
    list.setItems({gbk("甲"), gbk("乙"), "c|d", ""});
    list.setSelectedIndices({0, 2});
    auto& combo = w.add(design(ControlKind::ComboBox, "组合框1"));
    combo.setItems({"x", "y"});
    combo.setSelectedIndex(1);
    combo.setText("typed");
    auto& colour = w.add(design(ControlKind::ColourPicker, "颜色选择器1"));
    colour.setColour(0xFF8000);
    auto& button = w.add(design(ControlKind::Button, "按钮1"));
    button.setTag("mark");

    store.saveWindowControls(w, "W", {}, true, true);
    store.selectSection("W");
    EXPECT_EQ(store.readText(gbk("选择列表框1.打勾")), "1,3");
    EXPECT_EQ(store.readNumber(gbk("选择列表框1.选中")), 2);
    EXPECT_EQ(store.readText(gbk("列表框1.选中")), "0,2");
    EXPECT_EQ(store.readNumber(gbk("组合框1")), 1);
    EXPECT_EQ(store.readText(gbk("组合框1.内容")), "typed");
    EXPECT_EQ(store.readText(gbk("按钮1.标记")), "mark");
    EXPECT_TRUE(std::filesystem::exists(store.byteFilePath(gbk("组合框1.列表"))));

    Window fresh(GbkText("W"), GbkText(), {}, ui::Border::Fixed);
    fresh.add(design(ControlKind::CheckListBox, "选择列表框1"));
    fresh.add(design(ControlKind::ListBox, "列表框1"));
    fresh.add(design(ControlKind::ComboBox, "组合框1"));
    fresh.add(design(ControlKind::ColourPicker, "颜色选择器1"));
    fresh.add(design(ControlKind::Button, "按钮1"));
    store.restoreWindowControls(fresh, "W", {}, true, true);
    expectSameState(w, fresh);

    // Without the combo options only the index comes back.
    Window plain(GbkText("W"), GbkText(), {}, ui::Border::Fixed);
    plain.add(design(ControlKind::ComboBox, "组合框1"));
    store.restoreWindowControls(plain, "W");
    EXPECT_TRUE(plain.at(0).items().empty());
    EXPECT_EQ(plain.at(0).text(), "");
    EXPECT_EQ(plain.at(0).selectedIndex(), 1);
}

TEST_F(WindowControls, DamagedSelectionsKeepTheDesignDefaultOfEveryDropDown)
{
    int dropDowns = 0;
    for (const auto& [section, make] : everyWindow()) {
        for (const char* damaged : {"99", "-1", "-1e300"}) {
            Window w = make();
            store.selectSection(section);
            for (std::size_t i = 0; i < w.size(); ++i) {
                if (w.at(i).kind() == ControlKind::ComboBox) {
                    ASSERT_TRUE(store.writeText(w.at(i).name(), damaged));
                }
            }
            store.restoreWindowControls(w, section);
            const Window designed = make();
            for (std::size_t i = 0; i < w.size(); ++i)
                if (w.at(i).kind() == ControlKind::ComboBox) {
                    EXPECT_EQ(w.at(i).selectedIndex(), designed.at(i).selectedIndex()) << damaged;
                    ++dropDowns;
                }
        }
    }
    EXPECT_EQ(dropDowns, 3 * 3);
}

TEST_F(WindowControls, SavingAWindowReplacesTheFileOnceAndLetsEventsRun)
{
    Window w = ui::makeMainWindow();
    std::size_t eventsBefore = ui.processEventsCalls();
    store.saveWindowControls(w, ui::mainWindowSection());
    EXPECT_GT(ui.processEventsCalls(), eventsBefore);
    EXPECT_EQ(onDisk(), store.wholeText());
    EXPECT_NE(onDisk().find(gbk("编辑框每页延时秒") + "=0.01"), std::string::npos);
    EXPECT_EQ(onDisk().find(gbk("标签")), std::string::npos); // labels are not kept
}

TEST_F(WindowControls, PlacementRoundTrip)
{
    Window w = ui::makeMainWindow();
    w.setGeometry({10, 20, 700, 600});
    store.saveWindowPlacement(w);
    Window fresh = ui::makeMainWindow();
    store.restoreWindowPlacement(fresh);
    EXPECT_EQ(fresh.geometry(), (ui::Rect{10, 20, 700, 600}));
    EXPECT_NE(onDisk().find(gbk("[主界面.尺寸]")), std::string::npos);

    w.setShowState(ui::ShowState::Maximised);
    w.setGeometry({1, 1, 1, 1});
    store.saveWindowPlacement(w, "Other");
    Window other = ui::makeMainWindow();
    store.restoreWindowPlacement(other, "Other");
    EXPECT_EQ(other.showState(), ui::ShowState::Maximised);
    EXPECT_EQ(other.geometry(), ui::makeMainWindow().geometry()); // a maximised window keeps no size
}

} // namespace
} // namespace quillet::settings
