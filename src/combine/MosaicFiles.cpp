#include "combine/MosaicFiles.h"

#include <opencv2/core.hpp>

#include <filesystem>
#include <new>
#include <optional>

#include "combine/Mosaic.h"
#include "picturefiles/PictureFile.h"

namespace qelvo::combine {

namespace {

std::string fileName(const std::string& path) {
    const std::string name = std::filesystem::path(path).filename().string();
    return name.empty() ? path : name;
}

// "a.jpg", "a.jpg and b.jpg", "a.jpg, b.jpg and c.jpg".
std::string nameList(const std::vector<std::string>& names) {
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) text += i + 1 == names.size() ? " and " : ", ";
        text += names[i];
    }
    return text;
}

bool sameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    return std::filesystem::equivalent(a, b, ec);
}

// The part of the whole job's progress that one step covers.
CombineProgress part(const CombineProgress& whole, double from, double to) {
    CombineProgress p;
    p.cancel = whole.cancel;
    if (whole.report)
        p.report = [&whole, from, to](double fraction, const std::string& stage) {
            whole.report(from + (to - from) * fraction, stage);
        };
    return p;
}

bool fail(std::string* error, const std::string& why) {
    if (error) *error = why;
    return false;
}

bool stitchUnguarded(const MosaicRequest& request, const CombineProgress& progress,
                     std::string* error) {
    const std::vector<std::string>& inputs = request.inputs;
    if (inputs.size() < 2) return fail(error, "a mosaic needs at least two pictures");
    if (!pictureFormatOf(request.output))
        return fail(error, fileName(request.output) +
                               ": the name must end in .jpg, .jpeg, .png, .tif or .tiff");
    for (const std::string& in : inputs)
        if (sameFile(in, request.output))
            return fail(error, fileName(request.output) + " is one of the pictures to combine");

    // Read two at a time; the first failure (in the order given) is the one reported.
    progress.step(0.0, "reading");
    std::vector<PictureData> tiles(inputs.size());
    std::vector<std::string> errors(inputs.size());
    const int chunk = 2;
    for (std::size_t start = 0; start < inputs.size(); start += chunk) {
        const int end = static_cast<int>(std::min(inputs.size(), start + chunk));
        cv::parallel_for_(cv::Range(static_cast<int>(start), end), [&](const cv::Range& r) {
            for (int i = r.start; i < r.end; ++i) {
                std::string why;
                auto picture = readPictureFile(inputs[i], &why);
                if (picture)
                    tiles[i] = std::move(*picture);
                else
                    errors[i] = why.empty() ? "cannot be read" : why;
            }
        });
        for (int i = static_cast<int>(start); i < end; ++i)
            if (!errors[i].empty()) return fail(error, fileName(inputs[i]) + ": " + errors[i]);
        if (progress.cancelRequested()) return fail(error, kCancelled);
        progress.step(0.2 * end / inputs.size(), "reading");
    }
    for (std::size_t i = 1; i < tiles.size(); ++i) {
        if (tiles[i].channels != tiles[0].channels)
            return fail(error, fileName(inputs[i]) + " is " +
                                   (tiles[i].channels == 1 ? "grey" : "in colour") + " but " +
                                   fileName(inputs[0]) + " is not");
        if (tiles[i].bitsPerSample != tiles[0].bitsPerSample)
            return fail(error, fileName(inputs[i]) + " has " +
                                   std::to_string(tiles[i].bitsPerSample) +
                                   " bits per sample but " + fileName(inputs[0]) + " has " +
                                   std::to_string(tiles[0].bitsPerSample));
    }

    std::vector<const PictureData*> pointers;
    for (const PictureData& t : tiles) pointers.push_back(&t);
    const auto placement = placeTiles(pointers, part(progress, 0.2, 0.45));
    if (!placement) return fail(error, kCancelled);
    if (!placement->complete()) {
        std::vector<std::string> names;
        for (std::size_t i : placement->unconnected) names.push_back(fileName(inputs[i]));
        if (names.size() + 1 == inputs.size() && inputs.size() == 2)
            return fail(error,
                        nameList({fileName(inputs[0]), fileName(inputs[1])}) + " do not overlap");
        return fail(error, nameList(names) + (names.size() == 1 ? " does" : " do") +
                               " not overlap the other pictures");
    }

    // The pixel size carries over only when every picture agrees on it (to a millionth: each
    // format rounds it its own way).
    PictureCalibration calibration = tiles[0].calibration;
    for (const PictureData& t : tiles) {
        const double a = t.calibration.micrometresPerPixel, b = calibration.micrometresPerPixel;
        if (std::abs(a - b) > 1e-6 * std::max(a, b) ||
            t.calibration.objective != calibration.objective)
            calibration = {};
    }

    auto mosaic = composeMosaic(std::move(tiles), *placement, part(progress, 0.45, 0.9));
    if (!mosaic || progress.cancelRequested()) return fail(error, kCancelled);
    mosaic->picture.calibration = calibration;
    progress.step(0.9, "writing");
    std::string why;
    if (!writePictureFile(request.output, mosaic->picture, &why))
        return fail(error, fileName(request.output) + ": " + why);
    progress.step(1.0, "done");
    return true;
}

}  // namespace

bool stitchFiles(const MosaicRequest& request, const CombineProgress& progress,
                 std::string* error) {
    // Pictures too large for the memory at hand (or a layout the matrix code refuses) end the
    // job with a message; the mosaic is written whole or not at all, so nothing is left.
    try {
        return stitchUnguarded(request, progress, error);
    } catch (const std::bad_alloc&) {
        return fail(error, kNoMemory);
    } catch (const cv::Exception& e) {
        return fail(error, e.code == cv::Error::StsNoMem
                               ? std::string(kNoMemory)
                               : "the pictures cannot be joined: " + e.err);
    }
}

}  // namespace qelvo::combine
