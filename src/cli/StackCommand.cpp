// qelvo stack IN... -o OUT [--depth-map FILE]: a focus series aligned and fused into one
// picture sharp at every depth, with its pixel size when the inputs agree on it.
// SIGINT or SIGTERM stop it with nothing written.
#include "cli/Cli.h"
#include "cli/StopSignals.h"
#include "combine/FocusStackFiles.h"
#include "picturefiles/PictureFile.h"

namespace qelvo::cli {

namespace {

const CommandSyntax& syntax();

int runStack(const Arguments& arguments, Io& io) {
    combine::FocusStackRequest request;
    request.inputs = arguments.operands;
    request.output = *arguments.value("--output");
    if (!pictureFormatOf(request.output))
        return usageError(io, syntax(), "OUT must end in .jpg, .jpeg, .png, .tif or .tiff");
    if (const auto depth = arguments.value("--depth-map")) {
        if (!pictureFormatOf(*depth))
            return usageError(io, syntax(),
                              "--depth-map: FILE must end in .jpg, .jpeg, .png, .tif or .tiff");
        request.depthMapOutput = *depth;
    }
    const StopSignals signals;
    combine::CombineProgress progress;
    progress.cancel = signals.flag();
    std::string error;
    // Written whole or not at all: a failure or a stop leaves neither file behind.
    const bool done = combine::stackFocusFiles(request, progress, &error);
    if (!done) return failed(io, "stack", error);
    return kDone;
}

const CommandSyntax& syntax() {
    static const CommandSyntax s{
        "stack",
        "IN...",
        2,
        -1,
        {{"--output", "-o", true, "OUT", true}, {"--depth-map", "", true, "FILE", false}}};
    return s;
}

}  // namespace

Command stackCommand() {
    return {syntax(),
            "aligns a focus series IN... (the first is the reference) and fuses the sharpest "
            "detail of each into OUT; --depth-map writes which IN was sharpest where (grey, "
            "first black, last white)",
            runStack};
}

}  // namespace qelvo::cli
