#include "capture/SnapshotObjective.h"

namespace qelvo {

PictureCalibration SnapshotObjective::calibrationFor(int frameWidth) const {
    PictureCalibration calibration;
    const double pixelSize = pixelSizeFor(frameWidth);
    if (pixelSize > 0.0) {
        calibration.micrometresPerPixel = pixelSize;
        calibration.objective = name;
    }
    return calibration;
}

void SnapshotObjective::follow(const measure::Objective* objective) {
    if (!objective) {
        name.clear();
        micrometresPerPixel = 0.0;
        atWidth = atHeight = 0;
        return;
    }
    const bool calibrated = objective->calibrated();
    name = objective->name;
    micrometresPerPixel = calibrated ? objective->micrometresPerPixel : 0.0;
    atWidth = calibrated ? objective->atWidth : 0;
    atHeight = calibrated ? objective->atHeight : 0;
}

SnapshotObjective storedSnapshotObjective(const std::string& deviceName,
                                          const measure::ObjectiveStore& objectives) {
    SnapshotObjective objective;
    const measure::ObjectiveStore::Loaded loaded = objectives.load(deviceName);
    objective.follow(loaded.objectives.activeObjective());
    return objective;
}

}  // namespace qelvo
