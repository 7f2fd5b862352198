#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qelvo::measure {

// One objective of a microscope: its name ("10x") and, once calibrated, the size of a pixel
// at the capture resolution it was calibrated at.  The pixel size at another resolution
// follows from the ratio of widths (a camera's modes show the same field, scaled).
struct Objective {
    std::string name;
    double micrometresPerPixel = 0.0;  // 0: not calibrated
    int atWidth = 0;                   // capture resolution of the calibration
    int atHeight = 0;

    bool calibrated() const { return micrometresPerPixel > 0.0 && atWidth > 0 && atHeight > 0; }
    // Pixel size for frames of `width` x `height`; 0 when not calibrated.
    double pixelSizeAt(int width, int height) const;
};

// The objectives of one device and which one is in use.
struct DeviceObjectives {
    std::vector<Objective> objectives;
    int active = 0;  // index into objectives; always valid when objectives is not empty

    const Objective* activeObjective() const;
};

// "4x", "10x", "40x", "100x", none calibrated, "10x" active.
DeviceObjectives defaultObjectives();

// The stored text of a device's objectives (versioned, one objective per line).  Parsing
// trusts nothing: any fault gives nothing and `error` says which line and why.
std::string formatObjectives(const DeviceObjectives& objectives);
std::optional<DeviceObjectives> parseObjectives(std::string_view text, std::string* error);

// Objectives kept per device, by friendly name, one file each in `folder` (by default
// defaultFolder()): the name with every byte outside [A-Za-z0-9._-] written as %XX, then
// ".objectives", so any name is safe.  A stored list that cannot be read is never replaced
// behind the user's back: load() gives the defaults and says why, and only save() replaces
// it (keeping the damaged file beside it as NAME.objectives.damaged).
class ObjectiveStore {
public:
    explicit ObjectiveStore(std::string folder = defaultFolder());

    struct Loaded {
        DeviceObjectives objectives;  // the defaults when nothing usable is stored
        std::string problem;  // "" or why the stored list was not used (corrupt, unreadable)
    };
    Loaded load(const std::string& deviceName) const;
    // Written whole (temporary file and rename); false with `error` set on failure.
    bool save(const std::string& deviceName, const DeviceObjectives& objectives,
              std::string* error = nullptr) const;

    // $QELVO_OBJECTIVES_DIR, else $XDG_CONFIG_HOME/qelvo/objectives, else
    // $HOME/.config/qelvo/objectives.
    static std::string defaultFolder();
    // The file name of a device's objectives inside the folder.
    static std::string fileNameFor(const std::string& deviceName);
    std::string pathFor(const std::string& deviceName) const;
    const std::string& folder() const { return folder_; }

private:
    std::string folder_;
};

}  // namespace qelvo::measure
