#pragma once

#include "capture/CaptureHost.h"
#include "capture/CaptureMessages.h"
#include "capture/WaitUntil.h"
#include "capture/WindowTimers.h"
#include "desktop/LiveTarget.h"

#include <QDialog>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qelvo::test {

// A small working window for the capture tests: VIEW PANEL (1037) and CLIP #1 (1040) as in
// the image management window, VIEW DISPLAY 1-4 (1015-1018) as in the multi-view window.
// It records the frame messages and timer expiries it receives.
class CaptureTestWindow : public QDialog, public CaptureHost {
public:
    explicit CaptureTestWindow(QWidget* parent = nullptr);

    QWidget* hostWidget() override { return this; }
    WindowTimers& hostTimers() override { return timers_; }

    LiveTarget* panel(int id) const;

    struct Received {
        QEvent::Type type;
        std::shared_ptr<const FrameRecord> frame;
    };
    std::vector<Received> messages;
    // Paths of the snapshot-written messages received ("" for a picture not written).
    std::vector<std::string> written;
    std::vector<int> timerExpiries;
    // Called for each timer expiry after it is recorded; by default the timer is killed,
    // as the working windows do with their watchdogs.
    std::function<void(int id)> onTimer;

    int countMessages(QEvent::Type type) const;
    int countExpiries(int id) const;

protected:
    void customEvent(QEvent* event) override;

private:
    WindowTimers timers_;
};

}  // namespace qelvo::test
