// qelvo stitch IN... -o OUT: overlapping pictures of a flat specimen joined into one mosaic.
// SIGINT or SIGTERM stop it with nothing written.
#include "cli/Cli.h"
#include "cli/StopSignals.h"
#include "combine/MosaicFiles.h"
#include "picturefiles/PictureFile.h"

namespace qelvo::cli {

namespace {

const CommandSyntax& syntax();

int runStitch(const Arguments& arguments, Io& io) {
    const std::string out = *arguments.value("--output");
    if (!pictureFormatOf(out))
        return usageError(io, syntax(), "OUT must end in .jpg, .jpeg, .png, .tif or .tiff");

    combine::MosaicRequest request{arguments.operands, out};
    const StopSignals signals;
    combine::CombineProgress progress;
    progress.cancel = signals.flag();
    std::string error;
    const bool done = combine::stitchFiles(request, progress, &error);
    if (!done) return failed(io, "stitch", error);
    return kDone;
}

const CommandSyntax& syntax() {
    static const CommandSyntax s{"stitch", "IN...", 2, -1, {{"--output", "-o", true, "OUT", true}}};
    return s;
}

}  // namespace

Command stitchCommand() {
    return {syntax(),
            "joins overlapping pictures of a flat specimen (in any order) into one mosaic, their "
            "brightness evened out and the seams blended; the pixel size carries over when the "
            "pictures agree on it",
            runStitch};
}

}  // namespace qelvo::cli
