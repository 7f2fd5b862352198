#pragma once

#include "capture/CaptureMailbox.h"
#include "media/MediaGraph.h"

#include <QObject>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

namespace qelvo {

// Starts a built graph on a thread of its own: opening a camera and negotiating its format
// happen in that state change and take a real camera 0.3-2 s, which the GUI thread never
// waits for.  The outcome is posted to the session's mailbox as a StreamStarted letter.
//
// A session that goes away (or rebuilds) while the start is still on its way abandons it:
// the thread then stops the graph itself and hands it back to the GUI thread to be
// destroyed there, with whatever it calls (the grabber callbacks) kept alive until then.
// A start given one that was abandoned (`after`) first waits on its thread until that one has
// closed the device, so the device is never asked to open twice at once.
class GraphStart : public std::enable_shared_from_this<GraphStart> {
public:
    static std::shared_ptr<GraphStart> begin(std::shared_ptr<MediaGraph> graph,
                                             std::shared_ptr<const void> keepAlive,
                                             std::shared_ptr<CaptureMailbox> mailbox,
                                             int generation,
                                             std::shared_ptr<GraphStart> after = nullptr);

    // GUI thread.  True when the start had already finished (the graph is the caller's to
    // use and release); false when it is still running and will clean up after itself.
    bool abandon();
    // Any thread: returns once the start has finished and let go of the device.
    void waitDone();
    bool isDone();

private:
    GraphStart() = default;
    void run();

    std::mutex mutex_;
    std::condition_variable doneChanged_;
    bool done_ = false;
    std::shared_ptr<GraphStart> after_;
    bool finished_ = false;
    bool abandoned_ = false;
    std::shared_ptr<MediaGraph> graph_;
    std::shared_ptr<const void> keepAlive_;
    std::shared_ptr<CaptureMailbox> mailbox_;
    int generation_ = 0;
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
