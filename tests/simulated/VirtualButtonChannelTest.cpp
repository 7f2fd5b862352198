#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "simulated/VirtualButtonChannel.h"
#include "support/TempFolder.h"

namespace qelvo {
namespace {

class VirtualButtonChannelTest : public ::testing::Test {
protected:
    void SetUp() override { ::setenv("QELVO_RUNTIME_DIR", (dir_ / "run").c_str(), 1); }
    void TearDown() override { ::unsetenv("QELVO_RUNTIME_DIR"); }
    test::TempFolder dir_;
};

TEST_F(VirtualButtonChannelTest, CountsPressesPerDeviceName) {
    EXPECT_EQ(stillPressCount("Cam A"), 0u);
    ASSERT_TRUE(pressStill("Cam A"));
    ASSERT_TRUE(pressStill("Cam A"));
    ASSERT_TRUE(pressStill("Cam B"));
    EXPECT_EQ(stillPressCount("Cam A"), 2u);
    EXPECT_EQ(stillPressCount("Cam B"), 1u);
    // Names that differ only in characters a file name could not carry stay apart.
    EXPECT_EQ(stillPressCount("Cam A/"), 0u);
    EXPECT_NE(stillPressFile("a/b"), stillPressFile("a_b"));
    std::ifstream in(stillPressFile("Cam A"));
    std::string text;
    std::getline(in, text);
    EXPECT_EQ(text, "2");
}

TEST_F(VirtualButtonChannelTest, CorruptOrHugeFileReadsAsZeroAndPressRecovers) {
    ASSERT_TRUE(pressStill("Cam"));
    {
        std::ofstream out(stillPressFile("Cam"), std::ios::trunc);
        out << "12abc";
    }
    EXPECT_EQ(stillPressCount("Cam"), 0u);
    {
        std::ofstream out(stillPressFile("Cam"), std::ios::trunc);
        out << std::string(1 << 20, '9');
    }
    EXPECT_EQ(stillPressCount("Cam"), 0u);
    // A pipe in the file's place is not waited on (the read would block the GUI thread).
    ASSERT_EQ(::unlink(stillPressFile("Cam").c_str()), 0);
    ASSERT_EQ(::mkfifo(stillPressFile("Cam").c_str(), 0600), 0);
    EXPECT_EQ(stillPressCount("Cam"), 0u);
    ASSERT_TRUE(pressStill("Cam"));
    EXPECT_EQ(stillPressCount("Cam"), 1u);
}

TEST_F(VirtualButtonChannelTest, PressesFromSeveralProcessesAllCount) {
    constexpr int kChildren = 4;
    constexpr int kPresses = 25;
    for (int c = 0; c < kChildren; ++c) {
        pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            bool ok = true;
            for (int i = 0; i < kPresses; ++i) ok = pressStill("Shared") && ok;
            ::_exit(ok ? 0 : 1);
        }
    }
    for (int c = 0; c < kChildren; ++c) {
        int status = 0;
        ::wait(&status);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_EQ(stillPressCount("Shared"), static_cast<std::uint64_t>(kChildren * kPresses));
}

TEST_F(VirtualButtonChannelTest, UnusableRuntimeFolderFailsCleanly) {
    const std::string blocker = dir_ / "file";
    std::ofstream(blocker) << "x";
    ::setenv("QELVO_RUNTIME_DIR", (blocker + "/run").c_str(), 1);
    EXPECT_FALSE(pressStill("Cam"));
    EXPECT_EQ(stillPressCount("Cam"), 0u);

    // A runtime folder that is a link to someone else's folder takes no presses.
    const std::string theirs = dir_ / "theirs";
    ASSERT_EQ(::mkdir(theirs.c_str(), 0777), 0);
    ASSERT_EQ(::symlink(theirs.c_str(), (dir_ / "link").c_str()), 0);
    ::setenv("QELVO_RUNTIME_DIR", (dir_ / "link").c_str(), 1);
    EXPECT_FALSE(pressStill("Cam"));
    EXPECT_TRUE(std::filesystem::is_empty(theirs));
}

}  // namespace
}  // namespace qelvo
