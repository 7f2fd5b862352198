#pragma once

#include "skin/SkinTable.h"

#include <vector>

class QWidget;

namespace qelvo {

class SimpleButton;

// Creates the skinned button `control` in `window`: its id and caption as identity, its
// strip loaded, then moved to its place and shown.
SimpleButton* placeSkinnedButton(QWidget* window, const SkinnedControl& control);

// The same for every skinned control of a table, in table order.
std::vector<SimpleButton*> placeSkinnedButtons(QWidget* window,
                                               std::span<const SkinnedControl> controls);

}  // namespace qelvo
