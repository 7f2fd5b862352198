#include "measure/fuzz/MeasureInputs.h"

#include <cmath>

#include "measure/Length.h"
#include "measure/Objectives.h"
#include "measure/Sidecar.h"
#include "support/FuzzSupport.h"

namespace qelvo::fuzz {
namespace {

std::string sameShapes(const measure::Sidecar& a, const measure::Sidecar& b) {
    if (a.micrometresPerPixel != b.micrometresPerPixel) return "calibration changed";
    if (a.objective != b.objective) return "objective changed";
    if (a.shapes.size() != b.shapes.size()) return "shape count changed";
    for (std::size_t i = 0; i < a.shapes.size(); ++i) {
        const auto &s = a.shapes[i], &t = b.shapes[i];
        if (s.kind != t.kind || s.label != t.label || s.points.size() != t.points.size())
            return "shape " + std::to_string(i) + " changed";
        for (std::size_t j = 0; j < s.points.size(); ++j)
            if (s.points[j].x != t.points[j].x || s.points[j].y != t.points[j].y)
                return "point of shape " + std::to_string(i) + " changed";
    }
    return {};
}

std::string unsoundResult(const measure::ShapeResult& r) {
    for (const auto& v : {r.length, r.angle, r.area, r.perimeter, r.diameter})
        if (v && (!std::isfinite(*v) || *v < 0)) return "a measured value is not a finite size";
    if (r.angle && *r.angle > 180.0 + 1e-9) return "an angle above 180 degrees";
    if (!r.problem.empty() && (r.length || r.angle || r.area || r.count))
        return "values given with a problem";
    return {};
}

measure::Sidecar sampleSidecar() {
    measure::Sidecar s;
    s.micrometresPerPixel = 0.3456;
    s.objective = "40x";
    s.shapes = {
        {measure::ShapeKind::Line, {{1, 2}, {300.5, 40.25}}, "scale"},
        {measure::ShapeKind::Polyline, {{0, 0}, {10, 10}, {20, 0}}, ""},
        {measure::ShapeKind::Angle, {{10, 0}, {0, 0}, {0, 10}}, "corner"},
        {measure::ShapeKind::Rectangle, {{5, 5}, {50, 80}}, "box\tone"},
        {measure::ShapeKind::Ellipse, {{5, 5}, {50, 80}}, "cell \\ nucleus"},
        {measure::ShapeKind::Circle, {{6, 2}, {1, 7}, {-2, -2}}, "pore\nround"},
        {measure::ShapeKind::Polygon, {{0, 0}, {3, 0}, {3, 1}, {1, 1}, {1, 3}, {0, 3}}, ""},
        {measure::ShapeKind::Points, {{1, 1}, {2, 2}, {3, 3}}, "\xC3\xA9"},
    };
    return s;
}

}  // namespace

std::string checkSidecarInput(std::string_view input) {
    std::string error;
    const auto parsed = measure::parseSidecar(input, &error);
    if (parsed) {
        const std::string text = measure::formatSidecar(*parsed);
        const auto again = measure::parseSidecar(text, &error);
        if (!again) return "a written sidecar does not read back: " + error;
        if (std::string why = sameShapes(*parsed, *again); !why.empty()) return why;
        if (measure::formatSidecar(*again) != text) return "writing twice gives other text";
        for (const auto& shape : parsed->shapes)
            if (std::string why = unsoundResult(measure::measureShape(shape, 0.5)); !why.empty())
                return why;
        measure::resultsAsCsv(parsed->shapes, parsed->micrometresPerPixel);
    } else if (error.empty()) {
        return "refused without a reason";
    }

    static const std::string picture = scratchFolder("sidecar") + "/picture.jpg";
    const std::string file = measure::sidecarPathFor(picture);
    if (!writeFile(file, input)) return {};
    const auto loaded = measure::loadSidecar(picture, &error);
    if (loaded.has_value() != parsed.has_value())
        return "the file loads other than the text parses";
    if (!loaded) {
        bool damaged = false;
        if (measure::saveSidecar(picture, sampleSidecar(), &error, false, &damaged))
            return "a damaged sidecar was replaced without asking";
        if (!damaged) return "a damaged sidecar was not reported as damaged";
        if (readFile(file) != input) return "a refused save changed the file";
    }
    return {};
}

int writeSidecarSeeds(const std::string& folder) {
    int written = 0;
    measure::Sidecar s = sampleSidecar();
    written += writeFile(folder + "/all-kinds.measure", measure::formatSidecar(s));
    s.micrometresPerPixel = 0;
    s.objective.clear();
    s.shapes.resize(2);
    written += writeFile(folder + "/uncalibrated.measure", measure::formatSidecar(s));
    written += writeFile(folder + "/empty.measure", measure::formatSidecar(measure::Sidecar{}));
    return written;
}

std::string checkObjectivesInput(std::string_view input) {
    std::string error;
    const auto parsed = measure::parseObjectives(input, &error);
    if (parsed) {
        const auto& list = parsed->objectives;
        if (!list.empty() &&
            (parsed->active < 0 || parsed->active >= static_cast<int>(list.size())))
            return "the active objective is not listed";
        if (!list.empty() && parsed->activeObjective() != &list[parsed->active])
            return "the active objective is another one";
        for (const auto& o : list) {
            const double size = o.pixelSizeAt(640, 480);
            if (!std::isfinite(size) || size < 0) return "a pixel size that is not a size";
            if (o.name.empty()) return "an objective without a name";
        }
        const std::string text = measure::formatObjectives(*parsed);
        const auto again = measure::parseObjectives(text, &error);
        if (!again) return "written objectives do not read back: " + error;
        if (measure::formatObjectives(*again) != text) return "writing twice gives other text";
        if (again->active != parsed->active || again->objectives.size() != list.size())
            return "the list changed when written";
    } else if (error.empty()) {
        return "refused without a reason";
    }

    static const std::string folder = scratchFolder("objectives");
    const measure::ObjectiveStore store(folder);
    const std::string file = store.pathFor("Fuzz camera");
    if (!writeFile(file, input)) return {};
    const auto loaded = store.load("Fuzz camera");
    if (parsed) {
        if (!loaded.problem.empty()) return "a sound list was reported: " + loaded.problem;
        if (measure::formatObjectives(loaded.objectives) != measure::formatObjectives(*parsed))
            return "the store gives another list than the text holds";
    } else {
        if (loaded.problem.empty()) return "a damaged list was not reported";
        if (measure::formatObjectives(loaded.objectives) !=
            measure::formatObjectives(measure::defaultObjectives()))
            return "a damaged list did not give the defaults";
        if (readFile(file) != input) return "loading changed a damaged list";
    }
    return {};
}

int writeObjectivesSeeds(const std::string& folder) {
    int written = 0;
    measure::DeviceObjectives d = measure::defaultObjectives();
    written += writeFile(folder + "/defaults.objectives", measure::formatObjectives(d));
    d.objectives[0] = {"4x", 2.75, 2592, 1944};
    d.objectives[2] = {"40x", 0.2734, 1280, 720};
    d.objectives.push_back({"Plan 100x\toil", 0.1093, 640, 480});
    d.active = 4;
    written += writeFile(folder + "/calibrated.objectives", measure::formatObjectives(d));
    written += writeFile(folder + "/none.objectives",
                         measure::formatObjectives(measure::DeviceObjectives{}));
    return written;
}

std::string checkLengthInput(std::string_view input) {
    std::string error;
    const auto bare = measure::parseLength(input, &error, measure::BareNumber::Micrometres);
    if (!bare && error.empty()) return "refused without a reason";
    std::string strictError;
    const auto strict = measure::parseLength(input, &strictError, measure::BareNumber::Refused);
    if (!strict && strictError.empty()) return "refused without a reason";
    if (strict && (!bare || *strict != *bare)) return "a unit changes what a length means";
    if (!bare) return {};
    if (!std::isfinite(*bare) || *bare <= 0) return "a length that is not above zero";
    for (bool ascii : {false, true}) {
        const std::string shown = measure::formatLength(*bare, 6, ascii);
        const auto back = measure::parseLength(shown, &error, measure::BareNumber::Refused);
        if (!back) return "a written length does not read back: " + shown;
        if (std::fabs(*back / *bare - 1) > 1e-5)
            return "a written length reads back otherwise: " + shown;
    }
    return {};
}

int writeLengthSeeds(const std::string& folder) {
    int written = 0;
    const char* const lengths[] = {"10um",   "0.01 mm",   "2.5nm", "10 \xC2\xB5m",
                                   "1,5 mm", "3 microns", "12"};
    int n = 0;
    for (const char* text : lengths)
        written += writeFile(folder + "/length-" + std::to_string(n++), text);
    for (double size : {0.05, 2.5, 1234.5})
        written +=
            writeFile(folder + "/length-" + std::to_string(n++), measure::formatLength(size));
    return written;
}

}  // namespace qelvo::fuzz
