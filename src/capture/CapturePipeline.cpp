#include "capture/CapturePipeline.h"

#include "capture/CaptureHost.h"
#include "capture/CaptureMessages.h"
#include "capture/CaptureState.h"
#include "capture/GrabberCallbacks.h"
#include "capture/Pacing.h"
#include "capture/SnapshotWriter.h"
#include "capture/WindowTimers.h"
#include "desktop/Dialogs.h"
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

CapturePipeline::CapturePipeline(CaptureHost& host, WindowKind kind, bool hdVariant)
    : host_(host), kind_(kind), hd_(hdVariant), bridge_(defaultBridgeAccess()) {
    prepareCaptureMessages();
    prepareSnapshotWriter();
}

CapturePipeline::~CapturePipeline() {
    tearDown();
    // No message may be posted to a window that is going away.
    if (messageTarget_) {
        QObject* self = messageTarget_;
        captureWords().frameReadyTarget.compare_exchange_strong(self, nullptr);
        self = messageTarget_;
        captureWords().notificationWindow.compare_exchange_strong(self, nullptr);
        fenceSnapshotReports();
        forgetCaptureMessagesTo(messageTarget_);
    }
}

SnapshotKindCallback& CapturePipeline::snapshotCallback(int index) const {
    return snapshotKindCallback(hd_, index);
}

MultiViewKindCallback& CapturePipeline::multiViewCallback(int index) const {
    return multiViewKindCallback(hd_, index);
}

MediaResult CapturePipeline::startCapture() {
    messageTarget_ = host_.hostWidget();
    captureWords().frameReadyTarget.store(messageTarget_);
    reportedNoPicture_.clear();
    return buildPreviewGraph();
}

MediaComponent CapturePipeline::findDevice() {
    microscopeFamily_ = 0;
    FamilyEffects effects;
    effects.chip = [this](const std::string& name) {
        if (bridge_.open) {
            // One handle at a time: a second chip device visited replaces the first.
            if (bridgeOpen_ && bridge_.close) bridge_.close();
            bridge_.open(name);
            bridgeOpen_ = true;
        }
        host_.hostTimers().start(CaptureIds::kChipPollTimer, CaptureIds::kPollPeriodMs);
    };
    effects.microscope = [this] {
        host_.hostTimers().start(CaptureIds::kDriverPollTimer, CaptureIds::kPollPeriodMs);
        microscopeFamily_ = 1;
    };
    std::unique_ptr<DeviceCatalogue> system;
    DeviceCatalogue* catalogue = catalogue_;
    if (!catalogue) {
        system = makeSystemDeviceCatalogue();
        catalogue = system.get();
    }
    const FoundDevice found =
        findCaptureDevice(catalogue->videoInputs(), selectedDeviceName(), hd_, effects,
                          [](const VideoInputDevice& device, MediaComponent& source) {
                              return bindVideoInput(device, source);
                          });
    deviceName_ = found.friendlyName;
    if (found.source) cameraButton_.follow(found.systemId);
    return found.source;
}

void CapturePipeline::applyHdFormat(OutputCategory category) {
    if (!graph_) return;
    VideoFormat current;
    if (!graph_->streamFormat(source_, category, current).ok()) return;  // no configuration
    // A device that refuses the size keeps its own; the callbacks take what is negotiated.
    (void)graph_->setStreamFormat(source_, category, kHdWidth, kHdHeight);
}

MediaResult CapturePipeline::createGraphWithDevice() {
    MediaResult result;
    graph_ = MediaGraph::create(&result);
    if (!graph_) return MediaResult::failure(MediaError::General, result.message());

    MediaComponent source = findDevice();
    if (!source) return MediaResult::failure(MediaError::General, "no video input device");
    source_ = source;
    if (!(result = graph_->add(source, "Cap"))) {
        source_ = MediaComponent();
        return result;
    }
    // The camera opens with the settings chosen for it last time.
    applyStoredCameraControls(source_);
    return result;
}

MediaResult CapturePipeline::buildPreviewGraph() {
    const MediaResult result = buildPreviewChains();
    if (!result.ok() && source_) {
        reportNoPicture(result.message());
    } else if (result.ok() && graph_) {
        // A device lost or refusing while its stream starts fails after the graph runs.
        graph_->setEventHandler([this](const MediaEvent& event) {
            if (event.kind == MediaEvent::Kind::Error && event.beforeFirstFrame && !recording_)
                reportNoPicture(event.message);
        });
    }
    return result;
}

void CapturePipeline::reportNoPicture(const std::string& reason) {
    // STOP and a failed recording rebuild the graph, and each rebuild would fail the same
    // way: the operator hears about a device once while the window is open.
    if (reportedNoPicture_ == deviceName_) return;
    reportedNoPicture_ = deviceName_;
    const QString text =
        QStringLiteral("The live picture of \"%1\" cannot be shown.\n\n%2")
            .arg(QString::fromStdString(deviceName_), QString::fromStdString(reason));
    QTimer::singleShot(0, &context_, [this, text] {
        dialogs().message(host_.hostWidget(), text, QString(), MessageButtons::Ok);
    });
}

MediaResult CapturePipeline::buildPreviewChains() {
    MediaResult result = createGraphWithDevice();
    if (!result) return MediaResult::failure(MediaError::General, result.message());
    MediaComponent source = source_;

    const bool multiView = kind_ == WindowKind::MultiView;
    if (!(result = createFrameGrabber(grabber1_))) return result;
    if (!(result = createFrameGrabber(grabber2_))) return result;
    if (!(result = graph_->add(grabber1_, "Grabber"))) return result;
    if (!(result = graph_->add(grabber2_, multiView ? "Grabber" : "Grabber2"))) return result;

    // A device without a capture output has no null renderers: its chains end in the
    // graph's default renderer, and its stream is reached through the preview output.
    const bool hasCapture = graph_->hasOutput(source, OutputCategory::Capture);
    MediaComponent null1, null2;
    if (hasCapture) {
        if (!createNullRenderer(null1)) return MediaResult::success();  // nothing runs
        if (!(result = graph_->add(null1, "NULL renderer"))) return result;
        if (!createNullRenderer(null2)) return MediaResult::success();
        if (!(result = graph_->add(null2, multiView ? "NULL renderer" : "NULL renderer2")))
            return result;
    }

    if (hd_) applyHdFormat(OutputCategory::Capture);

    const OutputCategory chain1 =
        microscopeFamily_ || !hasCapture ? OutputCategory::Preview : OutputCategory::Capture;
    if (!(result = graph_->renderStream(chain1, source, &grabber1_, null1 ? &null1 : nullptr)))
        return result;
    // A device without a still output simply has no second chain.
    bool chain2 = false;
    if (!multiView || !microscopeFamily_)
        chain2 =
            graph_
                ->renderStream(OutputCategory::Still, source, &grabber2_, null2 ? &null2 : nullptr)
                .ok();

    // The callbacks outlive every graph, so each build sets all they rely on: the owner, and
    // the frame size where the chain already fixes it, else 0 x 0 until the grabber reports
    // the size the device settles on when it starts.  Nothing here waits for a frame.
    CallbackBase& cb1 = multiView ? static_cast<CallbackBase&>(multiViewCallback(1))
                                  : static_cast<CallbackBase&>(snapshotCallback(1));
    CallbackBase& cb2 = multiView ? static_cast<CallbackBase&>(multiViewCallback(2))
                                  : static_cast<CallbackBase&>(snapshotCallback(2));
    VideoFormat format;
    if (graph_->connectedFormat(grabber1_, format).ok())
        cb1.setFrameSize(format.width, format.height);
    else
        cb1.setFrameSize(0, 0);
    cb1.setOwner(&host_);
    if (chain2 && graph_->connectedFormat(grabber2_, format).ok())
        cb2.setFrameSize(format.width, format.height);
    else
        cb2.setFrameSize(0, 0);
    cb2.setOwner(&host_);

    setCaptureState();
    if (!(result = setGrabberCallback(grabber1_, &cb1))) return result;
    if (!(result = setGrabberCallback(grabber2_, &cb2))) return result;
    // In preview nothing is attached to the graph's video window.
    return graph_->run();
}

void CapturePipeline::setCaptureState() {
    auto liveTarget = [this](int id) { return qobject_cast<LiveTarget*>(host_.control(id)); };
    auto recordedRect = [this](int id) {
        QWidget* panel = host_.control(id);
        return panel ? QRect(0, 0, panel->width(), panel->height()) : QRect();
    };
    if (kind_ == WindowKind::ImageManagement) {
        SnapshotKindCallback& cb1 = snapshotCallback(1);
        cb1.setLiveTarget(liveTarget(CaptureIds::kViewPanel));
        cb1.setTargetRect(recordedRect(CaptureIds::kViewPanel));
        cb1.setLiveFreeze(0);
        SnapshotKindCallback& cb2 = snapshotCallback(2);
        cb2.setLiveTarget(liveTarget(CaptureIds::kClip1));
        cb2.setTargetRect(recordedRect(CaptureIds::kClip1));
        cb2.setLiveFreeze(1);
    } else {
        WindowTimers& timers = host_.hostTimers();
        timers.allowArmFromAnyThread(MultiViewKindCallback::kNoFrameTimer);
        timers.allowArmFromAnyThread(MultiViewKindCallback::kAlarmClearTimer);
        MultiViewKindCallback& cb1 = multiViewCallback(1);
        cb1.setLiveTarget(liveTarget(CaptureIds::kViewDisplay1));
        cb1.setSnapshotRequest(0);
        cb1.setLiveFreeze(0);
        MultiViewKindCallback& cb2 = multiViewCallback(2);
        cb2.setLiveTarget(liveTarget(CaptureIds::kViewDisplay4));
        cb2.setSnapshotRequest(1);
        cb2.setLiveFreeze(1);
        messageTarget_ = host_.hostWidget();
        captureWords().notificationWindow.store(messageTarget_);
    }
}

void CapturePipeline::releaseGraph(std::unique_ptr<MediaGraph>& graph) {
    if (!graph) return;
    graph->stop();
    VideoWindow& window = graph->videoWindow();
    window.setVisible(false);
    window.setOwner(nullptr);
    graph.reset();
}

void CapturePipeline::tearDown() {
    releaseGraph(graph_);
    grabber1_ = MediaComponent();
    grabber2_ = MediaComponent();
    source_ = MediaComponent();
    releaseGraph(playbackGraph_);
    if (bridgeOpen_) {
        if (bridge_.close) bridge_.close();
        bridgeOpen_ = false;
    }
}

void CapturePipeline::requestSnapshot() {
    if (kind_ == WindowKind::ImageManagement) {
        if (recording_) {
            dialogs().message(host_.hostWidget(), QStringLiteral("AVI recording now..."), QString(),
                              MessageButtons::Ok);
            return;
        }
        captureWords().snapshotFlag.store(1);
    } else {
        multiViewCallback(1).raiseSnapshotRequest();
    }
    pacingSleep();
}

}  // namespace qelvo
