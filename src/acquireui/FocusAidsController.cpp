#include "acquireui/FocusAidsController.h"

#include "desktop/LiveTarget.h"
#include "skin/SkinPalette.h"
#include "system/RegistryStore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPainter>

#include <algorithm>

namespace qelvo {
namespace {

RegistryStore storeAt(const std::string& root) {
    return root.empty() ? RegistryStore() : RegistryStore(root);
}

bool readFlag(const RegistryKey& key, const char* name, bool fallback) {
    const RegistryValue<std::uint32_t> value = key.readNumber(name);
    return value.ok() && value.value <= 1 ? value.value == 1 : fallback;
}

}  // namespace

FocusAidsController::FocusAidsController(FocusFrameSource source, std::string registryRoot,
                                         QObject* parent)
    : QObject(parent), source_(std::move(source)), registryRoot_(std::move(registryRoot)) {
    if (const std::optional<RegistryKey> key = storeAt(registryRoot_).openKey(kSettingsKey)) {
        on_ = readFlag(*key, "On", false);
        peaking_ = readFlag(*key, "Peaking", false);
        const RegistryValue<std::uint32_t> region = key->readNumber("Region");
        if (region.ok() && region.value <= 2) region_ = static_cast<Region>(region.value);
    }
    timer_.setInterval(kIntervalMs);
    connect(&timer_, &QTimer::timeout, this, &FocusAidsController::tick);
    worker_ = std::thread([this] { work(); });
    if (on_) timer_.start();
}

FocusAidsController::~FocusAidsController() {
    timer_.stop();
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    worker_.join();
    for (const QPointer<LiveTarget>& target : targets_)
        if (target) target->setExtraOverlayPainter(this, {});
}

void FocusAidsController::setOn(bool on) {
    if (on == on_) return;
    on_ = on;
    if (on_) {
        timer_.start();
        tick();
    } else {
        timer_.stop();
        reading_.reset();
        emit readingChanged();
    }
    save();
    repaintTargets();
    emit settingsChanged();
}

void FocusAidsController::setPeaking(bool on) {
    if (on == peaking_) return;
    peaking_ = on;
    if (!on && reading_) reading_->peaking = {};
    save();
    repaintTargets();
    emit settingsChanged();
}

void FocusAidsController::setRegion(Region region) {
    if (region == region_) return;
    region_ = region;
    // A value over another region is not comparable with the best so far.
    best_.reset();
    save();
    repaintTargets();
    emit settingsChanged();
    emit readingChanged();
}

void FocusAidsController::cycleRegion() {
    setRegion(region_ == Region::Centre ? Region::Spot
              : region_ == Region::Spot ? Region::Whole
                                        : Region::Centre);
}

QString FocusAidsController::regionName(Region region) {
    switch (region) {
        case Region::Spot:
            return QStringLiteral("SPOT");
        case Region::Whole:
            return QStringLiteral("WHOLE");
        default:
            return QStringLiteral("CENTRE");
    }
}

acquire::FrameRegion FocusAidsController::regionFor(int width, int height) const {
    switch (region_) {
        case Region::Whole:
            return {0, 0, width, height};
        case Region::Spot: {
            const int w = std::max(1, width / 5);
            const int h = std::max(1, height / 5);
            return {(width - w) / 2, (height - h) / 2, w, h};
        }
        default:
            return acquire::centreRegion(width, height);
    }
}

void FocusAidsController::resetBest() {
    best_.reset();
    if (reading_) best_.offer(reading_->focus);
    emit readingChanged();
}

void FocusAidsController::save() const {
    const std::optional<RegistryKey> key = storeAt(registryRoot_).createKey(kSettingsKey);
    if (!key) return;
    key->writeNumber("On", on_ ? 1 : 0);
    key->writeNumber("Peaking", peaking_ ? 1 : 0);
    key->writeNumber("Region", static_cast<std::uint32_t>(region_));
}

QSize FocusAidsController::peakingSize() const {
    for (const QPointer<LiveTarget>& target : targets_)
        if (target && target->isVisible() && !target->size().isEmpty()) return target->size();
    return fallbackPeakingSize_;
}

void FocusAidsController::tick() {
    if (!on_ || busy_ || !source_) return;
    FocusFrame frame = source_();
    if (!frame.view.valid()) return;
    Job job;
    job.request.region = regionFor(frame.view.width, frame.view.height);
    if (peaking_) {
        const QSize size = peakingSize();
        job.request.peakingWidth = size.width();
        job.request.peakingHeight = size.height();
    }
    job.frame = std::move(frame);
    busy_ = true;
    {
        std::lock_guard lock(mutex_);
        job_ = std::move(job);
    }
    wake_.notify_one();
}

void FocusAidsController::work() {
    for (;;) {
        Job job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || job_.has_value(); });
            if (stopping_) return;
            job = std::move(*job_);
            job_.reset();
        }
        auto reading = std::make_shared<acquire::FocusReading>(
            acquire::readFocus(job.frame.view, job.request));
        job.frame = {};
        // Handed over under the lock; only a notice crosses through the event queue, dropped
        // with this object if it goes first (the destructor joins this thread before that).
        {
            std::lock_guard lock(mutex_);
            finished_ = std::move(reading);
        }
        QMetaObject::invokeMethod(this, "takeFinishedReading", Qt::QueuedConnection);
    }
}

void FocusAidsController::takeFinishedReading() {
    std::shared_ptr<acquire::FocusReading> reading;
    {
        std::lock_guard lock(mutex_);
        reading = std::move(finished_);
    }
    if (reading) deliver(std::move(reading));
}

void FocusAidsController::deliver(std::shared_ptr<acquire::FocusReading> reading) {
    busy_ = false;
    ++readings_;
    if (!on_) return;
    if (!peaking_) reading->peaking = {};
    best_.offer(reading->focus);
    reading_ = std::move(*reading);
    if (peaking_) repaintTargets();
    emit readingChanged();
}

void FocusAidsController::readNow() {
    tick();
}

bool FocusAidsController::waitForReading(int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (busy_ && clock.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return !busy_;
}

void FocusAidsController::attachLive(LiveTarget* target) {
    if (!target) return;
    detachLive(target);
    targets_.emplace_back(target);
    target->setExtraOverlayPainter(
        this, [this](QImage& screen, QSize frameSize) { paintOver(screen, frameSize); });
}

void FocusAidsController::detachLive(LiveTarget* target) {
    targets_.erase(
        std::remove_if(targets_.begin(), targets_.end(),
                       [target](const QPointer<LiveTarget>& t) { return !t || t == target; }),
        targets_.end());
    if (target) target->setExtraOverlayPainter(this, {});
}

void FocusAidsController::repaintTargets() {
    for (const QPointer<LiveTarget>& target : targets_)
        if (target) target->update();
}

void FocusAidsController::paintOver(QImage& screen, QSize frameSize) const {
    if (!on_ || screen.isNull() || frameSize.isEmpty()) return;
    const QColor tint(palette::kAccent);
    if (peaking_ && reading_ && !reading_->peaking.edge.empty() &&
        screen.format() == QImage::Format_RGB32) {
        // The edges, tinted: each screen pixel takes the mask pixel at its place, so a mask
        // made for another panel size still lands where its edges are.
        const acquire::PeakingMask& mask = reading_->peaking;
        const int w = screen.width(), h = screen.height();
        const QRgb colour = tint.rgb();
        std::vector<int> columns(static_cast<std::size_t>(w));
        for (int x = 0; x < w; ++x)
            columns[static_cast<std::size_t>(x)] =
                static_cast<int>(static_cast<long long>(x) * mask.width / w);
        for (int y = 0; y < h; ++y) {
            const std::uint8_t* in =
                mask.edge.data() +
                static_cast<std::size_t>(static_cast<long long>(y) * mask.height / h) * mask.width;
            auto* out = reinterpret_cast<QRgb*>(screen.scanLine(y));
            for (int x = 0; x < w; ++x)
                if (in[columns[static_cast<std::size_t>(x)]]) out[x] = colour;
        }
    }
    // Corner marks around the measured region.
    const acquire::FrameRegion r = regionFor(frameSize.width(), frameSize.height());
    if (r.x == 0 && r.y == 0 && r.width == frameSize.width() && r.height == frameSize.height())
        return;
    const double sx = double(screen.width()) / frameSize.width();
    const double sy = double(screen.height()) / frameSize.height();
    const QRectF box(r.x * sx, r.y * sy, r.width * sx, r.height * sy);
    QPainter p(&screen);
    p.setRenderHint(QPainter::Antialiasing);
    QColor mark = tint;
    mark.setAlpha(200);
    p.setPen(QPen(mark, 1.5));
    const double arm = std::min({14.0, box.width() / 3, box.height() / 3});
    for (const QPointF& corner :
         {box.topLeft(), box.topRight(), box.bottomLeft(), box.bottomRight()}) {
        const double dx = corner.x() < box.center().x() ? arm : -arm;
        const double dy = corner.y() < box.center().y() ? arm : -arm;
        p.drawLine(corner, corner + QPointF(dx, 0));
        p.drawLine(corner, corner + QPointF(0, dy));
    }
}

}  // namespace qelvo
