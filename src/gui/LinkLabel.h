#pragma once

#include "CaptionLabel.h"

namespace quillet::gui {

// A link label: underlined link-coloured caption with a pointing hand; reports the press of
// the left mouse button (the moment the window tables act on).
class LinkLabel : public CaptionLabel {
    Q_OBJECT
public:
    explicit LinkLabel(QWidget* parent = nullptr);

signals:
    void pressed();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace quillet::gui
