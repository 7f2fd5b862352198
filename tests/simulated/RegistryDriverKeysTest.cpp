#include "simulated/RegistryDriverKeys.h"

#include <gtest/gtest.h>

namespace qelvo {
namespace {

TEST(RegistryDriverKeys, KeyPathsFollowTheDeviceClassLayout) {
    EXPECT_EQ(driverDeviceKeyPath(7),
              "SYSTEM\\CurrentControlSet\\Control\\Class\\"
              "{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\0007");
    EXPECT_EQ(driverSettingsKeyPath(9998), driverDeviceKeyPath(9998) + "\\Settings");
    EXPECT_EQ(driverDeviceKeyPath(9999), "");
    EXPECT_EQ(driverDeviceKeyPath(-1), "");
}

}  // namespace
}  // namespace qelvo
