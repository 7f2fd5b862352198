#include "app/StorageFolderCheck.h"
#include "support/TempFolder.h"
#include "system/SessionState.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace qelvo {
namespace {

namespace fs = std::filesystem;

class StorageFolderCheckTest : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directories(base_ / "home"); }
    test::TempFolder folder_;
    const fs::path base_{folder_.path()};
};

TEST_F(StorageFolderCheckTest, CreatesTheRootOneLevelDeep) {
    const std::string root = (base_ / "QELVO-LAB").string();
    EXPECT_EQ(checkStorageFolder(root, (base_ / "home").string()), root);
    EXPECT_TRUE(fs::is_directory(root));
    EXPECT_EQ(storageFolder(), root);
}

TEST_F(StorageFolderCheckTest, MissingParentIsNotCreatedAndTheFallbackIsUsed) {
    const std::string root = (base_ / "missing" / "QELVO-LAB").string();
    const std::string home = (base_ / "home").string();
    EXPECT_EQ(checkStorageFolder(root, home), home);
    EXPECT_FALSE(fs::exists(base_ / "missing"));
    EXPECT_EQ(storageFolder(), home);
}

TEST_F(StorageFolderCheckTest, OverwritesAFolderChosenEarlier) {
    const std::string root = (base_ / "QELVO-LAB").string();
    fs::create_directories(root);
    setStorageFolder(root + "/20240307");
    checkStorageFolder(root, (base_ / "home").string());
    EXPECT_EQ(storageFolder(), root);
}

TEST_F(StorageFolderCheckTest, AFileInThePlaceOfTheRootFallsBack) {
    const fs::path root = base_ / "QELVO-LAB";
    {
        std::FILE* f = std::fopen(root.c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fclose(f);
    }
    EXPECT_EQ(checkStorageFolder(root.string(), (base_ / "home").string()),
              (base_ / "home").string());
}

}  // namespace
}  // namespace qelvo
