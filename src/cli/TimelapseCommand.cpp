// qelvo timelapse --device NAME --interval SECONDS (--count N | --duration SECONDS)
//                 [--average N] [--format jpg|png|tif] -o DIR
// One picture every SECONDS from the start (no drift), named with the date and time to the
// millisecond; SIGINT or SIGTERM stop it after the picture in progress.  The pictures record
// the device's objective in use and its pixel size.
#include "acquire/FrameAverager.h"
#include "acquire/TimeLapseRun.h"
#include "capture/SnapshotObjective.h"
#include "cli/CameraWork.h"
#include "cli/Cli.h"

#include <csignal>

namespace qelvo::cli {

namespace {

const CommandSyntax& syntax();

// The run a signal stops; a signal handler may only set flags.  A signal that comes while
// the camera is still opening or warming up ends the command before its first picture.
std::atomic<acquire::TimeLapseRun*> signalledRun{nullptr};
std::atomic<bool> stopSignalled{false};

extern "C" void stopOnSignal(int) {
    stopSignalled.store(true);
    if (acquire::TimeLapseRun* run = signalledRun.load()) run->requestStop();
}

// SIGINT and SIGTERM stop the time-lapse while this lives.
class StopSignals {
public:
    StopSignals() {
        stopSignalled.store(false);
        struct sigaction action {};
        action.sa_handler = stopOnSignal;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &oldInt_);
        sigaction(SIGTERM, &action, &oldTerm_);
    }
    ~StopSignals() {
        sigaction(SIGINT, &oldInt_, nullptr);
        sigaction(SIGTERM, &oldTerm_, nullptr);
        signalledRun.store(nullptr);
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

private:
    struct sigaction oldInt_ {};
    struct sigaction oldTerm_ {};
};

std::string picturesText(int n) {
    return std::to_string(n) + (n == 1 ? " picture" : " pictures");
}

int runTimelapse(const Arguments& arguments, Io& io) {
    acquire::TimeLapseSettings settings;
    settings.folder = *arguments.value("--output");
    const auto interval = parseSeconds(*arguments.value("--interval"));
    if (!interval) return usageError(io, syntax(), "--interval takes a positive number of seconds");
    settings.interval = std::chrono::nanoseconds(static_cast<long long>(*interval * 1e9));
    if (settings.interval.count() <= 0)
        return usageError(io, syntax(), "--interval takes a positive number of seconds");
    if (arguments.has("--count") == arguments.has("--duration"))
        return usageError(io, syntax(), "give either --count or --duration");
    if (const auto text = arguments.value("--count")) {
        const auto n = parseWhole(*text, 1, 100'000'000);
        if (!n) return usageError(io, syntax(), "--count takes a whole number of at least 1");
        settings.count = static_cast<int>(*n);
    } else {
        const auto duration = parseSeconds(*arguments.value("--duration"));
        if (!duration)
            return usageError(io, syntax(), "--duration takes a positive number of seconds");
        settings.count = acquire::TimeLapseSchedule::countForDuration(
            settings.interval, std::chrono::nanoseconds(static_cast<long long>(*duration * 1e9)));
    }
    if (const auto text = arguments.value("--average")) {
        const auto n = parseWhole(*text, 1, acquire::FrameAverager::kMaxFrames);
        if (!n) return usageError(io, syntax(), "--average takes a whole number from 1 to 256");
        settings.average = static_cast<int>(*n);
    }
    if (const auto text = arguments.value("--format")) {
        if (*text == "jpg" || *text == "jpeg")
            settings.format = PictureFormat::Jpeg;
        else if (*text == "png")
            settings.format = PictureFormat::Png;
        else if (*text == "tif" || *text == "tiff")
            settings.format = PictureFormat::Tiff;
        else
            return usageError(io, syntax(), "--format takes jpg, png or tif");
    }
    const std::string device = *arguments.value("--device");
    // From before the camera opens: a stop during its start is a stop with no picture taken.
    const StopSignals stopSignals;
    return withCamera(io, "timelapse", device, 0, 0, [&](acquire::LapseFrameSource& frames) {
        const auto stoppedEarly = [&] {
            io.out << picturesText(0) << " taken; stopped\n";
            io.out.flush();
            return kDone;
        };
        // Wait for the camera's first frame, so the schedule starts with a
        // running camera and knows its frame interval (measured over its first
        // frames).
        std::string error;
        const auto first = frames.nextFrame(0, std::chrono::milliseconds(10000), &error);
        if (stopSignalled.load()) return stoppedEarly();
        if (!first) return failed(io, "timelapse", error);
        // The pictures record the device's objective in use, as the
        // windows' snapshots do.
        settings.calibration = storedSnapshotObjective(device, measure::ObjectiveStore())
                                   .calibrationFor(first->frame.width);
        for (int i = 0; i < 8; ++i) {
            const bool came =
                frames.nextFrame(frames.latestSequence(), std::chrono::milliseconds(3000), &error)
                    .has_value();
            if (stopSignalled.load()) return stoppedEarly();
            if (!came) return failed(io, "timelapse", error);
        }
        acquire::TimeLapseRun run(settings, frames);
        signalledRun.store(&run);
        // A signal just before the run was handed over still stops it.
        if (stopSignalled.load()) run.requestStop();
        const acquire::TimeLapseOutcome outcome = run.run();
        signalledRun.store(nullptr);
        std::string line = picturesText(outcome.taken) + " taken";
        if (outcome.skipped > 0)
            line += ", " + picturesText(outcome.skipped) + " skipped (not in time)";
        if (outcome.stopped) line += "; stopped";
        io.out << line << "\n";
        io.out.flush();
        if (!outcome.problem.empty())
            return failed(io, "timelapse",
                          outcome.problem + "; the run ended after " + picturesText(outcome.taken));
        return kDone;
    });
}

const CommandSyntax& syntax() {
    static const CommandSyntax s{"timelapse",
                                 "",
                                 0,
                                 0,
                                 {{"--device", "", true, "NAME", true},
                                  {"--interval", "", true, "SECONDS", true},
                                  {"--count", "", true, "N", false},
                                  {"--duration", "", true, "SECONDS", false},
                                  {"--average", "", true, "N", false},
                                  {"--format", "", true, "jpg|png|tif", false},
                                  {"--output", "-o", true, "DIR", true}}};
    return s;
}

}  // namespace

Command timelapseCommand() {
    return {syntax(),
            "one picture every SECONDS from the start (no drift), named with the date and time to "
            "the millisecond; SIGINT or SIGTERM stop it after the picture in progress",
            runTimelapse};
}

}  // namespace qelvo::cli
