#pragma once

// Helpers shared by the media layer tests.

#include <QCoreApplication>
#include <QThread>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "frames/GrabberCallback.h"

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

}  // namespace qelvo::test
