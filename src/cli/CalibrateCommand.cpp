// qelvo calibrate FILE --spacing LENGTH [--objective NAME --device NAME]: the pixel size from
// a picture of a stage micrometer or graticule, optionally kept for an objective.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "cli/Cli.h"
#include "measure/Length.h"
#include "measure/Objectives.h"
#include "measure/RulingFinder.h"
#include "picturefiles/PictureFile.h"

namespace qelvo::cli {

namespace {

const CommandSyntax& syntax();

// Brightness of each pixel, 8 bits.
std::vector<std::uint8_t> greyOf(const PictureData& picture) {
    const std::size_t pixels = std::size_t(picture.width) * std::size_t(picture.height);
    std::vector<std::uint8_t> grey(pixels);
    const bool wide = picture.bitsPerSample == 16;
    auto sample = [&](std::size_t i) -> std::uint32_t {
        if (!wide) return picture.samples[i];
        std::uint16_t v;
        std::memcpy(&v, picture.samples.data() + 2 * i, 2);
        return v;
    };
    const std::uint32_t scale = wide ? 257 : 1;
    for (std::size_t p = 0; p < pixels; ++p) {
        std::uint32_t value;
        if (picture.channels == 1) {
            value = sample(p);
        } else {
            value =
                (sample(3 * p) * 299 + sample(3 * p + 1) * 587 + sample(3 * p + 2) * 114) / 1000;
        }
        grey[p] = static_cast<std::uint8_t>(value / scale);
    }
    return grey;
}

int store(Io& io, const std::string& device, const std::string& name, double pixelSize,
          const PictureData& picture) {
    const measure::ObjectiveStore objectives;
    measure::ObjectiveStore::Loaded loaded = objectives.load(device);
    // A list that could not be read is not replaced by one holding only this objective.
    if (!loaded.problem.empty())
        return failed(io, "calibrate",
                      "the objectives kept for \"" + device + "\" cannot be read (" +
                          loaded.problem + "); nothing stored");
    std::vector<measure::Objective>& list = loaded.objectives.objectives;
    measure::Objective* objective = nullptr;
    for (measure::Objective& o : list)
        if (o.name == name) objective = &o;
    if (!objective) {
        list.push_back({name, 0.0, 0, 0});
        objective = &list.back();
    }
    objective->micrometresPerPixel = pixelSize;
    objective->atWidth = picture.width;
    objective->atHeight = picture.height;
    std::string error;
    if (!objectives.save(device, loaded.objectives, &error))
        return failed(io, "calibrate", "the calibration could not be stored: " + error);
    io.out << "stored for objective \"" << name << "\" of \"" << device << "\" at " << picture.width
           << "x" << picture.height << "\n";
    return kDone;
}

int runCalibrate(const Arguments& arguments, Io& io) {
    const std::string& path = arguments.operands[0];
    const std::optional<std::string> objective = arguments.value("--objective");
    const std::optional<std::string> device = arguments.value("--device");
    if (objective.has_value() != device.has_value())
        return usageError(io, syntax(), "--objective and --device go together");
    std::string error;
    const auto spacing =
        measure::parseLength(*arguments.value("--spacing"), &error, measure::BareNumber::Refused);
    if (!spacing) return usageError(io, syntax(), "--spacing: " + error);

    const std::optional<PictureData> picture = readPictureFile(path, &error);
    if (!picture) return failed(io, "calibrate", path + ": " + error);
    const std::vector<std::uint8_t> grey = greyOf(*picture);
    const measure::GreyView view{grey.data(), picture->width, picture->height,
                                 static_cast<std::ptrdiff_t>(picture->width)};
    const measure::Ruling ruling = measure::findRuling(view);
    if (!ruling.found || !(ruling.pitchPixels > 0.0) || !std::isfinite(ruling.pitchPixels))
        return failed(
            io, "calibrate",
            path + ": " + (ruling.reason.empty() ? "no regular ruling found" : ruling.reason));
    const double pixelSize = *spacing / ruling.pitchPixels;

    char line[160];
    std::snprintf(line, sizeof line, "ruling: %.3f px between lines, at %.1f degrees%s\n",
                  ruling.pitchPixels, ruling.angleDegrees, ruling.crossGrid ? ", cross grid" : "");
    io.out << line;
    if (objective) {
        const int status = store(io, *device, *objective, pixelSize, *picture);
        if (status != kDone) return status;
    }
    io.out << "pixel size: " << formatMicrometres(pixelSize) << " um\n";
    return kDone;
}

const CommandSyntax& syntax() {
    static const CommandSyntax s{"calibrate",
                                 "FILE",
                                 1,
                                 1,
                                 {{"--spacing", "", true, "LENGTH", true},
                                  {"--objective", "", true, "NAME", false},
                                  {"--device", "", true, "NAME", false}}};
    return s;
}

}  // namespace

Command calibrateCommand() {
    return {syntax(),
            "finds the line pitch of a stage micrometer or graticule whose lines are LENGTH "
            "apart and prints the pixel size; with --objective and --device also keeps it for "
            "that objective of that device",
            runCalibrate};
}

}  // namespace qelvo::cli
