#include "HeadlessUi.h"

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

bool HeadlessUi::runCommand(const GbkText& commandLine)
{
    m_commands.push_back(commandLine);
    return true;
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
