// Replays the sidecars and objective lists kept from fuzzing (fuzz/regressions/<target>/),
// and the seeds the fuzzers start from, through the same checks the fuzzers run.
#include <gtest/gtest.h>

#include <filesystem>

#include "measure/fuzz/MeasureInputs.h"
#include "support/FuzzSupport.h"
#include "support/TempFolder.h"

namespace qelvo {
namespace {

TEST(MeasureFuzzInputs, SidecarSeedsAndKeptInputsGiveSoundResults) {
    test::TempFolder seeds;
    ASSERT_GT(fuzz::writeSidecarSeeds(seeds.path()), 0);
    for (const auto& [name, bytes] : fuzz::folderFiles(seeds.path()))
        EXPECT_EQ(fuzz::checkSidecarInput(bytes), "") << "seed " << name;
    for (const auto& [name, bytes] : fuzz::folderFiles(QELVO_FUZZ_REGRESSIONS "/sidecar"))
        EXPECT_EQ(fuzz::checkSidecarInput(bytes), "") << "kept input " << name;
    // Damaged ones, written by hand.
    EXPECT_EQ(fuzz::checkSidecarInput("qelvo-measurements 1\nshape\tline\t\t0\t0\n"), "");
    EXPECT_EQ(fuzz::checkSidecarInput(std::string("\0\xff", 2)), "");
    std::filesystem::remove_all(fuzz::scratchFolder("sidecar"));
}

TEST(MeasureFuzzInputs, ObjectivesSeedsAndKeptInputsGiveSoundResults) {
    test::TempFolder seeds;
    ASSERT_GT(fuzz::writeObjectivesSeeds(seeds.path()), 0);
    for (const auto& [name, bytes] : fuzz::folderFiles(seeds.path()))
        EXPECT_EQ(fuzz::checkObjectivesInput(bytes), "") << "seed " << name;
    for (const auto& [name, bytes] : fuzz::folderFiles(QELVO_FUZZ_REGRESSIONS "/objectives"))
        EXPECT_EQ(fuzz::checkObjectivesInput(bytes), "") << "kept input " << name;
    EXPECT_EQ(fuzz::checkObjectivesInput("qelvo-objectives 1\nactive\t3\n"), "");
    std::filesystem::remove_all(fuzz::scratchFolder("objectives"));
}

TEST(MeasureFuzzInputs, LengthSeedsAndKeptInputsGiveSoundResults) {
    test::TempFolder seeds;
    ASSERT_GT(fuzz::writeLengthSeeds(seeds.path()), 0);
    for (const auto& [name, bytes] : fuzz::folderFiles(seeds.path()))
        EXPECT_EQ(fuzz::checkLengthInput(bytes), "") << "seed " << name;
    for (const auto& [name, bytes] : fuzz::folderFiles(QELVO_FUZZ_REGRESSIONS "/length"))
        EXPECT_EQ(fuzz::checkLengthInput(bytes), "") << "kept input " << name;
    for (const char* edge : {"1e-6um", "1e12um", "1e-3 nm", "999999.5 mm", "-0", "+5um"})
        EXPECT_EQ(fuzz::checkLengthInput(edge), "") << edge;
}

}  // namespace
}  // namespace qelvo
