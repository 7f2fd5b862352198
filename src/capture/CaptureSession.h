#pragma once

#include "acquire/TimeLapseRun.h"
#include "capture/CameraButtonWatch.h"
#include "capture/FrameRecord.h"
#include "capture/SnapshotButtonPoll.h"
#include "capture/SnapshotObjective.h"
#include "frames/GrabberCallback.h"
#include "media/DeviceCatalogue.h"
#include "media/MediaComponent.h"
#include "media/MediaGraph.h"
#include "media/MediaResult.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QWidget;

namespace qelvo {

class CallbackBase;
class CaptureChannel;
class CaptureMailbox;
class DeviceCatalogue;
class FrameHandingCallback;
class FrameWatchdog;
class DeviceTask;
class LiveTarget;
struct CaptureLetter;
struct PreparedDevice;

// How a chip-family device's process-wide bridge handle is opened and closed.
struct BridgeAccess {
    // `devices`: the device list the device was found in.
    std::function<void(const std::string& friendlyName,
                       const std::vector<VideoInputDevice>& devices)>
        open;
    std::function<void()> close;
};
// The bridge access used by new sessions (the chip register access by default).
BridgeAccess defaultBridgeAccess();

// What the operator is told when a movie could not be completed.
QString recordingEndText(const MediaResult& stopped);

// How a session's snapshots leave it.
enum class SnapshotDelivery {
    WrittenToFolder,  // the snapshot writer puts them into the storage folder as pictures
    HandedOver,       // they are handed to the window as frames, which it freezes
};

struct CaptureOptions {
    // Ask the device for 1280 x 720 where its formats allow it.
    bool hd = false;
    SnapshotDelivery snapshots = SnapshotDelivery::WrittenToFolder;
    // Whether the still output of a device whose button is read from its driver keys is
    // grabbed too.
    bool stillOutputWithDriverButton = true;
};

// One window's capture from the device chosen in the launcher: it finds the device, opens
// it off the GUI thread, draws its live picture into the window's targets, takes snapshots,
// records movies and tells the window what happens through its signals.  Two sessions share
// nothing but the device.  GUI thread only; every signal is emitted on the GUI thread.
class CaptureSession : public QObject {
    Q_OBJECT
public:
    enum class State {
        Closed,     // nothing built
        Opening,    // the device is being opened and its format negotiated
        Live,       // frames flow (or will, from a slow camera)
        NoPicture,  // found, but it cannot be shown (nothing it can decode, lost, busy)
        Recording,  // a movie is being written
    };

    explicit CaptureSession(CaptureOptions options, QObject* parent = nullptr);
    ~CaptureSession() override;
    CaptureSession(const CaptureSession&) = delete;
    CaptureSession& operator=(const CaptureSession&) = delete;

    // Where frames are drawn; any time, the streaming thread follows at its next frame.  The
    // live picture; the device's still output (still frames are snapshots, never live); and,
    // for handed-over snapshots, a second live target (a hidden inset).
    void setLiveTarget(LiveTarget* target);
    LiveTarget* liveTarget() const;
    void setStillTarget(LiveTarget* target);
    void setInsetTarget(LiveTarget* target);
    LiveTarget* insetTarget() const;
    // While frozen the live picture is not drawn and does not feed the no-frame watch.
    void setFrozen(bool frozen);
    bool frozen() const;

    // Finds the device and starts its preview; its opening goes on off the GUI thread.
    // Nothing while the session already captures.
    void start();
    // Stops and releases everything; no frame reaches a target after it returns.  A device
    // still opening is left to finish on its own thread and is closed there.
    void stop();
    State state() const { return state_; }
    const std::string& deviceName() const { return deviceName_; }
    // The found device's source (its settings pages), or empty.
    const MediaComponent& source() const { return source_; }

    // SNAP and the device's buttons.  False, and nothing requested, while recording.  The
    // GUI thread then pauses (pacingPause()) so the streaming thread can serve it.
    bool requestSnapshot();
    // What written snapshots record from now on: the objective in use and its pixel size at
    // frames of atWidth x atHeight (the writer scales it to the frame it writes; 0 x 0: at
    // any size).  An empty name with 0 clears it.  Snapshots already taken keep what they had.
    void setObjective(const std::string& name, double micrometresPerPixel, int atWidth = 0,
                      int atHeight = 0);
    // Burns the scale bar into written snapshots.  Kept per device: the device's setting is
    // read when the session finds it, and a change is stored for it (a change made before
    // the device is found is stored for it once found).  False when the change
    // could not be stored (it applies to this session all the same).
    bool setBurnScaleBar(bool on);
    bool burnScaleBar() const { return snapshotObjective_.burnScaleBar; }
    // Snapshots average this many consecutive frames (clamped to 1..256) and are written in
    // this format (JPEG, PNG, TIFF; PNG and TIFF keep an average's 16 bits).  Both kept per
    // device like the scale bar; false when the change could not be stored.
    bool setSnapshotAverage(int frames);
    int snapshotAverage() const { return snapshotObjective_.average; }
    bool setSnapshotFormat(PictureFormat format);
    PictureFormat snapshotFormat() const { return snapshotObjective_.format; }
    // The flat-field correction of written snapshots (null: none); frames of another size
    // than the references stay uncorrected.  With setLiveFlatField the live picture is drawn
    // corrected as well (on the streaming thread, a fixed-point pass over each frame).
    void setFlatField(std::shared_ptr<const acquire::FlatField> field);
    const std::shared_ptr<const acquire::FlatField>& flatField() const {
        return snapshotObjective_.flatField;
    }
    void setLiveFlatField(bool on);
    // Every whole live frame also goes to `tap` from now on (null: none), on the streaming
    // thread; a time-lapse takes its frames from the window's camera this way.
    void setFrameTap(std::shared_ptr<GrabberCallback> tap);
    // Further taps beside that one, each fed every whole live frame (as drawn before any
    // flat-field correction) until removed; a flat-field reference is averaged this way.
    void addFrameTap(std::shared_ptr<GrabberCallback> tap);
    void removeFrameTap(const std::shared_ptr<GrabberCallback>& tap);
    // Live frames from now on, for a thread that waits for them (a flat-field reference being
    // averaged): null while the session is closed or shows no picture.  closeLiveFrames() lets go of
    // them and ends any wait on them at once.
    std::shared_ptr<acquire::LapseFrameSource> openLiveFrames();
    void closeLiveFrames(const std::shared_ptr<acquire::LapseFrameSource>& frames);
    // The flat-field correction of the live picture and the snapshots together (null: none).
    void applyFlatField(std::shared_ptr<const acquire::FlatField> field);
    bool liveFlatField() const;
    const SnapshotObjective& snapshotObjective() const { return snapshotObjective_; }
    // Every frame kept is also reported as frameNotice() while on (handed-over snapshots).
    void setFrameNotices(bool on);
    // Watches for live frames from now on (from when the device has opened, while it opens
    // or before the first start):
    // noLiveFrames() follows when none is drawn for kNoFrameInterval.  Frames drawn keep
    // re-arming it.
    void watchForFrames();
    static constexpr int kNoFrameIntervalMs = 500;
    // Whether noLiveFrames() has come since the last live frame drawn after `timeNs`
    // (monotonicNs()): the watch's verdict is newer than that moment.
    bool noLiveFramesSince(std::int64_t timeNs) const;
    // When the snapshot last reported by snapshotTaken() was served (monotonicNs()).
    std::int64_t lastSnapshotServedNs() const { return lastSnapshotServedNs_; }

    // Movies: the recording graph replaces the preview graph until stopRecording(); its
    // picture is shown in `videoPanel`.  Problems are reported through recordingProblem().
    void startRecording(const std::string& path, QWidget* videoPanel);
    // Completes the movie (waits while the writer drains, up to 10 s) and previews again.
    void stopRecording();
    bool isRecording() const { return recording_; }

    // Tests: the device list, the bridge access and the button polls the session uses.
    void setDeviceCatalogue(DeviceCatalogue* catalogue) { catalogue_ = catalogue; }
    void setBridgeAccess(BridgeAccess access) { bridge_ = std::move(access); }
    void setSnapshotButtonPolls(SnapshotButtonPolls polls) { polls_ = std::move(polls); }
    CameraButtonWatch& cameraButton() { return cameraButton_; }
    // Tests and benchmarks.
    MediaGraph* graph() const { return graph_.get(); }
    CallbackBase& callback(int index) const;  // 1 live, 2 still
    std::shared_ptr<const FrameRecord> latestFrame() const;
    std::size_t pendingLetters() const;
    bool buttonPollRunning() const { return chipPoll_.isActive() || driverPoll_.isActive(); }
    int registryDeviceIndex() const { return registryDeviceIndex_; }

signals:
    void stateChanged(qelvo::CaptureSession::State state);
    // A snapshot was taken: its frame (handed-over sessions freeze it; written ones are
    // being written).  The frame may be null or empty when none was there to take.
    void snapshotTaken(std::shared_ptr<const qelvo::FrameRecord> frame);
    // A written snapshot is on disk (path), or could not be written (empty).
    void snapshotWritten(const QString& path);
    void frameNotice(std::shared_ptr<const qelvo::FrameRecord> frame);
    // The device's own snapshot button (camera key, bridge register, driver keys).
    void buttonPressed();
    void noLiveFrames();
    // Said once per device while the session lives.
    void pictureUnavailable(const QString& message);
    // The device went away while streaming (unplugged): its frames have stopped.
    void deviceLost(const QString& message);
    void recordingProblem(const QString& message);

private:
    Q_INVOKABLE void drainMailbox();
    void handleLetter(CaptureLetter& letter);
    void setState(State state);
    void showState(LiveTarget* target);
    void teardown();
    void releaseGraphOnly();
    void prepareDevice();
    void onPrepared(PreparedDevice& prepared);
    MediaResult createGraph();
    void applyHdFormat(OutputCategory category);
    MediaResult buildPreviewChains();
    MediaResult buildRecordingGraph(const std::string& path);
    void startGraph();
    void onStarted(const MediaResult& result);
    void reportNoPicture(const std::string& reason);
    void recordingFailed(const std::string& reason);
    void onGraphEvent(const MediaEvent& event);
    void onButtonPoll(int timerId);
    void publishSnapshotObjective();
    std::shared_ptr<CallbackBase> makeCallback(bool still) const;

    const CaptureOptions options_;
    std::shared_ptr<CaptureMailbox> mailbox_;
    std::shared_ptr<CaptureChannel> channel_;
    std::shared_ptr<CallbackBase> live_;
    std::shared_ptr<CallbackBase> still_;
    FrameHandingCallback* handing_ = nullptr;  // live_, for handed-over snapshots
    std::unique_ptr<FrameWatchdog> watchdog_;

    std::shared_ptr<MediaGraph> graph_;
    std::shared_ptr<DeviceTask> task_;  // finding, probing or starting the device
    int generation_ = 0;
    State state_ = State::Closed;
    MediaComponent grabber1_;
    MediaComponent grabber2_;
    MediaComponent source_;
    std::string deviceName_;
    std::string reportedNoPicture_;
    int microscopeFamily_ = 0;
    int registryDeviceIndex_ = -1;
    std::int64_t lastSnapshotServedNs_ = 0;
    bool watchOnceLive_ = false;
    SnapshotObjective snapshotObjective_;
    // The scale bar setting was changed before the device was found: it is kept for it then.
    bool burnChosenEarly_ = false;
    bool averageChosenEarly_ = false;
    bool formatChosenEarly_ = false;

    bool recording_ = false;
    bool recordingFileExisted_ = false;
    std::string recordingPath_;
    QWidget* videoPanel_ = nullptr;

    DeviceCatalogue* catalogue_ = nullptr;
    BridgeAccess bridge_;
    bool bridgeOpen_ = false;
    SnapshotButtonPolls polls_;
    QTimer chipPoll_;
    QTimer driverPoll_;
    // Kept across graph rebuilds: the button belongs to the device, not to a graph.
    CameraButtonWatch cameraButton_;
    // Deferred work bound to this object, dropped when the session goes away.
    QObject context_;
};

}  // namespace qelvo
