// qelvo info FILE...: size, bits per sample and pixel size of each picture.
#include "cli/Cli.h"
#include "picturefiles/PictureFile.h"

namespace qelvo::cli {

namespace {

int runInfo(const Arguments& arguments, Io& io) {
    int status = kDone;
    for (const std::string& path : arguments.operands) {
        std::string error;
        const std::optional<PictureFileInfo> info = readPictureFileInfo(path, &error);
        if (!info) {
            // The other files are still described; the status tells that one failed.
            status = failed(io, "info", path + ": " + error);
            continue;
        }
        io.out << path << ": " << info->width << "x" << info->height << "\n"
               << "bits per sample: " << info->bitsPerSample << "\n"
               << "pixel size: "
               << (info->calibration.calibrated()
                       ? formatMicrometres(info->calibration.micrometresPerPixel) + " um"
                       : std::string("uncalibrated"))
               << "\n";
    }
    return status;
}

}  // namespace

Command infoCommand() {
    return {{"info", "FILE...", 1, -1, {}},
            "prints each picture's size, bits per sample and pixel size",
            runInfo};
}

}  // namespace qelvo::cli
