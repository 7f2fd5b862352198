#pragma once

#include "acquire/FlatField.h"
#include "picturefiles/PictureFile.h"

#include <optional>
#include <string>

namespace qelvo::acquire {

// Flat and dark references kept per device and objective: one folder per device (its
// friendly name with every byte outside [A-Za-z0-9._-] written as %XX), in it
// "<objective>.flat.tif" and "<objective>.dark.tif" (objective names escaped alike), 16-bit
// TIFF written whole through the picture files.  They survive restarts; a reference that
// cannot be read is reported, never replaced behind the user's back.
class FlatFieldStore {
public:
    enum class Kind { Flat, Dark };

    explicit FlatFieldStore(std::string folder = defaultFolder());

    // $QELVO_FLATFIELD_DIR, else $XDG_CONFIG_HOME/qelvo/flatfield, else
    // $HOME/.config/qelvo/flatfield.
    static std::string defaultFolder();
    const std::string& folder() const { return folder_; }
    std::string pathFor(const std::string& device, const std::string& objective, Kind kind) const;

    // Stores `reference` (8-bit pictures are widened to 16 bits).  A reference whose size
    // differs from the other one already stored for that objective is refused with a message
    // saying so (take both again at the new size, or remove the other first).
    bool save(const std::string& device, const std::string& objective, Kind kind,
              const PictureData& reference, std::string* error) const;
    // Removes one reference; true when it is gone (or was never there).
    bool remove(const std::string& device, const std::string& objective, Kind kind,
                std::string* error) const;

    struct Loaded {
        std::optional<PictureData> flat;
        std::optional<PictureData> dark;
        std::string problem;  // "" or why a stored reference was not used
    };
    Loaded load(const std::string& device, const std::string& objective) const;

    // The correction for that objective: nothing without a flat (problem "" when simply none
    // is stored), or when the references are unusable (problem says why).
    std::optional<FlatField> correction(const std::string& device, const std::string& objective,
                                        std::string* problem) const;

private:
    std::string folder_;
};

// A picture made 16-bit R,G,B (8-bit samples times 257, grey repeated), calibration kept.
PictureData widenTo16(const PictureData& picture);

}  // namespace qelvo::acquire
