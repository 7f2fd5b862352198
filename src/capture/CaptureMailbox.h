#pragma once

#include "capture/DeviceFinder.h"
#include "capture/FrameRecord.h"
#include "media/MediaResult.h"

#include <QObject>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace qelvo {

// A device found and probed off the GUI thread, and what the finder met on its way.
struct PreparedDevice {
    FoundDevice found;
    MediaResult probed;                     // why it cannot be shown, when it cannot
    std::vector<std::string> chipNames;     // chip-family devices visited, in order
    bool microscope = false;                // a microscope-family device was visited
    std::vector<VideoInputDevice> devices;  // the list it was found in
};

// What the streaming threads, the device tasks and the snapshot writer tell one session.
struct CaptureLetter {
    enum class Kind {
        SnapshotFrame,    // a snapshot was served: the frame taken
        FrameNotice,      // a live frame, while the session asks for notices
        SnapshotWritten,  // the writer put a snapshot on disk ("" when it could not)
        DevicePrepared,   // the device was found and probed (device)
        StreamStarted,    // the device's state change finished (text: why it failed)
        RecordingEnded,   // a recording left to end on its own did not end well (text)
    };
    Kind kind = Kind::SnapshotFrame;
    std::shared_ptr<const FrameRecord> frame;
    std::string text;
    bool ok = true;
    int generation = 0;       // DevicePrepared, StreamStarted: which build they answer
    std::int64_t timeNs = 0;  // SnapshotFrame: when it was served (monotonicNs())
    std::shared_ptr<PreparedDevice> device = nullptr;
};

// The hand-over point between the threads that serve one session and the session on the GUI
// thread.  Any thread posts; the owner drains on the GUI thread.  It stays small however long
// the GUI thread is busy: of the notices only the newest of each kind waits, snapshot frames
// each stand for a snapshot served and are kept, at most kMaxPendingSnapshots (the oldest
// goes).  Shared by its posters: once closed, posting does nothing, so a writer finishing
// after its session went away reaches nobody.
class CaptureMailbox {
public:
    static constexpr std::size_t kMaxPendingSnapshots = 4;

    // `owner` lives on the GUI thread and has an invokable "drainMailbox()" slot.
    explicit CaptureMailbox(QObject* owner) : owner_(owner) {}

    // Any thread; never blocks on the GUI thread.
    void post(CaptureLetter letter);
    // GUI thread: everything waiting, oldest first.
    std::vector<CaptureLetter> take();
    // GUI thread, before the owner goes: nothing posted afterwards is delivered.
    void close();
    std::size_t pending() const;

private:
    mutable std::mutex mutex_;
    QObject* owner_;
    std::deque<CaptureLetter> letters_;
    bool drainScheduled_ = false;
};

}  // namespace qelvo
