#include "simulated/VirtualDevice.h"

#include <charconv>
#include <sstream>

namespace qelvo {
namespace {

bool readInt(const std::string& text, std::int64_t& out) {
    std::int64_t value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end) return false;
    out = value;
    return true;
}

bool readFlag(const std::string& value, bool& out) {
    if (value.empty() || value == "1") {  // a bare flag means on
        out = true;
        return true;
    }
    if (value == "0") {
        out = false;
        return true;
    }
    return false;
}

bool readSize(const std::string& text, int& width, int& height) {
    const auto x = text.find_first_of("xX");
    if (x == std::string::npos) return false;
    std::int64_t w = 0, h = 0;
    if (!readInt(text.substr(0, x), w) || !readInt(text.substr(x + 1), h)) return false;
    // Even sizes only keep every pixel format the pipeline may pick valid; 8K is plenty.
    if (w < 2 || h < 2 || w > 8192 || h > 8192) return false;
    width = static_cast<int>(w);
    height = static_cast<int>(h);
    return true;
}

// A plain decimal number such as "12", "0.5" or ".75" (no sign, exponent or spaces).
bool readDecimal(const std::string& text, double& out) {
    if (text.empty() || text.size() > 16) return false;
    double value = 0.0;
    const char* end = text.data() + text.size();
    if (text.find_first_not_of("0123456789.") != std::string::npos) return false;
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end) return false;
    out = value;
    return true;
}

bool isPatternName(const std::string& name) {
    if (name.empty() || name.size() > 32) return false;
    for (char c : name)
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-')) return false;
    return true;
}

}  // namespace

VirtualDeviceOptions parseVirtualDeviceOptions(const VirtualDeviceEntry& entry) {
    VirtualDeviceOptions o;
    for (const auto& [key, value] : entry.options) {
        std::int64_t n = 0;
        if (key == "size") {
            readSize(value, o.width, o.height);
        } else if (key == "fps") {
            if (readInt(value, n) && n >= 1 && n <= 240) o.fps = static_cast<int>(n);
        } else if (key == "hd") {
            readFlag(value, o.acceptsHd);
        } else if (key == "still") {
            readFlag(value, o.hasStill);
        } else if (key == "nocapture") {
            bool flag = false;
            if (readFlag(value, flag)) o.hasCapture = !flag;
        } else if (key == "stopafter") {
            if (readInt(value, n) && n >= 0) o.stopAfter = n;
        } else if (key == "delay") {
            if (readInt(value, n) && n >= 0 && n <= 60000) o.startDelayMs = static_cast<int>(n);
        } else if (key == "exclusive") {
            readFlag(value, o.exclusive);
        } else if (key == "opendelay") {
            if (readInt(value, n) && n >= 0 && n <= 60000) o.openDelayMs = static_cast<int>(n);
        } else if (key == "unplug") {
            readFlag(value, o.unplugError);
        } else if (key == "live") {
            readFlag(value, o.live);
        } else if (key == "pattern") {
            if (isPatternName(value)) o.pattern = value;
        } else if (key == "motion") {
            if (readInt(value, n) && n >= -64 && n <= 64) o.motion = static_cast<int>(n);
        } else if (key == "overlay") {
            readFlag(value, o.overlay);
        } else if (key == "controls") {
            readFlag(value, o.cameraControls);
        } else if (key == "specimen") {
            if (!value.empty() && value.size() <= 4096 && value.find('\0') == std::string::npos)
                o.specimen = value;
        } else if (key == "noise") {
            double d = 0;
            if (readDecimal(value, d) && d <= 40.0) o.noise = d;
        } else if (key == "vignette") {
            double d = 0;
            if (readDecimal(value, d) && d <= 1.0) o.vignette = d;
        } else if (key == "dark") {
            if (readInt(value, n) && n >= 0 && n <= 255) o.dark = static_cast<int>(n);
        } else if (key == "focus") {
            if (readInt(value, n) && n >= 0 && n <= 100000) o.focus = static_cast<int>(n);
        }
    }
    return o;
}

std::string virtualSourceLaunchDescription(const VirtualDeviceOptions& o) {
    std::ostringstream s;
    s << "videotestsrc is-live=" << (o.live ? "true" : "false") << " pattern=" << o.pattern
      << " horizontal-speed=" << o.motion << " ! video/x-raw,format=BGR,width=" << o.width
      << ",height=" << o.height << ",framerate=" << o.fps << "/1";
    if (o.overlay) s << " ! clockoverlay time-format=\"%H:%M:%S\"";
    return s.str();
}

}  // namespace qelvo
