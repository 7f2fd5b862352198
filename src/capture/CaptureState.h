#pragma once

#include <QObject>

#include <atomic>

namespace qelvo {

// Process-wide words shared between the GUI thread and the grabber callbacks.  The GUI
// thread raises the snapshot flag; the streaming thread clears it when it serves it.
struct CaptureWords {
    std::atomic<int> snapshotFlag{0};
    // Receives the snapshot kind's frame-ready messages (the working window, set when its
    // capture starts).
    std::atomic<QObject*> frameReadyTarget{nullptr};
    // Receives the multi-view kind's messages (set at graph build of a multi-view window).
    std::atomic<QObject*> notificationWindow{nullptr};
    // While 1, the multi-view kind posts every copied frame as a frame-ready message.
    std::atomic<int> frameNoticeSwitch{0};
};

CaptureWords& captureWords();

// Result of one frame handed to a callback, as the grabber would see it.
enum class FrameResult { Ok, InvalidPointer, OutOfMemory };

}  // namespace qelvo
