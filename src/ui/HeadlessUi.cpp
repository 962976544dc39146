#include "HeadlessUi.h"

#include "text/GbkChars.h"

#include <algorithm>
#include <utility>

namespace quillet::ui {

HeadlessUi::HeadlessUi()
    : m_binding(std::make_unique<EventPumpBinding>(*this))
{
}

HeadlessUi::~HeadlessUi() = default;

void HeadlessUi::processEvents()
{
    ++m_eventCalls;
    // Take the due actions out first: an action may itself pump events or schedule more.
    std::vector<std::function<void()>> due;
    for (auto it = m_actions.begin(); it != m_actions.end();) {
        if (it->dueAt <= m_eventCalls) {
            due.push_back(std::move(it->action));
            it = m_actions.erase(it);
        } else {
            ++it;
        }
    }
    for (auto& action : due)
        if (action)
            action();
}

MessageAnswer HeadlessUi::messageBox(const GbkText& text, const GbkText& title, MessageButtons buttons)
{
    m_messages.push_back({text, title, buttons});
    if (m_sink)
        m_sink(m_messages.back());
    if (buttons == MessageButtons::Ok)
        return MessageAnswer::Ok;
    if (m_messageAnswers.empty())
        return MessageAnswer::No;
    const MessageAnswer answer = m_messageAnswers.front();
    m_messageAnswers.pop_front();
    return answer;
}

std::vector<GbkText> HeadlessUi::openFileDialog(const FileDialogRequest& request)
{
    m_fileDialogs.push_back(request);
    if (m_fileAnswers.empty())
        return {};
    auto answer = std::move(m_fileAnswers.front());
    m_fileAnswers.pop_front();
    return answer;
}

GbkText HeadlessUi::chooseFolder(const GbkText& initialFolder, const GbkText& title)
{
    m_folderRequests.emplace_back(initialFolder, title);
    if (m_folderAnswers.empty())
        return {};
    GbkText answer = std::move(m_folderAnswers.front());
    m_folderAnswers.pop_front();
    // The folder picker hands back the path with blanks trimmed from both ends.
    const auto first = answer.find_first_not_of(' ');
    if (first == GbkText::npos)
        return {};
    const auto last = answer.find_last_not_of(' ');
    return answer.substr(first, last - first + 1);
}

GbkText HeadlessUi::clipboardText()
{
    return m_clipboard;
}

bool HeadlessUi::openWithSystem(const GbkText& target, const GbkText& parameters)
{
    m_opened.emplace_back(target, parameters);
    return true;
}

bool HeadlessUi::startProgram(const GbkText& program, const std::vector<GbkText>& arguments)
{
    m_programs.push_back({program, arguments});
    return true;
}

void HeadlessUi::showWindow(WindowController& window, WindowController* owner)
{
    m_showings.push_back({&window, owner, false, true});
    window.created();
    const Size frame = frameSize(window.window().border());
    const Rect& outer = window.window().geometry();
    window.resized(outer.width - frame.width, outer.height - frame.height);
}

void HeadlessUi::showModal(WindowController& window, WindowController* owner)
{
    showWindow(window, owner);
    m_showings.back().modal = true;
    if (!m_modalActions.empty()) {
        auto action = std::move(m_modalActions.front());
        m_modalActions.pop_front();
        if (action)
            action(window);
    }
    if (isOpen(window) && closeByUser(window) == CloseAnswer::NotYet)
        closeWindow(window); // a modal loop must end: the headless user insists
}

void HeadlessUi::closeWindow(WindowController& window)
{
    auto it = std::find_if(m_showings.rbegin(), m_showings.rend(),
                           [&](const Showing& s) { return s.open && s.controller == &window; });
    if (it == m_showings.rend())
        return;
    // Owned windows go first.
    std::vector<WindowController*> owned;
    for (const Showing& s : m_showings)
        if (s.open && s.owner == &window)
            owned.push_back(s.controller);
    for (WindowController* child : owned)
        closeWindow(*child);
    for (Showing& s : m_showings)
        if (s.open && s.controller == &window)
            s.open = false;
    window.closed();
}

CloseAnswer HeadlessUi::closeByUser(WindowController& window)
{
    if (!isOpen(window))
        return CloseAnswer::CloseNow;
    const CloseAnswer answer = window.closeRequested();
    if (answer == CloseAnswer::CloseNow)
        closeWindow(window);
    return answer;
}

void HeadlessUi::bringToFront(WindowController& window)
{
    m_raised.push_back(&window);
}

void HeadlessUi::setFocus(WindowController& window, const GbkText& control)
{
    m_focus.emplace_back(&window, control);
}

Size HeadlessUi::frameSize(Border border)
{
    switch (border) {
    case Border::Resizable:
        return {16, 39};
    case Border::FixedToolWindow:
        return {6, 23};
    case Border::Fixed:
        break;
    }
    return {6, 29};
}

int HeadlessUi::textHeight(const GbkText& text, int width, const Font& font)
{
    const int px = std::max(font.pixelSize, 1);
    const int usable = std::max(width - 6, px);
    int lines = 1;
    int x = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte == '\n') {
            ++lines;
            x = 0;
            continue;
        }
        if (byte == '\r')
            continue;
        const bool wide = text::charLength(text, i) == 2;
        const int w = wide ? px : px / 2;
        if (wide)
            ++i;
        if (x + w > usable) {
            ++lines;
            x = 0;
        }
        x += w;
    }
    return lines * (px + 3) + 6;
}

bool HeadlessUi::isOpen(const WindowController& window) const
{
    return std::any_of(m_showings.begin(), m_showings.end(),
                       [&](const Showing& s) { return s.open && s.controller == &window; });
}

WindowController* HeadlessUi::openWindow(std::string_view windowName) const
{
    for (auto it = m_showings.rbegin(); it != m_showings.rend(); ++it)
        if (it->open && it->controller->window().name() == windowName)
            return it->controller;
    return nullptr;
}

void HeadlessUi::onModal(std::function<void(WindowController&)> action)
{
    m_modalActions.push_back(std::move(action));
}

void HeadlessUi::queueFileDialogAnswer(std::vector<GbkText> paths)
{
    m_fileAnswers.push_back(std::move(paths));
}

void HeadlessUi::queueFolderAnswer(GbkText folder)
{
    m_folderAnswers.push_back(std::move(folder));
}

void HeadlessUi::queueMessageAnswer(MessageAnswer answer)
{
    m_messageAnswers.push_back(answer);
}

void HeadlessUi::scheduleAction(std::size_t afterCalls, std::function<void()> action)
{
    m_actions.push_back({m_eventCalls + std::max<std::size_t>(afterCalls, 1), std::move(action)});
}

} // namespace quillet::ui
