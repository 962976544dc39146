#pragma once

#include "text/GbkText.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quillet::ui {

class Window;

// The kinds of control a window can hold. The settings store decides what to save from the
// prefix of a control's name, not from this kind; the kind tells a front end what to build.
enum class ControlKind {
    Button,
    EditBox,
    CheckBox,
    RadioButton,
    ComboBox,     // drop-down list
    ListBox,
    CheckListBox,
    ColourPicker,
    Label,
    GroupBox,
    PictureBox,
    Frame,
    LinkLabel,
    PictureButton,
    FileDialog,   // invisible open-file dialog owned by the window
};

// Left, top, width, height in pixels, relative to the containing control (or the window).
struct Rect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const Rect&, const Rect&) = default;
};

struct Font {
    GbkText family;       // GBK face name, e.g. 宋体
    int pixelSize = 14;
    bool bold = false;
    friend bool operator==(const Font&, const Font&) = default;
};

// Fixed properties of a control that a front end needs to build it.
struct ControlOptions {
    bool multiLine = false;
    bool readOnly = false;
    bool digitsOnly = false;
    bool centred = false;
    bool verticalScrollBar = false;
    bool defaultButton = false;
    bool visibleByDesign = true;
    friend bool operator==(const ControlOptions&, const ControlOptions&) = default;
};

// What changed, as told to a window's observers. The window's own properties are reported
// with no control.
enum class Property {
    Text,
    Checked,
    SelectedIndex,
    Items,
    SelectedIndices,
    CheckedIndices,
    Enabled,
    Visible,
    Tag,
    Colour,
    Place,
    Font,
    Options,
    WindowTitle,
    WindowGeometry,
    WindowShowState,
};

// The design of a control: everything the window table gives for it.
struct ControlDesign {
    ControlKind kind = ControlKind::Label;
    GbkText name;             // GBK; its prefix names the kind for the settings store
    GbkText parent;           // name of the containing group box, picture box or frame; empty: the window
    GbkText text;             // caption or default content
    Rect place;
    Font font;
    GbkText tag;              // free text; "字节集方式" and "禁止保存" steer the settings store
    ControlOptions options;
    std::vector<GbkText> items;   // list items (drop-down lists, list boxes)
    int selectedIndex = -1;       // selected item, -1 none
    bool checked = false;
    std::string picture;          // picture resource id of picture buttons and boxes (ASCII)
    GbkText dialogFilter;         // file dialog: "description|pattern|description|pattern"
    GbkText defaultExtension;     // file dialog: extension added when none is typed
};

// One control of a window: its design plus its live state. Every state setter tells the
// owning window's observers when the value really changes.
class Control {
public:
    explicit Control(ControlDesign design);

    [[nodiscard]] ControlKind kind() const { return m_kind; }
    [[nodiscard]] const GbkText& name() const { return m_name; }
    [[nodiscard]] const GbkText& parent() const { return m_parent; }
    [[nodiscard]] const ControlOptions& options() const { return m_options; }
    [[nodiscard]] const std::string& picture() const { return m_picture; }
    [[nodiscard]] const GbkText& dialogFilter() const { return m_dialogFilter; }
    [[nodiscard]] const GbkText& defaultExtension() const { return m_defaultExtension; }
    // The caption or content the window table gives (the text a fresh window shows).
    [[nodiscard]] const GbkText& designText() const { return m_designText; }

    [[nodiscard]] const GbkText& text() const { return m_text; }
    [[nodiscard]] bool checked() const { return m_checked; }
    [[nodiscard]] int selectedIndex() const { return m_selectedIndex; }
    [[nodiscard]] const std::vector<GbkText>& items() const { return m_items; }
    [[nodiscard]] const std::vector<int>& selectedIndices() const { return m_selectedIndices; }
    [[nodiscard]] const std::vector<int>& checkedIndices() const { return m_checkedIndices; }
    [[nodiscard]] bool enabled() const { return m_enabled; }
    [[nodiscard]] bool visible() const { return m_visible; }
    [[nodiscard]] const GbkText& tag() const { return m_tag; }
    [[nodiscard]] std::int64_t colour() const { return m_colour; }
    [[nodiscard]] const Rect& place() const { return m_place; }
    [[nodiscard]] const Font& font() const { return m_font; }

    void setText(const GbkText& text);
    void setChecked(bool checked);
    // Out-of-range indices (below -1, or past the items of a list) are clamped to -1 for
    // controls with items, so a stale stored index never points past the list.
    void setSelectedIndex(int index);
    void setItems(std::vector<GbkText> items);
    // Index lists are kept sorted and free of repeats; negative indices are dropped.
    void setSelectedIndices(std::vector<int> indices);
    void setCheckedIndices(std::vector<int> indices);
    void selectIndex(int index, bool selected = true);
    void checkIndex(int index, bool checked = true);
    void setEnabled(bool enabled);
    void setVisible(bool visible);
    void setTag(const GbkText& tag);
    void setColour(std::int64_t colour);
    void setPlace(const Rect& place);
    void setFont(const Font& font);
    // A window used in another mode than its design's (e.g. read-only, another default
    // button) changes these before it is shown.
    void setOptions(const ControlOptions& options);

private:
    friend class Window;
    void notify(Property property) const;

    Window* m_window = nullptr;
    ControlKind m_kind;
    GbkText m_name;
    GbkText m_parent;
    ControlOptions m_options;
    std::string m_picture;
    GbkText m_dialogFilter;
    GbkText m_defaultExtension;
    GbkText m_designText;

    GbkText m_text;
    bool m_checked = false;
    int m_selectedIndex = -1;
    std::vector<GbkText> m_items;
    std::vector<int> m_selectedIndices;
    std::vector<int> m_checkedIndices;
    bool m_enabled = true;
    bool m_visible = true;
    GbkText m_tag;
    std::int64_t m_colour = 0;
    Rect m_place;
    Font m_font;
};

} // namespace quillet::ui
