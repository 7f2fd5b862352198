#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace qelvo::measure {

// Whether a length without a unit is accepted: the windows take a bare number as
// micrometres, the command line wants the unit spelled out.
enum class BareNumber { Micrometres, Refused };

// A length typed by the operator or given on the command line: a number and a unit, with or
// without a space ("10 um", "0.01mm", "10µm", "2.5 nm", "1 m").  Units: nm, um/µm/micron(s),
// mm, cm, m.  A decimal comma is taken as a point.  Returns the length in micrometres, or
// nothing with `error` set ("unknown unit \"in\"", "the length must be greater than zero").
std::optional<double> parseLength(std::string_view text, std::string* error = nullptr,
                                  BareNumber bare = BareNumber::Micrometres);

// A length for people: micrometres below 1000 ("50 µm", "2.5 µm", "0.35 µm"), millimetres
// above ("1.2 mm"), nanometres below 0.1 µm; at most `significant` significant digits and no
// trailing zeros.  `ascii` writes "um" instead of "µm" (for the command line and CSV).
std::string formatLength(double micrometres, int significant = 4, bool ascii = false);

}  // namespace qelvo::measure
