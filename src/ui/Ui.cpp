#include "Ui.h"

#include "text/EventPump.h"

#include <utility>

namespace quillet::ui {

const GbkText& defaultMessageTitle()
{
    return gbk("信息：");
}

MessageAnswer Ui::messageBox(const GbkText& text)
{
    return messageBox(text, defaultMessageTitle(), MessageButtons::Ok);
}

MessageAnswer Ui::messageBox(const GbkText& text, const GbkText& title)
{
    return messageBox(text, title, MessageButtons::Ok);
}

EventPumpBinding::EventPumpBinding(Ui& ui)
    : m_previous(text::setEventPump([&ui] { ui.processEvents(); }))
{
}

EventPumpBinding::~EventPumpBinding()
{
    text::setEventPump(std::move(m_previous));
}

} // namespace quillet::ui
