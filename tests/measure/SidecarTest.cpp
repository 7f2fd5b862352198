// Measurements kept beside a picture: the file, damaged files, and the file commands'
// rename and delete carrying them along.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "measure/Sidecar.h"
#include "support/TempFolder.h"

namespace qelvo::measure {
namespace {

Sidecar sample() {
    Sidecar s;
    s.micrometresPerPixel = 0.123456789012345;
    s.objective = "Plan\t40x \\ oil";
    s.shapes = {
        {ShapeKind::Line, {{0.5, 1.25}, {1e-7, 2591.999}}, "cell\nwall \"A\""},
        {ShapeKind::Polygon, {{0, 0}, {10, 0}, {10, 10}, {-3.5, 7}}, ""},
        {ShapeKind::Points, {{5, 5}}, "\xC3\xA9t\xC3\xA9"},
        {ShapeKind::Circle, {{0, 0}, {1, 1}, {2, 2}}, "degenerate but kept"},
    };
    return s;
}

void expectSame(const Sidecar& a, const Sidecar& b) {
    EXPECT_EQ(a.micrometresPerPixel, b.micrometresPerPixel);
    EXPECT_EQ(a.objective, b.objective);
    ASSERT_EQ(a.shapes.size(), b.shapes.size());
    for (std::size_t i = 0; i < a.shapes.size(); ++i) {
        EXPECT_EQ(a.shapes[i].kind, b.shapes[i].kind);
        EXPECT_EQ(a.shapes[i].label, b.shapes[i].label);
        ASSERT_EQ(a.shapes[i].points.size(), b.shapes[i].points.size());
        for (std::size_t j = 0; j < a.shapes[i].points.size(); ++j) {
            EXPECT_EQ(a.shapes[i].points[j].x, b.shapes[i].points[j].x);
            EXPECT_EQ(a.shapes[i].points[j].y, b.shapes[i].points[j].y);
        }
    }
}

TEST(Sidecar, TextRoundTripIsExact) {
    const std::string text = formatSidecar(sample());
    EXPECT_EQ(text.rfind("qelvo-measurements 1\n", 0), 0u);
    std::string error;
    const auto back = parseSidecar(text, &error);
    ASSERT_TRUE(back) << error;
    expectSame(*back, sample());
    EXPECT_EQ(sidecarPathFor("/a/b.jpg"), "/a/b.jpg.measure");
}

TEST(Sidecar, DamagedTextIsRefusedWithTheLine) {
    const std::string good = formatSidecar(sample());
    const std::pair<std::string, std::string> cases[] = {
        {"", "header"},
        {"qelvo-measurements 9\n", "newer version"},
        {"qelvo-measurements x\n", "bad version"},
        {"qelvo-measurements 1\nshape\tline\t\t0\t0\t1\n", "x y pairs"},
        {"qelvo-measurements 1\nshape\tline\t\t0\t0\n", "line 2: a line with 1 points"},
        {"qelvo-measurements 1\nshape\tcircle\t\t0\t0\t1\t1\n", "a circle with 2"},
        {"qelvo-measurements 1\nshape\tstar\t\t0\t0\n", "unknown shape"},
        {"qelvo-measurements 1\nshape\tline\t\t0\t0\tinf\t1\n", "bad coordinate"},
        {"qelvo-measurements 1\nshape\tline\t\t0\t0\t1e300\t1\n", "outside"},
        {"qelvo-measurements 1\nshape\tline\ta\\x\t0\t0\t1\t1\n", "bad label"},
        {"qelvo-measurements 1\ncalibration\t-1\n", "bad calibration"},
        {"qelvo-measurements 1\ncalibration\t1\ncalibration\t1\n", "second calibration"},
        {"qelvo-measurements 1\nobjective\ta\tb\n", "bad objective"},
        {"qelvo-measurements 1\n\nshape\tpoints\t\t1\t1\n", "empty line"},
        {"qelvo-measurements 1\nsomething\n", "unknown line"},
        {good.substr(0, good.find("shape") + 8), "line 4"},
    };
    for (const auto& [input, why] : cases) {
        std::string error;
        EXPECT_FALSE(parseSidecar(input, &error)) << input;
        EXPECT_NE(error.find(why), std::string::npos) << input << " -> " << error;
    }
}

TEST(Sidecar, FileRoundTripAndEmptyListRemovesIt) {
    test::TempFolder folder;
    const std::string picture = folder / "cell.jpg";
    std::string error;
    auto none = loadSidecar(picture, &error);
    ASSERT_TRUE(none);
    EXPECT_TRUE(none->shapes.empty());

    ASSERT_TRUE(saveSidecar(picture, sample(), &error)) << error;
    auto back = loadSidecar(picture, &error);
    ASSERT_TRUE(back) << error;
    expectSame(*back, sample());
    EXPECT_EQ(folder.entries(), (std::vector<std::string>{"cell.jpg.measure"}));

    ASSERT_TRUE(saveSidecar(picture, Sidecar{}, &error)) << error;
    EXPECT_TRUE(folder.entries().empty());
    ASSERT_TRUE(saveSidecar(picture, Sidecar{}, &error)) << error;  // nothing to remove

    Sidecar bad;
    bad.shapes = {{ShapeKind::Polygon, {{0, 0}, {1, 1}}, ""}};
    EXPECT_FALSE(saveSidecar(picture, bad, &error));
    EXPECT_NE(error.find("polygon with 2 points"), std::string::npos) << error;
    EXPECT_TRUE(folder.entries().empty());
}

TEST(Sidecar, DamagedFileIsReportedAndReplacedOnlyWhenAgreed) {
    test::TempFolder folder;
    const std::string picture = folder / "cell.jpg";
    const std::string damaged = "qelvo-measurements 1\nshape\tline\t\t0\n";
    folder.write("cell.jpg.measure", damaged);
    std::string error;
    EXPECT_FALSE(loadSidecar(picture, &error));
    EXPECT_NE(error.find("damaged"), std::string::npos) << error;

    bool wasDamaged = false;
    EXPECT_FALSE(saveSidecar(picture, sample(), &error, false, &wasDamaged));
    EXPECT_TRUE(wasDamaged);
    EXPECT_NE(error.find("replace"), std::string::npos) << error;
    EXPECT_FALSE(saveSidecar(picture, Sidecar{}, &error));  // nor removed by an empty list
    EXPECT_EQ(folder.read("cell.jpg.measure"), damaged);

    ASSERT_TRUE(saveSidecar(picture, sample(), &error, true, &wasDamaged)) << error;
    EXPECT_FALSE(wasDamaged);
    EXPECT_TRUE(loadSidecar(picture, &error));

    // A folder in the sidecar's place is not a sidecar either.
    std::filesystem::create_directory(folder / "dir.jpg.measure");
    EXPECT_FALSE(loadSidecar(folder / "dir.jpg", &error));
    EXPECT_FALSE(saveSidecar(folder / "dir.jpg", sample(), &error));
}

TEST(Sidecar, CarriedAlongByRenameAndDelete) {
    test::TempFolder folder;
    std::string error;
    ASSERT_TRUE(saveSidecar(folder / "a.jpg", sample(), &error));
    ASSERT_TRUE(moveSidecar(folder / "a.jpg", folder / "b.jpg", &error)) << error;
    EXPECT_EQ(folder.entries(), (std::vector<std::string>{"b.jpg.measure"}));
    expectSame(*loadSidecar(folder / "b.jpg", &error), sample());

    // No sidecar: nothing to do.
    EXPECT_TRUE(moveSidecar(folder / "x.jpg", folder / "y.jpg", &error));
    EXPECT_TRUE(removeSidecar(folder / "x.jpg", &error));

    // A target that already has measurements keeps them, and the move says so.
    folder.write("c.jpg.measure", "theirs");
    EXPECT_FALSE(moveSidecar(folder / "b.jpg", folder / "c.jpg", &error));
    EXPECT_NE(error.find("already exists"), std::string::npos) << error;
    EXPECT_NE(error.find("b.jpg.measure"), std::string::npos) << error;
    EXPECT_EQ(folder.read("c.jpg.measure"), "theirs");
    EXPECT_TRUE(std::filesystem::exists(folder / "b.jpg.measure"));

    ASSERT_TRUE(removeSidecar(folder / "b.jpg", &error)) << error;
    EXPECT_EQ(folder.entries(), (std::vector<std::string>{"c.jpg.measure"}));
}

TEST(Sidecar, CarriedAcrossFileSystems) {
    // /dev/shm is a separate file system on most machines; the move copies there.
    if (!std::filesystem::is_directory("/dev/shm") || ::access("/dev/shm", W_OK) != 0)
        GTEST_SKIP() << "no /dev/shm";
    test::TempFolder here;
    char pattern[] = "/dev/shm/qelvo-sidecar-XXXXXX";
    ASSERT_TRUE(::mkdtemp(pattern));
    const std::string there = pattern;
    std::string error;
    ASSERT_TRUE(saveSidecar(here / "a.jpg", sample(), &error));
    EXPECT_TRUE(moveSidecar(here / "a.jpg", there + "/a.jpg", &error)) << error;
    EXPECT_TRUE(here.entries().empty());
    auto back = loadSidecar(there + "/a.jpg", &error);
    ASSERT_TRUE(back) << error;
    expectSame(*back, sample());
    std::filesystem::remove_all(there);
}

}  // namespace
}  // namespace qelvo::measure
