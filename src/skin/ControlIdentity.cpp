#include "skin/ControlIdentity.h"

#include <QWidget>

namespace qelvo {

void setControlIdentity(QWidget* control, int controlId, const QString& caption) {
    if (!control) return;
    control->setObjectName(QString::number(controlId));
    control->setAccessibleName(caption);
}

QWidget* findControl(const QWidget* window, int controlId) {
    if (!window) return nullptr;
    return window->findChild<QWidget*>(QString::number(controlId));
}

}  // namespace qelvo
