#pragma once

#include "capture/FrameRecord.h"
#include "capture/SnapshotObjective.h"

#include <QObject>
#include <QStringList>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qelvo {

// A focus series in the multi-view window: while it is on, every snapshot is also written as
// a picture into the day folder, in the order taken; ending it hands over the pictures
// written (to be fused into one with extended depth of field).  Pictures are written, and
// fused pictures read back, on a thread of the series' own, one at a time; the destructor
// waits for what is in hand.
class FocusSeries : public QObject {
    Q_OBJECT
public:
    // Writes one picture of the series into `folder`: its path, or "" when it could not be
    // written.  Called on the series' thread.
    using Writer = std::function<std::string(
        const FrameRecord& frame, const SnapshotObjective& objective, const std::string& folder)>;
    // Snapshots' own writer: "YYYYMMDD-hhmmss.jpg" (or the format the objective says), never
    // overwriting, with the objective's calibration.
    static std::string writeSnapshotPicture(const FrameRecord& frame,
                                            const SnapshotObjective& objective,
                                            const std::string& folder);

    explicit FocusSeries(Writer writer = writeSnapshotPicture, QObject* parent = nullptr);
    ~FocusSeries() override;

    bool isOn() const { return on_; }
    // A new series (any pictures of the one before are forgotten, not deleted).
    void start();
    // Ends the series: once every picture taken is written, `ended` hands them over.
    void stop();
    // A snapshot of the series, written into `folder` (ignored while the series is off).  The
    // scale bar is never burnt into a series picture: fused pictures get their own.
    void add(std::shared_ptr<const FrameRecord> frame, SnapshotObjective objective,
             const std::string& folder);

    // Pictures taken in this series (written or being written), and those that failed.
    int taken() const { return taken_; }
    int failed() const { return failed_; }
    const std::vector<std::string>& written() const { return written_; }

    // Reads a picture file back as a frame (bottom-up B,G,R rows, as snapshots are) on the
    // series' thread, then `pictureRead` hands it over (a null frame when unreadable).
    void readBack(const std::string& path);

    // The frame of a picture: 8-bit B,G,R bottom-up rows padded to 4 bytes.  Null when the
    // picture is empty or memory runs out.
    static std::shared_ptr<const FrameRecord> frameOfPicture(const std::string& path,
                                                             std::string* error);

signals:
    void changed();
    void ended(const QStringList& pictures);
    void pictureRead(const QString& path, std::shared_ptr<const FrameRecord> frame,
                     const QString& error);

private slots:
    // Runs what the thread finished, on this object's thread (posted by the thread).
    void drain();

private:
    void post(std::function<void()> job);
    // The thread hands a finished step's answer over (any thread).
    void answer(std::function<void()> onThisThread);
    void onWritten(unsigned series, const std::string& path);
    void finishIfDone();

    Writer writer_;
    bool on_ = false;
    bool ending_ = false;
    unsigned series_ = 0;
    int taken_ = 0;
    int pending_ = 0;
    int failed_ = 0;
    std::vector<std::string> written_;

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> jobs_;
    std::deque<std::function<void()>> answers_;
    bool quit_ = false;
    std::thread thread_;
};

}  // namespace qelvo
