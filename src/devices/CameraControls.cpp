#include "devices/CameraControls.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace qelvo {
namespace {

bool isMode(const CameraControlInfo& info) {
    return info.type == CameraControlType::Boolean || info.type == CameraControlType::Menu ||
           info.type == CameraControlType::IntegerMenu;
}

bool isMenu(const CameraControlInfo& info) {
    return info.type == CameraControlType::Menu || info.type == CameraControlType::IntegerMenu;
}

// What a driver reports, made safe to compute with: a 32-bit range the right way round, a
// positive step and a default inside the range.
CameraControlInfo sane(CameraControlInfo info) {
    constexpr std::int64_t kLow = std::numeric_limits<std::int32_t>::min();
    constexpr std::int64_t kHigh = std::numeric_limits<std::int32_t>::max();
    const std::int64_t a = std::clamp(info.minimum, kLow, kHigh);
    const std::int64_t b = std::clamp(info.maximum, kLow, kHigh);
    info.minimum = std::min(a, b);
    info.maximum = std::max(a, b);
    info.step = std::clamp<std::int64_t>(info.step, 1, info.maximum - info.minimum + 1);
    info.defaultValue = std::clamp(info.defaultValue, info.minimum, info.maximum);
    return info;
}

}  // namespace

bool CameraControl::editable() const {
    using namespace CameraControlFlag;
    return !isHeading() && !info.has(ReadOnly) && !info.has(Inactive) && !info.has(Grabbed);
}

std::int32_t CameraControls::fit(const CameraControlInfo& info, std::int64_t value) {
    // Values travel as 32 bits, so a range beyond that (or given backwards by a buggy driver)
    // is narrowed first; every step below then stays far from 64-bit overflow.
    constexpr std::int64_t kLow = std::numeric_limits<std::int32_t>::min();
    constexpr std::int64_t kHigh = std::numeric_limits<std::int32_t>::max();
    const std::int64_t a = std::clamp(info.minimum, kLow, kHigh);
    const std::int64_t b = std::clamp(info.maximum, kLow, kHigh);
    const std::int64_t lo = std::min(a, b);
    const std::int64_t hi = std::max(a, b);
    std::int64_t v = std::clamp(value, lo, hi);
    if (info.type == CameraControlType::Boolean) v = v != 0 ? std::min<std::int64_t>(1, hi) : lo;
    if (isMenu(info) && !info.menu.empty()) {
        // The offered item nearest to the value (menus may skip indices).
        const auto nearest =
            std::min_element(info.menu.begin(), info.menu.end(), [v](const auto& a, const auto& b) {
                return std::llabs(a.index - v) < std::llabs(b.index - v);
            });
        v = std::clamp(nearest->index, lo, hi);
    } else if (info.type == CameraControlType::Integer && info.step > 1) {
        // A step wider than the range leaves only the minimum.
        const std::int64_t step = std::min(info.step, hi - lo + 1);
        const std::int64_t steps = (v - lo + step / 2) / step;
        v = lo + steps * step;
        if (v > hi) v -= step;
    }
    return static_cast<std::int32_t>(v);
}

bool CameraControls::isKept(const CameraControlInfo& info) {
    using namespace CameraControlFlag;
    return info.type != CameraControlType::Button && info.type != CameraControlType::ClassHeading &&
           !info.has(ReadOnly) && !info.has(Volatile);
}

void CameraControls::load() {
    controls_.clear();
    for (CameraControlInfo& info : backend_.enumerate()) {
        CameraControl control;
        control.info = sane(std::move(info));
        readValue(control);
        controls_.push_back(std::move(control));
    }
}

void CameraControls::readValue(CameraControl& control) {
    using namespace CameraControlFlag;
    control.valueKnown = false;
    if (control.isHeading() || control.info.type == CameraControlType::Button ||
        control.info.has(WriteOnly))
        return;
    std::string ignored;
    std::int32_t value = 0;
    if (backend_.get(control.info.id, value, ignored)) {
        control.value = value;
        control.valueKnown = true;
    }
}

void CameraControls::refresh() {
    for (CameraControl& control : controls_) {
        if (control.isHeading()) continue;
        std::uint32_t flags = 0;
        if (backend_.flags(control.info.id, flags)) control.info.flags = flags;
        readValue(control);
    }
}

const CameraControl* CameraControls::find(std::uint32_t id) const {
    for (const CameraControl& control : controls_)
        if (control.info.id == id && !control.isHeading()) return &control;
    return nullptr;
}

CameraControl* CameraControls::findMutable(std::uint32_t id) {
    return const_cast<CameraControl*>(find(id));
}

bool CameraControls::send(CameraControl& control, std::int64_t value, bool chosen,
                          std::string& error) {
    const std::int32_t fitted =
        control.info.type == CameraControlType::Button ? 1 : fit(control.info, value);
    const std::uint32_t id = control.info.id;
    const bool ok = backend_.set(id, fitted, error);
    if (ok && chosen && onChosen && isKept(control.info)) onChosen(id, fitted);
    return ok;
}

bool CameraControls::set(std::uint32_t id, std::int64_t value, std::string& error) {
    CameraControl* control = findMutable(id);
    if (!control) {
        error = "the device has no such control";
        return false;
    }
    const bool ok = send(*control, value, true, error);
    refresh();
    return ok;
}

bool CameraControls::sendAll(
    const std::function<bool(const CameraControl&, std::int64_t&)>& valueOf, bool chosen,
    std::string& error) {
    bool allOk = true;
    for (bool modes : {true, false}) {
        for (CameraControl& control : controls_) {
            if (control.isHeading() || isMode(control.info) != modes) continue;
            if (control.info.type == CameraControlType::Button || !control.editable()) continue;
            std::int64_t value = 0;
            if (!valueOf(control, value)) continue;
            std::string why;
            if (!send(control, value, chosen, why) && allOk) {
                allOk = false;
                error = control.info.name + ": " + why;
            }
        }
        // The modes just sent decide which manual controls are still the operator's.
        refresh();
    }
    return allOk;
}

bool CameraControls::resetToDefaults(std::string& error) {
    return sendAll(
        [](const CameraControl& control, std::int64_t& value) {
            value = control.info.defaultValue;
            return true;
        },
        true, error);
}

bool CameraControls::applyStored(const std::map<std::uint32_t, std::int32_t>& values,
                                 std::string& error) {
    return sendAll(
        [&values](const CameraControl& control, std::int64_t& value) {
            if (!isKept(control.info)) return false;
            const auto it = values.find(control.info.id);
            if (it == values.end()) return false;
            value = it->second;
            return true;
        },
        false, error);
}

}  // namespace qelvo
