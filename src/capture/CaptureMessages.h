#pragma once

#include "capture/FrameRecord.h"

#include <QEvent>

#include <cstddef>
#include <memory>
#include <string>

namespace qelvo {

// Application messages posted by the grabber callbacks.
constexpr QEvent::Type kFrameReadyMessage = static_cast<QEvent::Type>(0x8001);
constexpr QEvent::Type kSnapshotFrameMessage = static_cast<QEvent::Type>(0x8002);
// Posted by the snapshot writer to the window that asked for a snapshot, once its picture
// is written (or could not be).
constexpr QEvent::Type kSnapshotWrittenMessage = static_cast<QEvent::Type>(0x8010);

// A frame-ready or snapshot-frame message.  The frame is the sender's own copy, made for
// this message: nobody rewrites it while the receiver reads it.  It may be null when no
// frame was available (an allocation that failed, or no frame copied yet).
class FrameMessage : public QEvent {
public:
    FrameMessage(QEvent::Type type, std::shared_ptr<const FrameRecord> frame)
        : QEvent(type), frame_(std::move(frame)) {}
    const std::shared_ptr<const FrameRecord>& frame() const { return frame_; }

private:
    std::shared_ptr<const FrameRecord> frame_;
};

// A snapshot-written message: the picture's path, empty when it could not be written.
class SnapshotWrittenMessage : public QEvent {
public:
    explicit SnapshotWrittenMessage(std::string path)
        : QEvent(kSnapshotWrittenMessage), path_(std::move(path)) {}
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// Posts (never sends) a frame message to `receiver`; safe from any thread.  Messages are
// handed to the GUI thread through a relay made by prepareCaptureMessages(), which keeps
// what waits there small: a busy window is never flooded with frames (frame-ready notices:
// only the newest per receiver; snapshot-frame messages: the last few per receiver).
void postFrameMessage(QObject* receiver, QEvent::Type type,
                      std::shared_ptr<const FrameRecord> frame);
// Posts a snapshot-written message the same way.
void postSnapshotWritten(QObject* receiver, std::string path);
// Messages waiting in the relay (tests).
std::size_t pendingCaptureMessages();

// Makes the relay; GUI thread, once a QCoreApplication exists (a capture pipeline does it).
void prepareCaptureMessages();
// Drops messages still on their way to `receiver` (a window that is going away).  GUI thread.
void forgetCaptureMessagesTo(QObject* receiver);

}  // namespace qelvo
