#pragma once

#include <QWidget>

class QMenu;

namespace qelvo {

class FlatFieldController;

// Flat-field correction as one small control in the skin's style: "FLAT" and its state (ON,
// OFF, NONE, SIZE); a click opens a menu to turn the correction on or off, take the flat or
// the dark of the objective in use from the live picture, or clear its references.
class FlatFieldControl : public QWidget {
    Q_OBJECT
public:
    explicit FlatFieldControl(FlatFieldController& controller, QWidget* parent = nullptr);

    // The menu the control opens (the caller owns it; tests run its actions).
    QMenu* buildMenu();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    FlatFieldController& controller_;
    bool hover_ = false;
};

}  // namespace qelvo
