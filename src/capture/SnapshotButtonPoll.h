#pragma once

#include <functional>

#include "capture/BridgeHandle.h"
#include "capture/DriverSettings.h"

namespace qelvo {

// The working windows' snapshot-button timers.  Each tick handler returns true when the
// device's button was pressed; the window then raises its snapshot request.
inline constexpr int kChipButtonTimerId = 10000;
inline constexpr int kDriverButtonTimerId = 11000;
inline constexpr int kButtonPollPeriodMs = 50;

// Chip family (timer 10000): bit 0x20 of the bridge chip's register 0x0C.
class ChipSnapshotButtonPoll {
public:
    // `handle` gives the current bridge handle, or null when there is none.
    explicit ChipSnapshotButtonPoll(std::function<BridgeHandle*()> handle = bridgeHandle)
        : handle_(std::move(handle)) {}

    bool onTimer() const {
        BridgeHandle* handle = handle_ ? handle_() : nullptr;
        // Only 1 is a press: a closed handle answers 6.
        return handle && handle->poll_snapshot_button() == 1;
    }

private:
    std::function<BridgeHandle*()> handle_;
};

// Microscope family (timer 11000): the driver's "SnapShotState" in the registry.
class DriverSnapshotButtonPoll {
public:
    explicit DriverSnapshotButtonPoll(RegistryStore store = RegistryStore())
        : settings_(std::move(store)) {}

    // `microscopeFamily` is the pipeline's flag; `registryDeviceIndex` its key index, -1
    // until found.  While the index is unknown a tick only searches for it (and keeps what
    // it finds); once known, the index is kept and only polled.
    bool onTimer(int microscopeFamily, int& registryDeviceIndex) const;

private:
    DriverSettings settings_;
};

// Both polls behind one timer handler.  A window's timer handler does:
//     int index = pipeline.registryDeviceIndex();
//     if (polls.onTimer(id, pipeline.microscopeFamily(), index)) <its snapshot request>;
//     pipeline.setRegistryDeviceIndex(index);
class SnapshotButtonPolls {
public:
    SnapshotButtonPolls() = default;
    SnapshotButtonPolls(ChipSnapshotButtonPoll chip, DriverSnapshotButtonPoll driver)
        : chip_(std::move(chip)), driver_(std::move(driver)) {}

    // True when `timerId` is one of the two button timers and its poll saw a press.
    bool onTimer(int timerId, int microscopeFamily, int& registryDeviceIndex) const {
        if (timerId == kChipButtonTimerId) return chip_.onTimer();
        if (timerId == kDriverButtonTimerId)
            return driver_.onTimer(microscopeFamily, registryDeviceIndex);
        return false;
    }

private:
    ChipSnapshotButtonPoll chip_;
    DriverSnapshotButtonPoll driver_;
};

}  // namespace qelvo
