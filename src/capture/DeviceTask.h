#pragma once

#include "capture/CaptureMailbox.h"

#include <QObject>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace qelvo {

// Work on a device that takes a real camera 0.3-2 s (finding and probing it, the state
// change that opens it and negotiates its format), run on a thread of its own so the GUI
// thread never waits for it.  Its outcome is posted to the session's mailbox as a letter.
//
// Tasks run one after another, across sessions: each waits on its thread until the one
// begun before it is done, so a device is never asked to open while another task still
// opens or closes it (a window closed while its camera opens, then opened again).
//
// A session that goes away (or rebuilds) while a task is on its way abandons it: the thread
// then runs the task's clean-up instead of posting (a graph it started is stopped there), and
// what the task kept alive goes back to the GUI thread to be destroyed there.
class DeviceTask {
public:
    // `work` runs on the task's thread and gives the letter to post; `ifAbandoned`, if any,
    // runs there instead when the session let go meanwhile.  `keepAlive` is held until then.
    static std::shared_ptr<DeviceTask> begin(std::function<CaptureLetter()> work,
                                             std::function<void()> ifAbandoned,
                                             std::shared_ptr<const void> keepAlive,
                                             std::shared_ptr<CaptureMailbox> mailbox);

    // GUI thread.  True when the task had already finished (what it built is the caller's to
    // use and release); false when it is still running and will clean up after itself, and
    // from then on.
    bool abandon();
    // Any thread: returns once the task has finished and let go of the device.
    void waitDone();
    bool isDone();

private:
    DeviceTask() = default;
    void run();

    std::mutex mutex_;
    std::condition_variable doneChanged_;
    bool done_ = false;
    std::shared_ptr<DeviceTask> after_;
    bool finished_ = false;
    bool abandoned_ = false;
    std::function<CaptureLetter()> work_;
    std::function<void()> ifAbandoned_;
    std::shared_ptr<const void> keepAlive_;
    std::shared_ptr<CaptureMailbox> mailbox_;
};

// Drops `object` on the GUI thread (objects that own Qt objects living there); one still
// waiting when the application ends is left to the ending process.  Any thread.
void releaseOnGuiThread(std::shared_ptr<const void> object);

class GuiThreadRelease : public QObject {
    Q_OBJECT
public:
    static GuiThreadRelease& instance();
    void hand(std::shared_ptr<const void> object);

private:
    GuiThreadRelease() = default;
    Q_INVOKABLE void drain();

    std::mutex mutex_;
    std::vector<std::shared_ptr<const void>> waiting_;
    bool scheduled_ = false;
    bool closed_ = false;
};

}  // namespace qelvo
