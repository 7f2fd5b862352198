#pragma once

#include "media/MediaResult.h"

#include <QRect>
#include <cstdint>
#include <memory>

class QWidget;

namespace qelvo {

// The video window control of a media graph: the picture of the graph's renderer (a live
// target widget fed from the pipeline) placed inside an owner widget.  Every graph has this
// control; its operations fail with NoInterface while the graph has no renderer.
// GUI thread only.
class VideoWindow {
public:
    VideoWindow();
    ~VideoWindow();
    VideoWindow(const VideoWindow&) = delete;
    VideoWindow& operator=(const VideoWindow&) = delete;

    // True once the graph has a renderer whose picture this window shows.
    bool hasRenderer() const;

    // Reparents the picture into `owner` (a panel, the popup); nullptr detaches and hides it.
    MediaResult setOwner(QWidget* owner);
    // Position and size inside the owner.
    MediaResult setPosition(int left, int top, int width, int height);
    MediaResult setVisible(bool visible);

    QWidget* owner() const;
    QRect geometry() const;
    bool isVisible() const;
    // The picture widget itself (null without a renderer).
    QWidget* widget() const;
    // Frames painted into the picture so far.
    std::uint64_t paintedFrames() const;

    struct Impl;
    Impl& impl() { return *impl_; }

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace qelvo
