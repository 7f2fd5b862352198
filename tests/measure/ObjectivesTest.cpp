// Objectives: their stored text, the per-device store and its damaged files.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "measure/Objectives.h"
#include "support/TempFolder.h"

namespace qelvo::measure {
namespace {

DeviceObjectives calibratedList() {
    DeviceObjectives d = defaultObjectives();
    d.objectives[0].micrometresPerPixel = 2.3456789012345;
    d.objectives[0].atWidth = 2592;
    d.objectives[0].atHeight = 1944;
    d.objectives.push_back({"Plan 60x\toil \\ \"apo\"\n", 0.0912, 1280, 720});
    d.active = 4;
    return d;
}

TEST(Objectives, DefaultsAndPixelSizeAtOtherResolutions) {
    const DeviceObjectives d = defaultObjectives();
    ASSERT_EQ(d.objectives.size(), 4u);
    EXPECT_EQ(d.activeObjective()->name, "10x");
    EXPECT_FALSE(d.activeObjective()->calibrated());
    EXPECT_EQ(d.activeObjective()->pixelSizeAt(640, 480), 0.0);

    const Objective o{"10x", 0.5, 2592, 1944};
    EXPECT_DOUBLE_EQ(o.pixelSizeAt(2592, 1944), 0.5);
    EXPECT_DOUBLE_EQ(o.pixelSizeAt(1296, 972), 1.0);
    EXPECT_DOUBLE_EQ(o.pixelSizeAt(640, 480), 0.5 * 2592 / 640);
    EXPECT_EQ(o.pixelSizeAt(0, 0), 0.0);
    EXPECT_EQ(DeviceObjectives{}.activeObjective(), nullptr);
}

TEST(Objectives, TextRoundTripKeepsEverything) {
    const DeviceObjectives d = calibratedList();
    const std::string stored = formatObjectives(d);
    EXPECT_EQ(stored.rfind("qelvo-objectives 1\n", 0), 0u);
    std::string error;
    const auto back = parseObjectives(stored, &error);
    ASSERT_TRUE(back) << error;
    ASSERT_EQ(back->objectives.size(), d.objectives.size());
    for (std::size_t i = 0; i < d.objectives.size(); ++i) {
        EXPECT_EQ(back->objectives[i].name, d.objectives[i].name);
        EXPECT_EQ(back->objectives[i].micrometresPerPixel, d.objectives[i].micrometresPerPixel);
        EXPECT_EQ(back->objectives[i].atWidth, d.objectives[i].atWidth);
        EXPECT_EQ(back->objectives[i].atHeight, d.objectives[i].atHeight);
    }
    EXPECT_EQ(back->active, 4);
    // Carriage returns from an editor are tolerated.
    std::string crlf;
    for (char c : stored) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_TRUE(parseObjectives(crlf, &error)) << error;
}

TEST(Objectives, DamagedTextIsRefusedWithTheLine) {
    const std::string good = formatObjectives(calibratedList());
    const std::pair<std::string, std::string> cases[] = {
        {"", "header"},
        {"qelvo-objectives 2\nactive\t0\n", "newer version"},
        {"qelvo-objectives 1\n", "no \"active\""},
        {"qelvo-objectives 1\nactive\t5\nobjective\t4x\t0\t0\t0\n", "not listed"},
        {"qelvo-objectives 1\nactive\t0\nobjective\t4x\t-1\t0\t0\n", "line 3: bad pixel size"},
        {"qelvo-objectives 1\nactive\t0\nobjective\t4x\tnan\t10\t10\n", "bad pixel size"},
        {"qelvo-objectives 1\nactive\t0\nobjective\t4x\t0.5\t0\t0\n", "capture resolution"},
        {"qelvo-objectives 1\nactive\t0\nobjective\t4x\t0\t0\n", "needs a name"},
        {"qelvo-objectives 1\nactive\t0\nobjective\t\t0\t0\t0\n", "bad objective name"},
        {"qelvo-objectives 1\nactive\t0\nobjective\ta\\q\t0\t0\t0\n", "bad objective name"},
        {"qelvo-objectives 1\nactive\t0\nobjective\t4x\t0\t0\t0\nobjective\t4x\t0\t0\t0\n",
         "listed twice"},
        {"qelvo-objectives 1\nactive\t0\n\nobjective\t4x\t0\t0\t0\n", "empty line"},
        {"qelvo-objectives 1\nactive\t0\nlens\t4x\n", "unknown line"},
        {good.substr(0, good.size() / 2), "line"},
    };
    for (const auto& [input, why] : cases) {
        std::string error;
        EXPECT_FALSE(parseObjectives(input, &error)) << input;
        EXPECT_NE(error.find(why), std::string::npos) << input << " -> " << error;
    }
}

TEST(ObjectiveStore, FileNamesAreEscapedDeviceNames) {
    EXPECT_EQ(ObjectiveStore::fileNameFor("USB2.0 Camera"), "USB2.0%20Camera.objectives");
    EXPECT_EQ(ObjectiveStore::fileNameFor("../x/y"), "..%2Fx%2Fy.objectives");
    EXPECT_EQ(ObjectiveStore::fileNameFor("Kamera \xC3\xBC"), "Kamera%20%C3%BC.objectives");
    const std::string a = ObjectiveStore::fileNameFor(std::string(300, '/') + "a");
    const std::string b = ObjectiveStore::fileNameFor(std::string(300, '/') + "b");
    EXPECT_LT(a.size(), 255u);
    EXPECT_NE(a, b);
}

TEST(ObjectiveStore, SavedListsSurviveAndStayPerDevice) {
    test::TempFolder folder;
    const ObjectiveStore store(folder / "deep/objectives");
    ObjectiveStore::Loaded fresh = store.load("Microscope A");
    EXPECT_EQ(fresh.problem, "");
    EXPECT_EQ(fresh.objectives.objectives.size(), 4u);

    std::string error;
    ASSERT_TRUE(store.save("Microscope A", calibratedList(), &error)) << error;
    const ObjectiveStore again(folder / "deep/objectives");
    const ObjectiveStore::Loaded loaded = again.load("Microscope A");
    EXPECT_EQ(loaded.problem, "");
    ASSERT_EQ(loaded.objectives.objectives.size(), 5u);
    EXPECT_EQ(loaded.objectives.active, 4);
    EXPECT_DOUBLE_EQ(loaded.objectives.objectives[0].micrometresPerPixel, 2.3456789012345);
    EXPECT_EQ(again.load("Microscope B").objectives.objectives.size(), 4u);
    // Written whole: nothing but the one file is left in the folder.
    EXPECT_EQ(std::filesystem::directory_entry(folder / "deep/objectives").exists(), true);
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder / "deep/objectives")) {
        EXPECT_EQ(entry.path().filename(), "Microscope%20A.objectives");
        ++files;
    }
    EXPECT_EQ(files, 1);
    EXPECT_FALSE(store.save("", calibratedList(), &error));
}

TEST(ObjectiveStore, DamagedStoreGivesDefaultsAndIsKeptUntilSaved) {
    test::TempFolder folder;
    const ObjectiveStore store(folder.path());
    const std::string damaged = "qelvo-objectives 1\nactive\t0\nobjective\t4x\tgarbage\t1\t1\n";
    folder.write("Cam.objectives", damaged);
    ObjectiveStore::Loaded loaded = store.load("Cam");
    EXPECT_NE(loaded.problem.find("damaged"), std::string::npos) << loaded.problem;
    EXPECT_NE(loaded.problem.find("line 3"), std::string::npos) << loaded.problem;
    EXPECT_EQ(loaded.objectives.objectives.size(), 4u);
    EXPECT_EQ(folder.read("Cam.objectives"), damaged);  // loading never rewrites

    std::string error;
    ASSERT_TRUE(store.save("Cam", defaultObjectives(), &error)) << error;
    EXPECT_EQ(store.load("Cam").problem, "");
    EXPECT_EQ(folder.read("Cam.objectives.damaged"), damaged);

    // Something that is not a file at all, and a binary file, give defaults too.
    std::filesystem::create_directory(folder / "Dir.objectives");
    EXPECT_NE(store.load("Dir").problem, "");
    folder.write("Bin.objectives", std::string("\0\xff\xfe", 3));
    EXPECT_NE(store.load("Bin").problem, "");
}

TEST(ObjectiveStore, FolderFromTheEnvironment) {
    ::setenv("QELVO_OBJECTIVES_DIR", "/some/where", 1);
    EXPECT_EQ(ObjectiveStore::defaultFolder(), "/some/where");
    ::unsetenv("QELVO_OBJECTIVES_DIR");
    ::setenv("XDG_CONFIG_HOME", "/cfg", 1);
    EXPECT_EQ(ObjectiveStore::defaultFolder(), "/cfg/qelvo/objectives");
}

}  // namespace
}  // namespace qelvo::measure
