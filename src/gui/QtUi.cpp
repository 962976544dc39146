#include "QtUi.h"

#include "FontMapping.h"
#include "GuiText.h"
#include "WindowView.h"
#include "ui/Window.h"

#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGuiApplication>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QUrl>

#include <algorithm>
#include <vector>

namespace quillet::gui {

namespace {

// The core pumps events very often (once per decoded character reference, say); one turn of
// the Qt event loop every few milliseconds keeps the windows responsive at a fraction of the
// cost.
constexpr qint64 kEventIntervalNs = 4'000'000;

constexpr int kMessageBoxMinimumWidth = 220;

} // namespace

QStringList qtNameFilters(const GbkText& filter)
{
    const QStringList parts = toQString(filter).split(QLatin1Char('|'));
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        for (QString pattern : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            pattern = pattern.trimmed();
            if (pattern == QLatin1String("*.*"))
                pattern = QStringLiteral("*");
            if (!pattern.isEmpty() && !patterns.contains(pattern))
                patterns << pattern;
        }
        if (patterns.isEmpty())
            patterns << QStringLiteral("*");
        // The dialog hides what stands in the last parentheses, so the user reads the
        // description as the table gives it.
        filters << parts[i].trimmed() + QStringLiteral(" (") + patterns.join(QLatin1Char(' '))
                       + QLatin1Char(')');
    }
    return filters;
}

QtUi::QtUi()
    : m_binding(std::make_unique<ui::EventPumpBinding>(*this))
{
    // Message boxes and dialogs in the CJK sans the desktop's own Chinese interface would
    // use, rather than a Latin face with borrowed Chinese glyphs.
    QApplication::setFont(mappedFont(ui::Font{gbk("黑体"), 13, false}));
}

QtUi::~QtUi()
{
    m_binding.reset();
    closeAllWindows();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void QtUi::processEvents()
{
    if (m_sinceEvents.isValid() && m_sinceEvents.nsecsElapsed() < kEventIntervalNs)
        return;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    m_sinceEvents.start();
}

QWidget* QtUi::dialogParent() const
{
    if (QWidget* active = QApplication::activeWindow())
        return active;
    if (m_lastShown && !m_lastShown->isClosed())
        return m_lastShown;
    for (const auto& [controller, showing] : m_showings)
        if (showing.view && !showing.view->isClosed())
            return showing.view;
    return nullptr;
}

ui::MessageAnswer QtUi::messageBox(const GbkText& text, const GbkText& title, ui::MessageButtons buttons)
{
    QMessageBox box(dialogParent());
    box.setWindowTitle(toQString(title));
    box.setText(toWidgetText(text));
    box.setTextFormat(Qt::PlainText);
    box.setIcon(QMessageBox::NoIcon);
    // Chinese captions whatever Qt translations are installed.
    QAbstractButton* yes = nullptr;
    if (buttons == ui::MessageButtons::YesNo) {
        yes = box.addButton(QStringLiteral("是(&Y)"), QMessageBox::YesRole);
        box.addButton(QStringLiteral("否(&N)"), QMessageBox::NoRole);
        box.setDefaultButton(static_cast<QPushButton*>(yes));
    } else {
        box.setDefaultButton(box.addButton(QStringLiteral("确定"), QMessageBox::AcceptRole));
    }
    // Wide enough for the title to show beside the window buttons.
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
        grid->addItem(new QSpacerItem(kMessageBoxMinimumWidth, 0, QSizePolicy::Minimum, QSizePolicy::Expanding),
                      grid->rowCount(), 0, 1, grid->columnCount());
    box.exec();
    if (buttons == ui::MessageButtons::YesNo)
        return box.clickedButton() == yes ? ui::MessageAnswer::Yes : ui::MessageAnswer::No;
    return ui::MessageAnswer::Ok;
}

std::vector<GbkText> QtUi::openFileDialog(const ui::FileDialogRequest& request)
{
    QFileDialog dialog(dialogParent(), request.title.empty() ? QStringLiteral("打开") : toQString(request.title));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(request.multiple ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    const QStringList filters = qtNameFilters(request.filter);
    if (!filters.isEmpty())
        dialog.setNameFilters(filters);
    if (!request.defaultExtension.empty())
        dialog.setDefaultSuffix(toQString(request.defaultExtension));
    if (!request.presetFileName.empty()) {
        const QFileInfo preset(toQtPath(request.presetFileName));
        if (preset.dir().exists())
            dialog.setDirectory(preset.dir());
        dialog.selectFile(preset.fileName());
    }
    if (dialog.exec() != QDialog::Accepted)
        return {};
    std::vector<GbkText> chosen;
    for (const QString& path : dialog.selectedFiles())
        chosen.push_back(fromQtPath(QDir::toNativeSeparators(path)));
    return chosen;
}

GbkText QtUi::chooseFolder(const GbkText& initialFolder, const GbkText& title)
{
    QFileDialog dialog(dialogParent(), title.empty() ? QStringLiteral("请选择一个文件夹") : toQString(title));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    // The initial folder is selected inside its parent, so confirming at once keeps it; a
    // folder that does not exist yet opens its nearest existing ancestor.
    QFileInfo initial(toQtPath(initialFolder).trimmed());
    if (!initialFolder.empty()) {
        QDir parent = initial.absoluteDir();
        while (!parent.exists() && !parent.isRoot() && parent.cdUp()) {
        }
        dialog.setDirectory(parent);
        if (initial.isDir())
            dialog.selectFile(initial.fileName());
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return fromQtPath(QDir::toNativeSeparators(dialog.selectedFiles().front().trimmed()));
}

GbkText QtUi::clipboardText()
{
    return fromWidgetText(QGuiApplication::clipboard()->text());
}

bool QtUi::openWithSystem(const GbkText& target, const GbkText& parameters)
{
    const QString path = toQtPath(target);
    if (!parameters.empty()) {
        QStringList arguments = QProcess::splitCommand(toQString(parameters));
        return QProcess::startDetached(path, arguments);
    }
    const QUrl url = QFileInfo::exists(path) ? QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath())
                                             : QUrl::fromUserInput(toQString(target).trimmed());
    return url.isValid() && QDesktopServices::openUrl(url);
}

bool QtUi::startProgram(const GbkText& program, const std::vector<GbkText>& arguments)
{
    QStringList list;
    for (const GbkText& argument : arguments)
        list << toQString(argument);
    return QProcess::startDetached(toQtPath(program), list);
}

WindowView* QtUi::open(ui::WindowController& window, ui::WindowController* owner, bool modal)
{
    if (WindowView* shown = viewOf(window)) {
        bringToFront(window);
        return shown;
    }
    WindowView* ownerView = owner ? viewOf(*owner) : nullptr;
    auto* view = new WindowView(window.window(), ownerView);
    m_showings[&window] = Showing{view, ownerView ? owner : nullptr};
    m_lastShown = view;
    ui::WindowController* controller = &window;
    view->setControlEventHandler(
        [controller](ui::Control& control, ui::EventKind kind) { controller->handleEvent(control.name(), kind); });
    view->setCloseHandler([this, controller] {
        if (controller->closeRequested() == ui::CloseAnswer::NotYet)
            return false;
        closeOwnedBy(*controller);
        return true;
    });
    view->setResizeHandler([controller](QSize client) { controller->resized(client.width(), client.height()); });
    view->setClosedHandler([this, controller, view] {
        auto it = m_showings.find(controller);
        if (it != m_showings.end() && it->second.view == view)
            m_showings.erase(it);
        view->hide();
        view->deleteLater();
        controller->closed();
    });
    if (modal)
        view->setWindowModality(Qt::ApplicationModal);
    window.created();
    if (view->isClosed()) // created() may close the window at once
        return nullptr;
    const QSize client = view->size();
    window.resized(client.width(), client.height());
    switch (window.window().showState()) {
    case ui::ShowState::Maximised:
        view->showMaximized();
        break;
    case ui::ShowState::Minimised:
        view->showMinimized();
        break;
    case ui::ShowState::Normal:
        view->show();
        break;
    }
    view->raise();
    view->activateWindow();
    return view;
}

void QtUi::showWindow(ui::WindowController& window, ui::WindowController* owner)
{
    open(window, owner, false);
}

void QtUi::showModal(ui::WindowController& window, ui::WindowController* owner)
{
    WindowView* view = open(window, owner, true);
    if (!view || view->isClosed())
        return;
    QEventLoop loop;
    QObject::connect(view, &WindowView::closed, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::DialogExec);
}

void QtUi::closeOwnedBy(ui::WindowController& window)
{
    std::vector<ui::WindowController*> owned;
    for (const auto& [controller, showing] : m_showings)
        if (showing.owner == &window && showing.view && !showing.view->isClosed())
            owned.push_back(controller);
    for (ui::WindowController* child : owned)
        closeWindow(*child);
}

void QtUi::closeWindow(ui::WindowController& window)
{
    WindowView* view = viewOf(window);
    if (!view)
        return;
    closeOwnedBy(window);
    view->closeFromProgram();
}

void QtUi::bringToFront(ui::WindowController& window)
{
    if (WindowView* view = viewOf(window)) {
        if (view->isMinimized())
            view->showNormal();
        view->raise();
        view->activateWindow();
    }
}

void QtUi::setFocus(ui::WindowController& window, const GbkText& control)
{
    if (WindowView* view = viewOf(window))
        if (QWidget* widget = view->widgetFor(control))
            widget->setFocus(Qt::OtherFocusReason);
}

ui::Size QtUi::screenSize()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return {1366, 768};
    const QRect area = screen->availableGeometry();
    return {area.width(), area.height()};
}

ui::Size QtUi::frameSize(ui::Border border)
{
    const QMargins frame = WindowView::designFrame(border);
    return {frame.left() + frame.right(), frame.top() + frame.bottom()};
}

int QtUi::textHeight(const GbkText& text, int width, const ui::Font& font)
{
    return WindowView::multiLineTextHeight(toWidgetText(text), width, mappedFont(font));
}

WindowView* QtUi::viewOf(const ui::WindowController& window) const
{
    auto it = m_showings.find(const_cast<ui::WindowController*>(&window));
    if (it == m_showings.end() || !it->second.view || it->second.view->isClosed())
        return nullptr;
    return it->second.view;
}

void QtUi::closeAllWindows()
{
    // Top-level windows close the windows they own first.
    std::vector<ui::WindowController*> topLevel;
    for (const auto& [controller, showing] : m_showings)
        if (!showing.owner)
            topLevel.push_back(controller);
    for (ui::WindowController* controller : topLevel)
        closeWindow(*controller);
    std::vector<ui::WindowController*> rest;
    for (const auto& [controller, showing] : m_showings)
        rest.push_back(controller);
    for (ui::WindowController* controller : rest)
        closeWindow(*controller);
}

} // namespace quillet::gui
