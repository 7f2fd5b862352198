// Replays the flat-field store inputs kept from fuzzing (fuzz/regressions/) and the seeds the
// fuzzer starts from through the check the fuzzer runs.
#include "acquire/fuzz/FlatFieldStoreInput.h"
#include "support/FuzzSupport.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace qelvo {
namespace {

TEST(FlatFieldStoreFuzzInputs, SeedsAndKeptInputsGiveSoundResults) {
    test::TempFolder seeds;
    ASSERT_GE(fuzz::writeFlatFieldStoreSeeds(seeds.path()), 5);
    for (const auto& [name, bytes] : fuzz::folderFiles(seeds.path()))
        EXPECT_EQ(fuzz::checkFlatFieldStoreInput(bytes), "") << "seed " << name;
    for (const auto& [name, bytes] : fuzz::folderFiles(QELVO_FUZZ_REGRESSIONS))
        EXPECT_EQ(fuzz::checkFlatFieldStoreInput(bytes), "") << "kept input " << name;
    // Names that look like paths, written by hand.
    for (const std::string& input :
         {std::string("..\0..\0", 6), std::string("a/b\0/etc/passwd\0", 16),
          std::string(".\0.\0\xff\xff\xff\xff", 8), std::string(300, 'x') + '\0' + "10x"})
        EXPECT_EQ(fuzz::checkFlatFieldStoreInput(input), "") << input;
    std::filesystem::remove_all(fuzz::scratchFolder("flatfield-store"));
}

}  // namespace
}  // namespace qelvo
