#include "measure/Length.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "measure/TextFileInternal.h"

namespace qelvo::measure {
namespace {

constexpr std::pair<std::string_view, double> kUnits[] = {
    {"nm", 0.001},    {"um", 1.0},    {"\xC2\xB5m", 1.0}, {"\xCE\xBCm", 1.0}, {"micron", 1.0},
    {"microns", 1.0}, {"mm", 1000.0}, {"cm", 10000.0},    {"m", 1000000.0},
};

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && isSpace(s.front())) s.remove_prefix(1);
    while (!s.empty() && isSpace(s.back())) s.remove_suffix(1);
    return s;
}

// Rounds to `significant` significant digits.
double roundSignificant(double value, int significant) {
    if (value == 0.0 || !std::isfinite(value)) return value;
    const int magnitude = static_cast<int>(std::floor(std::log10(std::fabs(value))));
    const double scale = std::pow(10.0, significant - 1 - magnitude);
    return std::round(value * scale) / scale;
}

std::string quote(std::string_view s) {
    std::string q;
    q += '"';
    q.append(s);
    q += '"';
    return q;
}

}  // namespace

std::optional<double> parseLength(std::string_view given, std::string* error, BareNumber bare) {
    const std::string_view text = trim(given);
    if (text.empty()) {
        text::fail(error, "no length given");
        return std::nullopt;
    }
    // The number: digits, one decimal point or comma, an optional sign and exponent.
    std::size_t end = 0;
    if (end < text.size() && (text[end] == '-' || text[end] == '+')) ++end;
    bool digits = false;
    while (end < text.size() &&
           ((text[end] >= '0' && text[end] <= '9') || text[end] == '.' || text[end] == ',')) {
        digits = digits || (text[end] >= '0' && text[end] <= '9');
        ++end;
    }
    if (digits && end < text.size() && (text[end] == 'e' || text[end] == 'E')) {
        // An exponent only when digits follow: "1e3um" is 1000 um, "5em" is not a length.
        std::size_t e = end + 1;
        if (e < text.size() && (text[e] == '-' || text[e] == '+')) ++e;
        if (e < text.size() && text[e] >= '0' && text[e] <= '9') {
            while (e < text.size() && text[e] >= '0' && text[e] <= '9') ++e;
            end = e;
        }
    }
    std::string number(text.substr(0, end));
    if (!number.empty() && number.front() == '+') number.erase(0, 1);
    if (number.find(',') != std::string::npos) {
        if (number.find('.') != std::string::npos || number.find(',') != number.rfind(',')) {
            text::fail(error, quote(text) + " is not a length");
            return std::nullopt;
        }
        number[number.find(',')] = '.';
    }
    const std::optional<double> value = digits ? text::parseDouble(number) : std::nullopt;
    if (!value) {
        text::fail(error, quote(text) +
                              " is not a length (a number and a unit: "
                              "nm, um or mm, e.g. 10um)");
        return std::nullopt;
    }
    const std::string_view unit = trim(text.substr(end));
    double factor = 0.0;
    if (unit.empty()) {
        if (bare == BareNumber::Refused) {
            text::fail(error, quote(text) + " has no unit (nm, um or mm, e.g. " +
                                  std::string(text) + "um)");
            return std::nullopt;
        }
        factor = 1.0;
    } else {
        for (const auto& [name, micrometres] : kUnits)
            if (unit == name) factor = micrometres;
        if (factor == 0.0) {
            text::fail(error, std::string("unknown unit ") + quote(unit) + " (use nm, um or mm)");
            return std::nullopt;
        }
    }
    const double micrometres = *value * factor;
    if (!(micrometres > 0.0)) {
        text::fail(error, "the length must be greater than zero");
        return std::nullopt;
    }
    if (!std::isfinite(micrometres) || micrometres > 1e12) {
        text::fail(error, "the length " + std::string(text) + " is too large");
        return std::nullopt;
    }
    if (micrometres < 1e-6) {  // below a picometre: no microscope shows that
        text::fail(error, "the length " + std::string(text) + " is too small");
        return std::nullopt;
    }
    return micrometres;
}

std::string formatLength(double micrometres, int significant, bool ascii) {
    if (!std::isfinite(micrometres)) return "?";
    significant = std::max(1, significant);
    const std::string micro = ascii ? "um" : "\xC2\xB5m";
    const double size = std::fabs(micrometres);
    const double rounded = roundSignificant(size, significant);
    if (rounded == 0.0) return "0 " + micro;
    std::string out = micrometres < 0 ? "-" : "";
    if (rounded >= 1000.0) {
        out += text::formatFixed(roundSignificant(size / 1000.0, significant), significant);
        out += " mm";
    } else if (rounded < 0.1) {
        out += text::formatFixed(roundSignificant(size * 1000.0, significant), significant);
        out += " nm";
    } else {
        out += text::formatFixed(rounded, significant);
        out += ' ';
        out += micro;
    }
    return out;
}

}  // namespace qelvo::measure
