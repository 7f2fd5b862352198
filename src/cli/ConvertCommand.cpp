// qelvo convert IN -o OUT [--pixel-size LENGTH]: the picture in another format, its pixel
// size kept or set.
#include "cli/Cli.h"
#include "measure/Length.h"
#include "picturefiles/PictureFile.h"

namespace qelvo::cli {

namespace {

const CommandSyntax& syntax();

int runConvert(const Arguments& arguments, Io& io) {
    const std::string& in = arguments.operands[0];
    const std::string out = *arguments.value("--output");
    if (!pictureFormatOf(out))
        return usageError(io, syntax(), "OUT must end in .jpg, .jpeg, .png, .tif or .tiff");
    double pixelSize = 0.0;
    if (const auto text = arguments.value("--pixel-size")) {
        std::string error;
        const auto length = measure::parseLength(*text, &error, measure::BareNumber::Refused);
        if (!length) return usageError(io, syntax(), "--pixel-size: " + error);
        pixelSize = *length;
    }
    std::string error;
    std::optional<PictureData> picture = readPictureFile(in, &error);
    if (!picture) return failed(io, "convert", in + ": " + error);
    if (pixelSize > 0.0) picture->calibration.micrometresPerPixel = pixelSize;
    // Written whole or not at all: a failure leaves no partial file behind.
    if (!writePictureFile(out, *picture, &error)) return failed(io, "convert", out + ": " + error);
    return kDone;
}

const CommandSyntax& syntax() {
    static const CommandSyntax s{
        "convert",
        "IN",
        1,
        1,
        {{"--output", "-o", true, "OUT", true}, {"--pixel-size", "", true, "LENGTH", false}}};
    return s;
}

}  // namespace

Command convertCommand() {
    return {syntax(),
            "writes IN in OUT's format (lossless for PNG and TIFF), keeping IN's pixel size or "
            "setting LENGTH per pixel",
            runConvert};
}

}  // namespace qelvo::cli
