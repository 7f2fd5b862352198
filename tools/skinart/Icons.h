#pragma once

#include <QColor>
#include <QPainter>
#include <QRectF>

namespace qelvo::art {

enum class Icon {
    Camera,
    Gear,
    Expand,
    Freeze,
    RecordDot,
    StopSquare,
    Folder,
    Play,
    Printer,
    Rename,
    FolderOption,
    Close,
    Minimise,
    Clear,
    Pen,
    Eraser,
    LayoutOne,
    LayoutTwo,
    LayoutFour,
    Sun,
    Contrast,
    Hue,
    Saturation,
    Histogram,
    Equalise,
    Loupe,
    Fit,
    ZoomOut,
    ZoomIn,
    Rotate90,
    Rotate180,
    FlipVertical,
    MirrorHorizontal,
    Power,
    MultiView,
    Library,
    Lens,
};

// Draws `icon` centred in `box` with line colour `c` (some icons carry their own colours).
void icon(QPainter& p, Icon icon, const QRectF& box, const QColor& c);

}  // namespace qelvo::art
