#pragma once

// The colours of the skin pictures, for controls the windows draw themselves (lists, scroll
// bars, plain buttons) so they sit in the art without a seam.

#include <QRgb>
#include <QString>

namespace qelvo::palette {

inline constexpr QRgb kBackTop = 0xff2a2f37;     // window background, top of the gradient
inline constexpr QRgb kBackBottom = 0xff14171b;  // and bottom
inline constexpr QRgb kBar = 0xff101216;         // title and footer bars
inline constexpr QRgb kWell = 0xff080a0c;        // recess behind a control or panel
inline constexpr QRgb kLineLight = 0xff4a5360;   // lit frame edge
inline constexpr QRgb kLineDark = 0xff050608;    // shaded frame edge
inline constexpr QRgb kAccent = 0xff34c6da;      // hover, selection, active marks
inline constexpr QRgb kAccentDeep = 0xff1b7f8e;
inline constexpr QRgb kWarm = 0xfff2a53a;  // file commands, pen
inline constexpr QRgb kAlarm = 0xffe83b3b;
inline constexpr QRgb kText = 0xffe2e7ee;
inline constexpr QRgb kTextDim = 0xff8b95a3;
inline constexpr QRgb kTextFaint = 0xff4d5662;

// A style sheet for drop-down lists and scroll bars placed on the skin's wells.
QString controlStyleSheet();

}  // namespace qelvo::palette
