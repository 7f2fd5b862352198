#pragma once

#include "imaging/CxImage.h"

#include <QImage>
#include <QPoint>

#include <array>

namespace qelvo {

// Lays a drawing layer over a picture at 0,0, copying only the layer's pixels that are not
// its transparent grey.  A picture of another size than the layer gets the layer stretched
// to its own size first, so strokes land where they were drawn on the pane whatever size the
// camera delivers; a smaller picture keeps every stroke, in its own colour, as the pane shows
// it (see overlayLayerScaled).  False when either is empty.
bool overlayLayer(CxImage& picture, const CxImage& layer);

// Lays a drawing layer over a picture already stretched to a pane (upright, 32-bit): a pane
// pixel takes the stroke colour of the layer pixels it covers, if any is not transparent
// grey.  What the pane shows in pen mode, at the pane's cost rather than the picture's.
void overlayLayerScaled(QImage& pane, const CxImage& layer);

// The pen of the multi-view window: pen mode, the pen colour and one drawing layer per view
// pane.  A layer is a 640 x 480 24-bit picture whose untouched pixels are transparent grey;
// strokes are drawn in layer coordinates (rows bottom-up).
class PenLayers {
public:
    static constexpr int kPanes = 4;
    static constexpr int kLayerWidth = 640;
    static constexpr int kLayerHeight = 480;
    static constexpr RgbQuad kTransparentGrey{128, 128, 128, 0};

    PenLayers();

    bool penMode() const { return penMode_; }
    // Turning pen mode off also resets the colour to black.
    void togglePenMode();
    // 0x00BBGGRR.
    unsigned penColour() const { return colour_; }

    // A press at `windowPoint`: in pen mode, inside the colour strip, picks the colour of
    // its column; the strip's last few pixels (past the sixth column) pick nothing.  True
    // when the colour changed hands (a column was hit).
    bool pickColour(QPoint windowPoint);

    // A pen-stroke from `previous` to `position` (pane client pixels) on pane `pane`, whose
    // pane shows the layer at `scale` (1 for a 640 x 480 pane, 2 for 320 x 240).  A previous
    // position with a -1 coordinate sets only the new point.  Pixels off the layer are skipped.
    void stroke(int pane, QPoint previous, QPoint position, int scale);

    // Drops every stroke (fresh layers).
    void resetLayers();
    const CxImage& layer(int pane) const { return layers_.at(pane); }
    // Count of changes to the layers, so painters can tell when to redraw.
    unsigned revision() const { return revision_; }

private:
    bool penMode_ = false;
    unsigned colour_ = 0;
    unsigned revision_ = 0;
    std::array<CxImage, kPanes> layers_;
};

}  // namespace qelvo
