#pragma once

#include <QIcon>
#include <QImage>
#include <QPixmap>

namespace qelvo {

// The numbered skin picture `id` as a 24-bit image at its own size; a null image when the
// program ships no picture of that number.
QImage skinBitmap(int id);
QPixmap skinPixmap(int id);

// The program icon (icon resource 128).
inline constexpr int kProgramIconId = 128;
QIcon programIcon();

}  // namespace qelvo
