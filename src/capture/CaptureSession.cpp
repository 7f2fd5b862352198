#include "capture/CaptureSession.h"

#include "capture/CameraFrames.h"

#include <algorithm>

#include "capture/CaptureMailbox.h"
#include "capture/DeviceFinder.h"
#include "capture/DeviceTask.h"
#include "capture/FrameWatchdog.h"
#include "capture/GrabberCallbacks.h"
#include "capture/Pacing.h"
#include "capture/SnapshotSettings.h"
#include "capture/SnapshotWriter.h"
#include "desktop/LiveTarget.h"
#include "devices/CameraControlAccess.h"
#include "media/MediaDevices.h"
#include "system/SessionState.h"

#include <QTimer>

namespace qelvo {

namespace {
constexpr int kHdWidth = 1280;
constexpr int kHdHeight = 720;
}  // namespace

CaptureSession::CaptureSession(CaptureOptions options, QObject* parent)
    : QObject(parent),
      options_(options),
      mailbox_(std::make_shared<CaptureMailbox>(this)),
      channel_(std::make_shared<CaptureChannel>(mailbox_)),
      watchdog_(std::make_unique<FrameWatchdog>(std::chrono::milliseconds(kNoFrameIntervalMs))),
      bridge_(defaultBridgeAccess()) {
    prepareSnapshotWriter();
    live_ = makeCallback(false);
    still_ = makeCallback(true);
    if (options_.snapshots == SnapshotDelivery::HandedOver)
        handing_ = static_cast<FrameHandingCallback*>(live_.get());
    connect(watchdog_.get(), &FrameWatchdog::expired, this, &CaptureSession::noLiveFrames);

    chipPoll_.setInterval(kButtonPollPeriodMs);
    driverPoll_.setInterval(kButtonPollPeriodMs);
    connect(&chipPoll_, &QTimer::timeout, this, [this] { onButtonPoll(kChipButtonTimerId); });
    connect(&driverPoll_, &QTimer::timeout, this, [this] { onButtonPoll(kDriverButtonTimerId); });
    cameraButton_.setOnPress([this] { emit buttonPressed(); });
}

CaptureSession::~CaptureSession() {
    cameraButton_.stop();
    teardown();
    // Nothing more reaches this session: letters already posted are dropped, a writer that
    // finishes later tells nobody, and the streaming threads have stopped.
    mailbox_->close();
    channel_->setWatchdog(nullptr);
    live_->setLiveTarget(nullptr);
    still_->setLiveTarget(nullptr);
    if (handing_) handing_->setInsetTarget(nullptr);
    // A graph still opening on its own thread may be handing over a frame right now: once
    // these return, none touches the window's targets or the watch any more.
    live_->waitOutFrameInFlight();
    still_->waitOutFrameInFlight();
}

std::shared_ptr<CallbackBase> CaptureSession::makeCallback(bool still) const {
    std::shared_ptr<CallbackBase> callback;
    if (options_.snapshots == SnapshotDelivery::HandedOver) {
        auto handing = std::make_shared<FrameHandingCallback>(channel_);
        // The still output's frames are button presses: each hands over the live frame.
        if (still) handing->setSnapshotRequest(1);
        callback = std::move(handing);
    } else {
        callback = std::make_shared<SnapshotWritingCallback>(channel_);
    }
    // Still frames are never live: each is a snapshot.
    if (still) callback->setLiveFreeze(1);
    return callback;
}

CallbackBase& CaptureSession::callback(int index) const {
    return index == 2 ? *still_ : *live_;
}

// ---- targets

void CaptureSession::setLiveTarget(LiveTarget* target) {
    LiveTarget* before = live_->liveTarget();
    if (before && before != target) before->setPlaceholderText(QString());
    live_->setLiveTarget(target);
    showState(target);
    // A frame that took the old target before the move is finished when this returns.
    live_->waitOutFrameInFlight();
}

LiveTarget* CaptureSession::liveTarget() const {
    return live_->liveTarget();
}

void CaptureSession::setStillTarget(LiveTarget* target) {
    still_->setLiveTarget(target);
    still_->waitOutFrameInFlight();
}

void CaptureSession::setInsetTarget(LiveTarget* target) {
    if (!handing_) return;
    handing_->setInsetTarget(target);
    handing_->waitOutFrameInFlight();
}

LiveTarget* CaptureSession::insetTarget() const {
    return handing_ ? handing_->insetTarget() : nullptr;
}

void CaptureSession::setFrozen(bool frozen) {
    live_->setLiveFreeze(frozen ? 1 : 0);
}

bool CaptureSession::frozen() const {
    return live_->liveFreeze() == 1;
}

// ---- state

void CaptureSession::setState(State state) {
    if (state_ == state) return;
    state_ = state;
    showState(live_->liveTarget());
    emit stateChanged(state);
}

void CaptureSession::showState(LiveTarget* target) {
    // While the device opens, the live picture says so instead of staying blank or showing
    // a picture from before (the preview before a recording).
    if (!target) return;
    if (state_ == State::Opening) {
        target->clearFrame();
        const QString name =
            QString::fromStdString(deviceName_.empty() ? selectedDeviceName() : deviceName_);
        target->setPlaceholderText(name.isEmpty() ? QStringLiteral("Opening the camera...")
                                                  : QStringLiteral("Opening \"%1\"...").arg(name));
    } else {
        target->setPlaceholderText(QString());
    }
}

void CaptureSession::start() {
    // Already capturing (a recording asked for before a queued start came round).
    if (graph_ || task_ || recording_) return;
    reportedNoPicture_.clear();
    prepareDevice();
}

void CaptureSession::stop() {
    teardown();
}

void CaptureSession::drainMailbox() {
    for (CaptureLetter& letter : mailbox_->take()) handleLetter(letter);
}

void CaptureSession::handleLetter(CaptureLetter& letter) {
    switch (letter.kind) {
        case CaptureLetter::Kind::SnapshotFrame:
            lastSnapshotServedNs_ = letter.timeNs;
            emit snapshotTaken(std::move(letter.frame));
            break;
        case CaptureLetter::Kind::FrameNotice:
            emit frameNotice(std::move(letter.frame));
            break;
        case CaptureLetter::Kind::SnapshotWritten:
            emit snapshotWritten(QString::fromStdString(letter.text));
            break;
        case CaptureLetter::Kind::DevicePrepared:
            if (letter.generation == generation_ && letter.device) onPrepared(*letter.device);
            break;
        case CaptureLetter::Kind::StreamStarted:
            if (letter.generation == generation_)
                onStarted(letter.ok ? MediaResult::success()
                                    : MediaResult::failure(MediaError::StateFailed, letter.text));
            break;
        case CaptureLetter::Kind::RecordingEnded:
            emit recordingProblem(QString::fromStdString(letter.text));
            break;
    }
}

std::size_t CaptureSession::pendingLetters() const {
    return mailbox_->pending();
}

std::shared_ptr<const FrameRecord> CaptureSession::latestFrame() const {
    return channel_->latest();
}

// ---- building: the device is found and probed on a task's thread, the graph is built here
// (touching the device no more), then started on a task's thread.

void CaptureSession::prepareDevice() {
    ++generation_;
    microscopeFamily_ = 0;
    setState(State::Opening);
    // An injected device list is read here; the system's own is made on the task's thread
    // (its device monitor may take a while to start).
    std::vector<VideoInputDevice> devices;
    const bool systemList = !catalogue_;
    if (catalogue_) devices = catalogue_->videoInputs();
    const std::string selected = selectedDeviceName();
    const bool hd = options_.hd;
    const int generation = generation_;
    auto work = [devices = std::move(devices), systemList, selected, hd, generation]() mutable {
        auto prepared = std::make_shared<PreparedDevice>();
        if (systemList) devices = makeSystemDeviceCatalogue()->videoInputs();
        prepared->devices = devices;
        FamilyEffects effects;
        effects.chip = [&](const std::string& name) { prepared->chipNames.push_back(name); };
        effects.microscope = [&] { prepared->microscope = true; };
        prepared->found =
            findCaptureDevice(devices, selected, hd, effects,
                              [](const VideoInputDevice& device, MediaComponent& source) {
                                  return bindVideoInput(device, source);
                              });
        if (prepared->found.source) {
            prepared->probed = probeSource(prepared->found.source);
            // The camera opens with the settings chosen for it last time.
            if (prepared->probed.ok()) applyStoredCameraControls(prepared->found.source);
        }
        CaptureLetter letter{CaptureLetter::Kind::DevicePrepared, nullptr, {}, true, generation};
        letter.device = std::move(prepared);
        return letter;
    };
    task_ = DeviceTask::begin(std::move(work), nullptr, nullptr, mailbox_);
}

void CaptureSession::onPrepared(PreparedDevice& prepared) {
    task_.reset();
    // What the finder met: the bridge handle of the chip-family devices (one at a time: a
    // later one replaces the first), the button polls of the families.
    for (const std::string& name : prepared.chipNames) {
        if (bridge_.open) {
            if (bridgeOpen_ && bridge_.close) bridge_.close();
            bridge_.open(name, prepared.devices);
            bridgeOpen_ = true;
        }
        chipPoll_.start();
    }
    if (prepared.microscope) {
        driverPoll_.start();
        microscopeFamily_ = 1;
    }
    if (deviceName_ != prepared.found.friendlyName) {
        deviceName_ = prepared.found.friendlyName;
        // A setting chosen while the device was still being found is kept for it; the
        // others are the device's stored ones.
        const RegistryStore store;
        const bool known = !deviceName_.empty();
        if (burnChosenEarly_ && known)
            (void)saveBurnScaleBar(store, deviceName_, snapshotObjective_.burnScaleBar);
        else
            snapshotObjective_.burnScaleBar = loadBurnScaleBar(store, deviceName_);
        if (averageChosenEarly_ && known)
            (void)saveSnapshotAverage(store, deviceName_, snapshotObjective_.average);
        else
            snapshotObjective_.average = loadSnapshotAverage(store, deviceName_);
        if (formatChosenEarly_ && known)
            (void)saveSnapshotFormat(store, deviceName_, snapshotObjective_.format);
        else
            snapshotObjective_.format = loadSnapshotFormat(store, deviceName_);
        burnChosenEarly_ = averageChosenEarly_ = formatChosenEarly_ = false;
        publishSnapshotObjective();
    }
    source_ = prepared.found.source;
    if (!source_) {
        if (recording_)
            recordingFailed("no video input device");
        else
            setState(State::Closed);
        return;
    }
    cameraButton_.follow(prepared.found.systemId);
    if (!prepared.probed.ok()) {
        if (recording_)
            recordingFailed(prepared.probed.message());
        else
            reportNoPicture(prepared.probed.message());
        return;
    }
    const MediaResult built =
        recording_ ? buildRecordingGraph(recordingPath_) : buildPreviewChains();
    if (!built.ok()) {
        if (recording_)
            recordingFailed(built.message());
        else
            reportNoPicture(built.message());
        return;
    }
    // A device lost or refusing while its stream starts fails after the graph runs.
    graph_->setEventHandler([this](const MediaEvent& event) { onGraphEvent(event); });
    startGraph();
}

void CaptureSession::applyHdFormat(OutputCategory category) {
    if (!graph_) return;
    VideoFormat current;
    if (!graph_->streamFormat(source_, category, current).ok()) return;  // no configuration
    // A device that refuses the size keeps its own; the callbacks take what is negotiated.
    (void)graph_->setStreamFormat(source_, category, kHdWidth, kHdHeight);
}

MediaResult CaptureSession::createGraph() {
    MediaResult result;
    std::unique_ptr<MediaGraph> graph = MediaGraph::create(&result);
    if (!graph) return MediaResult::failure(MediaError::General, result.message());
    graph_ = std::move(graph);
    MediaComponent source = source_;
    return graph_->add(source, "Cap");
}

MediaResult CaptureSession::buildPreviewChains() {
    MediaResult result = createGraph();
    if (!result) return result;
    MediaComponent source = source_;

    if (!(result = createFrameGrabber(grabber1_))) return result;
    if (!(result = createFrameGrabber(grabber2_))) return result;
    if (!(result = graph_->add(grabber1_, "Grabber"))) return result;
    if (!(result = graph_->add(grabber2_, "Grabber2"))) return result;

    // A device without a capture output has no null renderers: its chains end in the
    // graph's default renderer, and its stream is reached through the preview output.
    const bool hasCapture = graph_->hasOutput(source, OutputCategory::Capture);
    MediaComponent null1, null2;
    if (hasCapture) {
        if (!(result = createNullRenderer(null1))) return result;
        if (!(result = graph_->add(null1, "NULL renderer"))) return result;
        if (!(result = createNullRenderer(null2))) return result;
        if (!(result = graph_->add(null2, "NULL renderer2"))) return result;
    }

    if (options_.hd) applyHdFormat(OutputCategory::Capture);

    const OutputCategory chain1 =
        microscopeFamily_ || !hasCapture ? OutputCategory::Preview : OutputCategory::Capture;
    if (!(result = graph_->renderStream(chain1, source, &grabber1_, null1 ? &null1 : nullptr)))
        return result;
    // A device without a still output simply has no second chain.
    bool chain2 = false;
    if (options_.stillOutputWithDriverButton || !microscopeFamily_)
        chain2 =
            graph_
                ->renderStream(OutputCategory::Still, source, &grabber2_, null2 ? &null2 : nullptr)
                .ok();

    // Each build sets the frame size where the chain already fixes it, else 0 x 0 until the
    // grabber reports the size the device settles on when it starts.  Nothing here waits
    // for a frame.
    VideoFormat format;
    live_->setFrameSize(0, 0);
    if (graph_->connectedFormat(grabber1_, format).ok())
        live_->setFrameSize(format.width, format.height);
    still_->setFrameSize(0, 0);
    if (chain2 && graph_->connectedFormat(grabber2_, format).ok())
        still_->setFrameSize(format.width, format.height);

    if (!(result = setGrabberCallback(grabber1_, live_.get()))) return result;
    if (!(result = setGrabberCallback(grabber2_, still_.get()))) return result;
    return MediaResult::success();
}

namespace {

// What a started graph needs until it has stopped, wherever it stops.
struct RunningGraph {
    std::shared_ptr<MediaGraph> graph;
    std::shared_ptr<CallbackBase> live;
    std::shared_ptr<CallbackBase> still;
};

}  // namespace

void CaptureSession::startGraph() {
    const int generation = generation_;
    auto running = std::make_shared<RunningGraph>(RunningGraph{graph_, live_, still_});
    MediaGraph* graph = graph_.get();  // kept alive by `running` until the task is done
    auto work = [graph, generation] {
        const MediaResult result = graph->run();
        return CaptureLetter{CaptureLetter::Kind::StreamStarted, nullptr, result.message(),
                             result.ok(), generation};
    };
    // Left to start on its own, the graph is stopped there; a recording's end that went
    // wrong is still told, if the session is there to hear it.
    std::function<void()> ifAbandoned = [graph] { graph->stop(); };
    if (recording_) {
        std::weak_ptr<CaptureMailbox> mailbox = mailbox_;
        ifAbandoned = [graph, mailbox] {
            const MediaResult stopped = graph->stop();
            if (auto box = mailbox.lock(); box && !stopped.ok())
                box->post({CaptureLetter::Kind::RecordingEnded, nullptr,
                           recordingEndText(stopped).toStdString(), false});
        };
    }
    task_ =
        DeviceTask::begin(std::move(work), std::move(ifAbandoned), std::move(running), mailbox_);
}

void CaptureSession::onStarted(const MediaResult& result) {
    task_.reset();
    if (watchOnceLive_) {
        watchOnceLive_ = false;
        watchdog_->rearm();
    }
    if (!result.ok()) {
        const std::string reason = result.message();
        if (recording_) {
            recordingFailed(reason);
        } else {
            releaseGraphOnly();
            reportNoPicture(reason);
        }
        return;
    }
    if (recording_) {
        VideoWindow& window = graph_->videoWindow();
        window.setOwner(videoPanel_);
        if (videoPanel_) window.setPosition(0, 0, videoPanel_->width(), videoPanel_->height());
        window.setVisible(true);
        setState(State::Recording);
    } else if (state_ != State::NoPicture) {  // lost while starting: said already
        setState(State::Live);
    }
}

void CaptureSession::reportNoPicture(const std::string& reason) {
    setState(State::NoPicture);
    // STOP and a failed recording rebuild the graph, and each rebuild would fail the same
    // way: the operator hears about a device once while the window is open.
    if (reportedNoPicture_ == deviceName_) return;
    reportedNoPicture_ = deviceName_;
    const QString text =
        QStringLiteral("The live picture of \"%1\" cannot be shown.\n\n%2")
            .arg(QString::fromStdString(deviceName_), QString::fromStdString(reason));
    // After the current event has been handled: the window may be in the middle of opening.
    QTimer::singleShot(0, &context_, [this, text] { emit pictureUnavailable(text); });
}

void CaptureSession::onGraphEvent(const MediaEvent& event) {
    if (event.kind != MediaEvent::Kind::Error) return;
    const std::string reason = event.message;
    if (recording_) {
        // The graph is still inside its own notification: replace it only afterwards.
        QTimer::singleShot(0, &context_, [this, reason, generation = generation_] {
            if (recording_ && generation == generation_) recordingFailed(reason);
        });
    } else if (event.beforeFirstFrame) {
        reportNoPicture(reason);
    } else if (state_ != State::NoPicture) {
        // Lost while streaming (unplugged): frames stop; said once.
        setState(State::NoPicture);
        emit deviceLost(QString::fromStdString(reason));
    }
}

void CaptureSession::releaseGraphOnly() {
    // Whatever is still on its way answers a build that is over.
    ++generation_;
    if (task_) {
        const bool finished = task_->abandon();
        task_.reset();
        if (!finished) {
            // Still opening: its own thread stops the graph once the device has answered.
            // The grabbers let go of the callbacks now, so no later frame of it is drawn.
            if (graph_) {
                graph_->setEventHandler(nullptr);
                if (grabber1_) setGrabberCallback(grabber1_, nullptr);
                if (grabber2_) setGrabberCallback(grabber2_, nullptr);
            }
            graph_.reset();
            return;
        }
    }
    if (!graph_) return;
    graph_->setEventHandler(nullptr);
    graph_->stop();
    VideoWindow& window = graph_->videoWindow();
    window.setVisible(false);
    window.setOwner(nullptr);
    graph_.reset();
}

void CaptureSession::teardown() {
    releaseGraphOnly();
    grabber1_ = MediaComponent();
    grabber2_ = MediaComponent();
    source_ = MediaComponent();
    chipPoll_.stop();
    driverPoll_.stop();
    if (bridgeOpen_) {
        if (bridge_.close) bridge_.close();
        bridgeOpen_ = false;
    }
    if (state_ != State::Closed) setState(State::Closed);
}

// ---- snapshots

bool CaptureSession::requestSnapshot() {
    if (recording_) return false;
    if (handing_)
        handing_->raiseSnapshotRequest();
    else
        channel_->snapshotFlag.store(1);
    pacingSleep();
    return true;
}

void CaptureSession::setObjective(const std::string& name, double micrometresPerPixel, int atWidth,
                                  int atHeight) {
    snapshotObjective_.name = name;
    snapshotObjective_.micrometresPerPixel =
        micrometresPerPixel > 0.0 && micrometresPerPixel < 1.0e6 ? micrometresPerPixel : 0.0;
    snapshotObjective_.atWidth = atWidth > 0 && atHeight > 0 ? atWidth : 0;
    snapshotObjective_.atHeight = atWidth > 0 && atHeight > 0 ? atHeight : 0;
    publishSnapshotObjective();
}

bool CaptureSession::setBurnScaleBar(bool on) {
    snapshotObjective_.burnScaleBar = on;
    publishSnapshotObjective();
    burnChosenEarly_ = deviceName_.empty();
    return deviceName_.empty() || saveBurnScaleBar(RegistryStore(), deviceName_, on);
}

bool CaptureSession::setSnapshotAverage(int frames) {
    frames = std::clamp(frames, 1, kMaxSnapshotAverage);
    snapshotObjective_.average = frames;
    publishSnapshotObjective();
    averageChosenEarly_ = deviceName_.empty();
    return deviceName_.empty() || saveSnapshotAverage(RegistryStore(), deviceName_, frames);
}

bool CaptureSession::setSnapshotFormat(PictureFormat format) {
    snapshotObjective_.format = format;
    publishSnapshotObjective();
    formatChosenEarly_ = deviceName_.empty();
    return deviceName_.empty() || saveSnapshotFormat(RegistryStore(), deviceName_, format);
}

void CaptureSession::setFlatField(std::shared_ptr<const acquire::FlatField> field) {
    snapshotObjective_.flatField = std::move(field);
    publishSnapshotObjective();
}

void CaptureSession::setFrameTap(std::shared_ptr<GrabberCallback> tap) {
    channel_->setFrameTap(std::move(tap));
}

void CaptureSession::addFrameTap(std::shared_ptr<GrabberCallback> tap) {
    channel_->addFrameTap(std::move(tap));
}

void CaptureSession::removeFrameTap(const std::shared_ptr<GrabberCallback>& tap) {
    channel_->removeFrameTap(tap);
}

std::shared_ptr<acquire::LapseFrameSource> CaptureSession::openLiveFrames() {
    // While the device is still opening its first frames may already flow: the wait for them
    // says whether any come.
    if (state_ == State::Closed || state_ == State::NoPicture) return nullptr;
    auto frames = std::make_shared<GrabbedFrameSource>();
    channel_->addFrameTap(frames);
    return frames;
}

void CaptureSession::closeLiveFrames(const std::shared_ptr<acquire::LapseFrameSource>& frames) {
    auto grabbed = std::dynamic_pointer_cast<GrabbedFrameSource>(frames);
    if (!grabbed) return;
    channel_->removeFrameTap(grabbed);
    grabbed->fail("the frames were let go of");
}

void CaptureSession::applyFlatField(std::shared_ptr<const acquire::FlatField> field) {
    const bool on = field != nullptr;
    setFlatField(std::move(field));
    setLiveFlatField(on);
}

void CaptureSession::setLiveFlatField(bool on) {
    channel_->liveFlatField.store(on ? 1 : 0);
}

bool CaptureSession::liveFlatField() const {
    return channel_->liveFlatField.load() != 0;
}

// The streaming thread and the writer get a copy of their own that nobody changes.
void CaptureSession::publishSnapshotObjective() {
    channel_->setSnapshotObjective(std::make_shared<const SnapshotObjective>(snapshotObjective_));
}

void CaptureSession::setFrameNotices(bool on) {
    channel_->frameNotices.store(on ? 1 : 0);
}

void CaptureSession::watchForFrames() {
    // Frames feed the watch only once someone watches: no wake-ups for nobody.
    channel_->setWatchdog(watchdog_.get());
    // No frame can come while the device opens: the watch starts once it streams.
    if (state_ == State::Opening || (state_ == State::Closed && generation_ == 0)) {
        watchOnceLive_ = true;
        return;
    }
    watchdog_->rearm();
}

bool CaptureSession::noLiveFramesSince(std::int64_t timeNs) const {
    return !watchdog_->isWatching() && watchdog_->lastFeedNs() >= timeNs;
}

void CaptureSession::onButtonPoll(int timerId) {
    int index = registryDeviceIndex_;
    const bool pressed = polls_.onTimer(timerId, microscopeFamily_, index);
    registryDeviceIndex_ = index;
    if (pressed) emit buttonPressed();
}

}  // namespace qelvo
