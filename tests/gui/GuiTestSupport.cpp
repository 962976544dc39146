#include "GuiTestSupport.h"

#include "text/Charset.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

namespace quillet::guitest {

void RecordingController::handleEvent(const GbkText& control, ui::EventKind kind)
{
    events.push_back({text::gbkToUtf8(control), kind});
    if (onEvent)
        onEvent(events.back());
}

ui::MessageAnswer ScriptedQtUi::messageBox(const GbkText& text, const GbkText& title, ui::MessageButtons buttons)
{
    messages.push_back({u(text), u(title)});
    return buttons == ui::MessageButtons::YesNo ? ui::MessageAnswer::No : ui::MessageAnswer::Ok;
}

std::vector<GbkText> ScriptedQtUi::openFileDialog(const ui::FileDialogRequest& request)
{
    fileDialogs.push_back(request);
    return {};
}

GbkText ScriptedQtUi::chooseFolder(const GbkText& initialFolder, const GbkText& title)
{
    folderDialogs.emplace_back(initialFolder, title);
    return {};
}

bool ScriptedQtUi::openWithSystem(const GbkText& target, const GbkText&)
{
    opened.push_back(target);
    return true;
}

bool ScriptedQtUi::startProgram(const GbkText& program, const std::vector<GbkText>&)
{
    opened.push_back(program);
    return true;
}

bool waitUntil(const std::function<bool()>& check, int budgetMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!check()) {
        if (timer.elapsed() > budgetMs)
            return check();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

GbkText g(std::string_view utf8)
{
    return text::utf8ToGbk(std::string(utf8));
}

std::string u(const GbkText& gbkText)
{
    return text::gbkToUtf8(gbkText);
}

} // namespace quillet::guitest
