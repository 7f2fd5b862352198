// Replays the inputs kept from fuzzing the device-side parsers (fuzz/regressions/<target>/),
// and the seeds each fuzzer starts from, through the same checks the fuzzers run.
#include <gtest/gtest.h>

#include <filesystem>

#include "simulated/fuzz/ChipStateInput.h"
#include "simulated/fuzz/InputEventInput.h"
#include "simulated/fuzz/RegistryValueInput.h"
#include "simulated/fuzz/VirtualDeviceListInput.h"
#include "support/FuzzSupport.h"
#include "support/TempFolder.h"

namespace qelvo {
namespace {

struct ParserTarget {
    const char* name;
    std::string (*check)(std::string_view);
    int (*writeSeeds)(const std::string&);
};

class ParserFuzzInputs : public ::testing::TestWithParam<ParserTarget> {
protected:
    static void TearDownTestSuite() {
        for (const char* purpose : {"registry", "registry-seeds", "registry-seeds-virtual", "chip"})
            std::filesystem::remove_all(fuzz::scratchFolder(purpose));
    }
};

TEST_P(ParserFuzzInputs, SeedsAndKeptInputsGiveSoundResults) {
    const ParserTarget& target = GetParam();
    test::TempFolder seeds;
    ASSERT_GT(target.writeSeeds(seeds.path()), 0);
    for (const auto& [name, bytes] : fuzz::folderFiles(seeds.path()))
        EXPECT_EQ(target.check(bytes), "") << "seed " << name;
    for (const auto& [name, bytes] :
         fuzz::folderFiles(std::string(QELVO_FUZZ_REGRESSIONS) + "/" + target.name))
        EXPECT_EQ(target.check(bytes), "") << "kept input " << name;
}

INSTANTIATE_TEST_SUITE_P(
    DeviceParsers, ParserFuzzInputs,
    ::testing::Values(
        ParserTarget{"registry-value", fuzz::checkRegistryValueInput,
                     fuzz::writeRegistryValueSeeds},
        ParserTarget{"virtual-devices", fuzz::checkVirtualDeviceListInput,
                     fuzz::writeVirtualDeviceListSeeds},
        ParserTarget{"chip-state", fuzz::checkChipStateInput, fuzz::writeChipStateSeeds},
        ParserTarget{"input-events", fuzz::checkInputEventInput, fuzz::writeInputEventSeeds}),
    [](const auto& info) {
        std::string name = info.param.name;
        std::erase(name, '-');
        return name;
    });

}  // namespace
}  // namespace qelvo
