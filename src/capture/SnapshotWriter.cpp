#include "capture/SnapshotWriter.h"

#include "acquire/FrameAverager.h"
#include "acquire/TimeLapseRun.h"
#include "imaging/JpegResolution.h"
#include "imaging/JpegSamples.h"
#include "imaging/JpegTransform.h"
#include "imaging/ScaleBarDraw.h"
#include "measure/ScaleBar.h"
#include "system/Paths.h"
#include "system/SessionState.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <set>
#include <system_error>
#include <thread>

namespace qelvo {
namespace {

constexpr int kSnapshotQuality = 80;
constexpr int kMaxSuffix = 100000;

// Names handed to writers that have not finished yet, so two writers never pick the same
// name even before either file exists.
struct NameReservations {
    std::mutex mutex;
    std::set<std::string> inFlight;
};

NameReservations& reservations() {
    static NameReservations r;
    return r;
}

bool pathExists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

std::string candidateName(const std::string& base, int suffix, const char* ext) {
    return suffix == 0 ? base + ext : base + "-" + std::to_string(suffix) + ext;
}

std::string reserveName(const std::string& base, int firstSuffix, const char* ext) {
    NameReservations& r = reservations();
    std::lock_guard lock(r.mutex);
    for (int suffix = firstSuffix; suffix < kMaxSuffix; ++suffix) {
        std::string name = candidateName(base, suffix, ext);
        if (r.inFlight.count(name) || pathExists(name)) continue;
        r.inFlight.insert(name);
        return name;
    }
    return {};
}

void releaseName(const std::string& name) {
    NameReservations& r = reservations();
    std::lock_guard lock(r.mutex);
    r.inFlight.erase(name);
}

// Moves `from` to `to` only when `to` does not exist yet.
bool renameNoReplace(const std::string& from, const std::string& to, bool& targetExists) {
    targetExists = false;
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno == EEXIST) {
        targetExists = true;
        return false;
    }
    if (errno != EINVAL && errno != ENOSYS) return false;
    // File systems without the flag: a hard link refuses an existing name as well.
    if (::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return true;
    }
    targetExists = errno == EEXIST;
    return false;
}

// The frame (bottom-up blue, green, red rows) as a JPEG file at `path`, with the objective's
// calibration in its EXIF block and, when asked, the scale bar burnt in.
bool encodeJpeg(const FrameRecord& frame, const std::string& path,
                const SnapshotObjective* objective) {
    const int width = frame.width();
    const int height = frame.height();
    const auto rowBytes = static_cast<std::ptrdiff_t>(frame.rowBytes());
    JpegPixels pixels;
    pixels.top = frame.pixels() + (height - 1) * rowBytes;
    pixels.width = width;
    pixels.height = height;
    pixels.channels = 3;
    pixels.stride = -rowBytes;
    pixels.bgr = true;

    const double pixelSize = objective ? objective->pixelSizeFor(width) : 0.0;
    std::vector<std::uint8_t> exif;
    if (pixelSize > 0.0)
        exif = MakeResolutionExif(1.0e4 / pixelSize,
                                  objective->name.empty() ? "" : "objective=" + objective->name);

    // The frame's block is shared read-only: the scale bar goes into a copy.
    std::vector<std::uint8_t> marked;
    if (objective && objective->burnScaleBar) {
        const std::size_t packed = static_cast<std::size_t>(width) * 3;
        marked.resize(packed * height);
        for (int y = 0; y < height; ++y)
            std::memcpy(marked.data() + packed * y, pixels.top + y * pixels.stride, packed);
        const measure::ScaleBar bar = measure::chooseScaleBar(width, pixelSize);
        DrawScaleBar({marked.data(), width, height, 3, static_cast<std::ptrdiff_t>(packed)},
                     bar.lengthPixels, bar.label);
        pixels.top = marked.data();
        pixels.stride = static_cast<std::ptrdiff_t>(packed);
    }
    std::vector<std::uint8_t> bytes;
    std::string error;
    if (!EncodeJpegPixels(pixels, kSnapshotQuality, exif, bytes, error)) return false;
    return WriteFileAtomically(path, bytes.data(), bytes.size()) == 0;
}

// The frame as top-down R,G,B rows without padding, 8 bits a sample.
PictureData pictureOfFrame(const FrameRecord& frame) {
    PictureData picture;
    picture.width = frame.width();
    picture.height = frame.height();
    picture.samples.resize(static_cast<std::size_t>(picture.width) * picture.height * 3);
    const std::size_t rowBytes = frame.rowBytes();
    for (int y = 0; y < picture.height; ++y) {
        const std::uint8_t* from = frame.pixels() + (picture.height - 1 - y) * rowBytes;
        std::uint8_t* to = picture.samples.data() + static_cast<std::size_t>(y) * picture.width * 3;
        for (int x = 0; x < picture.width; ++x) {
            to[x * 3] = from[x * 3 + 2];
            to[x * 3 + 1] = from[x * 3 + 1];
            to[x * 3 + 2] = from[x * 3];
        }
    }
    return picture;
}

// The snapshot as a PNG or TIFF file at `path` (its extension says which) through the
// picture files: the average's 16 bits kept, flat-field corrected, with the objective's
// calibration and the scale bar burnt in when asked (in 16-bit samples too).
bool encodeLossless(const FrameRecord& frame, const acquire::FrameAverager* average,
                    const std::string& path, const SnapshotObjective* objective,
                    const acquire::FlatField* flat) {
    std::optional<PictureData> picture;
    if (average)
        picture = acquire::pictureFor(*average, objective ? objective->format : PictureFormat::Png);
    else
        picture = pictureOfFrame(frame);
    if (!picture) return false;
    std::string error;
    if (flat) {
        auto corrected = flat->correct(*picture, &error);
        if (!corrected) return false;
        picture = std::move(corrected);
    }
    if (objective) picture->calibration = objective->calibrationFor(picture->width);
    if (objective && objective->burnScaleBar) {
        const measure::ScaleBar bar =
            measure::chooseScaleBar(picture->width, picture->calibration.micrometresPerPixel);
        const int sampleBytes = picture->bitsPerSample / 8;
        DrawScaleBar({picture->samples.data(), picture->width, picture->height, picture->channels,
                      static_cast<std::ptrdiff_t>(picture->width) * picture->channels * sampleBytes,
                      picture->bitsPerSample},
                     bar.lengthPixels, bar.label);
    }
    return writePictureFile(path, *picture, &error);
}

std::mutex& observerMutex() {
    static std::mutex m;
    return m;
}

std::function<void(const std::string&)>& observer() {
    static std::function<void(const std::string&)> f;
    return f;
}

// Tells the session that asked for the snapshot; a session that went away has closed its
// mailbox and hears nothing.
void reportWritten(const std::shared_ptr<CaptureMailbox>& mailbox, const std::string& path) {
    if (mailbox)
        mailbox->post({CaptureLetter::Kind::SnapshotWritten, nullptr, path, !path.empty()});
}

// The one writer thread and its queue.  It is started from the GUI thread; the streaming
// thread only queues frames, and a full queue refuses rather than waits.
class WriterThread {
public:
    WriterThread() {
        // Make sure what the writer uses outlives this object at exit.
        (void)clock();
        (void)reservations();
        (void)observer();
    }
    // Writes what is still queued, then ends the thread.
    ~WriterThread() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        if (thread_.joinable()) thread_.join();
    }

    bool start() {
        std::lock_guard lock(mutex_);
        if (thread_.joinable()) return true;
        try {
            thread_ = std::thread([this] { run(); });
        } catch (const std::system_error&) {
            return false;
        }
        return true;
    }

    bool push(std::shared_ptr<const FrameRecord> frame, std::shared_ptr<CaptureMailbox> reportTo,
              SharedSnapshotObjective objective,
              std::shared_ptr<const acquire::FrameAverager> average) {
        {
            std::lock_guard lock(mutex_);
            if (!thread_.joinable() || stopping_ || jobs_.size() >= kSnapshotQueueLength)
                return false;
            jobs_.push_back(Job{std::move(frame), std::move(reportTo), std::move(objective),
                                std::move(average)});
        }
        wake_.notify_one();
        return true;
    }

    void waitIdle() {
        std::unique_lock lock(mutex_);
        idle_.wait(lock, [this] { return jobs_.empty() && !busy_; });
    }

private:
    struct Job {
        std::shared_ptr<const FrameRecord> frame;
        std::shared_ptr<CaptureMailbox> reportTo;
        SharedSnapshotObjective objective;
        std::shared_ptr<const acquire::FrameAverager> average;
    };

    void run() {
        for (;;) {
            Job job;
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
                if (jobs_.empty()) return;
                job = std::move(jobs_.front());
                jobs_.pop_front();
                busy_ = true;
            }
            const LocalTime now = clock().localNow();
            const std::string path = writeSnapshot(*job.frame, storageFolderCopy(), now,
                                                   job.objective.get(), job.average.get());
            job.frame.reset();
            job.average.reset();
            reportWritten(job.reportTo, path);
            job.reportTo.reset();
            {
                std::lock_guard lock(mutex_);
                busy_ = false;
                if (jobs_.empty()) idle_.notify_all();
            }
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<Job> jobs_;
    bool busy_ = false;
    bool stopping_ = false;
    std::thread thread_;
};

WriterThread& writer() {
    static WriterThread w;
    return w;
}

}  // namespace

std::string snapshotBaseName(const std::string& folder, const LocalTime& t) {
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%04d%02d%02d-%02d%02d%02d", t.year, t.month, t.day, t.hour,
                  t.minute, t.second);
    return joinPath(folder, stamp);
}

std::string writeSnapshot(const FrameRecord& frame, const std::string& folder,
                          const LocalTime& time, const SnapshotObjective* objective,
                          const acquire::FrameAverager* average) {
    if (average ? average->count() == 0 : !frame.isComplete()) return {};
    const int width = average ? average->width() : frame.width();
    const int height = average ? average->height() : frame.height();
    const PictureFormat format = objective ? objective->format : PictureFormat::Jpeg;
    const char* ext = acquire::pictureExtension(format);
    // References of another size than the frame (the resolution changed) leave it as it is.
    const acquire::FlatField* flat =
        objective && objective->flatField && objective->flatField->fits(width, height, nullptr)
            ? objective->flatField.get()
            : nullptr;
    const std::string base = snapshotBaseName(folder, time);
    std::string name = reserveName(base, 0, ext);
    if (name.empty()) return {};

    static std::atomic<unsigned> counter{0};
    const std::string temp =
        joinPath(folder, ".snapshot-" + std::to_string(::getpid()) + "-" +
                             std::to_string(counter.fetch_add(1)) + ".tmp" + ext);
    bool encoded = false;
    if (format == PictureFormat::Jpeg) {
        // An average or a correction makes a frame of its own; a plain frame goes as it is.
        FrameRecord made;
        const FrameRecord* source = &frame;
        if (average || flat) {
            std::vector<std::uint8_t> bytes =
                average
                    ? average->averageGrabberLayout()
                    : std::vector<std::uint8_t>(frame.pixels(), frame.pixels() + frame.length());
            if (flat) flat->correctGrabberFrame(bytes.data(), bytes.data(), bytes.size());
            if (made.assign(bytes.data(), bytes.size(), FrameHeader::forFrame(width, height),
                            frame.sampleTime()))
                source = &made;
            else
                source = nullptr;
        }
        encoded = source && encodeJpeg(*source, temp, objective);
    } else {
        encoded = encodeLossless(frame, average, temp, objective, flat);
    }
    if (!encoded) {
        ::unlink(temp.c_str());
        releaseName(name);
        return {};
    }
    // Another program may have created the name meanwhile: move on to the next free one.
    for (int suffix = 1;; ++suffix) {
        bool exists = false;
        if (renameNoReplace(temp, name, exists)) break;
        releaseName(name);
        if (!exists) {
            ::unlink(temp.c_str());
            return {};
        }
        name = reserveName(base, suffix, ext);
        if (name.empty()) {
            ::unlink(temp.c_str());
            return {};
        }
    }
    releaseName(name);
    std::function<void(const std::string&)> notify;
    {
        std::lock_guard lock(observerMutex());
        notify = observer();
    }
    if (notify) notify(name);
    return name;
}

bool prepareSnapshotWriter() {
    return writer().start();
}

bool queueSnapshot(std::shared_ptr<const FrameRecord> frame,
                   std::shared_ptr<CaptureMailbox> reportTo, SharedSnapshotObjective objective,
                   std::shared_ptr<const acquire::FrameAverager> average) {
    if (!frame) return false;
    return writer().push(std::move(frame), std::move(reportTo), std::move(objective),
                         std::move(average));
}

void waitForSnapshotWriters() {
    writer().waitIdle();
}

void setSnapshotWrittenObserver(std::function<void(const std::string& path)> f) {
    std::lock_guard lock(observerMutex());
    observer() = std::move(f);
}

}  // namespace qelvo
