#pragma once

// Drawing vocabulary shared by every skin picture: palette, fonts, panel frames and
// button faces.  Everything here is deterministic: no time, no randomness.

#include "skin/SkinPalette.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QRect>
#include <QString>
#include <functional>

namespace qelvo::art {

namespace colour {
inline const QColor kBackTop{palette::kBackTop};
inline const QColor kBackBottom{palette::kBackBottom};
inline const QColor kBar{palette::kBar};
inline const QColor kWell{palette::kWell};
inline const QColor kLineLight{palette::kLineLight};
inline const QColor kLineDark{palette::kLineDark};
inline const QColor kAccent{palette::kAccent};
inline const QColor kAccentDeep{palette::kAccentDeep};
inline const QColor kWarm{palette::kWarm};
inline const QColor kAlarm{palette::kAlarm};
inline const QColor kText{palette::kText};
inline const QColor kTextDim{palette::kTextDim};
inline const QColor kTextFaint{palette::kTextFaint};
}  // namespace colour

// Normal, pressed and hover looks of a three-frame strip, in frame order.
enum class Look { Normal = 0, Pressed = 1, Hover = 2 };

QImage newCanvas(int width, int height, const QColor& fill = colour::kBar);
void setupPainter(QPainter& painter);

// "Liberation Sans Narrow" (narrow) or "Liberation Sans", pixel-sized, from the files
// ArtFonts loads.
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
