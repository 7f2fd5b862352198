#pragma once

// Drawing vocabulary shared by every skin picture: palette, fonts, panel frames and
// button faces.  Everything here is deterministic: no time, no randomness.

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QRect>
#include <QString>
#include <functional>

namespace qelvo::art {

namespace colour {
inline const QColor kBackTop{0x2a, 0x2f, 0x37};
inline const QColor kBackBottom{0x14, 0x17, 0x1b};
inline const QColor kBar{0x10, 0x12, 0x16};
inline const QColor kWell{0x08, 0x0a, 0x0c};
inline const QColor kLineLight{0x4a, 0x53, 0x60};
inline const QColor kLineDark{0x05, 0x06, 0x08};
inline const QColor kAccent{0x34, 0xc6, 0xda};
inline const QColor kAccentDeep{0x1b, 0x7f, 0x8e};
inline const QColor kWarm{0xf2, 0xa5, 0x3a};
inline const QColor kAlarm{0xe8, 0x3b, 0x3b};
inline const QColor kText{0xe2, 0xe7, 0xee};
inline const QColor kTextDim{0x8b, 0x95, 0xa3};
inline const QColor kTextFaint{0x4d, 0x56, 0x62};
}  // namespace colour

// Normal, pressed and hover looks of a three-frame strip, in frame order.
enum class Look { Normal = 0, Pressed = 1, Hover = 2 };

QImage newCanvas(int width, int height, const QColor& fill = colour::kBar);
void setupPainter(QPainter& painter);

// "Liberation Sans Narrow" (narrow) or "Liberation Sans", pixel-sized.
QFont font(int pixelSize, bool bold = true, bool narrow = true);
// Largest font up to `pixelSize` (not below 7) whose text fits in `width` pixels; bold
// labels turn regular before they shrink below 10 pixels.
QFont fittedFont(const QString& text, int width, int pixelSize, bool bold = true,
                 bool narrow = true);
void text(QPainter& p, const QRect& r, const QString& s, const QFont& f, const QColor& c,
          int flags = Qt::AlignCenter);

// Window background: graphite vertical gradient with faint horizontal brushing.
void fillBackground(QPainter& p, const QRect& r);
// A recessed well where a control or panel sits (the control draws over its inside).
void well(QPainter& p, const QRect& inner, int margin = 3);
// A framed group with a small caption tab above its top-left corner.
void group(QPainter& p, const QRect& r, const QString& caption);
// A small caption label (dim text with an accent tick).
void caption(QPainter& p, const QPoint& topLeft, const QString& s, int pixelSize = 11);
void screw(QPainter& p, const QPoint& centre);

// The face of a button in one of its looks inside `r`; `accent` tints hover and pressed.
void buttonFace(QPainter& p, const QRect& r, Look look, const QColor& accent = colour::kAccent,
                int radius = 4);
// Text colour for a label on a face of that look.
QColor labelColour(Look look, const QColor& accent = colour::kAccent);

// Paints a `width` x `height` strip of `frames` equal frames (width / frames wide): `paintFrame`
// gets the painter translated and clipped to the frame, the frame's look (three-frame strips;
// Normal otherwise) and the frame index.
QImage strip(int width, int height, int frames,
             const std::function<void(QPainter&, const QRect&, Look, int)>& paintFrame);

}  // namespace qelvo::art
