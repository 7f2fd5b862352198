// qelvo stitch IN... -o OUT: overlapping pictures of a flat specimen joined into one mosaic.
// SIGINT or SIGTERM stop it with nothing written.
#include <csignal>

#include <atomic>

#include "cli/Cli.h"
#include "combine/MosaicFiles.h"
#include "picturefiles/PictureFile.h"

namespace qelvo::cli {

namespace {

// What a signal sets; a signal handler may do no more.
std::atomic<bool> stitchStop{false};

extern "C" void stopStitchOnSignal(int) {
    stitchStop.store(true);
}

const CommandSyntax& syntax();

int runStitch(const Arguments& arguments, Io& io) {
    const std::string out = *arguments.value("--output");
    if (!pictureFormatOf(out))
        return usageError(io, syntax(), "OUT must end in .jpg, .jpeg, .png, .tif or .tiff");

    combine::MosaicRequest request{arguments.operands, out};
    combine::CombineProgress progress;
    stitchStop.store(false);
    progress.cancel = &stitchStop;
    struct sigaction action {};
    action.sa_handler = stopStitchOnSignal;
    sigemptyset(&action.sa_mask);
    struct sigaction oldInt {
    }, oldTerm{};
    sigaction(SIGINT, &action, &oldInt);
    sigaction(SIGTERM, &action, &oldTerm);
    std::string error;
    const bool done = combine::stitchFiles(request, progress, &error);
    sigaction(SIGINT, &oldInt, nullptr);
    sigaction(SIGTERM, &oldTerm, nullptr);
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
