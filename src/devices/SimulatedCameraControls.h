#pragma once

#include "devices/CameraControlBackend.h"

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace qelvo {

// The controls of a typical USB camera, kept in memory and coupled the way the camera's
// driver couples them: white balance, exposure and focus each have an automatic mode that
// makes its manual control inactive, and an inactive or out-of-range write is refused.
// Virtual devices offer it as their camera controls; tests use it as the device.
class SimulatedCameraControls : public CameraControlBackend {
public:
    SimulatedCameraControls();

    std::vector<CameraControlInfo> enumerate() override;
    bool flags(std::uint32_t id, std::uint32_t& flags) override;
    bool get(std::uint32_t id, std::int32_t& value, std::string& error) override;
    bool set(std::uint32_t id, std::int32_t value, std::string& error) override;
    bool deviceGone() const override;

    // Adds a control (appended; tests describe devices of their own with it).
    void add(CameraControlInfo info);
    // Makes the device refuse every write of a control (a failing call).
    void refuseWrites(std::uint32_t id);
    // The camera is unplugged: every call fails as it does for a vanished device.
    void unplug();
    std::int32_t value(std::uint32_t id) const;
    // Calls `f` with every control and its value now, then after every accepted write (on the
    // writing thread, with the controls locked: `f` must not call back).  Empty: no more calls.
    void onChange(std::function<void(const CameraControlInfo&, std::int32_t)> f);
    // Every value the device was sent, in order.
    std::vector<std::pair<std::uint32_t, std::int32_t>> writes() const;

private:
    std::uint32_t currentFlags(const CameraControlInfo& info) const;
    const CameraControlInfo* info(std::uint32_t id) const;

    mutable std::mutex mutex_;
    std::vector<CameraControlInfo> controls_;
    std::map<std::uint32_t, std::int32_t> values_;
    std::set<std::uint32_t> refused_;
    bool unplugged_ = false;
    std::function<void(const CameraControlInfo&, std::int32_t)> onChange_;
    std::vector<std::pair<std::uint32_t, std::int32_t>> writes_;
};

// The one simulated control set of a virtual device, shared by every opening of it in this
// run, as a real camera keeps its values while it stays plugged in.
std::shared_ptr<SimulatedCameraControls> simulatedCameraControlsOf(const std::string& deviceName);

}  // namespace qelvo
