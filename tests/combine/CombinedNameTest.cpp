#include "combine/CombinedName.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/TempFolder.h"

using namespace qelvo::combine;

TEST(CombinedNameTest, ResultGoesBesideTheFirstInputAndNeverOverAnyFile) {
    qelvo::test::TempFolder dir;
    const std::string first = (dir / "10-31-22.jpg");
    EXPECT_EQ(combinedPictureName(CombineKind::FocusStack, first), (dir / "10-31-22-edf.jpg"));
    EXPECT_EQ(combinedPictureName(CombineKind::Mosaic, first), (dir / "10-31-22-mosaic.jpg"));

    std::ofstream((dir / "10-31-22-edf.jpg")) << "x";
    std::ofstream((dir / "10-31-22-edf 2.jpg")) << "x";
    // A dangling link is a taken name too: writing through it would create its target.
    std::filesystem::create_symlink((dir / "gone"), (dir / "10-31-22-edf 3.jpg"));
    EXPECT_EQ(combinedPictureName(CombineKind::FocusStack, first), (dir / "10-31-22-edf 4.jpg"));
    EXPECT_EQ(combinedPictureName(CombineKind::FocusStack, dir.path() + "/"), "");
}
