#pragma once
// cv::Mat views over pictures, shared by the combining jobs: no samples are copied.
#include <opencv2/core.hpp>

#include "picturefiles/PictureFile.h"

namespace qelvo::combine {

inline int matTypeOf(const PictureData& picture) {
    return CV_MAKETYPE(picture.bitsPerSample == 16 ? CV_16U : CV_8U, picture.channels);
}

// The picture's samples as a matrix of its own size and type (CV_8UC1/3 or CV_16UC1/3); the
// matrix refers to `picture`, which must outlive it and keep its size.
inline cv::Mat matOf(PictureData& picture) {
    return cv::Mat(picture.height, picture.width, matTypeOf(picture), picture.samples.data(),
                   picture.rowBytes());
}

// The same, read only by convention: OpenCV has no const matrix header.
inline const cv::Mat constMatOf(const PictureData& picture) {
    return matOf(const_cast<PictureData&>(picture));
}

}  // namespace qelvo::combine
