// The renderer: every window model becomes widgets at the tables' places, readable, and in
// step with the model both ways.

#include "GuiTestSupport.h"

#include "gui/GuiText.h"
#include "ui/MainWindow.h"
#include "ui/SecondaryWindows.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetricsF>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRawFont>
#include <QStyle>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace quillet::guitest {
namespace {

using ui::ControlKind;

std::vector<ui::Window> allWindows()
{
    return {ui::makeMainWindow(), ui::makeTextDialog(), ui::makeProxyWindow(), ui::makeShopIdWindow(),
            ui::makeKeywordIdWindow()};
}

// The caption a widget shows, without mnemonic markers, and the width it has for it.
bool captionOf(QWidget* w, ControlKind kind, QString& caption, qreal& room)
{
    QStyle* style = w->style();
    if (auto* label = qobject_cast<QLabel*>(w)) {
        for (const QString& line : label->text().split(QLatin1Char('\n')))
            if (line.size() > caption.size())
                caption = line;
        room = label->contentsRect().width();
    } else if (auto* box = qobject_cast<QCheckBox*>(w); box || qobject_cast<QRadioButton*>(w)) {
        caption = qobject_cast<QAbstractButton*>(w)->text();
        const bool check = kind == ControlKind::CheckBox;
        room = w->width() - style->pixelMetric(check ? QStyle::PM_IndicatorWidth : QStyle::PM_ExclusiveIndicatorWidth)
               - style->pixelMetric(check ? QStyle::PM_CheckBoxLabelSpacing : QStyle::PM_RadioButtonLabelSpacing);
    } else if (auto* button = qobject_cast<QPushButton*>(w)) {
        caption = button->text();
        room = w->width() - 2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth);
    } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
        caption = group->title();
        room = w->width();
    } else {
        return false;
    }
    caption.remove(QLatin1Char('&'));
    return !caption.isEmpty();
}

bool hasGlyph(const QFont& font, char32_t ch)
{
    for (const QString& family : font.families()) {
        QFont f(font);
        f.setFamilies({family});
        if (QRawFont::fromFont(f).supportsCharacter(ch))
            return true;
    }
    return false;
}

TEST(Renderer, EveryWindowBuildsEachControlAtItsPlaceWithItsName)
{
    QtUi ui;
    for (ui::Window& model : allWindows()) {
        SCOPED_TRACE(u(model.name()));
        RecordingController controller(model);
        ui.showWindow(controller, nullptr);
        WindowView* view = ui.viewOf(controller);
        ASSERT_NE(view, nullptr);
        EXPECT_EQ(view->objectName(), QString::fromUtf8(model.name().c_str()));
        EXPECT_EQ(view->windowTitle(), gui::toQString(model.title()));
        const ui::Size frame = ui.frameSize(model.border());
        EXPECT_EQ(view->size(), QSize(model.geometry().width - frame.width, model.geometry().height - frame.height));
        EXPECT_EQ(view->minimumSize() == view->maximumSize(), model.border() != ui::Border::Resizable);
        EXPECT_EQ(view->windowType() == Qt::Tool, model.border() == ui::Border::FixedToolWindow);

        model.forEachControl([&](const ui::Control& c) {
            SCOPED_TRACE(u(c.name()));
            QWidget* w = widget(view, u(c.name()));
            if (c.kind() == ControlKind::FileDialog) {
                EXPECT_EQ(w, nullptr);
                return;
            }
            ASSERT_NE(w, nullptr);
            EXPECT_EQ(w->geometry(), QRect(c.place().left, c.place().top, c.place().width, c.place().height));
            EXPECT_EQ(w->parentWidget()->objectName(),
                      c.parent().empty() ? view->objectName() : QString::fromUtf8(u(c.parent()).c_str()));
            EXPECT_EQ(w->isVisibleTo(view), c.visible());
        });
        ui.closeWindow(controller);
    }
}

TEST(Renderer, EveryCaptionFitsItsControlAndEveryCharacterHasAGlyph)
{
    QtUi ui;
    for (ui::Window& model : allWindows()) {
        SCOPED_TRACE(u(model.name()));
        RecordingController controller(model);
        ui.showWindow(controller, nullptr);
        WindowView* view = ui.viewOf(controller);
        model.forEachControl([&](const ui::Control& c) {
            QWidget* w = widget(view, u(c.name()));
            QString caption;
            qreal room = 0;
            if (!w || !captionOf(w, c.kind(), caption, room))
                return;
            SCOPED_TRACE(caption.toStdString());
            EXPECT_LE(QFontMetricsF(w->font()).horizontalAdvance(caption), room);
            for (char32_t ch : caption.toStdU32String())
                EXPECT_TRUE(hasGlyph(w->font(), ch)) << "no glyph for U+" << std::hex << static_cast<unsigned>(ch);
        });
        // The label whose run of blanks an edit box covers keeps the words on either side clear.
        if (model.name() == "MainWindow") {
            QWidget* label = widget(view, "标签9");
            QWidget* number = widget(view, "编辑框序号");
            const QFontMetricsF metrics(label->font());
            const qreal before = metrics.horizontalAdvance(QStringLiteral("从第"));
            const QString text = qobject_cast<QLabel*>(label)->text();
            const qreal upToWord = metrics.horizontalAdvance(text.left(text.indexOf(QStringLiteral("个"))));
            EXPECT_LE(label->x() + before, number->x());
            EXPECT_GE(label->x() + upToWord, number->geometry().right());
        }
        ui.closeWindow(controller);
    }
}

TEST(Renderer, ModelAndWidgetsStayInStepBothWays)
{
    QtUi ui;
    RecordingController main(ui::makeMainWindow());
    ui::Window& m = main.window();
    ui.showWindow(main, nullptr);
    QWidget* view = ui.viewOf(main);

    // Model to widgets.
    m.find(g("编辑框字数"))->setText("12");
    EXPECT_EQ(widget<QLineEdit>(view, "编辑框字数")->text(), QStringLiteral("12"));
    m.find(g("编辑框组合"))->setText(g("一\r\n二"));
    EXPECT_EQ(widget<QPlainTextEdit>(view, "编辑框组合")->toPlainText(), QStringLiteral("一\n二"));
    m.find(g("按钮采集"))->setText(g("正在停止.."));
    EXPECT_EQ(widget<QPushButton>(view, "按钮采集")->text(), QStringLiteral("正在停止.."));
    m.find(g("组合框命名方式"))->setEnabled(false);
    EXPECT_FALSE(widget(view, "组合框命名方式")->isEnabled());
    m.setTitle(g("新标题"));
    EXPECT_EQ(view->windowTitle(), QStringLiteral("新标题"));

    // Widgets to model: typing, line breaks as CR LF, digits only, a chosen item.
    auto* pages = widget<QLineEdit>(view, "编辑框页数");
    pages->selectAll();
    QTest::keyClicks(pages, QStringLiteral("25"));
    EXPECT_EQ(m.find(g("编辑框页数"))->text(), "25");
    auto* templ = widget<QPlainTextEdit>(view, "编辑框组合");
    templ->moveCursor(QTextCursor::End);
    QTest::keyClick(templ, Qt::Key_Return);
    templ->insertPlainText(QStringLiteral("三")); // as an input method commits it
    EXPECT_EQ(m.find(g("编辑框组合"))->text(), g("一\r\n二\r\n三"));
    auto* number = widget<QLineEdit>(view, "编辑框序号");
    number->selectAll();
    QTest::keyClicks(number, QStringLiteral("7x8"));
    EXPECT_EQ(m.find(g("编辑框序号"))->text(), "78");
    QTest::keyClick(widget(view, "组合框类型"), Qt::Key_Down);
    EXPECT_EQ(m.find(g("组合框类型"))->selectedIndex(), 2);

    // A tick is in the model before the controller hears of the click.
    bool tickedWhenTold = false;
    main.onEvent = [&](const RecordingController::Event& e) {
        if (e.control == "选择框过滤")
            tickedWhenTold = m.find(g("选择框过滤"))->checked();
    };
    QTest::mouseClick(widget(view, "选择框过滤"), Qt::LeftButton);
    EXPECT_TRUE(tickedWhenTold);
    ui.closeWindow(main);

    // Radio buttons: one of a group is on in the model, and a click on it keeps it on.
    RecordingController shop(ui::makeShopIdWindow());
    ui.showWindow(shop, nullptr);
    QWidget* shopView = ui.viewOf(shop);
    QTest::mouseClick(widget(shopView, "单选框人气"), Qt::LeftButton);
    QTest::mouseClick(widget(shopView, "单选框人气"), Qt::LeftButton);
    EXPECT_TRUE(shop.window().find(g("单选框人气"))->checked());
    EXPECT_FALSE(shop.window().find(g("单选框默认"))->checked());
    EXPECT_TRUE(widget<QRadioButton>(shopView, "单选框人气")->isChecked());
    EXPECT_FALSE(widget<QRadioButton>(shopView, "单选框默认")->isChecked());
    ui.closeWindow(shop);
}

TEST(Renderer, ClicksRightClicksAndLinkPressesReachTheControllerByName)
{
    QtUi ui;
    RecordingController main(ui::makeMainWindow());
    ui.showWindow(main, nullptr);
    QWidget* view = ui.viewOf(main);
    QTest::mouseClick(widget(view, "图片保存配置"), Qt::LeftButton);
    QTest::mousePress(widget(view, "链接疑点说明"), Qt::LeftButton);
    QTest::mousePress(widget(view, "按钮选择目录"), Qt::RightButton);
    QTest::mouseClick(widget(view, "按钮2"), Qt::LeftButton);
    ASSERT_EQ(main.events.size(), 4u);
    EXPECT_EQ(main.events[0].control, "图片保存配置");
    EXPECT_EQ(main.events[0].kind, ui::EventKind::Clicked);
    EXPECT_EQ(main.events[1].control, "链接疑点说明");
    EXPECT_EQ(main.events[1].kind, ui::EventKind::LinkPressed);
    EXPECT_EQ(main.events[2].control, "按钮选择目录");
    EXPECT_EQ(main.events[2].kind, ui::EventKind::RightClicked);
    EXPECT_EQ(main.events[3].kind, ui::EventKind::Clicked);
    ui.closeWindow(main);
}

} // namespace
} // namespace quillet::guitest
