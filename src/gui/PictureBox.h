#pragma once

#include <QWidget>

#include <string>

namespace quillet::gui {

// A picture box: holds other controls and shows its built-in picture (if any) stretched over
// its area.
class PictureBox : public QWidget {
    Q_OBJECT
public:
    explicit PictureBox(std::string pictureId, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::string m_pictureId;
};

} // namespace quillet::gui
