#include "capture/CaptureTestWindow.h"

#include <algorithm>

namespace qelvo::test {

CaptureTestWindow::CaptureTestWindow(QWidget* parent)
    : QDialog(parent), timers_([this](int id) {
          timerExpiries.push_back(id);
          if (onTimer)
              onTimer(id);
          else
              timers_.kill(id);
      }) {
    setWindowTitle(QStringLiteral("Capture test window"));
    resize(1024, 768);
    struct Panel {
        int id;
        const char* caption;
        QRect rect;
    };
    const Panel panels[] = {{1037, "VIEW PANEL", {10, 10, 640, 480}},
                            {1040, "CLIP #1", {660, 10, 120, 90}},
                            {1015, "VIEW DISPLAY 1", {10, 500, 160, 120}},
                            {1016, "VIEW DISPLAY 2", {180, 500, 160, 120}},
                            {1017, "VIEW DISPLAY 3", {350, 500, 160, 120}},
                            {1018, "VIEW DISPLAY 4", {520, 500, 160, 120}}};
    for (const Panel& p : panels) {
        auto* target = new LiveTarget(this);
        target->setObjectName(QString::number(p.id));
        target->setAccessibleName(QString::fromLatin1(p.caption));
        target->setGeometry(p.rect);
    }
}

LiveTarget* CaptureTestWindow::panel(int id) const {
    return findChild<LiveTarget*>(QString::number(id));
}

int CaptureTestWindow::countMessages(QEvent::Type type) const {
    return static_cast<int>(std::count_if(messages.begin(), messages.end(),
                                          [type](const Received& r) { return r.type == type; }));
}

int CaptureTestWindow::countExpiries(int id) const {
    return static_cast<int>(std::count(timerExpiries.begin(), timerExpiries.end(), id));
}

void CaptureTestWindow::customEvent(QEvent* event) {
    if (event->type() == kFrameReadyMessage || event->type() == kSnapshotFrameMessage) {
        auto* message = static_cast<FrameMessage*>(event);
        messages.push_back({event->type(), message->frame()});
    } else if (event->type() == kSnapshotWrittenMessage) {
        written.push_back(static_cast<SnapshotWrittenMessage*>(event)->path());
    }
}

}  // namespace qelvo::test
