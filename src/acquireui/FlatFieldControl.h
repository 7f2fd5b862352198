#pragma once

#include "acquireui/MenuValueControl.h"

namespace qelvo {

class FlatFieldController;

// Flat-field correction as one small control in the skin's style: "FLAT" and its state (ON,
// OFF, NONE, SIZE); a click opens a menu to turn the correction on or off, take the flat or
// the dark of the objective in use from the live picture, or clear its references.
class FlatFieldControl : public MenuValueControl {
    Q_OBJECT
public:
    explicit FlatFieldControl(FlatFieldController& controller, QWidget* parent = nullptr);

    QMenu* buildMenu() override;

protected:
    QString valueText() const override;
    bool lit() const override;

private:
    FlatFieldController& controller_;
};

}  // namespace qelvo
