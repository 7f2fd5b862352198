#pragma once

#include <QString>

class QWidget;

namespace qelvo {

// The style of the measuring dialogs: the skin's dark surfaces, its accent and its narrow
// type, so they sit with the windows they open from.
QString measureDialogStyleSheet();
// Paints the skin's background gradient behind a dialog (call from its paintEvent).
void paintMeasureDialogBackground(QWidget& dialog);

}  // namespace qelvo
