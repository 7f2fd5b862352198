#pragma once

#include "capture/FrameRecord.h"
#include "multiview/PanePicture.h"

#include <array>
#include <memory>

namespace qelvo {

class CaptureSession;
class LiveTarget;

// The view state of the multi-view window: the layout (1 FULL, 2 DUAL, 4 QUAD: the number
// of visible panes), the frozen picture of each pane, the pane that takes the next snapshot
// and full screen.  It moves the live picture through the capture session (live target,
// inset target, frozen), which the streaming thread follows at its next frame.
class ViewCycle {
public:
    static constexpr int kPanes = 4;

    // `surfaces` are the panes' live drawing surfaces, index 0..3 = VIEW DISPLAY 1..4.
    ViewCycle(CaptureSession& live, std::array<LiveTarget*, kPanes> surfaces);

    int layout() const { return layout_; }
    int nextPane() const { return nextPane_; }
    bool frozen() const;
    bool fullScreen() const { return fullScreen_; }
    bool isVisible(int pane) const { return pane >= 0 && pane < layout_; }
    // True when live frames are being drawn into `pane` now.
    bool isLive(int pane) const;

    // The layout's button.  The current layout only resumes a frozen view (false: nothing
    // else to do); another one is stored and laid out afresh (true).
    bool applyLayout(int layout);
    // Lays the current layout out again: every picture dropped, live in pane 1, not frozen,
    // no inset.
    void reset();

    // A snapshot frame: while frozen it only resumes the live picture; otherwise the next
    // pane keeps the frame, the live picture moves on, and after the last pane every pane
    // is frozen.  Returns the pane that took the frame, or -1.
    int onSnapshotFrame(std::shared_ptr<const FrameRecord> frame);

    const PanePicture& picture(int pane) const { return pictures_.at(pane); }
    const std::array<PanePicture, kPanes>& pictures() const { return pictures_; }
    bool anyPicture() const;
    void dropPictures();

    // Full screen: live frames go to `popupSurface` (and the hidden `inset`); snapshot
    // frames no longer move the live picture.
    void enterFullScreen(LiveTarget* popupSurface, LiveTarget* inset);
    // Back into the pane at the next pane index; the inset no longer takes frames.
    void leaveFullScreen();
    // Full screen ends without a popup to take the picture back from (it was never shown).
    void forgetFullScreen();

private:
    void liveIntoNextPane();

    CaptureSession& live_;
    std::array<LiveTarget*, kPanes> surfaces_;
    std::array<PanePicture, kPanes> pictures_;
    int layout_ = 4;
    int nextPane_ = 0;
    bool fullScreen_ = false;
};

}  // namespace qelvo
