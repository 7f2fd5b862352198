#pragma once

#include <QRect>
#include <QWidget>

namespace qelvo {

class FocusAidsController;

// The focus aids on screen: the live histogram (luminance filled, red, green and blue
// traced; clipped shadows and highlights marked at the ends with their share), the focus
// value with the best so far, and switches for peaking, the measured region and resetting
// the best value.  Drawn in the skin's colours; follows its controller.
class FocusAidsPanel : public QWidget {
    Q_OBJECT
public:
    explicit FocusAidsPanel(FocusAidsController& aids, QWidget* parent = nullptr);

    enum Button { Peaking, Region, ResetBest, kButtons };
    QRect buttonRect(Button button) const;
    QRect histogramRect() const;
    // The texts shown (tests).
    QString focusText() const;
    QString bestText() const;
    QString clippingText() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    int buttonAt(QPoint point) const;
    QString buttonText(Button button) const;

    FocusAidsController& aids_;
    int hover_ = -1;
};

// The switch that shows or hides the focus aids: a small lit pill marked FOCUS.
class FocusAidsSwitch : public QWidget {
    Q_OBJECT
public:
    explicit FocusAidsSwitch(FocusAidsController& aids, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    FocusAidsController& aids_;
    bool hover_ = false;
};

}  // namespace qelvo
