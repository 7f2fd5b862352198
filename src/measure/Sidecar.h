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
// and renames it over the old one; an empty list removes the sidecar.
std::optional<Sidecar> loadSidecar(const std::string& picturePath, std::string* error);
bool saveSidecar(const std::string& picturePath, const Sidecar& sidecar, std::string* error);

}  // namespace qelvo::measure
