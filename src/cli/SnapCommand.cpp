// qelvo snap --device NAME [--average N] [--resolution WxH] -o FILE: one picture from a
// camera, the mean of N consecutive frames (16 bits a sample in PNG and TIFF when N > 1),
// recording the device's objective in use and its pixel size.
#include "acquire/FrameAverager.h"
#include "capture/SnapshotObjective.h"
#include "cli/CameraWork.h"
#include "cli/Cli.h"
#include "picturefiles/PictureFile.h"

namespace qelvo::cli {

namespace {

const CommandSyntax& syntax();

int runSnap(const Arguments& arguments, Io& io) {
    const std::string out = *arguments.value("--output");
    const auto format = pictureFormatOf(out);
    if (!format)
        return usageError(io, syntax(), "FILE must end in .jpg, .jpeg, .png, .tif or .tiff");
    long average = 1;
    if (const auto text = arguments.value("--average")) {
        const auto n = parseWhole(*text, 1, acquire::FrameAverager::kMaxFrames);
        if (!n) return usageError(io, syntax(), "--average takes a whole number from 1 to 256");
        average = *n;
    }
    int width = 0, height = 0;
    if (const auto text = arguments.value("--resolution")) {
        const auto size = parseResolution(*text);
        if (!size)
            return usageError(io, syntax(), "--resolution takes WIDTHxHEIGHT, e.g. 1280x720");
        std::tie(width, height) = *size;
    }
    const std::string device = *arguments.value("--device");
    return withCamera(io, "snap", device, width, height, [&](acquire::LapseFrameSource& frames) {
        std::string error;
        std::optional<acquire::FrameAverager> averager;
        std::uint64_t sequence = 0;
        for (long i = 0; i < average; ++i) {
            // The first frame may take a while: the camera is starting.
            const auto timeout = std::chrono::milliseconds(i == 0 ? 10000 : 3000);
            auto frame = frames.nextFrame(sequence, timeout, &error);
            if (!frame) return failed(io, "snap", error);
            if (!averager)
                averager.emplace(frame->frame.width, frame->frame.height,
                                 static_cast<int>(average));
            if (frame->frame.width != averager->width() ||
                frame->frame.height != averager->height() ||
                !averager->add(frame->frame.data(), frame->frame.length))
                return failed(io, "snap", "the camera changed its frames during the average");
            sequence = frame->sequence;
        }
        auto picture = acquire::pictureFor(*averager, *format);
        // The picture records the device's objective in use, as the
        // windows' snapshots do.
        if (picture)
            picture->calibration = storedSnapshotObjective(device, measure::ObjectiveStore())
                                       .calibrationFor(picture->width);
        if (!picture || !writePictureFile(out, *picture, &error))
            return failed(io, "snap", out + ": " + error);
        return kDone;
    });
}

const CommandSyntax& syntax() {
    static const CommandSyntax s{"snap",
                                 "",
                                 0,
                                 0,
                                 {{"--device", "", true, "NAME", true},
                                  {"--average", "", true, "N", false},
                                  {"--resolution", "", true, "WxH", false},
                                  {"--output", "-o", true, "FILE", true}}};
    return s;
}

}  // namespace

Command snapCommand() {
    return {syntax(),
            "takes one picture from the device (as the launcher lists it); --average N averages N "
            "consecutive frames (PNG and TIFF keep 16 bits a sample when N > 1)",
            runSnap};
}

}  // namespace qelvo::cli
