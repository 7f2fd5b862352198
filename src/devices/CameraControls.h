#pragma once

#include "devices/CameraControlBackend.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace qelvo {

// One control as the settings page shows it: what the driver says about it and the value the
// device reports.
struct CameraControl {
    CameraControlInfo info;
    std::int32_t value = 0;
    bool valueKnown = false;  // false for buttons, write-only controls and failed reads

    bool isHeading() const { return info.type == CameraControlType::ClassHeading; }
    // Whether the operator may change it now (an automatic mode, a lock or a read-only
    // control greys it out).
    bool editable() const;
};

// The controls of one device over a control backend.  Every value sent is fitted to the
// control's range and step first; after every change all flags and values are read again,
// so a manual control that an automatic mode takes over shows that at once.
class CameraControls {
public:
    explicit CameraControls(CameraControlBackend& backend) : backend_(backend) {}

    // Reads the device's controls and their values.
    void load();
    const std::vector<CameraControl>& controls() const { return controls_; }
    const CameraControl* find(std::uint32_t id) const;
    // Whether the camera went away (unplugged) since the controls were read.
    bool deviceGone() const { return backend_.deviceGone(); }

    // Sends one value; false with `error` when the device refuses it (the control then
    // holds what the device reports).  A successful change of a kept control is reported
    // to `onChosen`.
    bool set(std::uint32_t id, std::int64_t value, std::string& error);
    // Every control back to its default, automatic modes first so the manual controls they
    // leave in charge are set too.
    bool resetToDefaults(std::string& error);
    // Sends stored values the same way, without reporting them as chosen.  Controls the
    // device does not offer are skipped; controls an automatic mode decides are left to it.
    bool applyStored(const std::map<std::uint32_t, std::int32_t>& values, std::string& error);
    // Reads every control's flags and value again.
    void refresh();

    // The nearest value the control accepts: inside its range, on its step, an offered item.
    static std::int32_t fit(const CameraControlInfo& info, std::int64_t value);
    // Whether a value of this control is worth keeping for the next time the device opens.
    static bool isKept(const CameraControlInfo& info);

    std::function<void(std::uint32_t id, std::int32_t value)> onChosen;

private:
    CameraControl* findMutable(std::uint32_t id);
    bool send(CameraControl& control, std::int64_t value, bool chosen, std::string& error);
    // Sends a value per control in two rounds (modes, then the rest still active).
    bool sendAll(const std::function<bool(const CameraControl&, std::int64_t&)>& valueOf,
                 bool chosen, std::string& error);
    void readValue(CameraControl& control);

    CameraControlBackend& backend_;
    std::vector<CameraControl> controls_;
};

}  // namespace qelvo
