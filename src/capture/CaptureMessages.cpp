#include "capture/CaptureMessages.h"

#include <QCoreApplication>

namespace qelvo {

void postFrameMessage(QObject* receiver, QEvent::Type type,
                      std::shared_ptr<const FrameRecord> frame) {
    if (!receiver) return;
    QCoreApplication::postEvent(receiver, new FrameMessage(type, std::move(frame)));
}

}  // namespace qelvo
