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
