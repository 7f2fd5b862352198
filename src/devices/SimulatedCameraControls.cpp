#include "devices/SimulatedCameraControls.h"

#include <linux/videodev2.h>

#include <algorithm>

#include "media/VirtualLens.h"

namespace qelvo {
namespace {

CameraControlInfo control(std::uint32_t id, CameraControlType type, const char* name,
                          std::int64_t minimum, std::int64_t maximum, std::int64_t step,
                          std::int64_t defaultValue, std::vector<CameraControlMenuItem> menu = {}) {
    CameraControlInfo info;
    info.id = id;
    info.type = type;
    info.name = name;
    info.minimum = minimum;
    info.maximum = maximum;
    info.step = step;
    info.defaultValue = defaultValue;
    info.menu = std::move(menu);
    return info;
}

CameraControlInfo heading(std::uint32_t id, const char* name) {
    CameraControlInfo info = control(id, CameraControlType::ClassHeading, name, 0, 0, 0, 0);
    info.flags = CameraControlFlag::ReadOnly | V4L2_CTRL_FLAG_WRITE_ONLY;
    return info;
}

// Which manual control each automatic mode takes over, and the mode value that leaves it
// to the operator.
struct Coupling {
    std::uint32_t mode;
    std::uint32_t manual;
    std::int32_t manualWhen;
};
constexpr Coupling kCouplings[] = {
    {V4L2_CID_AUTO_WHITE_BALANCE, V4L2_CID_WHITE_BALANCE_TEMPERATURE, 0},
    {V4L2_CID_EXPOSURE_AUTO, V4L2_CID_EXPOSURE_ABSOLUTE, V4L2_EXPOSURE_MANUAL},
    {V4L2_CID_FOCUS_AUTO, V4L2_CID_FOCUS_ABSOLUTE, 0},
};

}  // namespace

SimulatedCameraControls::SimulatedCameraControls() {
    using T = CameraControlType;
    add(heading(V4L2_CTRL_CLASS_USER | 1, "User Controls"));
    add(control(V4L2_CID_BRIGHTNESS, T::Integer, "Brightness", -64, 64, 1, 0));
    add(control(V4L2_CID_CONTRAST, T::Integer, "Contrast", 0, 64, 1, 32));
    add(control(V4L2_CID_SATURATION, T::Integer, "Saturation", 0, 128, 1, 64));
    add(control(V4L2_CID_AUTO_WHITE_BALANCE, T::Boolean, "White Balance, Automatic", 0, 1, 1, 1));
    add(control(V4L2_CID_GAIN, T::Integer, "Gain", 0, 100, 1, 0));
    add(control(V4L2_CID_POWER_LINE_FREQUENCY, T::Menu, "Power Line Frequency", 0, 2, 1, 1,
                {{0, "Disabled"}, {1, "50 Hz"}, {2, "60 Hz"}}));
    add(control(V4L2_CID_WHITE_BALANCE_TEMPERATURE, T::Integer, "White Balance Temperature", 2800,
                6500, 10, 4600));
    add(control(V4L2_CID_SHARPNESS, T::Integer, "Sharpness", 0, 6, 1, 3));
    add(control(V4L2_CID_BACKLIGHT_COMPENSATION, T::Integer, "Backlight Compensation", 0, 2, 1, 1));
    add(heading(V4L2_CTRL_CLASS_CAMERA | 1, "Camera Controls"));
    add(control(V4L2_CID_EXPOSURE_AUTO, T::Menu, "Auto Exposure", 0, 3, 1,
                V4L2_EXPOSURE_APERTURE_PRIORITY,
                {{V4L2_EXPOSURE_MANUAL, "Manual Mode"},
                 {V4L2_EXPOSURE_APERTURE_PRIORITY, "Aperture Priority Mode"}}));
    add(control(V4L2_CID_EXPOSURE_ABSOLUTE, T::Integer, "Exposure Time, Absolute", 3, 2047, 1,
                250));
    add(control(V4L2_CID_FOCUS_ABSOLUTE, T::Integer, "Focus, Absolute", 0, 250, 5, 0));
    add(control(V4L2_CID_FOCUS_AUTO, T::Boolean, "Focus, Automatic Continuous", 0, 1, 1, 1));
    add(control(V4L2_CID_ZOOM_ABSOLUTE, T::Integer, "Zoom, Absolute", 100, 500, 1, 100));
    add(control(V4L2_CID_PAN_ABSOLUTE, T::Integer, "Pan, Absolute", -36000, 36000, 3600, 0));
    add(control(V4L2_CID_TILT_ABSOLUTE, T::Integer, "Tilt, Absolute", -36000, 36000, 3600, 0));
}

void SimulatedCameraControls::onChange(
    std::function<void(const CameraControlInfo&, std::int32_t)> f) {
    std::lock_guard lock(mutex_);
    onChange_ = std::move(f);
    if (!onChange_) return;
    for (const CameraControlInfo& c : controls_) onChange_(c, values_[c.id]);
}

void SimulatedCameraControls::add(CameraControlInfo info) {
    std::lock_guard lock(mutex_);
    values_[info.id] = static_cast<std::int32_t>(info.defaultValue);
    controls_.push_back(std::move(info));
}

const CameraControlInfo* SimulatedCameraControls::info(std::uint32_t id) const {
    for (const CameraControlInfo& c : controls_)
        if (c.id == id) return &c;
    return nullptr;
}

std::uint32_t SimulatedCameraControls::currentFlags(const CameraControlInfo& info) const {
    std::uint32_t flags = info.flags & ~CameraControlFlag::Inactive;
    for (const Coupling& c : kCouplings) {
        if (c.mode == info.id) flags |= CameraControlFlag::Update;
        const auto mode = values_.find(c.mode);
        if (c.manual == info.id && mode != values_.end() && mode->second != c.manualWhen)
            flags |= CameraControlFlag::Inactive;
    }
    return flags;
}

std::vector<CameraControlInfo> SimulatedCameraControls::enumerate() {
    std::lock_guard lock(mutex_);
    std::vector<CameraControlInfo> all;
    if (unplugged_) return all;
    for (const CameraControlInfo& c : controls_) {
        if (c.has(CameraControlFlag::Disabled)) continue;
        all.push_back(c);
        all.back().flags = currentFlags(c);
    }
    return all;
}

bool SimulatedCameraControls::flags(std::uint32_t id, std::uint32_t& flags) {
    std::lock_guard lock(mutex_);
    const CameraControlInfo* c = info(id);
    if (!c || unplugged_) return false;
    flags = currentFlags(*c);
    return true;
}

bool SimulatedCameraControls::get(std::uint32_t id, std::int32_t& value, std::string& error) {
    std::lock_guard lock(mutex_);
    if (unplugged_) {
        error = "No such device";
        return false;
    }
    const CameraControlInfo* c = info(id);
    if (!c || c->type == CameraControlType::ClassHeading) {
        error = "Invalid argument";
        return false;
    }
    value = values_[id];
    return true;
}

bool SimulatedCameraControls::set(std::uint32_t id, std::int32_t value, std::string& error) {
    std::lock_guard lock(mutex_);
    if (unplugged_) {
        error = "No such device";
        return false;
    }
    writes_.emplace_back(id, value);
    const CameraControlInfo* c = info(id);
    if (!c || c->type == CameraControlType::ClassHeading) {
        error = "Invalid argument";
        return false;
    }
    const std::uint32_t flags = currentFlags(*c);
    if (refused_.count(id) || (flags & CameraControlFlag::ReadOnly)) {
        error = "Input/output error";
        return false;
    }
    if (flags & (CameraControlFlag::Inactive | CameraControlFlag::Grabbed)) {
        error = "Permission denied";  // an automatic mode owns it
        return false;
    }
    const bool offered =
        c->menu.empty() || std::any_of(c->menu.begin(), c->menu.end(),
                                       [value](const auto& item) { return item.index == value; });
    const bool inRange = c->type == CameraControlType::Button ||  // any value presses it
                         (value >= c->minimum && value <= c->maximum);
    if (!inRange || !offered) {
        error = "Numerical result out of range";
        return false;
    }
    if (c->type != CameraControlType::Button) values_[id] = value;
    if (onChange_) onChange_(*c, value);
    return true;
}

void SimulatedCameraControls::refuseWrites(std::uint32_t id) {
    std::lock_guard lock(mutex_);
    refused_.insert(id);
}

void SimulatedCameraControls::unplug() {
    std::lock_guard lock(mutex_);
    unplugged_ = true;
}

bool SimulatedCameraControls::deviceGone() const {
    std::lock_guard lock(mutex_);
    return unplugged_;
}

std::int32_t SimulatedCameraControls::value(std::uint32_t id) const {
    std::lock_guard lock(mutex_);
    const auto it = values_.find(id);
    return it == values_.end() ? 0 : it->second;
}

std::vector<std::pair<std::uint32_t, std::int32_t>> SimulatedCameraControls::writes() const {
    std::lock_guard lock(mutex_);
    return writes_;
}

std::shared_ptr<SimulatedCameraControls> simulatedCameraControlsOf(const std::string& deviceName) {
    static std::mutex mutex;
    static std::map<std::string, std::shared_ptr<SimulatedCameraControls>> devices;
    std::lock_guard lock(mutex);
    auto& device = devices[deviceName];
    if (!device) {
        device = std::make_shared<SimulatedCameraControls>();
        // The lens of a virtual device showing a specimen follows its focus, pan and tilt.
        device->onChange([deviceName](const CameraControlInfo& c, std::int32_t value) {
            const auto lens = [&](VirtualLensControl which) {
                setVirtualLensControl(deviceName, which, value, static_cast<int>(c.minimum),
                                      static_cast<int>(c.maximum));
            };
            switch (c.id) {
                case V4L2_CID_FOCUS_AUTO:
                    lens(VirtualLensControl::AutoFocus);
                    break;
                case V4L2_CID_FOCUS_ABSOLUTE:
                    lens(VirtualLensControl::Focus);
                    break;
                case V4L2_CID_PAN_ABSOLUTE:
                    lens(VirtualLensControl::Pan);
                    break;
                case V4L2_CID_TILT_ABSOLUTE:
                    lens(VirtualLensControl::Tilt);
                    break;
                default:
                    break;
            }
        });
    }
    return device;
}

}  // namespace qelvo
