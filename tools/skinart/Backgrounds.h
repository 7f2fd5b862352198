#pragma once

#include <QImage>

namespace qelvo::art {

// The window background `id` at its table size; a null image for an id that is none.
QImage paintBackground(int id);
// The program icon, `side` x `side`.
QImage paintProgramIcon(int side);

}  // namespace qelvo::art
