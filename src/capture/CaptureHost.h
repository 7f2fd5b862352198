#pragma once

#include <QString>
#include <QWidget>

namespace qelvo {

class WindowTimers;

// What the capture code needs from the working window that owns a pipeline: the window
// itself (owner of dialogs and of the video window, receiver of the capture messages), its
// controls by numeric id, and its timers.  The real windows and the test window implement it.
class CaptureHost {
public:
    virtual ~CaptureHost() = default;
    virtual QWidget* hostWidget() = 0;
    virtual WindowTimers& hostTimers() = 0;

    // The control whose objectName is `id` in decimal, or null.
    virtual QWidget* control(int id) {
        QWidget* window = hostWidget();
        return window ? window->findChild<QWidget*>(QString::number(id)) : nullptr;
    }
};

}  // namespace qelvo
