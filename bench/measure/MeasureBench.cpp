// Measuring figures, one function each.  Prints one line per figure:
//   NAME: VALUE UNIT (target: CONDITION) ok|MISSED
// Arguments: the names of the figures to run; all of them without any.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "imaging/CxImage.h"
#include "measure/RulingFinder.h"
#include "support/BenchTiming.h"
#include "support/Graticule.h"

using namespace qelvo;

namespace {

// A camera's snapshot of a graticule: 2592 x 1944, lines 31.7 px apart at 18 degrees over
// part of the frame, blurred and noisy, as a colour JPEG at quality 90.
struct GraticuleJpeg {
    test::GraticuleLayout layout;
    std::FILE* file = nullptr;
};

GraticuleJpeg makeGraticuleJpeg() {
    GraticuleJpeg g;
    g.layout.width = 2592;
    g.layout.height = 1944;
    g.layout.pitch = 31.7;
    g.layout.angleDegrees = 18.0;
    g.layout.blur = 1.8;
    g.layout.noise = 6.0;
    g.layout.left = 0.15;
    g.layout.right = 0.85;
    g.layout.top = 0.1;
    g.layout.bottom = 0.9;
    const std::vector<std::uint8_t> grey = test::renderGraticule(g.layout);
    CxImage picture;
    picture.Create(g.layout.width, g.layout.height, 24);
    for (int y = 0; y < g.layout.height; ++y) {
        std::uint8_t* row = picture.RowBits(g.layout.height - 1 - y);
        const std::uint8_t* source = grey.data() + static_cast<std::size_t>(y) * g.layout.width;
        for (int x = 0; x < g.layout.width; ++x)
            row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = source[x];
    }
    picture.SetQuality(90);
    g.file = std::tmpfile();
    picture.Encode(g.file, FormatJpeg);
    std::fflush(g.file);
    return g;
}

// The grey levels of a decoded picture, top row first.
std::vector<std::uint8_t> greyOf(const CxImage& picture) {
    const int w = picture.Width(), h = picture.Height();
    std::vector<std::uint8_t> grey(static_cast<std::size_t>(w) * h);
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* row = picture.RowBits(h - 1 - y);
        for (int x = 0; x < w; ++x)
            grey[static_cast<std::size_t>(y) * w + x] = static_cast<std::uint8_t>(
                (row[3 * x] * 29 + row[3 * x + 1] * 150 + row[3 * x + 2] * 77 + 128) >> 8);
    }
    return grey;
}

// The test picture, made once for every figure that uses it.
GraticuleJpeg& graticuleJpeg() {
    static GraticuleJpeg g = makeGraticuleJpeg();
    return g;
}

bool decodeGraticule(CxImage& decoded) {
    std::rewind(graticuleJpeg().file);
    if (decoded.Decode(graticuleJpeg().file, FormatJpeg) && decoded.BitsPerPixel() == 24)
        return true;
    std::fprintf(stderr, "the graticule test picture does not decode\n");
    return false;
}

// Automatic calibration against decoding the picture it works on: the finder's CPU time
// over the JPEG decode time of the same picture, the best of several runs each, in turn.
void calibrationVsDecode() {
    CxImage decoded;
    if (!decodeGraticule(decoded)) return;
    const std::vector<std::uint8_t> grey = greyOf(decoded);
    const measure::GreyView view{grey.data(), decoded.Width(), decoded.Height(), decoded.Width()};
    std::FILE* file = graticuleJpeg().file;
    double decode = 1e30, find = 1e30;
    for (int round = 0; round < 7; ++round) {
        decode = std::min(
            decode, bench::bestSeconds(
                        1, [&] { std::rewind(file); }, [&] { decoded.Decode(file, FormatJpeg); }));
        find = std::min(find, bench::bestSeconds(1, nullptr, [&] { measure::findRuling(view); }));
    }
    std::fprintf(stderr, "  (decode %.1f ms, ruling finder %.1f ms)\n", decode * 1e3, find * 1e3);
    bench::reportAtMost("calibration_vs_decode", find / decode, "x", 2.0, 3);
}

// The pitch found in the decoded JPEG against the pitch the graticule was drawn with.
void calibrationJpegPitchError() {
    CxImage decoded;
    if (!decodeGraticule(decoded)) return;
    const std::vector<std::uint8_t> grey = greyOf(decoded);
    const measure::Ruling ruling = measure::findRuling(
        measure::GreyView{grey.data(), decoded.Width(), decoded.Height(), decoded.Width()});
    const double truth = graticuleJpeg().layout.pitch;
    const double error = ruling.found ? std::fabs(ruling.pitchPixels / truth - 1) * 100 : 100;
    bench::report("calibration_jpeg_pitch_error", error, "%", "<= 0.2", error <= 0.2, 4);
}

struct Figure {
    const char* name;
    std::function<void()> run;
};

}  // namespace

int main(int argc, char** argv) {
    const std::vector<Figure> figures = {
        {"calibration_vs_decode", calibrationVsDecode},
        {"calibration_jpeg_pitch_error", calibrationJpegPitchError},
    };
    for (const Figure& f : figures) {
        bool wanted = argc < 2;
        for (int i = 1; i < argc; ++i) wanted = wanted || std::strcmp(argv[i], f.name) == 0;
        if (wanted) f.run();
    }
    return 0;
}
