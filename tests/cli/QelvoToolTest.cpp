// The built qelvo program, run as a script runs it: its output, messages and exit status.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <sstream>

#include "measure/Objectives.h"
#include "picturefiles/PictureFile.h"
#include "support/TempFolder.h"

namespace qelvo {
namespace {

using test::TempFolder;

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

std::string quoted(const std::string& s) {
    std::ostringstream q;
    q << '\'';
    for (char c : s) {
        if (c == '\'')
            q << "'\\''";
        else
            q << c;
    }
    q << '\'';
    return q.str();
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class QelvoTool : public ::testing::Test {
protected:
    void SetUp() override { ::setenv("QELVO_OBJECTIVES_DIR", (dir / "objectives").c_str(), 1); }
    void TearDown() override { ::unsetenv("QELVO_OBJECTIVES_DIR"); }

    Result qelvo(const std::vector<std::string>& args) {
        std::ostringstream command;
        command << quoted(QELVO_TOOL);
        for (const std::string& a : args) command << ' ' << quoted(a);
        command << " >" << quoted(scratch / "out") << " 2>" << quoted(scratch / "err");
        const int raw = std::system(command.str().c_str());
        Result r;
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.out = slurp(scratch / "out");
        r.err = slurp(scratch / "err");
        return r;
    }

    std::vector<std::string> filesIn(const std::string& folder) const {
        std::vector<std::string> names;
        for (auto& e : std::filesystem::directory_iterator(folder))
            names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }

    TempFolder dir;
    TempFolder scratch;
};

PictureData flat(int width, int height, int channels, int bits, double pixelSize) {
    PictureData p;
    p.width = width;
    p.height = height;
    p.channels = channels;
    p.bitsPerSample = bits;
    p.samples.assign(p.rowBytes() * height, 0);
    for (std::size_t i = 0; i < p.samples.size(); ++i)
        p.samples[i] = static_cast<std::uint8_t>(i * 31);
    p.calibration.micrometresPerPixel = pixelSize;
    return p;
}

// A stage micrometer: dark lines `pitch` pixels apart across part of the picture, turned by
// `degrees`, blurred and noisy.
PictureData graticule(int width, int height, double pitch, double degrees, unsigned seed) {
    PictureData p = flat(width, height, 3, 8, 0.0);
    const double a = degrees * M_PI / 180.0;
    const double nx = std::cos(a), ny = std::sin(a);
    std::mt19937 random(seed);
    std::normal_distribution<double> noise(0.0, 6.0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            double v = 190.0;
            if (x > width / 8 && x < width * 7 / 8 && y > height / 5 && y < height * 4 / 5) {
                const double along = (x - width / 2.0) * nx + (y - height / 2.0) * ny;
                const double d = along - pitch * std::round(along / pitch);
                v -= 140.0 * std::exp(-d * d / (2.0 * 1.8 * 1.8));
            }
            v += noise(random);
            const auto s = static_cast<std::uint8_t>(std::clamp(v, 0.0, 255.0));
            for (int c = 0; c < 3; ++c) p.samples[(std::size_t(y) * width + x) * 3 + c] = s;
        }
    return p;
}

std::string lastLine(const std::string& text) {
    std::string t = text;
    while (!t.empty() && t.back() == '\n') t.pop_back();
    const std::size_t nl = t.rfind('\n');
    return nl == std::string::npos ? t : t.substr(nl + 1);
}

int lineCount(const std::string& text) {
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

TEST_F(QelvoTool, VersionHelpAndUsageFaults) {
    Result r = qelvo({"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(std::regex_match(r.out, std::regex("qelvo [0-9.]+\n"))) << r.out;
    r = qelvo({"--help"});
    EXPECT_EQ(r.status, 0);
    for (const char* command : {"info", "calibrate", "convert"})
        EXPECT_NE(r.out.find(std::string("qelvo ") + command), std::string::npos) << command;
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{},
                                               {"frobnicate"},
                                               {"info"},
                                               {"convert", "a.png"},
                                               {"convert", "a.png", "-o", "b.png", "--bogus"},
                                               {"calibrate", "a.png"},
                                               {"info", "a\xff.png"},
                                               {"frob\nnicate"},
                                               {"info", "--odd\noption"}}) {
        r = qelvo(args);
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_EQ(lineCount(r.err), 1) << r.err;
        EXPECT_TRUE(r.out.empty());
    }
}

TEST_F(QelvoTool, InfoDescribesEachFileAndNamesTheOneThatFails) {
    std::string error;
    ASSERT_TRUE(writePictureFile(dir / "a.png", flat(30, 20, 3, 8, 0.3456), &error)) << error;
    ASSERT_TRUE(writePictureFile(dir / "b.tif", flat(7, 5, 1, 16, 0.0), &error)) << error;
    ASSERT_TRUE(writePictureFile(dir / "c.jpg", flat(16, 8, 3, 8, 2.0), &error)) << error;
    { std::ofstream(dir / "broken.png") << "\x89PNG\r\n\x1a\n nothing after"; }
    Result r = qelvo({"info", dir / "a.png", dir / "b.tif", dir / "broken.png", dir / "c.jpg"});
    EXPECT_EQ(r.status, 1);
    std::ostringstream expected;
    expected << dir / "a.png"
             << ": 30x20\nbits per sample: 8\npixel size: 0.3456 um\n"
             << dir / "b.tif"
             << ": 7x5\nbits per sample: 16\npixel size: uncalibrated\n"
             << dir / "c.jpg"
             << ": 16x8\nbits per sample: 8\npixel size: 2.000 um\n";
    EXPECT_EQ(r.out, expected.str());
    EXPECT_EQ(lineCount(r.err), 1);
    std::ostringstream reason;
    reason << "qelvo info: " << dir / "broken.png"
           << ": ";
    EXPECT_EQ(r.err.rfind(reason.str(), 0), 0u) << r.err;

    // A file name with a line break is still named on one line.
    r = qelvo({"info", dir / "two\nlines.png"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(lineCount(r.err), 1) << r.err;
    EXPECT_NE(r.err.find("two\\nlines.png"), std::string::npos) << r.err;

    r = qelvo({"info", dir / "a.png"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.err.empty());
}

TEST_F(QelvoTool, ConvertKeepsOrSetsThePixelSizeAndLeavesNothingOnFailure) {
    std::string error;
    PictureData source = flat(33, 17, 1, 16, 0.25);
    ASSERT_TRUE(writePictureFile(dir / "in.png", source, &error)) << error;

    Result r = qelvo({"convert", dir / "in.png", "-o", dir / "out.tif"});
    EXPECT_EQ(r.status, 0) << r.err;
    auto tiff = readPictureFile(dir / "out.tif", &error);
    ASSERT_TRUE(tiff) << error;
    EXPECT_EQ(tiff->samples, source.samples) << "lossless, 16 bits kept";
    EXPECT_NEAR(tiff->calibration.micrometresPerPixel, 0.25, 1e-7);

    r = qelvo({"convert", dir / "out.tif", "--pixel-size", "0.002mm", "-o", dir / "out.jpg"});
    EXPECT_EQ(r.status, 0) << r.err;
    auto jpeg = readPictureFileInfo(dir / "out.jpg", &error);
    ASSERT_TRUE(jpeg) << error;
    EXPECT_NEAR(jpeg->calibration.micrometresPerPixel, 2.0, 1e-9);

    // A LENGTH needs a unit, and a sound one; a bad one writes nothing.
    for (const char* length : {"10", "-1um", "0um", "5in", "um"}) {
        r = qelvo({"convert", dir / "in.png", "-o", dir / "bad.png", "--pixel-size", length});
        EXPECT_EQ(r.status, 2) << length;
        EXPECT_EQ(lineCount(r.err), 1) << r.err;
    }
    r = qelvo({"convert", dir / "in.png", "-o", dir / "bad.bmp"});
    EXPECT_EQ(r.status, 2);
    {
        const std::string whole = slurp(dir / "in.png");
        std::ofstream(dir / "cut.png") << whole.substr(0, whole.size() - 20);
    }
    r = qelvo({"convert", dir / "cut.png", "-o", dir / "bad.png"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(lineCount(r.err), 1) << r.err;
    r = qelvo({"convert", dir / "in.png", "-o", dir / "missing/bad.png"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(filesIn(dir.path()),
              (std::vector<std::string>{"cut.png", "in.png", "out.jpg", "out.tif"}));
}

TEST_F(QelvoTool, StackFusesASeriesWritesAllOrNothingAndRefusesBadSeries) {
    // Two views of one textured field, one softened.
    auto field = [](int width, int height, double soft) {
        PictureData p = flat(width, height, 3, 8, 0.5);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const double v = 128 + 50 * std::sin(x * 0.31) * std::sin(y * 0.23) * (1 - soft) +
                                 40 * std::sin((x + 2 * y) * 0.05) +
                                 20 * std::cos(x * 0.017 - y * 0.04);
                for (int c = 0; c < 3; ++c)
                    p.samples[(std::size_t(y) * width + x) * 3 + c] = static_cast<std::uint8_t>(v);
            }
        return p;
    };
    std::string error;
    ASSERT_TRUE(writePictureFile(dir / "a.png", field(240, 180, 0), &error)) << error;
    ASSERT_TRUE(writePictureFile(dir / "b.png", field(240, 180, 0.7), &error)) << error;
    ASSERT_TRUE(writePictureFile(dir / "small.png", field(200, 180, 0), &error)) << error;

    Result r = qelvo({"stack", dir / "a.png", dir / "b.png", "-o", dir / "out.tif", "--depth-map",
                      dir / "depth.png"});
    EXPECT_EQ(r.status, 0) << r.err;
    const auto out = readPictureFile(dir / "out.tif", &error);
    ASSERT_TRUE(out) << error;
    EXPECT_EQ(out->width, 240);
    EXPECT_NEAR(out->calibration.micrometresPerPixel, 0.5, 1e-7);
    EXPECT_TRUE(readPictureFileInfo(dir / "depth.png", &error)) << error;

    r = qelvo({"stack", dir / "a.png", "-o", dir / "one.tif"});
    EXPECT_EQ(r.status, 2);
    r = qelvo({"stack", dir / "a.png", dir / "b.png", "-o", dir / "bad.bmp"});
    EXPECT_EQ(r.status, 2);
    r = qelvo({"stack", dir / "a.png", dir / "small.png", "-o", dir / "bad.tif", "--depth-map",
               dir / "bad.png"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(lineCount(r.err), 1) << r.err;
    EXPECT_NE(r.err.find("small.png"), std::string::npos) << r.err;
    EXPECT_EQ(filesIn(dir.path()),
              (std::vector<std::string>{"a.png", "b.png", "depth.png", "out.tif", "small.png"}));
}

TEST_F(QelvoTool, StackStoppedBySignalLeavesNothing) {
    // A long series of large slices, stopped while it works: one line, exit 1, and no file of
    // its making left behind, hidden or not.
    PictureData slice = flat(2400, 1800, 1, 8, 0);
    for (int y = 0; y < slice.height; ++y)
        for (int x = 0; x < slice.width; ++x)
            slice.samples[std::size_t(y) * slice.width + x] =
                static_cast<std::uint8_t>(128 + 60 * std::sin(x * 0.3) * std::sin(y * 0.2) +
                                          30 * std::sin((x + 2 * y) * 0.05));
    std::string error, names;
    std::vector<std::string> slices;
    for (int i = 0; i < 16; ++i) {
        std::string name = "s";
        name += std::to_string(10 + i);
        name += ".png";
        slices.push_back(name);
        ASSERT_TRUE(writePictureFile(dir / name, slice, &error)) << error;
        names += ' ';
        names += quoted(dir / name);
    }
    std::ostringstream command;
    command << quoted(QELVO_TOOL) << " stack" << names << " -o " << quoted(dir / "out.tif")
            << " --depth-map " << quoted(dir / "depth.png") << " >" << quoted(scratch / "out")
            << " 2>" << quoted(scratch / "err") << " & sleep 0.8; kill -TERM $!; wait $!";
    const int raw = std::system(command.str().c_str());
    EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 1);
    EXPECT_EQ(slurp(scratch / "err"), "qelvo stack: cancelled\n");
    EXPECT_EQ(filesIn(dir.path()), slices);
}

TEST_F(QelvoTool, StackAndStitchSayWhenPicturesAreTooLargeForTheMemory) {
    // Two 6000 x 4000 colour pictures with the program held to 300 MB: one line and exit 1,
    // never an abort, and nothing left behind.
    std::string error;
    for (const char* name : {"big1.tif", "big2.tif"})
        ASSERT_TRUE(writePictureFile(dir / name, flat(6000, 4000, 3, 8, 0), &error)) << error;
    for (const char* job : {"stack", "stitch"}) {
        std::ostringstream command;
        command << "ulimit -v 300000; OPENCV_FOR_THREADS_NUM=2 MALLOC_ARENA_MAX=2 "
                << quoted(QELVO_TOOL) << ' ' << job << ' ' << quoted(dir / "big1.tif") << ' '
                << quoted(dir / "big2.tif") << " -o " << quoted(dir / "out.png") << " >"
                << quoted(scratch / "out") << " 2>" << quoted(scratch / "err");
        const int raw = std::system(command.str().c_str());
        EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 1) << job;
        const std::string err = slurp(scratch / "err");
        EXPECT_EQ(lineCount(err), 1) << err;
        EXPECT_NE(err.find("memory"), std::string::npos) << err;
        EXPECT_EQ(filesIn(dir.path()), (std::vector<std::string>{"big1.tif", "big2.tif"}));
    }
}

TEST_F(QelvoTool, CalibrateFindsThePitchAndStoresItForTheObjective) {
    std::string error;
    // 25.3 px between lines 10 um apart: 0.39526 um per pixel.
    ASSERT_TRUE(writePictureFile(dir / "ruling.png", graticule(640, 480, 25.3, 17.0, 1), &error));
    Result r = qelvo({"calibrate", dir / "ruling.png", "--spacing", "10um"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::smatch m;
    const std::string last = lastLine(r.out);
    ASSERT_TRUE(std::regex_match(last, m, std::regex(R"(pixel size: ([0-9.]+) um)"))) << r.out;
    const std::string digits = std::regex_replace(m[1].str(), std::regex(R"(^[0.]+|\.)"), "");
    EXPECT_GE(digits.size(), 4u) << last;
    EXPECT_NEAR(std::stod(m[1]), 10.0 / 25.3, 10.0 / 25.3 * 0.002);

    r = qelvo({"calibrate", dir / "ruling.png", "--spacing", "0.01mm", "--objective", "40x",
               "--device", "USB2.0 PC Camera"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto stored = measure::ObjectiveStore().load("USB2.0 PC Camera");
    EXPECT_TRUE(stored.problem.empty()) << stored.problem;
    const measure::Objective* forty = nullptr;
    for (const auto& o : stored.objectives.objectives)
        if (o.name == "40x") forty = &o;
    ASSERT_NE(forty, nullptr);
    EXPECT_NEAR(forty->micrometresPerPixel, 10.0 / 25.3, 10.0 / 25.3 * 0.002);
    EXPECT_EQ(forty->atWidth, 640);
    EXPECT_EQ(forty->atHeight, 480);

    // Nothing regular in the picture: a reason, nothing stored.
    PictureData noise = flat(320, 240, 1, 8, 0.0);
    std::mt19937 random(7);
    for (auto& v : noise.samples) v = static_cast<std::uint8_t>(random());
    ASSERT_TRUE(writePictureFile(dir / "noise.png", noise, &error));
    r = qelvo({"calibrate", dir / "noise.png", "--spacing", "10um", "--objective", "4x", "--device",
               "USB2.0 PC Camera"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(lineCount(r.err), 1) << r.err;
    for (const auto& o : measure::ObjectiveStore().load("USB2.0 PC Camera").objectives.objectives)
        if (o.name == "4x") {
            EXPECT_FALSE(o.calibrated());
        }

    r = qelvo({"calibrate", dir / "ruling.png", "--spacing", "10um", "--objective", "40x"});
    EXPECT_EQ(r.status, 2) << "--objective without --device";
}

TEST_F(QelvoTool, FlatfieldEvensTheLightWritesAllOrNothingAndRefusesOtherSizes) {
    std::string error;
    // Flat: 16-bit, bright on the left, half as bright on the right; dark 2000.
    PictureData flatRef = flat(8, 4, 3, 16, 0.0);
    PictureData darkRef = flatRef;
    auto* f = reinterpret_cast<std::uint16_t*>(flatRef.samples.data());
    auto* d = reinterpret_cast<std::uint16_t*>(darkRef.samples.data());
    for (int i = 0; i < 8 * 4 * 3; ++i) {
        f[i] = (i / 3) % 8 < 4 ? 42000 : 22000;
        d[i] = 2000;
    }
    ASSERT_TRUE(writePictureFile(dir / "flat.tif", flatRef, &error)) << error;
    ASSERT_TRUE(writePictureFile(dir / "dark.png", darkRef, &error)) << error;
    // The specimen seen through that light: an even 16-bit grey becomes uneven.
    PictureData seen = flatRef;
    auto* s = reinterpret_cast<std::uint16_t*>(seen.samples.data());
    for (int i = 0; i < 8 * 4 * 3; ++i) s[i] = (i / 3) % 8 < 4 ? 2000 + 20000 : 2000 + 10000;
    seen.calibration.micrometresPerPixel = 0.5;
    ASSERT_TRUE(writePictureFile(dir / "a.png", seen, &error)) << error;
    ASSERT_TRUE(writePictureFile(dir / "b.tif", seen, &error)) << error;

    Result r = qelvo({"flatfield", dir / "a.png", "--flat", dir / "flat.tif", "--dark",
                      dir / "dark.png", "-o", dir / "even.tif"});
    ASSERT_EQ(r.status, 0) << r.err;
    auto even = readPictureFile(dir / "even.tif", &error);
    ASSERT_TRUE(even) << error;
    EXPECT_EQ(even->bitsPerSample, 16);
    EXPECT_NEAR(even->calibration.micrometresPerPixel, 0.5, 1e-9);
    const auto* e = reinterpret_cast<const std::uint16_t*>(even->samples.data());
    // (seen - dark) / (flat - dark) * mean(flat - dark) = 0.5 * 30000 everywhere.
    for (int i = 0; i < 8 * 4 * 3; ++i) ASSERT_EQ(e[i], 15000) << i;

    // Several INs go into a folder under their own names.
    r = qelvo(
        {"flatfield", dir / "a.png", dir / "b.tif", "--flat", dir / "flat.tif", "-o", dir / "out"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(filesIn(dir / "out"), (std::vector<std::string>{"a.png", "b.tif"}));

    // A picture of another size: one line, exit 1, and none of the others written either.
    ASSERT_TRUE(writePictureFile(dir / "big.png", flat(16, 8, 3, 8, 0.0), &error));
    r = qelvo({"flatfield", dir / "a.png", dir / "big.png", "--flat", dir / "flat.tif", "-o",
               dir / "out2"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(lineCount(r.err), 1) << r.err;
    EXPECT_NE(r.err.find("16x8"), std::string::npos) << r.err;
    EXPECT_TRUE(filesIn(dir / "out2").empty());
    // Unreadable references and missing options.
    r = qelvo({"flatfield", dir / "a.png", "--flat", dir / "nothing.tif", "-o", dir / "x.png"});
    EXPECT_EQ(r.status, 1);
    r = qelvo({"flatfield", dir / "a.png", "-o", dir / "x.png"});
    EXPECT_EQ(r.status, 2);
    r = qelvo({"flatfield", dir / "a.png", "--flat", dir / "flat.tif", "-o", dir / "x.bmp"});
    EXPECT_EQ(r.status, 2);
    // An input is never overwritten.
    r = qelvo(
        {"flatfield", dir / "a.png", dir / "b.tif", "--flat", dir / "flat.tif", "-o", dir.path()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("is an input"), std::string::npos) << r.err;
    EXPECT_EQ(readPictureFile(dir / "a.png", &error)->samples, seen.samples);
    EXPECT_FALSE(std::filesystem::exists(dir / "x.png"));
}

// A part of a detailed scene (blurred noise, the same for every part) whose top-left lies at
// (x, y) of the scene, `seed` choosing the scene.
PictureData scenePart(int x, int y, int width, int height, unsigned seed) {
    constexpr int cell = 6;
    auto lattice = [seed](int gx, int gy) {
        std::uint32_t h = std::uint32_t(gx) * 0x8da6b343u ^ std::uint32_t(gy) * 0xd8163841u ^ seed;
        h ^= h >> 13;
        h *= 0x5bd1e995u;
        return double((h ^ (h >> 15)) & 0xff);
    };
    PictureData p = flat(width, height, 3, 8, 0.0);
    for (int py = 0; py < height; ++py)
        for (int px = 0; px < width; ++px) {
            const double fx = double(x + px) / cell, fy = double(y + py) / cell;
            const int ix = int(fx), iy = int(fy);
            const double ax = fx - ix, ay = fy - iy;
            const double v = (lattice(ix, iy) * (1 - ax) + lattice(ix + 1, iy) * ax) * (1 - ay) +
                             (lattice(ix, iy + 1) * (1 - ax) + lattice(ix + 1, iy + 1) * ax) * ay;
            for (int c = 0; c < 3; ++c)
                p.samples[(std::size_t(py) * width + px) * 3 + c] =
                    static_cast<std::uint8_t>(std::lround(v * (0.6 + 0.2 * c)));
        }
    return p;
}

TEST_F(QelvoTool, StitchJoinsOverlappingPicturesAndNamesOnesThatDoNotConnect) {
    std::string error;
    const int at[3][2] = {{0, 0}, {230, 12}, {118, 150}};
    const char* names[3] = {"p0.png", "p1.png", "p2.png"};
    for (int i = 0; i < 3; ++i) {
        PictureData part = scenePart(at[i][0], at[i][1], 320, 240, 1);
        part.calibration.micrometresPerPixel = 1.25;
        ASSERT_TRUE(writePictureFile(dir / names[i], part, &error));
    }
    Result r =
        qelvo({"stitch", dir / "p2.png", dir / "p0.png", dir / "p1.png", "-o", dir / "mosaic.tif"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.err.empty()) << r.err;
    auto mosaic = readPictureFile(dir / "mosaic.tif", &error);
    ASSERT_TRUE(mosaic) << error;
    EXPECT_EQ(mosaic->width, 550);
    EXPECT_EQ(mosaic->height, 390);
    EXPECT_NEAR(mosaic->calibration.micrometresPerPixel, 1.25, 1e-7);

    // Another scene: named, one line, nothing written.
    ASSERT_TRUE(writePictureFile(dir / "other.png", scenePart(0, 0, 320, 240, 2), &error));
    r = qelvo(
        {"stitch", dir / "p0.png", dir / "other.png", dir / "p1.png", "-o", dir / "none.png"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "qelvo stitch: other.png does not overlap the other pictures\n");
    r = qelvo({"stitch", dir / "p0.png", dir / "missing.png", "-o", dir / "none.png"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(lineCount(r.err), 1) << r.err;
    EXPECT_NE(r.err.find("missing.png"), std::string::npos) << r.err;
    // Usage: one picture, no OUT, an OUT of no known format.
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"stitch", dir / "p0.png", "-o", dir / "none.png"},
          {"stitch", dir / "p0.png", dir / "p1.png"},
          {"stitch", dir / "p0.png", dir / "p1.png", "-o", dir / "none.bmp"}}) {
        r = qelvo(args);
        EXPECT_EQ(r.status, 2) << args.back();
        EXPECT_EQ(lineCount(r.err), 1) << r.err;
    }
    EXPECT_EQ(filesIn(dir.path()),
              (std::vector<std::string>{"mosaic.tif", "other.png", "p0.png", "p1.png", "p2.png"}));
}

// Cameras for the tool: virtual devices, named as the launcher lists them.
class QelvoCamera : public QelvoTool {
protected:
    void SetUp() override {
        QelvoTool::SetUp();
        ::setenv("QELVO_VIRTUAL_DEVICES",
                 "Tool Cam{size=320x240,fps=30};Short Cam{size=160x120,stopafter=30}", 1);
    }
    void TearDown() override {
        ::unsetenv("QELVO_VIRTUAL_DEVICES");
        QelvoTool::TearDown();
    }
    // Every file in the folder is a whole picture and none is left half-written.
    void expectWholePictures(const std::string& folder, std::size_t count) {
        const auto names = filesIn(folder);
        EXPECT_EQ(names.size(), count);
        for (const std::string& name : names) {
            EXPECT_TRUE(std::regex_match(name, std::regex(R"(\d{8}-\d{6}\.\d{3}\.(jpg|png|tif))")))
                << name;
            std::string error;
            EXPECT_TRUE(readPictureFile(folder + "/" + name, &error)) << name << ": " << error;
        }
    }
};

TEST_F(QelvoCamera, SnapAveragesIntoSixteenBitsAndReportsWhatIsWrong) {
    Result r = qelvo({"snap", "--device", "Tool Cam", "--average", "4", "-o", dir / "avg.png"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::string error;
    auto info = readPictureFileInfo(dir / "avg.png", &error);
    ASSERT_TRUE(info) << error;
    EXPECT_EQ(info->width, 320);
    EXPECT_EQ(info->bitsPerSample, 16);
    r = qelvo({"snap", "--device", "Tool Cam", "-o", dir / "one.tif"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readPictureFileInfo(dir / "one.tif", &error)->bitsPerSample, 8);

    r = qelvo({"snap", "--device", "No Such Cam", "-o", dir / "x.jpg"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(lineCount(r.err), 1) << r.err;
    EXPECT_NE(r.err.find("No Such Cam"), std::string::npos) << r.err;
    for (const std::vector<std::string>& bad : {std::vector<std::string>{"--average", "0"},
                                                {"--average", "300"},
                                                {"--average", "2x"},
                                                {"--resolution", "640"},
                                                {"--resolution", "0x480"}})
        EXPECT_EQ(
            qelvo({"snap", "--device", "Tool Cam", bad[0], bad[1], "-o", dir / "x.jpg"}).status, 2)
            << bad[0] << " " << bad[1];
    EXPECT_EQ(qelvo({"snap", "--device", "Tool Cam", "-o", dir / "x.bmp"}).status, 2);
    EXPECT_EQ(filesIn(dir.path()), (std::vector<std::string>{"avg.png", "one.tif"}));
}

TEST_F(QelvoCamera, SnapAndTimelapseRecordTheDevicesObjectiveInUse) {
    // 40x in use, calibrated at 640 x 480: the 320-pixel-wide pictures have pixels twice as big.
    measure::DeviceObjectives objectives = measure::defaultObjectives();
    for (std::size_t i = 0; i < objectives.objectives.size(); ++i)
        if (objectives.objectives[i].name == "40x") {
            objectives.objectives[i].micrometresPerPixel = 0.25;
            objectives.objectives[i].atWidth = 640;
            objectives.objectives[i].atHeight = 480;
            objectives.active = static_cast<int>(i);
        }
    std::string error;
    ASSERT_TRUE(measure::ObjectiveStore().save("Tool Cam", objectives, &error)) << error;

    for (const char* name : {"cal.tif", "cal.jpg"}) {
        const Result r = qelvo({"snap", "--device", "Tool Cam", "-o", dir / name});
        ASSERT_EQ(r.status, 0) << r.err;
        const auto info = readPictureFileInfo(dir / name, &error);
        ASSERT_TRUE(info) << error;
        EXPECT_NEAR(info->calibration.micrometresPerPixel, 0.5, 1e-6) << name;
        EXPECT_EQ(info->calibration.objective, "40x") << name;
    }
    const Result r = qelvo({"timelapse", "--device", "Tool Cam", "--interval", "0.1", "--count",
                            "2", "--format", "png", "-o", dir / "cal"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto names = filesIn(dir / "cal");
    ASSERT_EQ(names.size(), 2u);
    for (const std::string& name : names) {
        const auto info = readPictureFileInfo(dir / ("cal/" + name), &error);
        ASSERT_TRUE(info) << error;
        EXPECT_NEAR(info->calibration.micrometresPerPixel, 0.5, 1e-6) << name;
        EXPECT_EQ(info->calibration.objective, "40x") << name;
    }

    // An objective without a calibration: nothing recorded rather than a wrong size.
    objectives.objectives[static_cast<std::size_t>(objectives.active)].micrometresPerPixel = 0;
    ASSERT_TRUE(measure::ObjectiveStore().save("Tool Cam", objectives, &error)) << error;
    ASSERT_EQ(qelvo({"snap", "--device", "Tool Cam", "-o", dir / "plain.png"}).status, 0);
    EXPECT_FALSE(readPictureFileInfo(dir / "plain.png", &error)->calibration.calibrated());
}

TEST_F(QelvoCamera, TimelapseTakesItsPicturesStopsOnASignalAndEndsWhenTheCameraGoes) {
    Result r = qelvo({"timelapse", "--device", "Tool Cam", "--interval", "0.1", "--count", "5",
                      "--format", "png", "--average", "2", "-o", dir / "run"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "5 pictures taken\n");
    expectWholePictures(dir / "run", 5);

    // SIGINT half-way: the picture in progress is finished, exit 0, the count said.
    {
        std::ostringstream command;
        command << quoted(QELVO_TOOL) << " timelapse --device 'Tool Cam' --interval 0.25 "
                << "--duration 60 --format tif -o " << quoted(dir / "stopped") << " >"
                << quoted(scratch / "out") << " 2>" << quoted(scratch / "err")
                << " & sleep 1.6; kill -INT $!; wait $!";
        const int raw = std::system(command.str().c_str());
        EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 0) << slurp(scratch / "err");
        const std::string out = slurp(scratch / "out");
        std::smatch m;
        ASSERT_TRUE(std::regex_match(out, m, std::regex(R"((\d+) pictures? taken; stopped\n)")))
            << out;
        const int taken = std::stoi(m[1]);
        EXPECT_GE(taken, 1);
        EXPECT_LT(taken, 60 / 0.25);
        expectWholePictures(dir / "stopped", static_cast<std::size_t>(taken));
    }

    // SIGTERM while the camera still starts (a slow one: its first frames take seconds): no
    // picture yet, so none is taken, but it is the same stop: exit 0, the count said.
    {
        ::setenv("QELVO_VIRTUAL_DEVICES", "Slow Cam{size=160x120,fps=2}", 1);
        std::ostringstream command;
        command << quoted(QELVO_TOOL) << " timelapse --device 'Slow Cam' --interval 1 "
                << "--count 5 -o " << quoted(dir / "early") << " >" << quoted(scratch / "out")
                << " 2>" << quoted(scratch / "err") << " & sleep 1.5; kill -TERM $!; wait $!";
        const int raw = std::system(command.str().c_str());
        ::setenv("QELVO_VIRTUAL_DEVICES",
                 "Tool Cam{size=320x240,fps=30};Short Cam{size=160x120,stopafter=30}", 1);
        EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 0) << slurp(scratch / "err");
        EXPECT_EQ(slurp(scratch / "out"), "0 pictures taken; stopped\n");
        EXPECT_FALSE(std::filesystem::exists(dir / "early"));
    }

    // A camera that stops delivering: reported in one line, exit 1, the pictures kept.
    r = qelvo({"timelapse", "--device", "Short Cam", "--interval", "0.2", "--count", "50", "-o",
               dir / "short"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(lineCount(r.err), 1) << r.err;
    std::smatch m;
    ASSERT_TRUE(std::regex_search(r.out, m, std::regex(R"((\d+) pictures? taken)"))) << r.out;
    expectWholePictures(dir / "short", static_cast<std::size_t>(std::stoi(m[1])));

    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"--interval", "0", "--count", "3"},
          {"--interval", "1", "--count", "3", "--duration", "5"},
          {"--interval", "1"},
          {"--interval", "1", "--count", "0"},
          {"--interval", "-1", "--count", "2"},
          {"--interval", "1", "--count", "2", "--format", "bmp"}}) {
        std::vector<std::string> args{"timelapse", "--device", "Tool Cam", "-o", dir / "bad"};
        args.insert(args.end(), bad.begin(), bad.end());
        r = qelvo(args);
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_EQ(lineCount(r.err), 1) << r.err;
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "bad"));
}

}  // namespace
}  // namespace qelvo
