#pragma once

#include "capture/FrameRecord.h"
#include "capture/SnapshotObjective.h"

#include <QImage>
#include <QSize>

#include <memory>

namespace qelvo {

class CxImage;

// The frozen frame of one view pane: an owned, immutable copy of a snapshot frame (bottom-up
// B,G,R rows padded to 4 bytes, with its bitmap header), and the objective in use when it was
// taken.  Empty while the pane holds nothing.
struct PanePicture {
    PanePicture() = default;
    PanePicture(std::shared_ptr<const FrameRecord> f, SnapshotObjective o = {})
        : frame(std::move(f)), objective(std::move(o)) {}

    std::shared_ptr<const FrameRecord> frame;
    SnapshotObjective objective;

    // Pixels, a non-zero byte count and every row the header promises.
    bool holdsPicture() const { return frame && frame->length() > 0 && frame->isComplete(); }
    void clear() {
        frame.reset();
        objective = {};
    }
};

// Builds a picture from the pane's frame (24 bits, the frame's row size, no flip) and, when
// `layer` is given, lays the drawing layer over it.  False when the pane is empty.
bool composePane(const PanePicture& pane, const CxImage* layer, CxImage& out);

// The frame stretched to `size` by nearest samples (rows and columns dropped or repeated),
// upright, as the pane shows it.  Null for an empty pane or size.
QImage scaledPane(const PanePicture& pane, QSize size);

}  // namespace qelvo
