#pragma once

#include "acquire/FrameAverager.h"
#include "capture/CaptureMailbox.h"
#include "capture/FrameRecord.h"
#include "capture/SnapshotObjective.h"
#include "system/Clock.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace qelvo {

// The snapshot writer: one long-lived thread with a small queue of frames to write.
//
// Starts the writer thread if it is not running.  GUI thread (a capture pipeline does it
// when it is made), never the streaming thread.  False when the thread could not be started.
bool prepareSnapshotWriter();

// Hands `frame` to the writer; any thread, never blocks and never starts a thread.  The
// writer writes it as a JPEG picture (quality 80) into the storage folder, named after the
// local time at which it takes the frame up, then posts a snapshot-written letter to
// `reportTo` (nothing once that mailbox is closed).  The picture records `objective` as
// writeSnapshot says.  False, and nothing queued, when the writer is not running or
// kSnapshotQueueLength frames already wait.
constexpr std::size_t kSnapshotQueueLength = 4;
// With `average` the picture is that average (of frames ending with `frame`) instead.
bool queueSnapshot(std::shared_ptr<const FrameRecord> frame,
                   std::shared_ptr<CaptureMailbox> reportTo = nullptr,
                   SharedSnapshotObjective objective = nullptr,
                   std::shared_ptr<const acquire::FrameAverager> average = nullptr);

// Waits until every frame queued so far is written (tests, benchmarks).
void waitForSnapshotWriters();

// Writes one picture now, on the calling thread.  The name is
// "<folder>/YYYYMMDD-hhmmss.jpg" (.png or .tif when the objective's format says so); when that
// name is taken (on disk or by a writer still at work) "-1", "-2", ... is put before the
// extension, so no picture is ever overwritten.  With `average` the picture is the mean of
// the frames it holds (16 bits a sample in PNG and TIFF when more than one); with the
// objective's flat-field correction, of the frame's size, it is corrected.  The picture
// appears under its name only once it is complete.  With a calibrated `objective` the
// picture carries the pixel size at the frame's size in its EXIF block (XResolution and
// YResolution in pixels per centimetre) and the objective's name as "objective=NAME" in the
// EXIF ImageDescription; with burnScaleBar the scale bar is drawn into its bottom-right
// corner.  Returns the path written, or "" when the frame is incomplete or the picture could
// not be written.
std::string writeSnapshot(const FrameRecord& frame, const std::string& folder,
                          const LocalTime& time, const SnapshotObjective* objective = nullptr,
                          const acquire::FrameAverager* average = nullptr);

// "<folder>/YYYYMMDD-hhmmss" (without the extension).
std::string snapshotBaseName(const std::string& folder, const LocalTime& time);

// Called on the writer thread after each picture is in place (benchmarks); null by default.
void setSnapshotWrittenObserver(std::function<void(const std::string& path)> observer);

}  // namespace qelvo
