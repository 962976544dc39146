#pragma once

#include "Control.h"
#include "ControlNames.h"
#include "text/GbkText.h"

#include <functional>
#include <memory>
#include <string_view>
#include <vector>

namespace quillet::ui {

enum class Border {
    Fixed,           // not resizable
    Resizable,
    FixedToolWindow, // not resizable, narrow title bar
};

enum class ShowState {
    Normal = 0,
    Minimised = 1,
    Maximised = 2,
};

// A window as data: title, geometry, border and its controls in window order. Controls are
// found by their (GBK) name. Observers hear of every state change of the window or of one of
// its controls; a front end listens to keep its widgets in step, tests listen to see what a
// handler did.
//
// Copies get their own controls and no observers (a copy is a new window).
class Window {
public:
    using Observer = std::function<void(const Window& window, const Control* control, Property property)>;

    Window() = default;
    Window(GbkText name, GbkText title, Rect geometry, Border border);
    Window(const Window& other);
    Window& operator=(const Window& other);
    Window(Window&& other) noexcept;
    Window& operator=(Window&& other) noexcept;
    ~Window();

    // The window's own name (the name used in code, e.g. "MainWindow"; ASCII).
    [[nodiscard]] const GbkText& name() const { return m_name; }
    [[nodiscard]] const GbkText& title() const { return m_title; }
    // Left and top of -1 mean "centre it" (the front end decides where it first appears).
    [[nodiscard]] const Rect& geometry() const { return m_geometry; }
    [[nodiscard]] Border border() const { return m_border; }
    [[nodiscard]] ShowState showState() const { return m_showState; }

    void setTitle(const GbkText& title);
    void setGeometry(const Rect& geometry);
    void setShowState(ShowState state);

    // Appends a control; names are expected to be unique within a window (a repeated name
    // is still added, but find() returns the first).
    Control& add(ControlDesign design);

    [[nodiscard]] Control* find(std::string_view name);
    [[nodiscard]] const Control* find(std::string_view name) const;
    [[nodiscard]] Control* find(const ControlName& name) { return find(std::string_view(name.gbk())); }
    [[nodiscard]] const Control* find(const ControlName& name) const { return find(std::string_view(name.gbk())); }
    [[nodiscard]] std::size_t size() const { return m_controls.size(); }
    [[nodiscard]] Control& at(std::size_t index) { return *m_controls[index]; }
    [[nodiscard]] const Control& at(std::size_t index) const { return *m_controls[index]; }

    // Controls in window order.
    template <typename F>
    void forEachControl(F&& f)
    {
        for (auto& c : m_controls)
            f(*c);
    }
    template <typename F>
    void forEachControl(F&& f) const
    {
        for (const auto& c : m_controls)
            f(static_cast<const Control&>(*c));
    }

    // Returns an id for removeObserver.
    int addObserver(Observer observer);
    void removeObserver(int id);

private:
    friend class Control;
    void notify(const Control* control, Property property) const;
    void adopt();

    GbkText m_name;
    GbkText m_title;
    Rect m_geometry;
    Border m_border = Border::Fixed;
    ShowState m_showState = ShowState::Normal;
    std::vector<std::unique_ptr<Control>> m_controls;
    std::vector<std::pair<int, Observer>> m_observers;
    int m_nextObserverId = 1;
};

} // namespace quillet::ui
