#pragma once

#include <QString>
#include <QWidget>

class QMenu;

namespace qelvo {

// A small control in the skin's style showing a label and a value ("SAVE AS  JPG", "FLAT  ON")
// with a mark that lights while the setting is in effect; a click opens the menu that changes
// it.  Subclasses say what the value is, whether it is lit, and build the menu.
class MenuValueControl : public QWidget {
    Q_OBJECT
public:
    MenuValueControl(QString label, QWidget* parent);

    // The menu the control opens (the caller owns it; tests run its actions).
    virtual QMenu* buildMenu() = 0;

protected:
    virtual QString valueText() const = 0;
    virtual bool lit() const { return true; }

    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    QString label_;
    bool hover_ = false;
};

}  // namespace qelvo
