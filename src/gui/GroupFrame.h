#pragma once

#include <QGroupBox>

namespace quillet::gui {

// A group box drawn as the window tables expect: the frame line runs through the middle of
// the caption, and the controls inside are placed from the box's top edge.
class GroupFrame : public QGroupBox {
    Q_OBJECT
public:
    explicit GroupFrame(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace quillet::gui
