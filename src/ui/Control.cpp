#include "Control.h"

#include "Window.h"

#include <algorithm>
#include <utility>

namespace quillet::ui {

namespace {

std::vector<int> normalisedIndices(std::vector<int> indices)
{
    std::erase_if(indices, [](int i) { return i < 0; });
    std::sort(indices.begin(), indices.end());
    indices.erase(std::unique(indices.begin(), indices.end()), indices.end());
    return indices;
}

} // namespace

Control::Control(ControlDesign design)
    : m_kind(design.kind)
    , m_name(std::move(design.name))
    , m_parent(std::move(design.parent))
    , m_options(design.options)
    , m_picture(std::move(design.picture))
    , m_dialogFilter(std::move(design.dialogFilter))
    , m_defaultExtension(std::move(design.defaultExtension))
    , m_designText(design.text)
    , m_text(std::move(design.text))
    , m_checked(design.checked)
    , m_selectedIndex(design.selectedIndex)
    , m_items(std::move(design.items))
    , m_visible(design.options.visibleByDesign)
    , m_tag(std::move(design.tag))
    , m_place(design.place)
    , m_font(std::move(design.font))
{
    if (m_font.family.empty())
        m_font.family = gbk("宋体");
}

void Control::notify(Property property) const
{
    if (m_window)
        m_window->notify(this, property);
}

void Control::setText(const GbkText& text)
{
    if (m_text == text)
        return;
    m_text = text;
    notify(Property::Text);
}

void Control::setChecked(bool checked)
{
    if (m_checked == checked)
        return;
    m_checked = checked;
    notify(Property::Checked);
}

void Control::setSelectedIndex(int index)
{
    // An index past a known list (a damaged or stale setting) means "nothing selected". While
    // the list is still empty the index is kept, because a stored list may be restored after it.
    if (index < -1 || (!m_items.empty() && index >= static_cast<int>(m_items.size())))
        index = -1;
    if (m_selectedIndex == index)
        return;
    m_selectedIndex = index;
    notify(Property::SelectedIndex);
}

void Control::setItems(std::vector<GbkText> items)
{
    if (m_items != items) {
        m_items = std::move(items);
        notify(Property::Items);
    }
    if (!m_items.empty() && m_selectedIndex >= static_cast<int>(m_items.size())) {
        m_selectedIndex = -1;
        notify(Property::SelectedIndex);
    }
}

void Control::setSelectedIndices(std::vector<int> indices)
{
    indices = normalisedIndices(std::move(indices));
    if (m_selectedIndices == indices)
        return;
    m_selectedIndices = std::move(indices);
    notify(Property::SelectedIndices);
}

void Control::setCheckedIndices(std::vector<int> indices)
{
    indices = normalisedIndices(std::move(indices));
    if (m_checkedIndices == indices)
        return;
    m_checkedIndices = std::move(indices);
    notify(Property::CheckedIndices);
}

void Control::selectIndex(int index, bool selected)
{
    std::vector<int> indices = m_selectedIndices;
    if (selected)
        indices.push_back(index);
    else
        std::erase(indices, index);
    setSelectedIndices(std::move(indices));
}

void Control::checkIndex(int index, bool checked)
{
    std::vector<int> indices = m_checkedIndices;
    if (checked)
        indices.push_back(index);
    else
        std::erase(indices, index);
    setCheckedIndices(std::move(indices));
}

void Control::setEnabled(bool enabled)
{
    if (m_enabled == enabled)
        return;
    m_enabled = enabled;
    notify(Property::Enabled);
}

void Control::setVisible(bool visible)
{
    if (m_visible == visible)
        return;
    m_visible = visible;
    notify(Property::Visible);
}

void Control::setOptions(const ControlOptions& options)
{
    if (m_options == options)
        return;
    m_options = options;
    notify(Property::Options);
}

void Control::setTag(const GbkText& tag)
{
    if (m_tag == tag)
        return;
    m_tag = tag;
    notify(Property::Tag);
}

void Control::setColour(std::int64_t colour)
{
    if (m_colour == colour)
        return;
    m_colour = colour;
    notify(Property::Colour);
}

void Control::setPlace(const Rect& place)
{
    if (m_place == place)
        return;
    m_place = place;
    notify(Property::Place);
}

void Control::setFont(const Font& font)
{
    if (m_font == font)
        return;
    m_font = font;
    notify(Property::Font);
}

} // namespace quillet::ui
