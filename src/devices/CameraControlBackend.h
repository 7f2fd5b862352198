#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qelvo {

// The kinds of camera control the settings page can show.  Class entries are headings
// ("User Controls", "Camera Controls") that group the controls after them.
enum class CameraControlType { Integer, Boolean, Menu, IntegerMenu, Button, ClassHeading };

// Control flags, with the values the kernel's video interface gives them.
namespace CameraControlFlag {
inline constexpr std::uint32_t Disabled = 0x0001;
inline constexpr std::uint32_t Grabbed = 0x0002;  // locked while another setting holds it
inline constexpr std::uint32_t ReadOnly = 0x0004;
inline constexpr std::uint32_t Update = 0x0008;    // changing it may change other controls
inline constexpr std::uint32_t Inactive = 0x0010;  // decided by an automatic mode
inline constexpr std::uint32_t WriteOnly = 0x0040;
inline constexpr std::uint32_t Volatile = 0x0080;
}  // namespace CameraControlFlag

struct CameraControlMenuItem {
    std::int64_t index = 0;
    std::string label;  // the item's name, or its number for an integer menu
};

struct CameraControlInfo {
    std::uint32_t id = 0;
    CameraControlType type = CameraControlType::Integer;
    std::string name;
    std::int64_t minimum = 0;
    std::int64_t maximum = 0;
    std::int64_t step = 1;
    std::int64_t defaultValue = 0;
    std::uint32_t flags = 0;
    std::vector<CameraControlMenuItem> menu;  // menus: the items the driver names

    bool has(std::uint32_t flag) const { return (flags & flag) != 0; }
};

// Access to a device's controls.  Implemented over the kernel's control calls on a handle
// of its own, so it works while the stream runs; tests inject their own.
class CameraControlBackend {
public:
    virtual ~CameraControlBackend() = default;
    // Every control the device offers, in the driver's order, class headings included and
    // disabled controls left out.  Empty when the device offers none or cannot be asked.
    virtual std::vector<CameraControlInfo> enumerate() = 0;
    // The current flags of one control (they change when an automatic mode is switched).
    virtual bool flags(std::uint32_t id, std::uint32_t& flags) = 0;
    virtual bool get(std::uint32_t id, std::int32_t& value, std::string& error) = 0;
    virtual bool set(std::uint32_t id, std::int32_t value, std::string& error) = 0;
    // True once the device has gone away (unplugged): every call fails from then on.
    virtual bool deviceGone() const { return false; }
};

// Opens `devicePath` a second time for its controls.  Null with `error` set when the device
// cannot be opened.
std::unique_ptr<CameraControlBackend> openV4l2ControlBackend(const std::string& devicePath,
                                                             std::string& error);

}  // namespace qelvo
