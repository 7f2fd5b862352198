#include <opencv2/imgproc.hpp>

#include "combine/PictureMatInternal.h"

namespace qelvo::combine {

#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
// OpenCV hands its loop bodies to TBB's threads, whose locks ThreadSanitizer cannot see, so it
// would report every parallel loop.  In such builds OpenCV runs its loops on the calling
// thread, and the sanitizer still watches every thread of our own.
[[maybe_unused]] const bool kOpenCvOnCallingThread = [] {
    cv::setNumThreads(1);
    return true;
}();
#endif
#endif

int matTypeOf(const PictureData& picture) {
    if (picture.channels != 1 && picture.channels != 3) return -1;
    if (picture.bitsPerSample == 8) return CV_MAKETYPE(CV_8U, picture.channels);
    if (picture.bitsPerSample == 16) return CV_MAKETYPE(CV_16U, picture.channels);
    return -1;
}

cv::Mat matOfPicture(const PictureData& picture) {
    const int type = matTypeOf(picture);
    if (type < 0 || picture.width <= 0 || picture.height <= 0) return {};
    const std::size_t rowBytes = picture.rowBytes();
    if (picture.samples.size() != rowBytes * static_cast<std::size_t>(picture.height)) return {};
    return cv::Mat(picture.height, picture.width, type,
                   const_cast<std::uint8_t*>(picture.samples.data()), rowBytes);
}

PictureData pictureOfMat(const cv::Mat& mat, const PictureCalibration& calibration) {
    PictureData picture;
    picture.width = mat.cols;
    picture.height = mat.rows;
    picture.channels = mat.channels();
    picture.bitsPerSample = mat.depth() == CV_16U ? 16 : 8;
    picture.calibration = calibration;
    const std::size_t rowBytes = picture.rowBytes();
    picture.samples.resize(rowBytes * static_cast<std::size_t>(mat.rows));
    cv::Mat target(mat.rows, mat.cols, mat.type(), picture.samples.data(), rowBytes);
    mat.copyTo(target);
    return picture;
}

double fullScaleOf(const cv::Mat& mat) {
    return mat.depth() == CV_16U ? 65535.0 : 255.0;
}

cv::Mat greyOfPicture(const PictureData& picture) {
    const cv::Mat samples = matOfPicture(picture);
    if (samples.empty()) return {};
    cv::Mat grey;
    if (samples.channels() == 3) {
        cv::Mat luma;
        cv::cvtColor(samples, luma, cv::COLOR_RGB2GRAY);
        luma.convertTo(grey, CV_32F, 1.0 / fullScaleOf(samples));
    } else {
        samples.convertTo(grey, CV_32F, 1.0 / fullScaleOf(samples));
    }
    return grey;
}

}  // namespace qelvo::combine
