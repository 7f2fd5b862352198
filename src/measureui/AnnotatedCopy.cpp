#include "measureui/AnnotatedCopy.h"

#include "measureui/MeasurementPainter.h"

#include <QPainter>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace qelvo {
namespace {

std::string withSuffix(const std::string& original, const std::string& suffix) {
    const std::filesystem::path path(original);
    return (path.parent_path() / (path.stem().string() + suffix + path.extension().string()))
        .string();
}

bool exists(const std::string& path) {
    struct stat info;
    return ::lstat(path.c_str(), &info) == 0;
}

}  // namespace

std::string annotatedCopyPath(const std::string& original) {
    std::string candidate = withSuffix(original, "-annotated");
    for (int n = 2; exists(candidate); ++n)
        candidate = withSuffix(original, "-annotated-" + std::to_string(n));
    return candidate;
}

QImage annotatedImage(const PictureData& picture, const std::vector<measure::Shape>& shapes,
                      double micrometresPerPixel) {
    QImage image(picture.width, picture.height, QImage::Format_RGB32);
    const int step = picture.bitsPerSample == 16 ? 2 : 1;
    // The most significant byte of a 16-bit sample in the machine's order.
    const int high =
        picture.bitsPerSample == 16 ? (QSysInfo::ByteOrder == QSysInfo::LittleEndian ? 1 : 0) : 0;
    for (int y = 0; y < picture.height; ++y) {
        const std::uint8_t* row = picture.samples.data() + y * picture.rowBytes();
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < picture.width; ++x) {
            const std::uint8_t* px = row + x * picture.channels * step;
            if (picture.channels >= 3)
                out[x] = qRgb(px[high], px[step + high], px[2 * step + high]);
            else
                out[x] = qRgb(px[high], px[high], px[high]);
        }
    }
    QPainter painter(&image);
    const MeasurementStyle style = MeasurementStyle::forPicture(picture.width, picture.height);
    const QRectF whole(0, 0, picture.width, picture.height);
    paintMeasurements(painter, shapes, PictureMapping{}, micrometresPerPixel, -1, nullptr, whole,
                      style);
    paintScaleBar(painter, PictureMapping{}, picture.width, micrometresPerPixel, whole, style);
    return image;
}

std::optional<std::string> saveAnnotatedCopy(const std::string& original,
                                             const std::vector<measure::Shape>& shapes,
                                             double micrometresPerPixel,
                                             const std::string& objective, std::string* error) {
    std::optional<PictureData> picture = readPictureFile(original, error);
    if (!picture) return std::nullopt;
    const QImage drawn = annotatedImage(*picture, shapes, micrometresPerPixel);
    PictureData copy;
    copy.width = drawn.width();
    copy.height = drawn.height();
    copy.channels = 3;
    copy.bitsPerSample = 8;
    copy.calibration = picture->calibration;
    if (!copy.calibration.calibrated() && micrometresPerPixel > 0) {
        copy.calibration.micrometresPerPixel = micrometresPerPixel;
        copy.calibration.objective = objective;
    }
    picture.reset();
    copy.samples.resize(copy.rowBytes() * copy.height);
    for (int y = 0; y < copy.height; ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(drawn.constScanLine(y));
        std::uint8_t* out = copy.samples.data() + y * copy.rowBytes();
        for (int x = 0; x < copy.width; ++x) {
            out[3 * x] = static_cast<std::uint8_t>(qRed(in[x]));
            out[3 * x + 1] = static_cast<std::uint8_t>(qGreen(in[x]));
            out[3 * x + 2] = static_cast<std::uint8_t>(qBlue(in[x]));
        }
    }
    // Written under a private name first, then linked to the first free name: a file that
    // appears meanwhile under that name is never replaced.
    const std::string temporary =
        withSuffix(original, "-annotated.writing-" + std::to_string(::getpid()));
    if (!writePictureFile(temporary, copy, error)) return std::nullopt;
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const std::string target = annotatedCopyPath(original);
        if (::link(temporary.c_str(), target.c_str()) == 0) {
            ::unlink(temporary.c_str());
            return target;
        }
        if (errno != EEXIST) {
            if (error)
                *error =
                    std::string("cannot name the copy ") + target + ": " + std::strerror(errno);
            break;
        }
    }
    ::unlink(temporary.c_str());
    return std::nullopt;
}

bool exportPicture(const std::string& source, const std::string& target, std::string* error) {
    if (!pictureFormatOf(target)) {
        if (error) *error = "the name must end in .jpg, .png or .tif";
        return false;
    }
    std::error_code ec;
    if (target == source || std::filesystem::equivalent(source, target, ec)) {
        if (error) *error = "choose a name other than the picture's own";
        return false;
    }
    const std::optional<PictureData> picture = readPictureFile(source, error);
    if (!picture) return false;
    return writePictureFile(target, *picture, error);
}

}  // namespace qelvo
