// Replays the settings files kept from fuzzing (fuzz/regressions/), and the seeds the fuzzer
// starts from, through the same check the fuzzer runs.
#include <gtest/gtest.h>

#include <filesystem>

#include "manage/fuzz/SettingsFileInput.h"
#include "support/FuzzSupport.h"
#include "support/TempFolder.h"

namespace qelvo {
namespace {

TEST(SettingsFileFuzzInputs, SeedsAndKeptInputsGiveSoundResults) {
    test::TempFolder seeds;
    ASSERT_GT(fuzz::writeSettingsFileSeeds(seeds.path()), 0);
    for (const auto& [name, bytes] : fuzz::folderFiles(seeds.path()))
        EXPECT_EQ(fuzz::checkSettingsFileInput(bytes), "") << "seed " << name;
    for (const auto& [name, bytes] : fuzz::folderFiles(QELVO_FUZZ_REGRESSIONS))
        EXPECT_EQ(fuzz::checkSettingsFileInput(bytes), "") << "kept input " << name;
    std::filesystem::remove_all(fuzz::scratchFolder("settings"));
}

}  // namespace
}  // namespace qelvo
