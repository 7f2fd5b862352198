#include "measure/Objectives.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "measure/TextFileInternal.h"
#include "system/Paths.h"

namespace qelvo::measure {
namespace {

constexpr std::string_view kHeader = "qelvo-objectives";
constexpr int kVersion = 1;
constexpr std::size_t kMaxObjectives = 100;
constexpr std::size_t kMaxNameBytes = 200;
constexpr double kMaxPixelSize = 1e6;  // micrometres: a metre per pixel is far beyond any lens
constexpr long long kMaxDimension = 1000000;
constexpr std::size_t kMaxFileBytes = 1 << 20;

std::string env(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

bool fail(std::string* error, std::size_t line, const std::string& why) {
    return text::fail(error, "line " + std::to_string(line + 1) + ": " + why);
}

}  // namespace

double Objective::pixelSizeAt(int width, int height) const {
    if (!calibrated() || width <= 0 || height <= 0) return 0.0;
    return micrometresPerPixel * static_cast<double>(atWidth) / static_cast<double>(width);
}

const Objective* DeviceObjectives::activeObjective() const {
    if (objectives.empty()) return nullptr;
    if (active < 0 || active >= static_cast<int>(objectives.size())) return &objectives.front();
    return &objectives[static_cast<std::size_t>(active)];
}

DeviceObjectives defaultObjectives() {
    DeviceObjectives d;
    for (const char* name : {"4x", "10x", "40x", "100x"}) d.objectives.push_back({name});
    d.active = 1;
    return d;
}

std::string formatObjectives(const DeviceObjectives& objectives) {
    std::string out = std::string(kHeader) + " " + std::to_string(kVersion) + "\n";
    const int active =
        objectives.objectives.empty()
            ? 0
            : std::clamp(objectives.active, 0, static_cast<int>(objectives.objectives.size()) - 1);
    out += "active\t" + std::to_string(active) + "\n";
    for (const Objective& o : objectives.objectives) {
        const bool calibrated = o.calibrated();
        out += "objective\t" + text::escapeField(o.name) + "\t" +
               text::formatDouble(calibrated ? o.micrometresPerPixel : 0.0) + "\t" +
               std::to_string(calibrated ? o.atWidth : 0) + "\t" +
               std::to_string(calibrated ? o.atHeight : 0) + "\n";
    }
    return out;
}

std::optional<DeviceObjectives> parseObjectives(std::string_view input, std::string* error) {
    const std::vector<std::string_view> lines = text::splitLines(input);
    const std::string_view first = lines[0];
    if (first.substr(0, kHeader.size()) != kHeader || first.size() < kHeader.size() + 2 ||
        first[kHeader.size()] != ' ') {
        fail(error, 0, "not an objectives list (no \"qelvo-objectives\" header)");
        return std::nullopt;
    }
    const auto version = text::parseInteger(first.substr(kHeader.size() + 1));
    if (!version || *version < 1) {
        fail(error, 0, "bad version in the header");
        return std::nullopt;
    }
    if (*version > kVersion) {
        fail(error, 0,
             "written by a newer version of the program (format " + std::to_string(*version) + ")");
        return std::nullopt;
    }
    DeviceObjectives result;
    std::optional<long long> active;
    for (std::size_t n = 1; n < lines.size(); ++n) {
        const std::string_view line = lines[n];
        if (line.empty()) {
            if (n + 1 == lines.size()) break;  // the text ends with a line feed
            fail(error, n, "empty line");
            return std::nullopt;
        }
        const std::vector<std::string_view> fields = text::splitFields(line);
        if (fields[0] == "active") {
            if (fields.size() != 2 || active) {
                fail(error, n, active ? "second \"active\" line" : "bad \"active\" line");
                return std::nullopt;
            }
            active = text::parseInteger(fields[1]);
            if (!active || *active < 0) {
                fail(error, n, "bad active objective");
                return std::nullopt;
            }
        } else if (fields[0] == "objective") {
            if (fields.size() != 5) {
                fail(error, n, "an objective needs a name, a pixel size, a width and a height");
                return std::nullopt;
            }
            Objective o;
            const auto name = text::unescapeField(fields[1]);
            if (!name || name->empty() || name->size() > kMaxNameBytes) {
                fail(error, n, "bad objective name");
                return std::nullopt;
            }
            o.name = *name;
            for (const Objective& other : result.objectives)
                if (other.name == o.name) {
                    fail(error, n, "objective \"" + o.name + "\" listed twice");
                    return std::nullopt;
                }
            const auto size = text::parseDouble(fields[2]);
            const auto width = text::parseInteger(fields[3]);
            const auto height = text::parseInteger(fields[4]);
            if (!size || *size < 0.0 || *size > kMaxPixelSize) {
                fail(error, n, "bad pixel size");
                return std::nullopt;
            }
            if (!width || !height || *width < 0 || *height < 0 || *width > kMaxDimension ||
                *height > kMaxDimension) {
                fail(error, n, "bad capture resolution");
                return std::nullopt;
            }
            if ((*size > 0.0) != (*width > 0 && *height > 0)) {
                fail(error, n, "a pixel size needs its capture resolution, and only it");
                return std::nullopt;
            }
            o.micrometresPerPixel = *size;
            o.atWidth = static_cast<int>(*width);
            o.atHeight = static_cast<int>(*height);
            if (result.objectives.size() >= kMaxObjectives) {
                fail(error, n, "more than " + std::to_string(kMaxObjectives) + " objectives");
                return std::nullopt;
            }
            result.objectives.push_back(std::move(o));
        } else {
            fail(error, n, "unknown line \"" + std::string(fields[0].substr(0, 40)) + "\"");
            return std::nullopt;
        }
    }
    if (!active) {
        text::fail(error, "no \"active\" line");
        return std::nullopt;
    }
    if (result.objectives.empty() ? *active != 0
                                  : *active >= static_cast<long long>(result.objectives.size())) {
        text::fail(error, "the active objective " + std::to_string(*active) + " is not listed");
        return std::nullopt;
    }
    result.active = static_cast<int>(*active);
    return result;
}

ObjectiveStore::ObjectiveStore(std::string folder) : folder_(std::move(folder)) {}

std::string ObjectiveStore::defaultFolder() {
    std::string dir = env("QELVO_OBJECTIVES_DIR");
    if (!dir.empty()) return dir;
    std::string config = env("XDG_CONFIG_HOME");
    if (config.empty()) {
        std::string home = env("HOME");
        config = joinPath(home.empty() ? std::string("/tmp") : home, ".config");
    }
    return joinPath(joinPath(config, "qelvo"), "objectives");
}

std::string ObjectiveStore::fileNameFor(const std::string& deviceName) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string name;
    for (unsigned char c : deviceName) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
            c == '.' || c == '_' || c == '-') {
            name += static_cast<char>(c);
        } else {
            name += '%';
            name += kHex[c >> 4];
            name += kHex[c & 15];
        }
    }
    // File names are limited to 255 bytes: a very long name keeps its start and gets a
    // hash of the whole name, so two long names never share a file.
    if (name.size() > 200) {
        std::uint64_t hash = 1469598103934665603ull;
        for (unsigned char c : deviceName) hash = (hash ^ c) * 1099511628211ull;
        std::string digest;
        for (int i = 15; i >= 0; --i) digest += kHex[(hash >> (4 * i)) & 15];
        name = name.substr(0, 180) + "~" + digest;
    }
    return name + ".objectives";
}

std::string ObjectiveStore::pathFor(const std::string& deviceName) const {
    return joinPath(folder_, fileNameFor(deviceName));
}

ObjectiveStore::Loaded ObjectiveStore::load(const std::string& deviceName) const {
    Loaded loaded{defaultObjectives(), {}};
    const std::string path = pathFor(deviceName);
    std::string error;
    bool missing = false;
    const auto bytes = text::readFile(path, kMaxFileBytes, &error, &missing);
    if (!bytes) {
        if (!missing)
            loaded.problem = "The objectives of \"" + deviceName + "\" could not be read (" +
                             error + "); the default objectives are used.";
        return loaded;
    }
    auto parsed = parseObjectives(*bytes, &error);
    if (!parsed) {
        loaded.problem = "The stored objectives of \"" + deviceName + "\" are damaged (" + path +
                         ", " + error +
                         "); the default objectives are used. The file is kept until you save "
                         "the objectives again.";
        return loaded;
    }
    loaded.objectives = std::move(*parsed);
    return loaded;
}

bool ObjectiveStore::save(const std::string& deviceName, const DeviceObjectives& objectives,
                          std::string* error) const {
    if (deviceName.empty()) return text::fail(error, "no device name to store objectives for");
    if (!text::makeFolders(folder_, error)) return false;
    const std::string path = pathFor(deviceName);
    // A damaged list is replaced only now that the user saves, and kept beside the new one.
    bool missing = false;
    if (const auto old = text::readFile(path, kMaxFileBytes, nullptr, &missing);
        !missing && (!old || !parseObjectives(*old, nullptr))) {
        if (::rename(path.c_str(), (path + ".damaged").c_str()) != 0 && errno != ENOENT)
            return text::fail(error,
                              "cannot set the damaged " + path + " aside: " + std::strerror(errno));
    }
    return text::writeFileWhole(path, formatObjectives(objectives), error);
}

}  // namespace qelvo::measure
