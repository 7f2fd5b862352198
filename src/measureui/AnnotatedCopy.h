#pragma once

#include "measure/Measurements.h"
#include "picturefiles/PictureFile.h"

#include <QImage>

#include <optional>
#include <string>
#include <vector>

namespace qelvo {

// "DIR/NAME.EXT" -> "DIR/NAME-annotated.EXT", or "-annotated-2", "-3", ... when taken.
std::string annotatedCopyPath(const std::string& original);

// The picture as 8-bit colour with the measurements and a scale bar drawn in.
QImage annotatedImage(const PictureData& picture, const std::vector<measure::Shape>& shapes,
                      double micrometresPerPixel);

// Writes a copy of `original` with the measurements and scale bar drawn in, beside it,
// under the first free annotatedCopyPath name; the original is never written and no
// existing file is replaced.  The copy keeps the calibration.  Returns the copy's path.
std::optional<std::string> saveAnnotatedCopy(const std::string& original,
                                             const std::vector<measure::Shape>& shapes,
                                             double micrometresPerPixel,
                                             const std::string& objective, std::string* error);

// Writes `source` again as `target`, in the format of target's extension, with its pixel
// size (16 bits kept for PNG and TIFF).  `target` must differ from `source`.
bool exportPicture(const std::string& source, const std::string& target, std::string* error);

}  // namespace qelvo
