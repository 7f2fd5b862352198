#pragma once

// Helpers shared by the media layer tests.

#include <QCoreApplication>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "frames/GrabberCallback.h"
#include "media/MediaDevices.h"
#include "media/MediaGraph.h"
#include "support/VirtualCameras.h"
#include "support/WaitUntil.h"

namespace qelvo::test {

// Lets the graph stream for a while with the GUI alive.
inline void pump(int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(2);
    }
}

// Keeps what the grabber delivered: every frame's size, the latest frame whole.
class RecordingCallback : public GrabberCallback {
public:
    void BufferCB(double sampleTime, const std::uint8_t* buffer, std::size_t size) override {
        std::lock_guard<std::mutex> lock(mutex_);
        ++frames_;
        sizes_.push_back(size);
        times_.push_back(sampleTime);
        last_.assign(buffer, buffer + size);
        if (onFrame) onFrame();
    }
    std::size_t frames() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return frames_;
    }
    std::vector<std::size_t> sizes() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return sizes_;
    }
    std::vector<double> times() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return times_;
    }
    std::vector<std::uint8_t> last() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return last_;
    }
    std::function<void()> onFrame;  // set before the graph runs

private:
    mutable std::mutex mutex_;
    std::size_t frames_ = 0;
    std::vector<std::size_t> sizes_;
    std::vector<double> times_;
    std::vector<std::uint8_t> last_;
};

// A virtual device (given in the $QELVO_VIRTUAL_DEVICES form) streaming its capture output
// into a frame grabber and a null renderer, from construction on.
class GrabbedDevice {
public:
    explicit GrabbedDevice(const std::string& deviceText) : graph_(MediaGraph::create()) {
        ok_ = graph_ && bindVideoInput(virtualDevice(deviceText), source_) &&
              graph_->add(source_, "Cap") && createFrameGrabber(grabber_) &&
              graph_->add(grabber_, "Grabber") && createNullRenderer(sink_) &&
              graph_->add(sink_, "NULL renderer") &&
              graph_->renderStream(OutputCategory::Capture, source_, &grabber_, &sink_) &&
              graph_->connectedFormat(grabber_, format_) &&
              setGrabberCallback(grabber_, &callback_) && graph_->run();
    }
    ~GrabbedDevice() {
        if (graph_) graph_->stop();
        if (grabber_) setGrabberCallback(grabber_, nullptr);
    }
    bool ok() const { return ok_; }
    int width() const { return format_.width; }
    int height() const { return format_.height; }
    const MediaComponent& source() const { return source_; }

    // A frame delivered after this call, `skip` more frames let by first so that a change
    // made before has reached it (the capture output queues up to a second of frames, which a
    // device with live=0 fills at once): top-down B,G,R rows without padding; empty when none
    // came.
    std::vector<std::uint8_t> nextFrame(int skip = 40) {
        const std::size_t seen = callback_.frames();
        if (!waitUntil([&] { return callback_.frames() > seen + skip; })) return {};
        const std::vector<std::uint8_t> bottomUp = callback_.last();
        const std::size_t row = static_cast<std::size_t>(format_.width) * 3;
        const std::size_t padded = (row + 3) / 4 * 4;
        if (bottomUp.size() != padded * format_.height) return {};
        std::vector<std::uint8_t> frame(row * format_.height);
        for (int y = 0; y < format_.height; ++y)
            std::copy_n(bottomUp.data() + (format_.height - 1 - y) * padded, row,
                        frame.data() + y * row);
        return frame;
    }

private:
    std::unique_ptr<MediaGraph> graph_;
    MediaComponent source_, grabber_, sink_;
    RecordingCallback callback_;
    VideoFormat format_;
    bool ok_ = false;
};

}  // namespace qelvo::test
