#pragma once
#include <atomic>
#include <functional>
#include <string>

namespace qelvo::combine {

// The error text of a job that stopped because it was cancelled (nothing was written).
inline constexpr char kCancelled[] = "cancelled";
// The error text of a job whose pictures need more memory than it could have.
inline constexpr char kNoMemory[] = "not enough memory for pictures this large";

// How a long combining job tells its caller how far it is, and learns that it should stop.
// Both are optional; `report` is called on the working thread, so a window hands it on to its
// own thread.  Work checks `cancelRequested()` between steps and returns without output when
// it is set.
struct CombineProgress {
    std::function<void(double fraction, const std::string& stage)> report;
    const std::atomic<bool>* cancel = nullptr;

    bool cancelRequested() const { return cancel && cancel->load(std::memory_order_relaxed); }
    void step(double fraction, const std::string& stage) const {
        if (report) report(fraction, stage);
    }
};

}  // namespace qelvo::combine
