#pragma once
// PictureData and OpenCV matrices, for the combining code in this folder (focus stacking and
// mosaics both use it).  OpenCV stays inside this folder: no public header includes it.
#include <opencv2/core.hpp>

#include "picturefiles/PictureFile.h"

namespace qelvo::combine {

// The matrix type of a picture's samples: CV_8UC1/3 or CV_16UC1/3; -1 for any other layout.
int matTypeOf(const PictureData& picture);
// The picture's samples as a matrix header over them (no copy); empty when its layout or
// sample count is not one a matrix can describe.  The matrix must not outlive the picture.
cv::Mat matOfPicture(const PictureData& picture);
// A picture copied from an 8- or 16-bit, 1- or 3-channel matrix (rows in red, green, blue
// order for colour), with `calibration`.
PictureData pictureOfMat(const cv::Mat& mat, const PictureCalibration& calibration = {});
// Brightness as 32-bit floats in 0..1 (the luma of red, green and blue for colour).
cv::Mat greyOfPicture(const PictureData& picture);
// The largest sample value of the picture's depth: 255 or 65535.
double fullScaleOf(const cv::Mat& mat);

}  // namespace qelvo::combine
