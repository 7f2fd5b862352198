#include "skin/SkinnedControls.h"

#include "skin/ControlIdentity.h"
#include "skin/SimpleButton.h"

namespace qelvo {

SimpleButton* placeSkinnedButton(QWidget* window, const SkinnedControl& control) {
    auto* button = new SimpleButton(window);
    setControlIdentity(button, control.controlId, QString::fromUtf8(control.caption));
    button->LoadSkin(control.bitmapId, control.frames);
    button->setGeometry(control.rect);
    button->show();
    return button;
}

std::vector<SimpleButton*> placeSkinnedButtons(QWidget* window,
                                               std::span<const SkinnedControl> controls) {
    std::vector<SimpleButton*> buttons;
    buttons.reserve(controls.size());
    for (const SkinnedControl& c : controls) buttons.push_back(placeSkinnedButton(window, c));
    return buttons;
}

}  // namespace qelvo
