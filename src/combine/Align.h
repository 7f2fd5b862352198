#pragma once
#include <array>
#include <optional>
#include <string>

#include "picturefiles/PictureFile.h"

namespace qelvo::combine {

// Where a picture lies against a reference picture of the same field: the affine map from a
// reference pixel (x, y) to the same point of the specimen in the picture,
//   x' = m[0] x + m[1] y + m[2],   y' = m[3] x + m[4] y + m[5]   (pixel centres at integers).
// Shift, turn and the small change of scale that refocusing brings are all it needs to hold.
struct Alignment {
    std::array<double, 6> m{1, 0, 0, 0, 1, 0};

    // How far the reference's centre moved, in pixels of the picture.
    double shiftX(int width, int height) const;
    double shiftY(int width, int height) const;
    // The turn (counter-clockwise on screen is negative, as y runs down) and the scale.
    double rotationDegrees() const;
    double scale() const;
};

// Finds where `moving` lies against `reference` (same size; they may differ in which parts
// are sharp): the shift first, by phase correlation of small copies, then the affine map by
// maximising the correlation of the brightness (ECC) from a coarse copy to a finer one.
// Nothing when the pictures differ in size or do not overlap enough to be aligned.
std::optional<Alignment> alignPicture(const PictureData& reference, const PictureData& moving,
                                      std::string* error);

}  // namespace qelvo::combine
