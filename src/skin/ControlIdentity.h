#pragma once

#include <QString>

class QWidget;

namespace qelvo {

// Gives a window control its numeric id as object name ("1023") and its caption as
// accessible name, so tests and tools find it and a screen reader can name it.
void setControlIdentity(QWidget* control, int controlId, const QString& caption);

// The child of `window` carrying `controlId`, or nullptr.
QWidget* findControl(const QWidget* window, int controlId);

}  // namespace qelvo
