#include "QtUi.h"

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
#include <QGuiApplication>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QUrl>

#include <algorithm>
#include <vector>

namespace quillet::gui {

namespace {

// The core pumps events very often (once per decoded character reference, say); one turn of
// the Qt event loop every few milliseconds keeps the windows responsive at a fraction of the
// cost.
constexpr qint64 kEventIntervalNs = 4'000'000;

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
}

QtUi::~QtUi()
{
    m_binding.reset();
    closeAllWindows();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void QtUi::closeAllWindows()
{
    // Owned windows first, so an owner's close does not take them along unasked.
    std::vector<QPointer<WindowView>> views;
    for (const auto& [window, view] : m_views)
        if (view)
            views.push_back(view);
    std::sort(views.begin(), views.end(), [](const auto& a, const auto& b) {
        return (a->parentWidget() != nullptr) > (b->parentWidget() != nullptr);
    });
    for (const auto& view : views)
        if (view)
            view->closeFromProgram();
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
    for (const auto& [window, view] : m_views)
        if (view && !view->isClosed())
            return view;
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

bool QtUi::runCommand(const GbkText& commandLine)
{
    QStringList arguments = QProcess::splitCommand(toQString(commandLine));
    if (arguments.isEmpty())
        return false;
    const QString program = arguments.takeFirst();
    return QProcess::startDetached(program, arguments);
}

WindowView* QtUi::showWindow(ui::Window& window, const ui::Window* owner, bool modal)
{
    if (WindowView* open = viewOf(window)) {
        open->showNormal();
        open->raise();
        open->activateWindow();
        return open;
    }
    WindowView* ownerView = owner ? viewOf(*owner) : nullptr;
    auto* view = new WindowView(window, ownerView);
    m_views[&window] = view;
    m_lastShown = view;
    QObject::connect(view, &WindowView::closed, view, [this, view, &window] {
        auto it = m_views.find(&window);
        if (it != m_views.end() && it->second == view)
            m_views.erase(it);
        view->hide();
        view->deleteLater();
    });
    if (modal)
        view->setWindowModality(ownerView ? Qt::WindowModal : Qt::ApplicationModal);
    switch (window.showState()) {
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
    if (!modal)
        return view;
    QEventLoop loop;
    QObject::connect(view, &WindowView::closed, &loop, &QEventLoop::quit);
    if (!view->isClosed())
        loop.exec(QEventLoop::DialogExec);
    return nullptr;
}

void QtUi::closeWindow(const ui::Window& window)
{
    if (WindowView* view = viewOf(window))
        view->closeFromProgram();
}

WindowView* QtUi::viewOf(const ui::Window& window) const
{
    auto it = m_views.find(&window);
    if (it == m_views.end() || !it->second || it->second->isClosed())
        return nullptr;
    return it->second;
}

} // namespace quillet::gui
