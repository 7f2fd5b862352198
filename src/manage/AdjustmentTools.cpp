#include "manage/AdjustmentTools.h"

#include "skin/ControlIdentity.h"
#include "widgets/ImageAdjustDialog.h"

#include <QAbstractButton>

namespace qelvo {

void runAdjustmentTool(const AdjustmentTool& tool, const std::string& path, QWidget* window) {
    ImageAdjustDialog::Request request;
    request.kind = tool.kind;
    request.title = QString::fromLatin1(tool.title);
    request.minimum = tool.minimum;
    request.maximum = tool.maximum;
    request.initialValue = tool.initialValue;
    request.path = path;
    ImageAdjustDialog dialog(request, window);
    dialog.exec();
}

void bindAdjustmentTools(QWidget* window, std::function<std::string()> currentPicture,
                         std::function<void()> uncovered) {
    for (const AdjustmentTool& tool : kAdjustmentTools) {
        auto* button = qobject_cast<QAbstractButton*>(findControl(window, tool.controlId));
        if (!button) continue;
        QObject::connect(button, &QAbstractButton::clicked, window,
                         [window, tool, currentPicture, uncovered] {
                             const std::string path = currentPicture();
                             if (path.empty()) return;
                             runAdjustmentTool(tool, path, window);
                             if (uncovered) uncovered();
                         });
    }
}

}  // namespace qelvo
