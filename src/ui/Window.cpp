#include "Window.h"

#include <algorithm>
#include <utility>

namespace quillet::ui {

Window::Window(GbkText name, GbkText title, Rect geometry, Border border)
    : m_name(std::move(name))
    , m_title(std::move(title))
    , m_geometry(geometry)
    , m_border(border)
{
}

Window::Window(const Window& other)
    : m_name(other.m_name)
    , m_title(other.m_title)
    , m_geometry(other.m_geometry)
    , m_border(other.m_border)
    , m_showState(other.m_showState)
{
    m_controls.reserve(other.m_controls.size());
    for (const auto& c : other.m_controls)
        m_controls.push_back(std::make_unique<Control>(*c));
    adopt();
}

Window& Window::operator=(const Window& other)
{
    if (this != &other) {
        Window copy(other);
        *this = std::move(copy);
    }
    return *this;
}

Window::Window(Window&& other) noexcept
    : m_name(std::move(other.m_name))
    , m_title(std::move(other.m_title))
    , m_geometry(other.m_geometry)
    , m_border(other.m_border)
    , m_showState(other.m_showState)
    , m_controls(std::move(other.m_controls))
    , m_observers(std::move(other.m_observers))
    , m_nextObserverId(other.m_nextObserverId)
{
    adopt();
}

Window& Window::operator=(Window&& other) noexcept
{
    if (this != &other) {
        m_name = std::move(other.m_name);
        m_title = std::move(other.m_title);
        m_geometry = other.m_geometry;
        m_border = other.m_border;
        m_showState = other.m_showState;
        m_controls = std::move(other.m_controls);
        m_observers = std::move(other.m_observers);
        m_nextObserverId = other.m_nextObserverId;
        adopt();
    }
    return *this;
}

Window::~Window() = default;

void Window::adopt()
{
    for (auto& c : m_controls)
        c->m_window = this;
}

void Window::setTitle(const GbkText& title)
{
    if (m_title == title)
        return;
    m_title = title;
    notify(nullptr, Property::WindowTitle);
}

void Window::setGeometry(const Rect& geometry)
{
    if (m_geometry == geometry)
        return;
    m_geometry = geometry;
    notify(nullptr, Property::WindowGeometry);
}

void Window::setShowState(ShowState state)
{
    if (m_showState == state)
        return;
    m_showState = state;
    notify(nullptr, Property::WindowShowState);
}

Control& Window::add(ControlDesign design)
{
    m_controls.push_back(std::make_unique<Control>(std::move(design)));
    m_controls.back()->m_window = this;
    return *m_controls.back();
}

Control* Window::find(std::string_view name)
{
    for (auto& c : m_controls)
        if (c->name() == name)
            return c.get();
    return nullptr;
}

const Control* Window::find(std::string_view name) const
{
    for (const auto& c : m_controls)
        if (c->name() == name)
            return c.get();
    return nullptr;
}

int Window::addObserver(Observer observer)
{
    const int id = m_nextObserverId++;
    m_observers.emplace_back(id, std::move(observer));
    return id;
}

void Window::removeObserver(int id)
{
    std::erase_if(m_observers, [id](const auto& entry) { return entry.first == id; });
}

void Window::notify(const Control* control, Property property) const
{
    // An observer may add or remove observers while being told; work on a copy.
    const auto observers = m_observers;
    for (const auto& entry : observers)
        if (entry.second)
            entry.second(*this, control, property);
}

} // namespace quillet::ui
