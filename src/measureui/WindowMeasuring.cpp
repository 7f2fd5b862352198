#include "measureui/WindowMeasuring.h"

#include "desktop/Dialogs.h"
#include "desktop/LiveTarget.h"
#include "measureui/ActiveObjectives.h"
#include "measureui/CalibrationDialog.h"
#include "measureui/ObjectiveControl.h"
#include "measureui/ObjectiveListDialog.h"
#include "measureui/OverlayController.h"

#include <cstring>

namespace qelvo {

QImage imageFromBottomUpBgr(const std::uint8_t* rows, int width, int height, std::size_t rowBytes) {
    if (!rows || width <= 0 || height <= 0 || rowBytes < static_cast<std::size_t>(width) * 3)
        return {};
    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull()) return {};
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* in = rows + rowBytes * static_cast<std::size_t>(height - 1 - y);
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x, in += 3) out[x] = qRgb(in[2], in[1], in[0]);
    }
    return image;
}

WindowMeasuring::WindowMeasuring(QWidget* window, const std::string& deviceName,
                                 const QRect& controlRect, const QRect& switchesRect)
    : QObject(window), window_(window) {
    objectives_ = std::make_unique<ActiveObjectives>(deviceName);
    overlays_ = std::make_unique<OverlayController>(objectives_.get());
    objectives_->watchKeys(window);
    control_ = new ObjectiveControl(*objectives_, *overlays_, window);
    control_->setObjectName(QStringLiteral("objective control"));
    control_->setGeometry(controlRect);
    control_->show();
    if (!switchesRect.isEmpty()) {
        control_->setParts(ObjectiveControl::Parts::Objective);
        switches_ = new ObjectiveControl(*objectives_, *overlays_, window);
        switches_->setObjectName(QStringLiteral("overlay switches"));
        switches_->setParts(ObjectiveControl::Parts::Switches);
        switches_->setGeometry(switchesRect);
        switches_->show();
    }
    connect(control_, &ObjectiveControl::calibrateRequested, this, &WindowMeasuring::calibrate);
    connect(control_, &ObjectiveControl::editRequested, this, &WindowMeasuring::editObjectives);
    connect(objectives_.get(), &ActiveObjectives::activeObjectiveChanged, this,
            [this] { publishObjective(); });
}

WindowMeasuring::~WindowMeasuring() = default;

void WindowMeasuring::setFrameSizeSource(std::function<QSize()> source) {
    control_->setFrameSizeSource(source);
}

void WindowMeasuring::followActiveObjective(ObjectiveFollower apply) {
    follower_ = std::move(apply);
    publishObjective();
}

void WindowMeasuring::publishObjective() {
    if (!follower_) return;
    const measure::Objective* active = objectives_->active();
    if (!active) {
        follower_({}, 0.0, 0, 0);
        return;
    }
    const bool calibrated = active->calibrated();
    follower_(active->name, calibrated ? active->micrometresPerPixel : 0.0,
              calibrated ? active->atWidth : 0, calibrated ? active->atHeight : 0);
}

void WindowMeasuring::offerSnapshotScaleBar(std::function<bool()> isOn,
                                            std::function<bool(bool)> set) {
    if (!isOn || !set) {
        control_->setSnapshotScaleBar({}, {});
        return;
    }
    control_->setSnapshotScaleBar(std::move(isOn), [this, set = std::move(set)](bool on) {
        if (!set(on))
            dialogs().message(window_,
                              QStringLiteral("The scale bar setting could not be stored for "
                                             "this device: it holds until the window closes."),
                              QString(), MessageButtons::Ok);
    });
}

void WindowMeasuring::attachLive(LiveTarget* target) {
    overlays_->attachLive(target);
}

void WindowMeasuring::detachLive(LiveTarget* target) {
    overlays_->detachLive(target);
}

void WindowMeasuring::calibrate() {
    const QImage picture = pictureToCalibrate();
    if (picture.isNull()) {
        dialogs().message(window_,
                          QStringLiteral("There is no picture to calibrate from yet: wait for "
                                         "the live picture, or pick a picture."),
                          QString(), MessageButtons::Ok);
        return;
    }
    CalibrationDialog dialog(*objectives_, picture, window_);
    dialog.exec();
}

void WindowMeasuring::editObjectives() {
    ObjectiveListDialog dialog(objectives_->objectives(),
                               QString::fromStdString(objectives_->problem()), window_);
    if (dialog.exec() != QDialog::Accepted) return;
    objectives_->replace(dialog.edited());
    if (!objectives_->saveError().empty())
        dialogs().message(window_, QString::fromStdString(objectives_->saveError()), QString(),
                          MessageButtons::Ok);
}

}  // namespace qelvo
