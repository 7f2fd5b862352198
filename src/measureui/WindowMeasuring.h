#pragma once

#include <QImage>
#include <QObject>
#include <QRect>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QWidget;

namespace qelvo {

class ActiveObjectives;
class LiveTarget;
class ObjectiveControl;
class OverlayController;

// A picture from bottom-up B,G,R rows `rowBytes` apart (a captured frame), as a QImage.
QImage imageFromBottomUpBgr(const std::uint8_t* rows, int width, int height, std::size_t rowBytes);

// What a working window measures with: the device's objectives (keys 1-9 in the window),
// the objective control placed at `controlRect` (with the overlay switches at `switchesRect`,
// or in the control itself when that is empty), the overlays over its live panels, and the
// calibration and objective list dialogs opened from the control.
class WindowMeasuring : public QObject {
    Q_OBJECT
public:
    WindowMeasuring(QWidget* window, const std::string& deviceName, const QRect& controlRect,
                    const QRect& switchesRect = {});
    ~WindowMeasuring() override;

    ActiveObjectives& objectives() { return *objectives_; }
    OverlayController& overlays() { return *overlays_; }
    ObjectiveControl& control() { return *control_; }
    // The overlay switches placed apart from the control (null when they are in it).
    ObjectiveControl* switches() { return switches_; }

    // The picture Calibrate… works on, in capture pixels (the live frame, or the picture
    // shown); a null picture says there is none yet.
    void setPictureSource(std::function<QImage()> source) { pictureSource_ = std::move(source); }
    // The capture resolution the control shows the pixel size for.
    void setFrameSizeSource(std::function<QSize()> source);
    // Overlays over this live panel.
    void attachLive(LiveTarget* target);
    void detachLive(LiveTarget* target);

    // What snapshots record follows the objective in use: `apply` gets its name and pixel
    // size at the capture resolution atWidth x atHeight (0 when not calibrated) now and
    // whenever the objective in use or its calibration changes.
    using ObjectiveFollower = std::function<void(
        const std::string& name, double micrometresPerPixel, int atWidth, int atHeight)>;
    void followActiveObjective(ObjectiveFollower apply);
    // "Scale bar in snapshots" in the control's menu: `isOn` reads the setting and `set`
    // changes it, false when the change could not be kept (the operator is told).
    void offerSnapshotScaleBar(std::function<bool()> isOn, std::function<bool(bool)> set);

    // The picture Calibrate… would work on now (null when there is none).
    QImage pictureToCalibrate() const { return pictureSource_ ? pictureSource_() : QImage(); }

    // Calibrate… and Edit objectives…, as the control's menu runs them.
    void calibrate();
    void editObjectives();

private:
    void publishObjective();

    QWidget* window_;
    std::unique_ptr<ActiveObjectives> objectives_;
    std::unique_ptr<OverlayController> overlays_;
    ObjectiveControl* control_;
    ObjectiveControl* switches_ = nullptr;
    std::function<QImage()> pictureSource_;
    ObjectiveFollower follower_;
};

}  // namespace qelvo
