#include "platform/LiveTarget.h"

#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <vector>

namespace qelvo {
namespace {

struct FrameBuffer {
    std::vector<std::uint8_t> pixels;  // rows of `rowBytes`, bottom row first
    int width = 0;
    int height = 0;
    int rowBytes = 0;
};

}  // namespace

// Three buffers: the submitting thread fills `writing` without holding the slot lock, then
// swaps it with `latest`; paintEvent swaps `latest` into `painting`.  Neither side ever waits
// for the other longer than a swap, and after the first frames no buffer is reallocated.
struct LiveTarget::Slot {
    std::mutex writeMutex;  // serialises submitters (a picture fed from two streams)
    FrameBuffer writing;
    // Column map for frames larger than the panel (under writeMutex).
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

namespace {
std::atomic<LiveTarget::RetiringHook> retiringHook{nullptr};
}  // namespace

void LiveTarget::setRetiringHook(RetiringHook hook) {
    retiringHook.store(hook);
}

LiveTarget::~LiveTarget() {
    if (RetiringHook hook = retiringHook.load()) hook(this);
    delete slot_;
}

void LiveTarget::submitFrame(const std::uint8_t* bottomUpBgr, int width, int height, int stride) {
    if (!bottomUpBgr || width <= 0 || height <= 0 || stride < width * 3) return;
    storeFrame(bottomUpBgr, stride, width, height);
}

void LiveTarget::submitTopDownFrame(const std::uint8_t* topDownBgr, int width, int height,
                                    int stride) {
    if (!topDownBgr || width <= 0 || height <= 0 || stride < width * 3) return;
    // Walking the rows backwards from the last one stores them bottom-up in the same copy.
    storeFrame(topDownBgr + static_cast<std::ptrdiff_t>(stride) * (height - 1), -stride, width,
               height);
}

void LiveTarget::storeFrame(const std::uint8_t* firstRow, std::ptrdiff_t step, int width,
                            int height) {
    {
        std::lock_guard<std::mutex> writeLock(slot_->writeMutex);
        Slot& s = *slot_;
        FrameBuffer& w = s.writing;
        // A frame larger than the panel is reduced here, by the same nearest samples the
        // paint would take: the copy then costs what the panel shows, not what the camera
        // delivers, and the picture painted is the same.
        const int viewW = s.viewWidth.load(std::memory_order_relaxed);
        const int viewH = s.viewHeight.load(std::memory_order_relaxed);
        const int outW = viewW > 0 && viewW < width ? viewW : width;
        const int outH = viewH > 0 && viewH < height ? viewH : height;
        const int rowBytes = outW * 3;
        const std::size_t size = static_cast<std::size_t>(rowBytes) * outH;
        if (w.pixels.size() < size) w.pixels.resize(size);
        if (outW == width && outH == height) {
            if (step == rowBytes) {
                std::memcpy(w.pixels.data(), firstRow, size);
            } else {
                for (int y = 0; y < height; ++y)
                    std::memcpy(w.pixels.data() + static_cast<std::size_t>(rowBytes) * y,
                                firstRow + step * y, rowBytes);
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
                std::uint8_t* out = w.pixels.data() + static_cast<std::size_t>(rowBytes) * j;
                for (int x = 0; x < outW; ++x, out += 3) {
                    const std::uint8_t* p = in + columns[x];
                    out[0] = p[0];
                    out[1] = p[1];
                    out[2] = p[2];
                }
            }
        }
        w.width = outW;
        w.height = outH;
        w.rowBytes = rowBytes;
        std::lock_guard<std::mutex> swapLock(slot_->swapMutex);
        std::swap(slot_->writing, slot_->latest);
        slot_->fresh = true;
    }
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
    {
        std::lock_guard<std::mutex> swapLock(slot_->swapMutex);
        slot_->latest.width = slot_->latest.height = 0;
        slot_->fresh = false;
    }
    slot_->painting.width = slot_->painting.height = 0;
    update();
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

void LiveTarget::paintEvent(QPaintEvent* event) {
    Slot& s = *slot_;
    {
        std::lock_guard<std::mutex> swapLock(s.swapMutex);
        if (s.fresh) {
            std::swap(s.latest, s.painting);
            s.fresh = false;
        }
    }
    QPainter painter(this);
    const FrameBuffer& f = s.painting;
    const int outW = width(), outH = height();
    if (f.width <= 0 || f.height <= 0 || outW <= 0 || outH <= 0) {
        painter.fillRect(event->rect(), palette().window());
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
    for (int y = 0; y < outH; ++y) {
        const int sourceRow = static_cast<int>(static_cast<std::int64_t>(y) * f.height / outH);
        const int memoryRow = f.height - 1 - sourceRow;
        const std::uint8_t* in = f.pixels.data() + static_cast<std::size_t>(f.rowBytes) * memoryRow;
        auto* out = reinterpret_cast<std::uint32_t*>(s.scaled.scanLine(y));
        for (int x = 0; x < outW; ++x) {
            const std::uint8_t* p = in + columns[x];
            out[x] = 0xFF000000u | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[1]} << 8) | p[0];
        }
    }
    painter.drawImage(0, 0, s.scaled);
    s.painted.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace qelvo
