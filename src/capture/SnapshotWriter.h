#pragma once

#include "capture/FrameRecord.h"
#include "system/Clock.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

class QObject;

namespace qelvo {

// The snapshot writer: one long-lived thread with a small queue of frames to write.
//
// Starts the writer thread if it is not running.  GUI thread (a capture pipeline does it
// when it is made), never the streaming thread.  False when the thread could not be started.
bool prepareSnapshotWriter();

// Hands `frame` to the writer; any thread, never blocks and never starts a thread.  The
// writer writes it as a JPEG picture (quality 80) into the storage folder, named after the
// local time at which it takes the frame up, then tells `reportTo` with a snapshot-written
// message, if that window is still the frame-ready target.  False, and nothing queued, when
// the writer is not running or kSnapshotQueueLength frames already wait.
constexpr std::size_t kSnapshotQueueLength = 4;
bool queueSnapshot(std::shared_ptr<const FrameRecord> frame, QObject* reportTo = nullptr);

// Waits until every frame queued so far is written (tests, benchmarks).
void waitForSnapshotWriters();

// After this returns no snapshot-written message goes to a window that stopped being the
// frame-ready target before the call.  GUI thread, when a window goes away.
void fenceSnapshotReports();

// Writes one picture now, on the calling thread.  The name is
// "<folder>/YYYYMMDD-hhmmss.jpg"; when that name is taken (on disk or by a writer still at
// work) "-1", "-2", ... is put before ".jpg", so no picture is ever overwritten.  The picture
// appears under its name only once it is complete.  Returns the path written, or "" when the
// frame is incomplete or the picture could not be written.
std::string writeSnapshot(const FrameRecord& frame, const std::string& folder,
                          const LocalTime& time);

// "<folder>/YYYYMMDD-hhmmss" (without the extension).
std::string snapshotBaseName(const std::string& folder, const LocalTime& time);

// Called on the writer thread after each picture is in place (benchmarks); null by default.
void setSnapshotWrittenObserver(std::function<void(const std::string& path)> observer);

}  // namespace qelvo
