#pragma once

// Small helpers that keep the window tables readable: every text is written in UTF-8 and
// turned into GBK once here.

#include "Control.h"
#include "ControlNames.h"
#include "text/GbkText.h"

#include <initializer_list>
#include <string_view>
#include <vector>

namespace quillet::ui::design {

// A control placed on the window itself.
inline ControlDesign control(ControlKind kind, const ControlName& name, std::string_view text, Rect place)
{
    ControlDesign d;
    d.kind = kind;
    d.name = name.gbk();
    d.text = gbk(text);
    d.place = place;
    return d;
}

// A control inside a group box, picture box or frame.
inline ControlDesign control(ControlKind kind, const ControlName& name, const ControlName& parent,
                             std::string_view text, Rect place)
{
    ControlDesign d = control(kind, name, text, place);
    d.parent = parent.gbk();
    return d;
}

inline Font songti(int pixelSize, bool bold = false)
{
    return Font{gbk("宋体"), pixelSize, bold};
}

inline Font heiti(int pixelSize, bool bold = false)
{
    return Font{gbk("黑体"), pixelSize, bold};
}

inline std::vector<GbkText> items(std::initializer_list<std::string_view> utf8Items)
{
    std::vector<GbkText> result;
    for (auto item : utf8Items)
        result.push_back(gbk(item));
    return result;
}

} // namespace quillet::ui::design
