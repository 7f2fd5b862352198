#pragma once

#include <QColor>
#include <QPushButton>

namespace qelvo {

// A plain push button of the HD windows, drawn by its window: a filled face one pixel in
// from its edges, coloured by state, with its caption centred over it.
class HdButton : public QPushButton {
    Q_OBJECT
public:
    enum class Look { Pressed, Checked, Focused, Disabled, Normal };
    struct Colours {
        QColor fill;
        QColor text;
    };

    explicit HdButton(const QString& caption, QWidget* parent = nullptr);

    Look look() const;
    static Colours colours(Look look);

signals:
    void doubleClicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
};

}  // namespace qelvo
