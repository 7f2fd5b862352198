#pragma once

#include "capture/CameraButtonWatch.h"
#include "capture/DeviceFinder.h"
#include "media/MediaComponent.h"
#include "media/MediaGraph.h"
#include "media/MediaResult.h"

#include <QObject>

#include <functional>
#include <memory>
#include <string>

namespace qelvo {

class CaptureHost;
class DeviceCatalogue;
class SnapshotKindCallback;
class MultiViewKindCallback;

enum class WindowKind { ImageManagement, MultiView };

// Control ids and timers the pipeline uses on its window.
struct CaptureIds {
    static constexpr int kViewPanel = 1037;     // image management: live picture
    static constexpr int kClip1 = 1040;         // image management: still stream target
    static constexpr int kViewDisplay1 = 1015;  // multi-view: live pane
    static constexpr int kViewDisplay4 = 1018;  // multi-view: still stream target
    static constexpr int kChipPollTimer = 10000;
    static constexpr int kDriverPollTimer = 11000;
    static constexpr int kPollPeriodMs = 50;
};

// How the pipeline opens and closes the process-wide bridge handle of a chip-family device.
struct BridgeAccess {
    std::function<void(const std::string& friendlyName)> open;
    std::function<void()> close;
};
// The bridge access used by new pipelines (the chip register access by default).
BridgeAccess defaultBridgeAccess();

// The capture pipeline of one working window: finds the selected device, builds the preview
// graph that hands its frames to the window's grabber callbacks, records movies (image
// management window) and tears everything down.  GUI thread only.
class CapturePipeline {
public:
    CapturePipeline(CaptureHost& host, WindowKind kind, bool hdVariant);
    ~CapturePipeline();
    CapturePipeline(const CapturePipeline&) = delete;
    CapturePipeline& operator=(const CapturePipeline&) = delete;

    // Makes the window the frame-ready target and builds the preview graph.
    MediaResult startCapture();
    MediaResult buildPreviewGraph();
    // Stops and releases the graph and grabbers, then the playback graph, then the bridge
    // handle.  Safe when nothing is built; no grabber callback runs after it returns.
    void tearDown();
    // The device finder with this window's variant rules and family effects.
    MediaComponent findDevice();

    // SNAP and every other snapshot request.  Image management window: "AVI recording now..."
    // while recording, else the snapshot flag is raised; multi-view window: its request is
    // raised to 2 when none is pending.  Then the GUI thread pauses (pacingPause()).
    void requestSnapshot();

    // The found camera's own snapshot button; the window gives it its press handler.
    CameraButtonWatch& cameraButton() { return cameraButton_; }

    // RECORD / STOP (image management window).
    void startRecording();
    void stopRecording();
    MediaResult buildRecordingGraph(const std::string& path);
    bool isRecording() const { return recording_; }

    // Record fields.
    MediaGraph* graph() const { return graph_.get(); }
    const MediaComponent& grabber1() const { return grabber1_; }
    const MediaComponent& grabber2() const { return grabber2_; }
    const MediaComponent& source() const { return source_; }
    int microscopeFamily() const { return microscopeFamily_; }
    int registryDeviceIndex() const { return registryDeviceIndex_; }
    void setRegistryDeviceIndex(int index) { registryDeviceIndex_ = index; }
    // The movie playback graph of the image management window, torn down with the pipeline.
    std::unique_ptr<MediaGraph>& playbackGraph() { return playbackGraph_; }

    WindowKind kind() const { return kind_; }
    bool isHdVariant() const { return hd_; }
    SnapshotKindCallback& snapshotCallback(int index) const;
    MultiViewKindCallback& multiViewCallback(int index) const;

    // Tests: the device list and the bridge access the finder uses.
    void setDeviceCatalogue(DeviceCatalogue* catalogue) { catalogue_ = catalogue; }
    void setBridgeAccess(BridgeAccess access) { bridge_ = std::move(access); }

private:
    void releaseGraph(std::unique_ptr<MediaGraph>& graph);
    // A new graph holding the found device's source under "Cap": the first steps of both the
    // preview and the recording graph.
    MediaResult createGraphWithDevice();
    void applyHdFormat(OutputCategory category);
    MediaResult buildPreviewChains();
    // Tells the operator once why a device that was found shows no picture (nothing it can
    // decode, lost while starting, busy), after the current event has been handled.
    void reportNoPicture(const std::string& reason);
    void setCaptureState();
    void recordingFailed(const std::string& reason);
    void onGraphEvent(const MediaEvent& event);

    CaptureHost& host_;
    WindowKind kind_;
    bool hd_;
    std::unique_ptr<MediaGraph> graph_;
    MediaComponent grabber1_;
    MediaComponent grabber2_;
    MediaComponent source_;
    std::string deviceName_;         // the found device's friendly name
    std::string reportedNoPicture_;  // the device last said to show no picture
    int microscopeFamily_ = 0;
    int registryDeviceIndex_ = -1;
    std::unique_ptr<MediaGraph> playbackGraph_;
    bool recording_ = false;
    bool bridgeOpen_ = false;
    std::string recordingPath_;
    DeviceCatalogue* catalogue_ = nullptr;
    QObject* messageTarget_ = nullptr;  // this window, once it receives capture messages
    BridgeAccess bridge_;
    // Kept across graph rebuilds: the button belongs to the device, not to a graph.
    CameraButtonWatch cameraButton_;
    // Deferred work (a recording failure reported by the graph) is bound to this object, so
    // it is dropped when the pipeline goes away.
    QObject context_;
};

}  // namespace qelvo
