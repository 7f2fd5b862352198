#include "acquire/TimeLapseRun.h"

#include "acquire/FrameAverager.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace qelvo::acquire {

namespace {

bool makeFolders(const std::string& path, std::string* error) {
    std::size_t at = 0;
    while (at != std::string::npos) {
        at = path.find('/', at + 1);
        const std::string partial = path.substr(0, at);
        if (partial.empty()) continue;
        if (::mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST) {
            if (error) *error = "cannot create " + partial + ": " + std::strerror(errno);
            return false;
        }
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        if (error) *error = path + " is not a folder";
        return false;
    }
    return true;
}

}  // namespace

const char* pictureExtension(PictureFormat format) {
    switch (format) {
        case PictureFormat::Png:
            return ".png";
        case PictureFormat::Tiff:
            return ".tif";
        case PictureFormat::Jpeg:
            break;
    }
    return ".jpg";
}

std::optional<PictureData> pictureFor(const FrameAverager& averager, PictureFormat format) {
    if (averager.count() > 1 && format != PictureFormat::Jpeg) return averager.average16();
    return averager.average8();
}

TimeLapseRun::TimeLapseRun(TimeLapseSettings settings, LapseFrameSource& source,
                           const LapseClock& clock)
    : settings_(std::move(settings)), source_(source), clock_(clock) {}

std::optional<PictureData> TimeLapseRun::takePicture(std::uint64_t afterSequence,
                                                     std::chrono::steady_clock::time_point* arrived,
                                                     std::string* error) {
    std::optional<FrameAverager> averager;
    std::uint64_t sequence = afterSequence;
    for (int i = 0; i < std::max(1, settings_.average); ++i) {
        auto frame = source_.nextFrame(sequence, kFrameTimeout, error);
        if (!frame) return std::nullopt;
        if (i == 0) {
            *arrived = frame->arrived;
            averager.emplace(frame->frame.width, frame->frame.height, settings_.average);
        } else if (frame->frame.width != averager->width() ||
                   frame->frame.height != averager->height()) {
            if (error) *error = "the camera changed its frame size during a picture";
            return std::nullopt;
        }
        sequence = frame->sequence;
        if (!averager->add(frame->frame.data(), frame->frame.length)) {
            if (error) *error = "the camera delivered a frame shorter than its size";
            return std::nullopt;
        }
    }
    auto picture = pictureFor(*averager, settings_.format);
    if (picture) picture->calibration = settings_.calibration;
    return picture;
}

std::string TimeLapseRun::freeName(std::chrono::system_clock::time_point when) const {
    const std::string base = settings_.folder + "/" + lapsePictureName(when);
    const char* ext = pictureExtension(settings_.format);
    std::string path = base + ext;
    for (int n = 1; ::access(path.c_str(), F_OK) == 0; ++n)
        path = base + "-" + std::to_string(n) + ext;
    return path;
}

TimeLapseOutcome TimeLapseRun::run() {
    TimeLapseOutcome outcome;
    if (!makeFolders(settings_.folder, &outcome.problem)) return outcome;
    const auto frameInterval = source_.frameInterval();
    // A frame interval and half of one more for the camera's jitter: a picture whose frame
    // comes later than that after its time is skipped.
    const auto tolerance =
        frameInterval > std::chrono::nanoseconds::zero()
            ? std::chrono::steady_clock::duration(frameInterval * 3 / 2)
            : std::chrono::steady_clock::duration(std::chrono::milliseconds(100));
    // Picture 0 is due a quarter of a frame before the camera's next frame, so where the
    // interval is a whole number of frames every picture's frame follows its time closely.
    auto start = clock_.now();
    if (frameInterval > std::chrono::nanoseconds::zero()) {
        const auto fresh =
            source_.nextFrame(source_.latestSequence(), kFrameTimeout, &outcome.problem);
        if (!fresh) return outcome;
        start = std::max(clock_.now(), fresh->arrived + frameInterval - frameInterval / 4);
    }
    TimeLapseSchedule schedule(start, settings_.interval, settings_.count, tolerance);
    TimeLapseProgress progress;
    progress.total = schedule.total();
    const auto report = [&](const std::string& path) {
        progress.taken = outcome.taken;
        progress.skipped = schedule.skipped();
        progress.lastPath = path;
        const int next = schedule.nextIndex();
        progress.nextIn =
            next < schedule.total()
                ? std::max(std::chrono::nanoseconds::zero(),
                           std::chrono::nanoseconds(schedule.dueTime(next) - clock_.now()))
                : std::chrono::nanoseconds::zero();
        if (progress_) progress_(progress);
    };
    for (int k; (k = schedule.next(clock_.now())) >= 0;) {
        if (!clock_.sleepUntil(schedule.dueTime(k), stop_)) {
            outcome.stopped = true;
            break;
        }
        // The first frame after this moment is the picture's (or the first of its average).
        std::chrono::steady_clock::time_point arrived;
        std::string error;
        auto picture = takePicture(source_.latestSequence(), &arrived, &error);
        if (!picture) {
            outcome.problem = error;
            break;
        }
        if (!schedule.inTime(k, arrived)) {
            schedule.skip(k);
            report("");
            if (stop_.load()) {
                outcome.stopped = true;
                break;
            }
            continue;
        }
        // Named after the moment its (first) frame arrived.
        const auto taken =
            clock_.wallNow() -
            std::chrono::duration_cast<std::chrono::system_clock::duration>(clock_.now() - arrived);
        const std::string path = freeName(taken);
        if (!writePictureFile(path, *picture, &error)) {
            outcome.problem = error;
            break;
        }
        outcome.files.push_back(path);
        ++outcome.taken;
        schedule.done(k);
        progress.lateBy =
            std::chrono::duration_cast<std::chrono::nanoseconds>(arrived - schedule.dueTime(k));
        report(path);
        if (stop_.load()) {
            outcome.stopped = !schedule.finished();
            break;
        }
    }
    outcome.skipped = schedule.skipped();
    return outcome;
}

}  // namespace qelvo::acquire
