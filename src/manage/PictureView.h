#pragma once

#include <QObject>
#include <QPoint>
#include <QSize>

#include <optional>

class QScrollBar;

namespace qelvo {

class PicturePanel;
struct PictureMapping;

// Zoom, panning and the loupe of the picture panel.  Zoom steps by 0.1 below 1 and 0.2
// above (single precision, floor 0.1); above 1 the panel shows a panel-sized window into
// the enlarged picture and the two pan bars move it; at 1 the picture fits the panel;
// below 1 it sits centred on a dark surround.  Zoom, pans and the bars outlive picture
// changes; any redraw of the panel shows the picture fitted again.  The loupe enlarges the
// part of the picture under the pointer while the left button is held over the panel.
class PictureView : public QObject {
    Q_OBJECT
public:
    static constexpr QPoint kVerticalBarPosition{670, 60};
    static constexpr QSize kVerticalBarSize{15, 480};
    static constexpr QPoint kHorizontalBarPosition{30, 540};
    static constexpr QSize kHorizontalBarSize{640, 15};

    PictureView(PicturePanel& panel, QScrollBar* verticalBar, QScrollBar* horizontalBar,
                QObject* parent = nullptr);

    // The window's image mode; the commands act only in it, with a current picture.
    void setImageMode(bool on) { imageMode_ = on; }

    // The four view buttons.
    void toggleLoupe();
    void fit();
    void zoomOut();
    void zoomIn();
    // A pan bar action (QAbstractSlider::SliderAction) on the bar of `orientation`.
    void panBarAction(Qt::Orientation orientation, int action);

    // Pointer events over the window, in its client coordinates.  Return true when the
    // loupe took the event.
    bool pointerPressed(QPoint position, Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers);
    bool pointerMoved(QPoint position, Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers);
    void leftButtonReleased();

    float zoom() const { return zoom_; }
    int horizontalPan() const { return horizontalPan_; }
    int verticalPan() const { return verticalPan_; }
    bool panBarsShown() const { return panBarsShown_; }
    bool magnifierOn() const { return magnifierOn_; }
    bool loupeDragging() const { return loupeDragging_; }

    // Where the current picture lies on the panel as it is drawn now (fitted, zoomed out or
    // zoomed in and panned); nothing without a picture or while the loupe shows.
    std::optional<PictureMapping> mapping() const;

private:
    bool active() const;
    void showPanBars();
    void hidePanBars();
    // Draws the current picture at the current zoom; with `recentre` the pan bars get the
    // zoomed picture's ranges and their middle positions first.
    void render(bool recentre);
    bool drawLoupe(QPoint position);

    PicturePanel& panel_;
    QScrollBar* verticalBar_;
    QScrollBar* horizontalBar_;
    bool imageMode_ = false;
    float zoom_ = 1.0f;
    int horizontalPan_ = 0;
    int verticalPan_ = 0;
    bool panBarsShown_ = false;
    bool magnifierOn_ = false;
    bool loupeDragging_ = false;
};

}  // namespace qelvo
