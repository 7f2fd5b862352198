#pragma once

#include "capture/FrameRecord.h"

#include <QEvent>

#include <memory>

namespace qelvo {

// Application messages posted by the grabber callbacks.
constexpr QEvent::Type kFrameReadyMessage = static_cast<QEvent::Type>(0x8001);
constexpr QEvent::Type kSnapshotFrameMessage = static_cast<QEvent::Type>(0x8002);

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

// Posts (never sends) a frame message to `receiver`; safe from any thread.  Messages are
// handed to the GUI thread through a relay made by prepareCaptureMessages().
void postFrameMessage(QObject* receiver, QEvent::Type type,
                      std::shared_ptr<const FrameRecord> frame);

// Makes the relay; GUI thread, once a QCoreApplication exists (a capture pipeline does it).
void prepareCaptureMessages();
// Drops messages still on their way to `receiver` (a window that is going away).  GUI thread.
void forgetCaptureMessagesTo(QObject* receiver);

}  // namespace qelvo
