#include "combine/FocusStackFiles.h"

#include <sys/stat.h>
#include <unistd.h>
#include <opencv2/core.hpp>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>
#include <optional>

#include "combine/FocusStack.h"
#include "picturefiles/PictureFile.h"

namespace qelvo::combine {

namespace {

bool sameFile(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

// Whether two names lead to one place, whether or not a file is there yet ("out.png" and
// "./out.png", or through a linked folder).
bool samePlace(const std::string& a, const std::string& b) {
    namespace fs = std::filesystem;
    std::error_code errorA, errorB;
    const fs::path placeA = fs::weakly_canonical(fs::absolute(a, errorA), errorA);
    const fs::path placeB = fs::weakly_canonical(fs::absolute(b, errorB), errorB);
    if (errorA || errorB) return a == b || sameFile(a, b);
    return placeA == placeB || sameFile(a, b);
}

// A hidden name beside `path` with its extension, so the writer picks the same format.
std::string temporaryBeside(const std::string& path, const char* tag) {
    const std::filesystem::path target(path);
    std::string name(1, '.');
    name += target.stem().string();
    name += '.';
    name += tag;
    name += '-';
    name += std::to_string(::getpid());
    name += target.extension().string();
    return (target.parent_path() / name).string();
}

bool sameCalibration(const PictureCalibration& a, const PictureCalibration& b) {
    if (a.objective != b.objective) return false;
    if (!a.calibrated() || !b.calibrated()) return a.calibrated() == b.calibrated();
    // Equal as stored: every format keeps the pixel size to better than one part in 10^6.
    return std::abs(a.micrometresPerPixel - b.micrometresPerPixel) <=
           1e-6 * std::max(a.micrometresPerPixel, b.micrometresPerPixel);
}

bool stackUnguarded(const FocusStackRequest& request, const CombineProgress& progress,
                    std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        return false;
    };
    const auto& inputs = request.inputs;
    if (inputs.size() < 2) return fail("focus stacking needs at least two pictures");
    if (!pictureFormatOf(request.output))
        return fail(request.output + ": not a .jpg, .jpeg, .png, .tif or .tiff name");
    const bool withDepth = !request.depthMapOutput.empty();
    if (withDepth && !pictureFormatOf(request.depthMapOutput))
        return fail(request.depthMapOutput + ": not a .jpg, .jpeg, .png, .tif or .tiff name");
    if (withDepth && samePlace(request.depthMapOutput, request.output))
        return fail("the picture and the depth map cannot both go to " + request.output);
    for (const std::string& in : inputs) {
        if (sameFile(in, request.output) || (withDepth && sameFile(in, request.depthMapOutput)))
            return fail(in + ": is an input and would be overwritten");
    }

    // Every input's header first: a wrong size or an unreadable file is found before the
    // long work starts.
    std::string why;
    std::optional<PictureFileInfo> first;
    bool carryCalibration = true;
    for (const std::string& in : inputs) {
        const auto info = readPictureFileInfo(in, &why);
        if (!info) return fail(in + ": " + why);
        if (!first) {
            first = info;
            continue;
        }
        if (info->width != first->width || info->height != first->height)
            return fail(in + ": " + std::to_string(info->width) + " x " +
                        std::to_string(info->height) + ", but " + inputs[0] + " is " +
                        std::to_string(first->width) + " x " + std::to_string(first->height));
        if (info->channels != first->channels || info->bitsPerSample != first->bitsPerSample)
            return fail(in + ": differs from " + inputs[0] + " in colour or bits per sample");
        if (!sameCalibration(info->calibration, first->calibration)) carryCalibration = false;
    }

    const double steps = static_cast<double>(inputs.size()) + 1.0;
    FocusStack stack;
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        if (progress.cancelRequested()) return fail(kCancelled);
        progress.step(i / steps, "aligning and fusing " +
                                     std::filesystem::path(inputs[i]).filename().string());
        auto slice = readPictureFile(inputs[i], &why);
        if (!slice) return fail(inputs[i] + ": " + why);
        if (!stack.add(*slice, &why)) return fail(inputs[i] + ": " + why);
    }
    if (progress.cancelRequested()) return fail(kCancelled);
    progress.step(inputs.size() / steps, "writing");

    PictureData fused = stack.fused();
    if (carryCalibration) fused.calibration = first->calibration;
    const std::string pictureTemporary = temporaryBeside(request.output, "stack");
    if (!writePictureFile(pictureTemporary, fused, &why)) return fail(request.output + ": " + why);
    std::string depthTemporary;
    if (withDepth) {
        PictureData depth = stack.depthMap();
        if (carryCalibration) depth.calibration = first->calibration;
        depthTemporary = temporaryBeside(request.depthMapOutput, "depth");
        if (!writePictureFile(depthTemporary, depth, &why)) {
            std::remove(pictureTemporary.c_str());
            return fail(request.depthMapOutput + ": " + why);
        }
    }
    const auto discard = [&] {
        std::remove(pictureTemporary.c_str());
        if (withDepth) std::remove(depthTemporary.c_str());
    };
    if (progress.cancelRequested()) {
        discard();
        return fail(kCancelled);
    }
    // Both are complete: only now do they take their names.
    if (std::rename(pictureTemporary.c_str(), request.output.c_str()) != 0) {
        const int code = errno;
        discard();
        errno = code;
        return fail(request.output + ": " + std::strerror(errno));
    }
    if (withDepth && std::rename(depthTemporary.c_str(), request.depthMapOutput.c_str()) != 0) {
        discard();
        std::remove(request.output.c_str());
        return fail(request.depthMapOutput + ": cannot be written");
    }
    progress.step(1.0, "done");
    return true;
}

}  // namespace

bool stackFocusFiles(const FocusStackRequest& request, const CombineProgress& progress,
                     std::string* error) {
    // Pictures too large for the memory at hand (or a layout the matrix code refuses) end the
    // job with a message, and the job's own files go with it.
    std::string why;
    try {
        return stackUnguarded(request, progress, error);
    } catch (const std::bad_alloc&) {
        why = kNoMemory;
    } catch (const cv::Exception& e) {
        why =
            e.code == cv::Error::StsNoMem ? kNoMemory : "the pictures cannot be stacked: " + e.err;
    }
    std::remove(temporaryBeside(request.output, "stack").c_str());
    if (!request.depthMapOutput.empty())
        std::remove(temporaryBeside(request.depthMapOutput, "depth").c_str());
    if (error) *error = why;
    return false;
}

}  // namespace qelvo::combine
