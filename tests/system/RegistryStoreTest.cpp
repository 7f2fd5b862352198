#include "system/RegistryStore.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "support/TempFolder.h"

namespace qelvo {
namespace {

using test::TempFolder;

class RegistryStoreTest : public ::testing::Test {
protected:
    TempFolder dir_;
    RegistryStore store_{dir_ / "registry"};

    std::string valueFile(const std::string& key, const std::string& name) {
        return store_.root() + "/" + key + "/" + name + ".value";
    }
};

TEST_F(RegistryStoreTest, KeysAreFoldersWithEitherSlashAndMustExistToOpen) {
    EXPECT_FALSE(store_.openKey("SYSTEM\\A\\B"));
    auto created = store_.createKey("SYSTEM\\A\\B");
    ASSERT_TRUE(created);
    EXPECT_TRUE(std::filesystem::is_directory(store_.root() + "/SYSTEM/A/B"));
    auto opened = store_.openKey("SYSTEM/A//B/");
    ASSERT_TRUE(opened);
    EXPECT_EQ(opened->path(), created->path());
    EXPECT_TRUE(store_.openKey("SYSTEM\\A"));
}

TEST_F(RegistryStoreTest, NumbersAndTextsRoundTripWithTheirTypes) {
    auto key = store_.createKey("K");
    ASSERT_TRUE(key);
    EXPECT_EQ(key->writeNumber("USBActive", 1), RegistryStatus::Ok);
    EXPECT_EQ(key->writeNumber("Max", 0xFFFFFFFFu), RegistryStatus::Ok);
    EXPECT_EQ(key->writeText("DriverDesc", "Inspection Microscope."), RegistryStatus::Ok);
    EXPECT_EQ(key->writeText("Empty", ""), RegistryStatus::Ok);

    EXPECT_EQ(key->readNumber("USBActive").value, 1u);
    EXPECT_EQ(key->readNumber("Max").value, 0xFFFFFFFFu);
    auto text = key->readText("DriverDesc");
    ASSERT_TRUE(text.ok());
    EXPECT_EQ(text.value, "Inspection Microscope.");
    EXPECT_TRUE(key->readText("Empty").ok());

    EXPECT_EQ(key->readNumber("DriverDesc").status, RegistryStatus::WrongType);
    EXPECT_EQ(key->readText("USBActive").status, RegistryStatus::WrongType);
    EXPECT_EQ(key->readNumber("Nothing").status, RegistryStatus::ValueMissing);

    EXPECT_EQ(key->writeNumber("USBActive", 0), RegistryStatus::Ok);
    EXPECT_EQ(key->readNumber("USBActive").value, 0u);
    EXPECT_EQ(key->deleteValue("USBActive"), RegistryStatus::Ok);
    EXPECT_EQ(key->readNumber("USBActive").status, RegistryStatus::ValueMissing);
    EXPECT_EQ(key->deleteValue("USBActive"), RegistryStatus::ValueMissing);
}

TEST_F(RegistryStoreTest, ValueNamesCannotEscapeTheirKey) {
    auto key = store_.createKey("K");
    ASSERT_TRUE(key);
    EXPECT_EQ(key->writeNumber("../../evil", 7), RegistryStatus::Ok);
    EXPECT_EQ(key->writeNumber("a/b", 8), RegistryStatus::Ok);
    EXPECT_EQ(key->readNumber("../../evil").value, 7u);
    EXPECT_EQ(key->readNumber("a/b").value, 8u);
    EXPECT_EQ(key->readNumber("a_b").status, RegistryStatus::ValueMissing);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir_.path()))
        EXPECT_TRUE(entry.path().string().rfind(key->path(), 0) == 0 || entry.is_directory())
            << entry.path();
    // Key paths that climb out of the store or collide with value files are refused.
    EXPECT_FALSE(store_.createKey("..\\outside"));
    EXPECT_FALSE(store_.openKey("K/../K"));
    EXPECT_FALSE(store_.createKey("K\\x.value"));
}

TEST_F(RegistryStoreTest, UntrustedValueFilesGiveClearStatuses) {
    auto key = store_.createKey("K");
    ASSERT_TRUE(key);
    auto put = [&](const std::string& name, const std::string& bytes) {
        std::ofstream(valueFile("K", name), std::ios::binary) << bytes;
    };
    put("garbage", "\x01\x02zzz");
    put("badnumber", "dword:12x\n");
    put("negative", "dword:-1\n");
    put("overflow", "dword:4294967296\n");
    put("emptynumber", "dword:");
    put("huge", "sz:" + std::string(RegistryStore::kMaxValueBytes, 'a'));
    std::filesystem::create_directory(valueFile("K", "folder"));
    ASSERT_EQ(::mkfifo(valueFile("K", "pipe").c_str(), 0644), 0);

    EXPECT_EQ(key->readNumber("garbage").status, RegistryStatus::Corrupt);
    EXPECT_EQ(key->readText("garbage").status, RegistryStatus::Corrupt);
    EXPECT_EQ(key->readNumber("badnumber").status, RegistryStatus::Corrupt);
    EXPECT_EQ(key->readNumber("negative").status, RegistryStatus::Corrupt);
    EXPECT_EQ(key->readNumber("overflow").status, RegistryStatus::Corrupt);
    EXPECT_EQ(key->readNumber("emptynumber").status, RegistryStatus::Corrupt);
    EXPECT_EQ(key->readText("huge").status, RegistryStatus::TooLarge);
    EXPECT_NE(key->readNumber("folder").status, RegistryStatus::Ok);
    EXPECT_EQ(key->readNumber("pipe").status, RegistryStatus::Corrupt) << "not waited on";
    EXPECT_EQ(key->writeText("big", std::string(RegistryStore::kMaxValueBytes, 'b')),
              RegistryStatus::TooLarge);
    // A corrupt value is simply replaced by the next write.
    EXPECT_EQ(key->writeNumber("garbage", 3), RegistryStatus::Ok);
    EXPECT_EQ(key->readNumber("garbage").value, 3u);
}

TEST_F(RegistryStoreTest, RemovedKeyFailsAndIsNotRecreatedByWrites) {
    auto key = store_.createKey("Class\\0000\\Settings");
    ASSERT_TRUE(key);
    ASSERT_EQ(key->writeNumber("SnapShotState", 3), RegistryStatus::Ok);
    EXPECT_TRUE(store_.deleteKey("Class\\0000"));
    EXPECT_EQ(key->readNumber("SnapShotState").status, RegistryStatus::KeyMissing);
    EXPECT_EQ(key->writeNumber("SnapShotState", 2), RegistryStatus::KeyMissing);
    EXPECT_FALSE(std::filesystem::exists(store_.root() + "/Class/0000"));
    EXPECT_FALSE(store_.openKey("Class\\0000\\Settings"));
    // A missing root is only a missing key.
    RegistryStore nowhere(dir_ / "no/such/root");
    EXPECT_FALSE(nowhere.openKey("SYSTEM"));
}

TEST_F(RegistryStoreTest, CreateNewKeyHasOneWinnerAcrossProcesses) {
    constexpr int kChildren = 4;
    for (int c = 0; c < kChildren; ++c) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) ::_exit(store_.createNewKey("Class\\0003") ? 0 : 1);
    }
    int winners = 0;
    for (int c = 0; c < kChildren; ++c) {
        int status = 0;
        ::wait(&status);
        if (WIFEXITED(status) && WEXITSTATUS(status) == 0) ++winners;
    }
    EXPECT_EQ(winners, 1);
    EXPECT_FALSE(store_.createNewKey("Class\\0003"));
    EXPECT_TRUE(store_.openKey("Class\\0003"));
}

TEST_F(RegistryStoreTest, ReadersNeverSeeAHalfWrittenValue) {
    auto key = store_.createKey("K");
    ASSERT_TRUE(key);
    const std::string a(4000, 'a');
    const std::string b(6000, 'b');
    ASSERT_EQ(key->writeText("V", a), RegistryStatus::Ok);
    std::thread writer([&] {
        for (int i = 0; i < 300; ++i) key->writeText("V", i % 2 ? a : b);
    });
    int bad = 0;
    for (int i = 0; i < 300; ++i) {
        auto text = key->readText("V");
        if (!text.ok() || (text.value != a && text.value != b)) ++bad;
    }
    writer.join();
    EXPECT_EQ(bad, 0);
    // No temporary files are left behind.
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(key->path())) {
        (void)entry;
        ++files;
    }
    EXPECT_EQ(files, 1);
}

}  // namespace
}  // namespace qelvo
