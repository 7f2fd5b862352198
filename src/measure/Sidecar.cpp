#include "measure/Sidecar.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>

#include "measure/TextFileInternal.h"

namespace qelvo::measure {
namespace {

constexpr std::string_view kHeader = "qelvo-measurements";
constexpr int kVersion = 1;
constexpr std::size_t kMaxShapes = 100000;
constexpr std::size_t kMaxPoints = 100000;  // per shape
constexpr std::size_t kMaxLabelBytes = 4096;
constexpr double kMaxCoordinate = 1e7;  // pixels; far beyond any picture
constexpr double kMaxPixelSize = 1e6;
constexpr std::size_t kMaxFileBytes = 64u << 20;

bool failAt(std::string* error, std::size_t line, const std::string& why) {
    return text::fail(error, "line " + std::to_string(line + 1) + ": " + why);
}

bool exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// What is wrong with a shape that could not be stored or read back; "" when nothing.
std::string shapeProblem(const Shape& shape) {
    const std::size_t n = shape.points.size();
    const int minimum = minimumPoints(shape.kind), maximum = maximumPoints(shape.kind);
    if (n < static_cast<std::size_t>(minimum) ||
        (maximum > 0 && n > static_cast<std::size_t>(maximum)) || n > kMaxPoints)
        return std::string("a ") + kindName(shape.kind) + " with " + std::to_string(n) + " points";
    for (const Point& p : shape.points)
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || std::fabs(p.x) > kMaxCoordinate ||
            std::fabs(p.y) > kMaxCoordinate)
            return "a point outside any picture";
    if (shape.label.size() > kMaxLabelBytes) return "a label longer than 4096 bytes";
    return {};
}

// Copies `from` to `to` through a temporary file beside `to`, never replacing `to`.
bool copyWithoutReplacing(const std::string& from, const std::string& to, std::string* error) {
    const auto bytes = text::readFile(from, kMaxFileBytes, error);
    if (!bytes) return false;
    std::string temp = to + ".tmp-XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) return text::fail(error, "cannot write " + to + ": " + std::strerror(errno));
    ::close(fd);
    if (!text::writeFileWhole(temp, *bytes, error)) {
        ::unlink(temp.c_str());
        return false;
    }
    const int linked = ::link(temp.c_str(), to.c_str());
    const int saved = errno;
    ::unlink(temp.c_str());
    if (linked != 0)
        return text::fail(error, saved == EEXIST
                                     ? to + " already exists"
                                     : "cannot write " + to + ": " + std::strerror(saved));
    return true;
}

}  // namespace

std::string sidecarPathFor(const std::string& picturePath) {
    return picturePath + ".measure";
}

std::string formatSidecar(const Sidecar& sidecar) {
    std::string out = std::string(kHeader) + " " + std::to_string(kVersion) + "\n";
    const double size =
        sidecar.micrometresPerPixel > 0.0 && std::isfinite(sidecar.micrometresPerPixel)
            ? sidecar.micrometresPerPixel
            : 0.0;
    out += "calibration\t" + text::formatDouble(size) + "\n";
    out += "objective\t" + text::escapeField(sidecar.objective) + "\n";
    for (const Shape& shape : sidecar.shapes) {
        out += "shape\t";
        out += kindName(shape.kind);
        out += '\t';
        out += text::escapeField(shape.label);
        for (const Point& p : shape.points) {
            out += '\t';
            out += text::formatDouble(p.x);
            out += '\t';
            out += text::formatDouble(p.y);
        }
        out += '\n';
    }
    return out;
}

std::optional<Sidecar> parseSidecar(std::string_view input, std::string* error) {
    const std::vector<std::string_view> lines = text::splitLines(input);
    const std::string_view first = lines[0];
    if (first.substr(0, kHeader.size()) != kHeader || first.size() < kHeader.size() + 2 ||
        first[kHeader.size()] != ' ') {
        failAt(error, 0, "not a measurements file (no \"qelvo-measurements\" header)");
        return std::nullopt;
    }
    const auto version = text::parseInteger(first.substr(kHeader.size() + 1));
    if (!version || *version < 1) {
        failAt(error, 0, "bad version in the header");
        return std::nullopt;
    }
    if (*version > kVersion) {
        failAt(
            error, 0,
            "written by a newer version of the program (format " + std::to_string(*version) + ")");
        return std::nullopt;
    }
    Sidecar sidecar;
    bool haveCalibration = false, haveObjective = false;
    for (std::size_t n = 1; n < lines.size(); ++n) {
        const std::string_view line = lines[n];
        if (line.empty()) {
            if (n + 1 == lines.size()) break;
            failAt(error, n, "empty line");
            return std::nullopt;
        }
        const std::vector<std::string_view> fields = text::splitFields(line);
        if (fields[0] == "calibration") {
            const double size =
                fields.size() == 2 ? text::parseDouble(fields[1]).value_or(-1.0) : -1.0;
            if (haveCalibration || size < 0.0 || size > kMaxPixelSize) {
                failAt(error, n, haveCalibration ? "second calibration" : "bad calibration");
                return std::nullopt;
            }
            haveCalibration = true;
            sidecar.micrometresPerPixel = size;
        } else if (fields[0] == "objective") {
            const auto name = fields.size() == 2 ? text::unescapeField(fields[1]) : std::nullopt;
            if (haveObjective || !name || name->size() > kMaxLabelBytes) {
                failAt(error, n, haveObjective ? "second objective" : "bad objective");
                return std::nullopt;
            }
            haveObjective = true;
            sidecar.objective = *name;
        } else if (fields[0] == "shape") {
            if (fields.size() < 3 || (fields.size() - 3) % 2 != 0) {
                failAt(error, n, "a shape needs a kind, a label and x y pairs");
                return std::nullopt;
            }
            const auto kind =
                text::parseInteger(fields[1]) ? std::nullopt : kindFromName(fields[1]);
            if (!kind) {
                failAt(error, n, "unknown shape \"" + std::string(fields[1].substr(0, 40)) + "\"");
                return std::nullopt;
            }
            Shape shape;
            shape.kind = *kind;
            const auto label = text::unescapeField(fields[2]);
            if (!label) {
                failAt(error, n, "bad label");
                return std::nullopt;
            }
            shape.label = *label;
            for (std::size_t f = 3; f + 1 < fields.size(); f += 2) {
                const auto x = text::parseDouble(fields[f]);
                const auto y = text::parseDouble(fields[f + 1]);
                if (!x || !y) {
                    failAt(error, n, "bad coordinate");
                    return std::nullopt;
                }
                shape.points.push_back({*x, *y});
            }
            if (std::string problem = shapeProblem(shape); !problem.empty()) {
                failAt(error, n, problem);
                return std::nullopt;
            }
            if (sidecar.shapes.size() >= kMaxShapes) {
                failAt(error, n, "more than " + std::to_string(kMaxShapes) + " shapes");
                return std::nullopt;
            }
            sidecar.shapes.push_back(std::move(shape));
        } else {
            failAt(error, n, "unknown line \"" + std::string(fields[0].substr(0, 40)) + "\"");
            return std::nullopt;
        }
    }
    return sidecar;
}

std::optional<Sidecar> loadSidecar(const std::string& picturePath, std::string* error) {
    const std::string path = sidecarPathFor(picturePath);
    bool missing = false;
    std::string why;
    const auto bytes = text::readFile(path, kMaxFileBytes, &why, &missing);
    if (!bytes) {
        if (missing) return Sidecar{};
        text::fail(error, "The measurements of this picture cannot be read: " + why);
        return std::nullopt;
    }
    auto sidecar = parseSidecar(*bytes, &why);
    if (!sidecar)
        text::fail(error, "The measurements file " + path + " is damaged (" + why +
                              "); it is left as it is.");
    return sidecar;
}

bool saveSidecar(const std::string& picturePath, const Sidecar& sidecar, std::string* error,
                 bool replaceDamaged, bool* damaged) {
    if (damaged) *damaged = false;
    const std::string path = sidecarPathFor(picturePath);
    for (const Shape& shape : sidecar.shapes)
        if (std::string problem = shapeProblem(shape); !problem.empty())
            return text::fail(error, "cannot keep the measurements: " + problem);
    if (sidecar.shapes.size() > kMaxShapes)
        return text::fail(error,
                          "cannot keep more than " + std::to_string(kMaxShapes) + " measurements");
    if (!replaceDamaged && exists(path)) {
        std::string why;
        if (!loadSidecar(picturePath, &why)) {
            if (damaged) *damaged = true;
            return text::fail(error, why.substr(0, why.rfind("; it is left")) +
                                         "; replace it with these measurements?");
        }
    }
    if (sidecar.shapes.empty()) {
        if (::unlink(path.c_str()) != 0 && errno != ENOENT)
            return text::fail(error, "cannot remove " + path + ": " + std::strerror(errno));
        return true;
    }
    return text::writeFileWhole(path, formatSidecar(sidecar), error);
}

bool moveSidecar(const std::string& from, const std::string& to, std::string* error) {
    const std::string source = sidecarPathFor(from), target = sidecarPathFor(to);
    if (!exists(source)) return true;
    const std::string kept = "; the measurements stay in " + source;
    if (exists(target))
        return text::fail(error, target + " already exists and is not replaced" + kept);
    if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    int saved = errno;
    if (saved == EINVAL || saved == ENOSYS) {
        // A file system without the no-replace rename: a hard link never replaces either.
        if (::link(source.c_str(), target.c_str()) == 0) {
            ::unlink(source.c_str());
            return true;
        }
        saved = errno;
    }
    if (saved == EEXIST)
        return text::fail(error, target + " already exists and is not replaced" + kept);
    if (saved != EXDEV && saved != EPERM && saved != EMLINK)
        return text::fail(
            error, "cannot move " + source + " to " + target + ": " + std::strerror(saved) + kept);
    // Another file system: copy, then remove the original.
    std::string why;
    if (!copyWithoutReplacing(source, target, &why)) return text::fail(error, why + kept);
    if (::unlink(source.c_str()) != 0)
        return text::fail(error, "copied to " + target + " but cannot remove " + source + ": " +
                                     std::strerror(errno));
    return true;
}

bool removeSidecar(const std::string& picturePath, std::string* error) {
    const std::string path = sidecarPathFor(picturePath);
    if (::unlink(path.c_str()) == 0 || errno == ENOENT) return true;
    return text::fail(error, "cannot remove " + path + ": " + std::strerror(errno));
}

}  // namespace qelvo::measure
