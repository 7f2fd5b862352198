#include "support/TempFolder.h"
#include "system/MemoryPolicy.h"
#include "system/Paths.h"
#include "system/SessionState.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace qelvo {
namespace {

TEST(Paths, EnvironmentOverridesAndJoins) {
    ::setenv("QELVO_STORAGE_ROOT", "/data/lab", 1);
    EXPECT_EQ(defaultStorageRoot(), "/data/lab");
    ::unsetenv("QELVO_STORAGE_ROOT");
    ::setenv("HOME", "/home/op", 1);
    EXPECT_EQ(defaultStorageRoot(), "/home/op/QELVO-LAB");
    EXPECT_EQ(storageFallback(), "/home/op");
    ::unsetenv("QELVO_REGISTRY_DIR");
    ::setenv("XDG_CONFIG_HOME", "/cfg", 1);
    EXPECT_EQ(registryRoot(), "/cfg/qelvo/registry");
    ::setenv("QELVO_REGISTRY_DIR", "/reg", 1);
    EXPECT_EQ(registryRoot(), "/reg");
    ::unsetenv("QELVO_REGISTRY_DIR");
    EXPECT_EQ(joinPath("/a/", "b"), "/a/b");
    EXPECT_EQ(joinPath("/a", "b"), "/a/b");
}

TEST(Paths, APrivateFolderIsOursAloneOrRefused) {
    test::TempFolder dir;
    const auto mode = [](const std::string& path) {
        struct stat st {};
        return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0u;
    };
    // Created with missing parents.  One of ours that others may read is used as it is; one
    // they could have written into is refused and left as the user set it.
    EXPECT_EQ(preparePrivateFolder(dir / "a/b/run"), "");
    EXPECT_EQ(mode(dir / "a/b/run"), 0700u);
    ASSERT_EQ(::mkdir((dir / "shared").c_str(), 0700), 0);
    ASSERT_EQ(::chmod((dir / "shared").c_str(), 0755), 0);
    EXPECT_EQ(preparePrivateFolder(dir / "shared"), "");
    EXPECT_EQ(mode(dir / "shared"), 0755u);
    ASSERT_EQ(::chmod((dir / "shared").c_str(), 0775), 0);
    EXPECT_EQ(preparePrivateFolder(dir / "shared"), "is writable by other users");
    EXPECT_EQ(mode(dir / "shared"), 0775u);

    // A name someone else put there is not used, and what it leads to is left alone.
    ASSERT_EQ(::mkdir((dir / "theirs").c_str(), 0777), 0);
    ASSERT_EQ(::chmod((dir / "theirs").c_str(), 0777), 0);
    ASSERT_EQ(::symlink((dir / "theirs").c_str(), (dir / "link").c_str()), 0);
    EXPECT_EQ(preparePrivateFolder(dir / "link"), "is a symbolic link");
    EXPECT_EQ(preparePrivateFolder(dir / "link/"), "is a symbolic link");
    EXPECT_EQ(mode(dir / "theirs"), 0777u);
    std::ofstream(dir / "file") << "x";
    EXPECT_EQ(preparePrivateFolder(dir / "file"), "is not a folder");
    EXPECT_EQ(preparePrivateFolder(dir / "file/run").find("cannot be created"), 0u);

    // The runtime folder's subfolders are as private, and none is made in an unfit one.
    ::setenv("QELVO_RUNTIME_DIR", (dir / "run").c_str(), 1);
    EXPECT_EQ(privateRuntimeSubfolder("buttons"), dir / "run/buttons");
    EXPECT_EQ(mode(dir / "run/buttons"), 0700u);
    std::ofstream(dir / "run/bridge") << "x";
    EXPECT_EQ(privateRuntimeSubfolder("bridge"), "");
    ::setenv("QELVO_RUNTIME_DIR", (dir / "shared").c_str(), 1);
    EXPECT_EQ(privateRuntimeSubfolder("bridge"), "");
    EXPECT_EQ(mode(dir / "shared/bridge"), 0u);
    ::unsetenv("QELVO_RUNTIME_DIR");
    if (::geteuid() == 0) {  // only root can give a folder to another user
        ASSERT_EQ(::chown((dir / "theirs").c_str(), 65534, 65534), 0);
        EXPECT_EQ(preparePrivateFolder(dir / "theirs"), "belongs to another user");
        EXPECT_EQ(mode(dir / "theirs"), 0777u);
    }
}

TEST(SessionState, SelectedNameIsCutAtACharacterBoundary) {
    setSelectedDeviceName(std::string(300, 'n'));
    EXPECT_EQ(selectedDeviceName().size(), 255u);
    EXPECT_EQ(cutUtf8("ab\xE2\x82\xAC", 4), "ab");
    EXPECT_EQ(cutUtf8("ab\xE2\x82\xAC", 5), "ab\xE2\x82\xAC");
    setSelectedDeviceName("");
}

#if defined(__GLIBC__)
TEST(MemoryPolicy, AFrameSizedBlockIsMappedEvenAfterABiggerOneWasFreed) {
    // Freeing a mapped 4 MB block makes the C library serve later blocks below that size
    // from the heap; after the policy a 512 KiB block must be mapped again.
    static void* volatile kept;  // keeps the compiler from leaving the blocks out
    kept = std::malloc(4 << 20);
    std::free(kept);
    useSteadyMemoryPolicy();
    const auto mappedBefore = mallinfo2().hblks;
    kept = std::malloc(512 << 10);
    EXPECT_EQ(mallinfo2().hblks, mappedBefore + 1);
    std::free(kept);
}
#endif

}  // namespace
}  // namespace qelvo
