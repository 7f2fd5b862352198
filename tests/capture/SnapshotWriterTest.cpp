#include "capture/SnapshotWriter.h"
#include "imaging/CxImage.h"
#include "system/TempFolder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <thread>
#include <vector>

namespace qelvo {
namespace {

std::shared_ptr<const FrameRecord> makeFrame(int width, int height, std::uint8_t blue,
                                             std::uint8_t green, std::uint8_t red) {
    std::vector<std::uint8_t> pixels(frameRowBytes(width) * height, 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = pixels.data() + y * frameRowBytes(width) + x * 3;
            p[0] = blue;
            p[1] = green;
            p[2] = red;
        }
    auto record = std::make_shared<FrameRecord>();
    record->assign(pixels.data(), pixels.size(), FrameHeader::forFrame(width, height), 0);
    return record;
}

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

    auto frame = makeFrame(642, 10, 200, 100, 50);  // padded rows
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
    auto frame = makeFrame(16, 16, 1, 2, 3);
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
            auto frame = makeFrame(320, 240, static_cast<std::uint8_t>(i * 30), 0, 0);
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

    auto frame = makeFrame(8, 8, 0, 0, 0);
    EXPECT_EQ(writeSnapshot(*frame, folder / "missing", kTime), "");
}

}  // namespace
}  // namespace qelvo
