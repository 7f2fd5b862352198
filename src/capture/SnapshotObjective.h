#pragma once

#include "acquire/FlatField.h"
#include "measure/Objectives.h"
#include "picturefiles/PictureFile.h"

#include <memory>
#include <string>

namespace qelvo {

// What every written snapshot records about the specimen's scale: the objective in use and
// the size of a pixel, and whether the scale bar is burnt into the picture.  Made once on
// the GUI thread and then only read (by the streaming thread and the snapshot writer), so it
// is passed around as a shared pointer to a const value.
struct SnapshotObjective {
    std::string name;                  // "" when no objective is chosen
    double micrometresPerPixel = 0.0;  // at atWidth x atHeight; 0: uncalibrated
    int atWidth = 0;                   // the frame size the pixel size holds at; 0: any
    int atHeight = 0;
    bool burnScaleBar = false;
    // How the picture is made: the consecutive frames averaged into it, its file format (PNG
    // and TIFF keep an average's 16 bits), and the flat-field correction applied to it (null:
    // none; only frames of the correction's size are corrected).
    int average = 1;
    PictureFormat format = PictureFormat::Jpeg;
    std::shared_ptr<const acquire::FlatField> flatField = nullptr;

    // The pixel size for frames `frameWidth` wide: a camera's modes show the same field,
    // scaled, so it follows the ratio of widths.  0 when uncalibrated.
    double pixelSizeFor(int frameWidth) const {
        if (!(micrometresPerPixel > 0.0)) return 0.0;
        if (atWidth <= 0 || frameWidth <= 0 || frameWidth == atWidth) return micrometresPerPixel;
        return micrometresPerPixel * atWidth / frameWidth;
    }
    // What a picture `frameWidth` wide records: the pixel size and the objective's name, or
    // nothing when uncalibrated.
    PictureCalibration calibrationFor(int frameWidth) const;
    // Follows an objective of the device's list (null: none chosen), as the objective control
    // publishes it: its name, and its calibration when it has one.
    void follow(const measure::Objective* objective);
};

// The objective in use for `deviceName` as the windows left it (its stored list and active
// objective); what the tool records in its pictures.
SnapshotObjective storedSnapshotObjective(const std::string& deviceName,
                                          const measure::ObjectiveStore& objectives);

using SharedSnapshotObjective = std::shared_ptr<const SnapshotObjective>;

}  // namespace qelvo
