#pragma once

#include <QImage>

namespace qelvo::art {

// The button strip `id` at its table size; a null image for an id that is no strip.
QImage paintStrip(int id);

}  // namespace qelvo::art
