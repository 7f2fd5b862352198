#include "capture/SnapshotWriter.h"
#include "imaging/CxImage.h"
#include "support/TempFolder.h"
#include "support/TestBitmaps.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <thread>
#include <vector>

namespace qelvo {
namespace {

using test::solidFrame;

std::set<std::string> filesIn(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

const LocalTime kTime{2026, 12, 8, 9, 5, 3};

TEST(SnapshotWriter, NamesFollowLocalTimeAndPictureDecodesAtFrameSize) {
    test::TempFolder folder;
    EXPECT_EQ(snapshotBaseName("/a/b", kTime), "/a/b/20261208-090503");
    EXPECT_EQ(snapshotBaseName("/a/b/", kTime), "/a/b/20261208-090503");

    auto frame = solidFrame(642, 10, QColor(50, 100, 200));  // padded rows
    const std::string path = writeSnapshot(*frame, folder.path(), kTime);
    EXPECT_EQ(path, folder / "20261208-090503.jpg");
    CxImage picture;
    ASSERT_TRUE(picture.LoadFile(path.c_str(), FormatJpeg)) << picture.LastError();
    EXPECT_EQ(picture.Width(), 642);
    EXPECT_EQ(picture.Height(), 10);
    const RgbQuad c = picture.GetPixelColor(321, 5);
    EXPECT_NEAR(c.blue, 200, 6);
    EXPECT_NEAR(c.green, 100, 6);
    EXPECT_NEAR(c.red, 50, 6);
}

TEST(SnapshotWriter, ExistingPicturesAreNeverOverwritten) {
    test::TempFolder folder;
    { std::ofstream(folder / "20261208-090503.jpg") << "keep me"; }
    auto frame = solidFrame(16, 16, QColor(3, 2, 1));
    EXPECT_EQ(writeSnapshot(*frame, folder.path(), kTime), folder / "20261208-090503-1.jpg");
    EXPECT_EQ(writeSnapshot(*frame, folder.path(), kTime), folder / "20261208-090503-2.jpg");
    std::ifstream kept(folder / "20261208-090503.jpg");
    std::string text;
    std::getline(kept, text);
    EXPECT_EQ(text, "keep me");
}

TEST(SnapshotWriter, ConcurrentWritersInOneSecondGetDistinctCompleteFiles) {
    test::TempFolder folder;
    constexpr int kWriters = 8;
    std::vector<std::string> written(kWriters);
    std::vector<std::thread> threads;
    for (int i = 0; i < kWriters; ++i)
        threads.emplace_back([&, i] {
            auto frame = solidFrame(320, 240, QColor(0, 0, i * 30));
            written[i] = writeSnapshot(*frame, folder.path(), kTime);
        });
    for (auto& t : threads) t.join();
    std::set<std::string> distinct(written.begin(), written.end());
    EXPECT_EQ(distinct.size(), static_cast<std::size_t>(kWriters));
    EXPECT_EQ(filesIn(folder.path()).size(), static_cast<std::size_t>(kWriters))
        << "no temporary file is left behind";
    for (const std::string& path : written) {
        CxImage picture;
        EXPECT_TRUE(picture.LoadFile(path.c_str(), FormatJpeg)) << path;
    }
}

TEST(SnapshotWriter, IncompleteFrameOrUnwritableFolderWritesNothing) {
    test::TempFolder folder;
    auto record = std::make_shared<FrameRecord>();
    std::vector<std::uint8_t> few(10, 0);
    record->assign(few.data(), few.size(), FrameHeader::forFrame(64, 48), 0);
    EXPECT_EQ(writeSnapshot(*record, folder.path(), kTime), "");
    EXPECT_TRUE(filesIn(folder.path()).empty());

    auto frame = solidFrame(8, 8, QColor(0, 0, 0));
    EXPECT_EQ(writeSnapshot(*frame, folder / "missing", kTime), "");
}

}  // namespace
}  // namespace qelvo
