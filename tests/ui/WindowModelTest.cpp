// The window model: observers, copies and moves, index rules; and the headless Ui.
#include "text/EventPump.h"
#include "ui/HeadlessUi.h"
#include "ui/ShellActions.h"
#include "ui/Window.h"

#include <gtest/gtest.h>

#include <vector>

namespace quillet::ui {
namespace {

ControlDesign design(ControlKind kind, const char* name)
{
    ControlDesign d;
    d.kind = kind;
    d.name = name;
    return d;
}

struct Seen {
    const Control* control;
    Property property;
};

TEST(WindowModel, ObserversHearRealChangesOnly)
{
    Window w(GbkText("W"), GbkText("t"), {0, 0, 10, 10}, Border::Fixed);
    Control& edit = w.add(design(ControlKind::EditBox, "e"));
    std::vector<Seen> seen;
    const int id = w.addObserver([&](const Window&, const Control* c, Property p) { seen.push_back({c, p}); });

    edit.setText("x");
    edit.setText("x");
    edit.setEnabled(false);
    edit.setEnabled(false);
    w.setTitle("t");
    w.setTitle("new");
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].control, &edit);
    EXPECT_EQ(seen[0].property, Property::Text);
    EXPECT_EQ(seen[1].property, Property::Enabled);
    EXPECT_EQ(seen[2].control, nullptr);
    EXPECT_EQ(seen[2].property, Property::WindowTitle);

    w.removeObserver(id);
    edit.setText("y");
    EXPECT_EQ(seen.size(), 3u);
}

TEST(WindowModel, MovedWindowKeepsTellingAndCopiesAreIndependent)
{
    Window original(GbkText("W"), GbkText(), {}, Border::Fixed);
    original.add(design(ControlKind::CheckBox, "c"));
    int heard = 0;
    original.addObserver([&](const Window&, const Control*, Property) { ++heard; });

    Window moved = std::move(original);
    moved.find("c")->setChecked(true);
    EXPECT_EQ(heard, 1);

    Window copy = moved;
    copy.find("c")->setChecked(false);
    EXPECT_EQ(heard, 1); // a copy has no observers
    EXPECT_TRUE(moved.find("c")->checked());
    EXPECT_EQ(copy.find("missing"), nullptr);

    // An observer may remove itself while being told.
    int selfRemoving = 0;
    int id = 0;
    id = moved.addObserver([&](const Window& w, const Control*, Property) {
        ++selfRemoving;
        const_cast<Window&>(w).removeObserver(id);
    });
    moved.find("c")->setChecked(false);
    moved.find("c")->setChecked(true);
    EXPECT_EQ(selfRemoving, 1);
}

TEST(WindowModel, IndicesStayMeaningful)
{
    Window w(GbkText("W"), GbkText(), {}, Border::Fixed);
    Control& combo = w.add(design(ControlKind::ComboBox, "k"));
    combo.setSelectedIndex(3); // no items yet: kept, a list may come later
    EXPECT_EQ(combo.selectedIndex(), 3);
    combo.setItems({"a", "b"});
    EXPECT_EQ(combo.selectedIndex(), -1);
    combo.setSelectedIndex(1);
    combo.setSelectedIndex(2);
    EXPECT_EQ(combo.selectedIndex(), -1);
    combo.setSelectedIndex(-5);
    EXPECT_EQ(combo.selectedIndex(), -1);

    Control& list = w.add(design(ControlKind::ListBox, "l"));
    list.setSelectedIndices({3, -1, 1, 3});
    EXPECT_EQ(list.selectedIndices(), (std::vector<int>{1, 3}));
    list.selectIndex(0);
    list.selectIndex(3, false);
    EXPECT_EQ(list.selectedIndices(), (std::vector<int>{0, 1}));
}

TEST(HeadlessUi, RecordsAndAnswersFromItsScript)
{
    HeadlessUi ui;
    ui.messageBox("hello");
    ui.messageBox("body", "title");
    ASSERT_EQ(ui.messages().size(), 2u);
    EXPECT_EQ(ui.messages()[0].title, gbk("信息："));
    EXPECT_EQ(ui.messages()[1].title, "title");
    EXPECT_EQ(ui.messageBox("q", "t", MessageButtons::YesNo), MessageAnswer::No);
    ui.queueMessageAnswer(MessageAnswer::Yes);
    EXPECT_EQ(ui.messageBox("q", "t", MessageButtons::YesNo), MessageAnswer::Yes);

    ui.queueFileDialogAnswer({"a.txt"});
    EXPECT_EQ(ui.openFileDialog({}), std::vector<GbkText>{"a.txt"});
    EXPECT_TRUE(ui.openFileDialog({}).empty()); // script used up: cancel
    ui.queueFolderAnswer("  /some folder  ");
    EXPECT_EQ(ui.chooseFolder("/start", "pick"), "/some folder");
    EXPECT_EQ(ui.chooseFolder("/start", "pick"), "");
    ASSERT_EQ(ui.folderRequests().size(), 2u);
    EXPECT_EQ(ui.folderRequests()[0].first, "/start");

    ui.setClipboardText("1.2.3.4:80");
    EXPECT_EQ(ui.clipboardText(), "1.2.3.4:80");
    EXPECT_TRUE(ui.startProgram("xdg-open", {"x"}));
    EXPECT_TRUE(ui.openWithSystem("http://127.0.0.1/", ""));
    EXPECT_EQ(ui.programsStarted().size(), 1u);
    EXPECT_EQ(ui.openedWithSystem().size(), 1u);
}

TEST(HeadlessUi, ScriptedActionsFireFromTheEventPump)
{
    std::vector<int> order;
    {
        HeadlessUi ui;
        ui.scheduleAction(3, [&] { order.push_back(3); });
        ui.onNextEvents([&] {
            order.push_back(1);
            // An action that pumps again and schedules more does not recurse into itself.
            ui.onNextEvents([&] { order.push_back(2); });
            text::processEvents();
        });
        text::processEvents(); // fires 1, which pumps once more and fires 2
        EXPECT_EQ(order, (std::vector<int>{1, 2}));
        text::processEvents();
        EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
        EXPECT_EQ(ui.processEventsCalls(), 3u);
        EXPECT_EQ(ui.pendingActions(), 0u);
    }
    // Gone with the Ui: the pump does nothing again.
    text::processEvents();
    EXPECT_EQ(order.size(), 3u);
}

TEST(ShellActions, TheFileBrowserOpensFoldersAndNeverRunsAProgram)
{
    HeadlessUi ui;
    auto lastArgument = [&] { return ui.programsStarted().back().arguments.at(0); };
    openInExplorer(ui, "/data/out", true, true, false);
    EXPECT_EQ(ui.programsStarted().back().program, "xdg-open");
    EXPECT_EQ(lastArgument(), "/data/out");
    // Selecting an item opens the folder that holds it; the root form cuts the last part
    // first, and a "\" inside a double-byte character is not a separator.
    openInExplorer(ui, "/data/out/a.txt", true, false, false);
    EXPECT_EQ(lastArgument(), "/data/out");
    openInExplorer(ui, "/data/x\\\x95\x5Cy", false, true, true);
    EXPECT_EQ(lastArgument(), "/data/x");
    openInExplorer(ui, "/data/setup.Exe", true, true, false);
    EXPECT_EQ(lastArgument(), "/data/setup.Exe");
    EXPECT_TRUE(ui.openedWithSystem().empty());
    openInExplorer(ui, "", true, true, false);
    EXPECT_EQ(ui.programsStarted().size(), 4u);
}

} // namespace
} // namespace quillet::ui
