#include "multiview/FocusSeries.h"

#include "capture/SnapshotWriter.h"
#include "picturefiles/PictureFile.h"
#include "system/Clock.h"

#include <cstring>

namespace qelvo {

std::string FocusSeries::writeSnapshotPicture(const FrameRecord& frame,
                                              const SnapshotObjective& objective,
                                              const std::string& folder) {
    return writeSnapshot(frame, folder, clock().localNow(), &objective);
}

FocusSeries::FocusSeries(Writer writer, QObject* parent)
    : QObject(parent), writer_(std::move(writer)) {}

FocusSeries::~FocusSeries() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    // Pictures in hand are finished: only whole files are left.
    if (thread_.joinable()) thread_.join();
}

void FocusSeries::post(std::function<void()> job) {
    {
        std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(job));
    }
    wake_.notify_one();
    if (thread_.joinable()) return;
    thread_ = std::thread([this] {
        for (;;) {
            std::function<void()> next;
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [this] { return quit_ || !jobs_.empty(); });
                if (jobs_.empty()) return;
                next = std::move(jobs_.front());
                jobs_.pop_front();
            }
            next();
        }
    });
}

void FocusSeries::answer(std::function<void()> onThisThread) {
    bool post;
    {
        std::lock_guard lock(mutex_);
        post = answers_.empty();
        answers_.push_back(std::move(onThisThread));
    }
    // One notice drains every answer waiting; it is dropped with this object if it goes
    // first (the destructor joins the thread before the object is gone).
    if (post) QMetaObject::invokeMethod(this, "drain", Qt::QueuedConnection);
}

void FocusSeries::drain() {
    std::deque<std::function<void()>> answers;
    {
        std::lock_guard lock(mutex_);
        answers.swap(answers_);
    }
    for (auto& run : answers) run();
}

void FocusSeries::start() {
    ++series_;
    on_ = true;
    ending_ = false;
    taken_ = pending_ = failed_ = 0;
    written_.clear();
    emit changed();
}

void FocusSeries::stop() {
    if (!on_) return;
    on_ = false;
    ending_ = true;
    emit changed();
    finishIfDone();
}

void FocusSeries::add(std::shared_ptr<const FrameRecord> frame, SnapshotObjective objective,
                      const std::string& folder) {
    if (!on_ || !frame || !frame->isComplete() || frame->length() == 0) return;
    objective.burnScaleBar = false;
    ++taken_;
    ++pending_;
    const unsigned series = series_;
    // The thread reaches this object only through its answers, and the destructor joins it
    // first.
    post([this, series, frame = std::move(frame), objective = std::move(objective), folder] {
        const std::string path = writer_(*frame, objective, folder);
        answer([this, series, path] { onWritten(series, path); });
    });
    emit changed();
}

void FocusSeries::onWritten(unsigned series, const std::string& path) {
    if (series != series_) return;
    --pending_;
    if (path.empty())
        ++failed_;
    else
        written_.push_back(path);
    emit changed();
    finishIfDone();
}

void FocusSeries::finishIfDone() {
    if (!ending_ || pending_ > 0) return;
    ending_ = false;
    QStringList pictures;
    for (const std::string& path : written_) pictures << QString::fromStdString(path);
    emit ended(pictures);
}

std::shared_ptr<const FrameRecord> FocusSeries::frameOfPicture(const std::string& path,
                                                               std::string* error) {
    const std::optional<PictureData> picture = readPictureFile(path, error);
    if (!picture) return nullptr;
    const int width = picture->width;
    const int height = picture->height;
    const int channels = picture->channels;
    if (width <= 0 || height <= 0 || channels <= 0) {
        if (error) *error = "the picture is empty";
        return nullptr;
    }
    const bool wide = picture->bitsPerSample == 16;
    const std::size_t rowBytes = frameRowBytes(width);
    const std::size_t sourceRow = picture->rowBytes();
    std::vector<std::uint8_t> rows(rowBytes * static_cast<std::size_t>(height), 0);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* in = picture->samples.data() + sourceRow * y;
        std::uint8_t* out = rows.data() + rowBytes * (height - 1 - y);
        for (int x = 0; x < width; ++x) {
            auto sample = [&](int c) -> std::uint8_t {
                const int channel = channels >= 3 ? c : 0;
                const std::size_t at = static_cast<std::size_t>(x) * channels + channel;
                if (!wide) return in[at];
                std::uint16_t value;
                std::memcpy(&value, in + at * 2, 2);
                return static_cast<std::uint8_t>(value >> 8);
            };
            out[x * 3 + 0] = sample(2);
            out[x * 3 + 1] = sample(1);
            out[x * 3 + 2] = sample(0);
        }
    }
    auto frame = std::make_shared<FrameRecord>();
    if (!frame->assign(rows.data(), rows.size(), FrameHeader::forFrame(width, height), 0.0)) {
        if (error) *error = "not enough memory for the picture";
        return nullptr;
    }
    return frame;
}

void FocusSeries::readBack(const std::string& path) {
    post([this, path] {
        std::string error;
        std::shared_ptr<const FrameRecord> frame = frameOfPicture(path, &error);
        answer([this, path, frame, error] {
            emit pictureRead(QString::fromStdString(path), frame, QString::fromStdString(error));
        });
    });
}

}  // namespace qelvo
