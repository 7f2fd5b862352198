#pragma once

#include "skin/SimpleButton.h"

#include <QImage>

#include <functional>

namespace qelvo {

class LiveTarget;

// One view pane of the multi-view window: a button the window paints itself (the frozen
// picture, with the pen strokes over it in pen mode), carrying a live surface that the grabber
// callback draws the live picture into.  The surface lies over the button while it shows
// live frames and is hidden while the stored picture is shown.  Pointer input always reaches
// the button (clicks, pen strokes).
class ViewPane : public SimpleButton {
    Q_OBJECT
public:
    explicit ViewPane(QWidget* parent = nullptr);

    LiveTarget* surface() const { return surface_; }

    // The picture the pane paints (null: nothing stored, the surface's last frame stays).
    void showPicture(QImage picture);
    // Live frames (or the last one drawn) are what the pane shows.
    void showLive();
    bool showsLive() const;
    const QImage& picture() const { return picture_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    LiveTarget* surface_;
    QImage picture_;
};

}  // namespace qelvo
