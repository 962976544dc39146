#pragma once

#include <QLabel>

namespace quillet::gui {

// A label drawn the way the window tables expect: one line is centred vertically; several
// lines start at the top, one under the other, closer together when the label would
// otherwise cut the last ones off (CJK fonts with tall line spacing). Text is never wrapped.
class CaptionLabel : public QLabel {
    Q_OBJECT
public:
    explicit CaptionLabel(QWidget* parent = nullptr);

    // The distance between two lines' baselines for n lines in the label's height.
    [[nodiscard]] qreal linePitch(int lines) const;

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace quillet::gui
