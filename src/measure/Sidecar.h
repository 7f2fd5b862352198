#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "measure/Measurements.h"

namespace qelvo::measure {

// The measurements kept beside a picture: a small versioned text file next to it.
struct Sidecar {
    double micrometresPerPixel = 0.0;  // the calibration they were made with; 0 = none
    std::string objective;
    std::vector<Shape> shapes;
};

// "FOLDER/NAME.jpg" -> "FOLDER/NAME.jpg.measure"
std::string sidecarPathFor(const std::string& picturePath);

std::string formatSidecar(const Sidecar& sidecar);
// Trusts nothing; a fault gives nothing and `error` says where.
std::optional<Sidecar> parseSidecar(std::string_view text, std::string* error);

// Reading and writing the file.  A missing sidecar is an empty one (no error); a corrupt
// one gives nothing with `error` set and is left as it is.  Saving writes a temporary file
// and renames it over the old one; an empty list removes the sidecar.  A sidecar that is
// there but cannot be read is not replaced (false, `error` says so, `*damaged` is set)
// unless `replaceDamaged` says the user agreed to lose it.
std::optional<Sidecar> loadSidecar(const std::string& picturePath, std::string* error);
bool saveSidecar(const std::string& picturePath, const Sidecar& sidecar, std::string* error,
                 bool replaceDamaged = false, bool* damaged = nullptr);

// The file commands carry the measurements along.  After the picture `from` was renamed to
// `to`: moves from's sidecar to to's; true when there was none.  An existing sidecar of `to`
// is never replaced: false, the measurements stay with the old name and `error` says so.
bool moveSidecar(const std::string& from, const std::string& to, std::string* error);
// After the picture was deleted: removes its sidecar; true when there was none.
bool removeSidecar(const std::string& picturePath, std::string* error);

}  // namespace qelvo::measure
