#pragma once

#include "capture/FrameRecord.h"
#include "platform/Clock.h"

#include <functional>
#include <memory>
#include <string>

namespace qelvo {

// Starts a short-lived worker thread that writes `frame` as a JPEG picture (quality 80)
// into the storage folder, named after the local time at which the worker starts.  The
// caller never waits for it.
void startSnapshotWriter(std::shared_ptr<const FrameRecord> frame);

// Waits for every writer started so far (tests, benchmarks, program exit).
void waitForSnapshotWriters();

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
