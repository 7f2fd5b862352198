#pragma once

#include "frames/FramePool.h"

#include <QImage>
#include <QWidget>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

namespace qelvo {

// A panel that shows live frames.  Any thread may hand it a frame: the frame goes into a
// latest-frame slot and one repaint is requested if none is pending, so frames never queue
// up and the caller never waits for the GUI thread.  The panel paints the newest frame
// over its whole area with nearest-sample scaling, and keeps showing the last frame drawn
// into it until its window repaints it.
class LiveTarget : public QWidget {
    Q_OBJECT
public:
    explicit LiveTarget(QWidget* parent = nullptr);
    ~LiveTarget() override;

    // Thread-safe.  `bottomUpBgr` holds `height` rows of `stride` bytes, the first row being
    // the bottom of the picture, each pixel blue, green, red.
    void submitFrame(const std::uint8_t* bottomUpBgr, int width, int height, int stride);
    // The same for rows stored top row first (frames straight from a decoder).
    void submitTopDownFrame(const std::uint8_t* topDownBgr, int width, int height, int stride);
    // Thread-safe.  Keeps a reference to the shared frame instead of copying it; its block
    // must not be written again while anyone holds it.
    void submitSharedFrame(const GrabbedFrame& frame);

    // Forgets the shown frame (the panel paints its background again).  GUI thread only.
    void clearFrame();

    // Called first thing when this target is being destroyed, while it is still whole:
    // whoever hands it frames from another thread lets go of it there and waits out a frame
    // already on its way.  GUI thread; one observer per key, a second replaces the first.
    using RetiringObserver = std::function<void(LiveTarget* target)>;
    void addRetiringObserver(const void* key, RetiringObserver observer);
    void removeRetiringObserver(const void* key);

    // Text shown centred while no frame has been drawn (the camera is still opening, say);
    // empty shows the plain background.  GUI thread.
    void setPlaceholderText(const QString& text);
    const QString& placeholderText() const { return placeholder_; }

    // Something drawn over the live picture on screen, never into the frames: called in each
    // paint that shows a frame with the panel-sized screen picture (made afresh from the
    // frame at every paint) just before it is put on the screen, and the size of the frame
    // as it was handed in (before any reduction to the panel's size).  GUI thread; an empty
    // function removes it.
    using OverlayPainter = std::function<void(QImage& screen, QSize frameSize)>;
    void setOverlayPainter(OverlayPainter painter);
    // Further painters drawn after that one, in the order added, each under its owner's key
    // (a second under the same key replaces the first; an empty function removes it).  GUI
    // thread.
    void setExtraOverlayPainter(const void* key, OverlayPainter painter);
    // A copy of the newest frame painted as the panel keeps it (a frame handed in as bytes
    // and larger than the panel is kept reduced to the panel's size); null before the first.
    // GUI thread.
    QImage shownFrame() const;
    // The size of the newest frame painted, as handed in; empty before the first (GUI thread).
    QSize shownFrameSize() const;
    // The newest frame painted, shared rather than copied: bottom-up B,G,R rows of
    // `rowBytes`, at the size handed in for shared frames (frames handed in as bytes may be
    // reduced to the panel's size).  Null pixels before the first.  GUI thread.
    struct PaintedFrame {
        SharedPixels pixels;
        int width = 0;
        int height = 0;
        int rowBytes = 0;
    };
    PaintedFrame paintedFrame() const;

    // Number of frames painted so far (tests and benchmarks).
    std::uint64_t paintedFrames() const;
    // Number of frames handed in so far, and of repaints requested for them (tests).
    std::uint64_t submittedFrames() const;
    std::uint64_t requestedRepaints() const;
    // True while a repaint has been requested and not yet handled.
    bool repaintPending() const;
    // Where the bytes of the newest frame are, painted or not (GUI thread; tests).
    const std::uint8_t* newestFrameBytes() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // Queued to the GUI thread by storeFrame: clears the pending flag and repaints.
    Q_INVOKABLE void handleRepaintRequest();

    // Copies `height` rows starting at `firstRow` (the picture's bottom row), stepping `step`
    // bytes per row, into a block of its own and publishes that.
    void copyFrame(const std::uint8_t* firstRow, std::ptrdiff_t step, int width, int height);
    // Makes `pixels` the newest frame and asks for a repaint if none is pending.
    // `sourceWidth` x `sourceHeight`: the frame's size as handed in.
    void publish(SharedPixels pixels, int width, int height, int rowBytes, int sourceWidth,
                 int sourceHeight);

    struct Slot;
    Slot* slot_;
    std::vector<std::pair<const void*, RetiringObserver>> retiringObservers_;
    QString placeholder_;
    OverlayPainter overlay_;
    std::vector<std::pair<const void*, OverlayPainter>> extraOverlays_;
};

}  // namespace qelvo
