#include "media/DeviceCatalogue.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace qelvo {
namespace {

using Options = std::vector<std::pair<std::string, std::string>>;

TEST(SystemCatalogue, ListsVirtualDevicesAfterCamerasInConfiguredOrder) {
    ::setenv("QELVO_VIRTUAL_DEVICES", "Zeta Cam;Alpha Cam{still}", 1);
    auto catalogue = makeSystemDeviceCatalogue();
    const auto devices = catalogue->videoInputs();
    ASSERT_GE(devices.size(), 2u);
    const auto& last = devices[devices.size() - 1];
    const auto& beforeLast = devices[devices.size() - 2];
    EXPECT_EQ(beforeLast.friendlyName, "Zeta Cam");
    EXPECT_EQ(last.friendlyName, "Alpha Cam");
    EXPECT_TRUE(last.isVirtual);
    EXPECT_EQ(last.virtualEntry.options, (Options{{"still", ""}}));

    ::setenv("QELVO_VIRTUAL_DEVICES", "Other", 1);  // re-read at every enumeration
    EXPECT_EQ(catalogue->videoInputs().back().friendlyName, "Other");
    ::unsetenv("QELVO_VIRTUAL_DEVICES");
}

}  // namespace
}  // namespace qelvo
