#pragma once

#include <QImage>
#include <QPainter>

namespace qelvo::art {

// The window background `id` at its table size; a null image for an id that is none.
QImage paintBackground(int id);
// The program icon, `side` x `side`: on the window colour for the program's own windows,
// with transparent corners for the desktop's menus and launchers.
QImage paintProgramIcon(int side);
QImage paintDesktopIcon(int side);
// Draws the program icon into the square (0, 0, side, side); also used for the SVG icon.
void drawProgramIcon(QPainter& p, qreal side);

}  // namespace qelvo::art
