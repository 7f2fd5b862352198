#include "multiview/ViewCycle.h"

#include "capture/CaptureSession.h"

namespace qelvo {

ViewCycle::ViewCycle(CaptureSession& live, std::array<LiveTarget*, kPanes> surfaces)
    : live_(live), surfaces_(surfaces) {}

bool ViewCycle::frozen() const {
    return live_.frozen();
}

bool ViewCycle::isLive(int pane) const {
    return !fullScreen_ && !frozen() && pane == nextPane_;
}

bool ViewCycle::applyLayout(int layout) {
    if (layout != 1 && layout != 2 && layout != 4) return false;
    if (layout == layout_) {
        if (frozen()) live_.setFrozen(false);
        return false;
    }
    layout_ = layout;
    reset();
    return true;
}

void ViewCycle::reset() {
    nextPane_ = 0;
    live_.setInsetTarget(nullptr);
    live_.setLiveTarget(surfaces_[0]);
    dropPictures();
    live_.setFrozen(false);
}

int ViewCycle::onSnapshotFrame(std::shared_ptr<const FrameRecord> frame) {
    if (frozen()) {
        live_.setFrozen(false);
        return -1;
    }
    // No frame was there to hand over (nothing copied yet, or memory ran out): nothing to
    // freeze, and the live picture stays where it is.
    if (!frame || frame->length() == 0 || !frame->isComplete()) return -1;
    const int filled = nextPane_;
    pictures_[filled].frame = std::move(frame);
    pictures_[filled].objective = live_.snapshotObjective();
    if (++nextPane_ >= layout_) {
        nextPane_ = 0;
        live_.setFrozen(true);
    }
    if (!fullScreen_) liveIntoNextPane();
    return filled;
}

bool ViewCycle::anyPicture() const {
    for (const PanePicture& p : pictures_)
        if (p.holdsPicture()) return true;
    return false;
}

void ViewCycle::dropPictures() {
    for (PanePicture& p : pictures_) p.clear();
}

void ViewCycle::enterFullScreen(LiveTarget* popupSurface, LiveTarget* inset) {
    fullScreen_ = true;
    live_.setInsetTarget(inset);
    live_.setLiveTarget(popupSurface);
}

void ViewCycle::leaveFullScreen() {
    fullScreen_ = false;
    live_.setInsetTarget(nullptr);
    liveIntoNextPane();
}

void ViewCycle::forgetFullScreen() {
    fullScreen_ = false;
    live_.setInsetTarget(nullptr);
}

void ViewCycle::liveIntoNextPane() {
    live_.setLiveTarget(surfaces_[nextPane_]);
}

}  // namespace qelvo
