#include "desktop/LiveTarget.h"

#include <QPaintEvent>
#include <QPainter>
#include <QtEndian>
#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <vector>

namespace qelvo {
namespace {

struct FrameBuffer {
    SharedPixels pixels;  // rows of `rowBytes`, bottom row first; read-only
    int width = 0;
    int height = 0;
    int rowBytes = 0;
    // The frame's size as handed in (copies larger than the panel are reduced).
    int sourceWidth = 0;
    int sourceHeight = 0;
};

}  // namespace

// Frames are shared read-only blocks: the submitting thread publishes one as `latest`, and
// paintEvent moves `latest` into `painting`.  Neither side ever waits for the other longer
// than that move.  A shared frame is kept as it is; a frame handed in as bytes is copied
// into a block of the target's own pool, which stops allocating once frames flow.
struct LiveTarget::Slot {
    std::mutex copyMutex;  // serialises copying submitters (a picture fed from two streams)
    FramePool copies{3};
    // Column map for copied frames larger than the panel (under copyMutex).
    std::vector<int> sampleColumns;
    int sampledFromWidth = -1;
    int sampledToWidth = -1;

    // The panel's size, for the submitting thread.
    std::atomic<int> viewWidth{0};
    std::atomic<int> viewHeight{0};

    std::mutex swapMutex;
    FrameBuffer latest;
    bool fresh = false;

    FrameBuffer painting;  // GUI thread only

    std::atomic<bool> repaintPending{false};
    std::atomic<std::uint64_t> submitted{0};
    std::atomic<std::uint64_t> requested{0};
    std::atomic<std::uint64_t> painted{0};

    // GUI thread only: the scaled picture and its column map, kept between paints.
    QImage scaled;
    std::vector<int> columnOffsets;
    int mappedSourceWidth = -1;
};

LiveTarget::LiveTarget(QWidget* parent) : QWidget(parent), slot_(new Slot) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    slot_->viewWidth.store(width());
    slot_->viewHeight.store(height());
}

void LiveTarget::resizeEvent(QResizeEvent* event) {
    slot_->viewWidth.store(width());
    slot_->viewHeight.store(height());
    QWidget::resizeEvent(event);
}

void LiveTarget::addRetiringObserver(const void* key, RetiringObserver observer) {
    for (auto& entry : retiringObservers_) {
        if (entry.first == key) {
            entry.second = std::move(observer);
            return;
        }
    }
    retiringObservers_.emplace_back(key, std::move(observer));
}

void LiveTarget::removeRetiringObserver(const void* key) {
    std::erase_if(retiringObservers_, [key](const auto& entry) { return entry.first == key; });
}

void LiveTarget::setPlaceholderText(const QString& text) {
    if (placeholder_ == text) return;
    placeholder_ = text;
    update();
}

LiveTarget::~LiveTarget() {
    // An observer removes itself while it is told; work on a copy.
    const auto observers = std::move(retiringObservers_);
    retiringObservers_.clear();
    for (const auto& entry : observers)
        if (entry.second) entry.second(this);
    delete slot_;
}

void LiveTarget::submitFrame(const std::uint8_t* bottomUpBgr, int width, int height, int stride) {
    if (!bottomUpBgr || width <= 0 || height <= 0 || stride < width * 3) return;
    copyFrame(bottomUpBgr, stride, width, height);
}

void LiveTarget::submitTopDownFrame(const std::uint8_t* topDownBgr, int width, int height,
                                    int stride) {
    if (!topDownBgr || width <= 0 || height <= 0 || stride < width * 3) return;
    // Walking the rows backwards from the last one stores them bottom-up in the same copy.
    copyFrame(topDownBgr + static_cast<std::ptrdiff_t>(stride) * (height - 1), -stride, width,
              height);
}

void LiveTarget::submitSharedFrame(const GrabbedFrame& frame) {
    const int rowBytes = static_cast<int>(frame.rowBytes());
    if (!frame.pixels || frame.width <= 0 || frame.height <= 0 ||
        frame.length < static_cast<std::size_t>(rowBytes) * frame.height ||
        frame.pixels->capacity() < frame.length)
        return;
    publish(frame.pixels, frame.width, frame.height, rowBytes, frame.width, frame.height);
}

void LiveTarget::copyFrame(const std::uint8_t* firstRow, std::ptrdiff_t step, int width,
                           int height) {
    SharedPixels pixels;
    int outW = width, outH = height;
    {
        std::lock_guard<std::mutex> copyLock(slot_->copyMutex);
        Slot& s = *slot_;
        // A frame larger than the panel is reduced here, by the same nearest samples the
        // paint would take: the copy then costs what the panel shows, not what the caller
        // hands in, and the picture painted is the same.
        const int viewW = s.viewWidth.load(std::memory_order_relaxed);
        const int viewH = s.viewHeight.load(std::memory_order_relaxed);
        outW = viewW > 0 && viewW < width ? viewW : width;
        outH = viewH > 0 && viewH < height ? viewH : height;
        const int rowBytes = outW * 3;
        std::shared_ptr<PixelBlock> block =
            s.copies.acquire(static_cast<std::size_t>(rowBytes) * outH);
        if (!block) return;  // no memory: this frame is skipped
        std::uint8_t* out = block->data();
        if (outW == width && outH == height) {
            if (step == rowBytes) {
                std::memcpy(out, firstRow, static_cast<std::size_t>(rowBytes) * outH);
            } else {
                for (int y = 0; y < height; ++y)
                    std::memcpy(out + static_cast<std::size_t>(rowBytes) * y, firstRow + step * y,
                                rowBytes);
            }
        } else {
            if (s.sampledFromWidth != width || s.sampledToWidth != outW) {
                s.sampleColumns.resize(outW);
                for (int x = 0; x < outW; ++x)
                    s.sampleColumns[x] =
                        static_cast<int>(static_cast<std::int64_t>(x) * width / outW) * 3;
                s.sampledFromWidth = width;
                s.sampledToWidth = outW;
            }
            const int* columns = s.sampleColumns.data();
            for (int j = 0; j < outH; ++j) {  // j counts from the bottom, as stored
                const int topRow =
                    static_cast<int>(static_cast<std::int64_t>(outH - 1 - j) * height / outH);
                const std::uint8_t* in = firstRow + step * (height - 1 - topRow);
                std::uint8_t* row = out + static_cast<std::size_t>(rowBytes) * j;
                for (int x = 0; x < outW; ++x, row += 3) {
                    const std::uint8_t* p = in + columns[x];
                    row[0] = p[0];
                    row[1] = p[1];
                    row[2] = p[2];
                }
            }
        }
        pixels = std::move(block);
    }
    publish(std::move(pixels), outW, outH, outW * 3, width, height);
}

void LiveTarget::publish(SharedPixels pixels, int width, int height, int rowBytes, int sourceWidth,
                         int sourceHeight) {
    FrameBuffer replaced;
    {
        std::lock_guard<std::mutex> swapLock(slot_->swapMutex);
        replaced = std::move(slot_->latest);
        slot_->latest =
            FrameBuffer{std::move(pixels), width, height, rowBytes, sourceWidth, sourceHeight};
        slot_->fresh = true;
    }
    // `replaced` lets go of the frame it held here, outside the lock.
    slot_->submitted.fetch_add(1, std::memory_order_relaxed);
    if (!slot_->repaintPending.exchange(true)) {
        slot_->requested.fetch_add(1, std::memory_order_relaxed);
        // Runs on the GUI thread; Qt drops it if this widget is gone by then.
        QMetaObject::invokeMethod(this, "handleRepaintRequest", Qt::QueuedConnection);
    }
}

void LiveTarget::handleRepaintRequest() {
    slot_->repaintPending.store(false);
    update();
}

void LiveTarget::clearFrame() {
    FrameBuffer dropped;
    {
        std::lock_guard<std::mutex> swapLock(slot_->swapMutex);
        dropped = std::move(slot_->latest);
        slot_->latest = FrameBuffer{};
        slot_->fresh = false;
    }
    slot_->painting = FrameBuffer{};
    update();
}

void LiveTarget::setOverlayPainter(OverlayPainter painter) {
    overlay_ = std::move(painter);
    update();
}

void LiveTarget::setExtraOverlayPainter(const void* key, OverlayPainter painter) {
    auto it = std::find_if(extraOverlays_.begin(), extraOverlays_.end(),
                           [key](const auto& entry) { return entry.first == key; });
    if (!painter) {
        if (it != extraOverlays_.end()) extraOverlays_.erase(it);
    } else if (it != extraOverlays_.end()) {
        it->second = std::move(painter);
    } else {
        extraOverlays_.emplace_back(key, std::move(painter));
    }
    update();
}

QImage LiveTarget::shownFrame() const {
    const FrameBuffer& f = slot_->painting;
    if (!f.pixels || f.width <= 0 || f.height <= 0) return {};
    QImage image(f.width, f.height, QImage::Format_RGB32);
    if (image.isNull()) return {};
    for (int y = 0; y < f.height; ++y) {
        const std::uint8_t* in =
            f.pixels->data() + static_cast<std::size_t>(f.rowBytes) * (f.height - 1 - y);
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < f.width; ++x, in += 3) out[x] = qRgb(in[2], in[1], in[0]);
    }
    return image;
}

LiveTarget::PaintedFrame LiveTarget::paintedFrame() const {
    const FrameBuffer& f = slot_->painting;
    if (!f.pixels) return {};
    return {f.pixels, f.width, f.height, f.rowBytes};
}

QSize LiveTarget::shownFrameSize() const {
    const FrameBuffer& f = slot_->painting;
    return f.pixels ? QSize(f.sourceWidth, f.sourceHeight) : QSize();
}

std::uint64_t LiveTarget::paintedFrames() const {
    return slot_->painted.load();
}

std::uint64_t LiveTarget::submittedFrames() const {
    return slot_->submitted.load();
}

std::uint64_t LiveTarget::requestedRepaints() const {
    return slot_->requested.load();
}

bool LiveTarget::repaintPending() const {
    return slot_->repaintPending.load();
}

const std::uint8_t* LiveTarget::newestFrameBytes() const {
    std::lock_guard<std::mutex> swapLock(slot_->swapMutex);
    const FrameBuffer& newest = slot_->fresh ? slot_->latest : slot_->painting;
    return newest.pixels ? newest.pixels->data() : nullptr;
}

void LiveTarget::paintEvent(QPaintEvent* event) {
    Slot& s = *slot_;
    FrameBuffer shown;
    {
        std::lock_guard<std::mutex> swapLock(s.swapMutex);
        if (s.fresh) {
            shown = std::move(s.latest);
            s.latest = FrameBuffer{};
            s.fresh = false;
        }
    }
    // The frame painted before goes back to whoever made it as soon as a newer one is here.
    if (shown.pixels) s.painting = std::move(shown);
    QPainter painter(this);
    const FrameBuffer& f = s.painting;
    const int outW = width(), outH = height();
    if (!f.pixels || f.width <= 0 || f.height <= 0 || outW <= 0 || outH <= 0) {
        painter.fillRect(event->rect(), palette().window());
        if (!placeholder_.isEmpty()) {
            painter.setPen(QColor(200, 200, 200));
            painter.drawText(rect(), Qt::AlignCenter | Qt::TextWordWrap, placeholder_);
        }
        return;
    }
    // Nearest-sample scaling straight from the 24-bit rows into a 32-bit picture of the
    // widget's size: the work follows the panel's size, not the frame's.
    if (s.scaled.size() != QSize(outW, outH)) {
        s.scaled = QImage(outW, outH, QImage::Format_RGB32);
        s.mappedSourceWidth = -1;
    }
    if (s.mappedSourceWidth != f.width) {
        s.columnOffsets.resize(outW);
        for (int x = 0; x < outW; ++x)
            s.columnOffsets[x] =
                static_cast<int>(static_cast<std::int64_t>(x) * f.width / outW) * 3;
        s.mappedSourceWidth = f.width;
    }
    const int* columns = s.columnOffsets.data();
    // Pixels before the last source column are read four bytes at a time: B,G,R and the next
    // pixel's first byte, which the opaque alpha overwrites.  Those on the last column may
    // sit at the very end of the block and are read a byte at a time.
    const int lastColumn = (f.width - 1) * 3;
    const int wide =
        static_cast<int>(std::lower_bound(columns, columns + outW, lastColumn) - columns);
    for (int y = 0; y < outH; ++y) {
        const int sourceRow = static_cast<int>(static_cast<std::int64_t>(y) * f.height / outH);
        const int memoryRow = f.height - 1 - sourceRow;
        const std::uint8_t* in =
            f.pixels->data() + static_cast<std::size_t>(f.rowBytes) * memoryRow;
        auto* out = reinterpret_cast<std::uint32_t*>(s.scaled.scanLine(y));
        for (int x = 0; x < wide; ++x) {
            std::uint32_t bgr;
            std::memcpy(&bgr, in + columns[x], 4);
            out[x] = 0xFF000000u | qFromLittleEndian(bgr);
        }
        for (int x = wide; x < outW; ++x) {
            const std::uint8_t* p = in + columns[x];
            out[x] = 0xFF000000u | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[1]} << 8) | p[0];
        }
    }
    if (overlay_) overlay_(s.scaled, QSize(f.sourceWidth, f.sourceHeight));
    for (const auto& [key, extra] : extraOverlays_)
        extra(s.scaled, QSize(f.sourceWidth, f.sourceHeight));
    painter.drawImage(0, 0, s.scaled);
    s.painted.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace qelvo
