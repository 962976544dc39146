#pragma once

#include <QAbstractButton>
#include <QPixmap>

#include <string>

namespace quillet::gui {

// A clickable picture: the built-in picture of the given id drawn into the button, a light
// highlight under the mouse, a one-pixel shift while pressed.
class PictureButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit PictureButton(std::string pictureId, QWidget* parent = nullptr);

    [[nodiscard]] const std::string& pictureId() const { return m_pictureId; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    std::string m_pictureId;
    bool m_hovered = false;
    QPixmap m_cache; // the picture at the size last drawn
};

} // namespace quillet::gui
