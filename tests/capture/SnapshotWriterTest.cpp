#include "acquire/FlatField.h"
#include "acquire/FrameAverager.h"
#include "capture/SnapshotWriter.h"
#include "imaging/CxImage.h"
#include "measure/ScaleBar.h"
#include "picturefiles/PictureFile.h"
#include "support/TempFolder.h"
#include "support/TestBitmaps.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <regex>
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

std::string exifTags(const std::string& path) {
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(
        ::popen(("exiv2 -q -Pkv '" + path + "' 2>&1").c_str(), "r"), ::pclose);
    std::string out;
    char buffer[512];
    while (pipe && std::fgets(buffer, sizeof buffer, pipe.get())) out += buffer;
    return out;
}

// The pixel size set for another capture size follows the frame's width, and reaches the
// file where EXIF readers look for it.
TEST(SnapshotWriter, CalibratedSnapshotsCarryExifResolutionAndObjective) {
    test::TempFolder folder;
    auto frame = solidFrame(640, 480, QColor(90, 90, 90));
    const SnapshotObjective objective{"40x", 0.5, 1280, 960, false};
    const std::string path = writeSnapshot(*frame, folder.path(), kTime, &objective);
    ASSERT_FALSE(path.empty());
    const std::string tags = exifTags(path);
    EXPECT_TRUE(std::regex_search(tags, std::regex(R"(Exif\.Image\.XResolution\s+10000/1\n)")))
        << tags;  // 1 um per pixel at 640 wide: 10000 pixels per centimetre
    EXPECT_TRUE(std::regex_search(tags, std::regex(R"(Exif\.Image\.ResolutionUnit\s+3\n)")))
        << tags;
    EXPECT_TRUE(
        std::regex_search(tags, std::regex(R"(Exif\.Image\.ImageDescription\s+objective=40x\n)")))
        << tags;
    std::string error;
    auto info = readPictureFileInfo(path, &error);
    ASSERT_TRUE(info) << error;
    EXPECT_DOUBLE_EQ(info->calibration.micrometresPerPixel, 1.0);
    EXPECT_EQ(info->calibration.objective, "40x");

    // No objective, or one not calibrated: the picture says nothing about its scale.
    const SnapshotObjective uncalibrated{"4x", 0.0, 0, 0, false};
    for (const SnapshotObjective* o :
         {static_cast<const SnapshotObjective*>(nullptr), &uncalibrated}) {
        const std::string plain = writeSnapshot(*frame, folder.path(), kTime, o);
        auto plainInfo = readPictureFileInfo(plain, &error);
        ASSERT_TRUE(plainInfo) << error;
        EXPECT_FALSE(plainInfo->calibration.calibrated());
    }
}

// Scale bar of the chosen length in the bottom-right corner, light on a dark picture and
// dark on a light one; the rest of the picture untouched, and nothing without the option.
TEST(SnapshotWriter, ScaleBarIsBurntInOnlyWhenAskedAndFollowsThePicture) {
    test::TempFolder folder;
    const measure::ScaleBar expected = measure::chooseScaleBar(640, 2.0);
    for (int level : {20, 235}) {
        SCOPED_TRACE(level);
        auto frame = solidFrame(640, 480, QColor(level, level, level));
        for (bool burn : {false, true}) {
            const SnapshotObjective objective{"10x", 2.0, 0, 0, burn};
            const std::string path = writeSnapshot(*frame, folder.path(), kTime, &objective);
            std::string error;
            auto picture = readPictureFile(path, &error);
            ASSERT_TRUE(picture) << error;
            // The longest run of pixels far from the background, row by row.
            int longest = 0, marked = 0, markedTopLeft = 0;
            for (int y = 0; y < 480; ++y) {
                int run = 0;
                for (int x = 0; x < 640; ++x) {
                    const int v = picture->samples[(y * 640 + x) * 3 + 1];
                    const bool ink = level < 128 ? v > 200 : v < 55;
                    run = ink ? run + 1 : 0;
                    longest = std::max(longest, run);
                    marked += ink;
                    markedTopLeft += ink && x < 320 && y < 240;
                }
            }
            EXPECT_EQ(markedTopLeft, 0);
            if (!burn) {
                EXPECT_EQ(marked, 0);
                continue;
            }
            EXPECT_NEAR(longest, expected.lengthPixels, 3.0);
            EXPECT_GT(marked, longest * 2) << "the label is drawn too";
        }
    }
}

TEST(SnapshotObjective, PixelSizeFollowsTheFrameWidth) {
    const SnapshotObjective o{"10x", 1.5, 1280, 720, false};
    EXPECT_DOUBLE_EQ(o.pixelSizeFor(1280), 1.5);
    EXPECT_DOUBLE_EQ(o.pixelSizeFor(640), 3.0);
    EXPECT_DOUBLE_EQ((SnapshotObjective{"", 1.5, 0, 0, false}.pixelSizeFor(640)), 1.5);
    EXPECT_DOUBLE_EQ((SnapshotObjective{}.pixelSizeFor(640)), 0.0);
}

// Lossless formats, averages and the flat-field correction.
TEST(SnapshotWriter, AveragesKeepSixteenBitsInPngAndTiffAndAreCorrectedWhenAsked) {
    test::TempFolder folder;
    // Three frames of 5 x 3 whose samples average to 100 + 1/3.
    acquire::FrameAverager average(5, 3, 3);
    std::shared_ptr<const FrameRecord> last;
    for (int value : {100, 100, 101}) {
        last = solidFrame(5, 3, QColor(value, value, value));
        ASSERT_TRUE(average.add(last->pixels(), last->length()));
    }
    SnapshotObjective objective;
    objective.name = "10x";
    objective.micrometresPerPixel = 0.5;
    objective.format = PictureFormat::Png;
    std::string path = writeSnapshot(*last, folder.path(), kTime, &objective, &average);
    EXPECT_EQ(path, folder / "20261208-090503.png");
    std::string error;
    auto png = readPictureFile(path, &error);
    ASSERT_TRUE(png) << error;
    EXPECT_EQ(png->bitsPerSample, 16);
    EXPECT_NEAR(png->calibration.micrometresPerPixel, 0.5, 1e-6);
    std::uint16_t v;
    std::memcpy(&v, png->samples.data(), 2);
    EXPECT_EQ(v, std::lround((100 + 1.0 / 3) * 257));

    // TIFF of one frame, corrected: the left half of the flat is half as bright, so the
    // picture's left half is brought up to the mean.
    PictureData flat;
    flat.width = 5;
    flat.height = 3;
    flat.samples.assign(5 * 3 * 3, 200);
    for (int y = 0; y < 3; ++y)
        for (int c = 0; c < 3; ++c) flat.samples[(y * 5 + 0) * 3 + c] = 100;
    objective.format = PictureFormat::Tiff;
    objective.flatField = std::shared_ptr<const acquire::FlatField>(
        new acquire::FlatField(*acquire::FlatField::make(flat, nullptr, &error)));
    path = writeSnapshot(*last, folder.path(), kTime, &objective);
    EXPECT_EQ(path, folder / "20261208-090503.tif");
    auto tiff = readPictureFile(path, &error);
    ASSERT_TRUE(tiff) << error;
    EXPECT_EQ(tiff->bitsPerSample, 8);
    // mean(flat) = 180: column 0 gets 101 * 1.8, the others 101 * 0.9.
    EXPECT_NEAR(tiff->samples[0], 181.8, 1.0);
    EXPECT_NEAR(tiff->samples[3], 90.9, 1.0);

    // JPEG of the average, corrected the same way; a frame of another size stays as it is.
    objective.format = PictureFormat::Jpeg;
    path = writeSnapshot(*last, folder.path(), kTime, &objective, &average);
    EXPECT_EQ(path, folder / "20261208-090503.jpg");
    auto jpeg = readPictureFile(path, &error);
    ASSERT_TRUE(jpeg) << error;
    EXPECT_NEAR(jpeg->samples[0], 180.6, 8.0);
    auto other = solidFrame(8, 8, QColor(40, 40, 40));
    path = writeSnapshot(*other, folder.path(), kTime, &objective);
    auto plain = readPictureFile(path, &error);
    ASSERT_TRUE(plain) << error;
    EXPECT_NEAR(plain->samples[0], 40, 3);
    EXPECT_EQ(filesIn(folder.path()).size(), 4u);  // nothing half-written left
}

// The scale bar is burnt into averaged 16-bit pictures where it goes into 8-bit ones.
TEST(SnapshotWriter, SixteenBitAveragesGetTheScaleBarToo) {
    test::TempFolder folder;
    acquire::FrameAverager average(320, 240, 2);
    std::shared_ptr<const FrameRecord> last;
    for (int value : {40, 41}) {
        last = solidFrame(320, 240, QColor(value, value, value));
        ASSERT_TRUE(average.add(last->pixels(), last->length()));
    }
    SnapshotObjective objective;
    objective.name = "10x";
    objective.micrometresPerPixel = 2.0;
    objective.burnScaleBar = true;
    objective.format = PictureFormat::Tiff;
    std::string error;
    auto wide =
        readPictureFile(writeSnapshot(*last, folder.path(), kTime, &objective, &average), &error);
    ASSERT_TRUE(wide) << error;
    ASSERT_EQ(wide->bitsPerSample, 16);
    auto narrow = readPictureFile(writeSnapshot(*last, folder.path(), kTime, &objective), &error);
    ASSERT_TRUE(narrow) << error;
    ASSERT_EQ(narrow->bitsPerSample, 8);

    // White ink with a black edge over the dark picture, in the same places in both.
    int ink = 0, differ = 0;
    for (std::size_t i = 0; i < narrow->samples.size(); ++i) {
        std::uint16_t v;
        std::memcpy(&v, wide->samples.data() + 2 * i, 2);
        const int n = narrow->samples[i];
        if (n == 255) ++ink;
        if ((n == 255) != (v == 65535) || (n == 0) != (v == 0)) ++differ;
        if (n != 0 && n != 255) {
            EXPECT_NEAR(v, 40.5 * 257, 1.0) << i;  // the rest untouched
        }
    }
    EXPECT_GT(ink, 3 * 100);
    EXPECT_EQ(differ, 0);
    std::uint16_t corner;
    std::memcpy(&corner, wide->samples.data(), 2);
    EXPECT_NEAR(corner, 40.5 * 257, 1.0);
}

}  // namespace
}  // namespace qelvo
