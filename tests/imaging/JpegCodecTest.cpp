#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "imaging/CxImage.h"
#include "support/TempFolder.h"
#include "support/TestPictures.h"

namespace qelvo {
namespace {

using test::DecodeJpeg;
using test::MakeJpeg;
using test::ReadBytes;
using test::TempFolder;
using test::WriteBytes;

TEST(JpegSave, SnapshotPathWritesAJfifFileLibjpegReads) {
    TempFolder dir;
    CxImage img = test::PhotoPicture(333, 201, 4);
    img.SetQuality(80);
    const std::string path = dir / "snap.jpg";
    ASSERT_TRUE(img.SaveFile(path.c_str(), FormatJpeg)) << img.LastError();
    const auto decoded = DecodeJpeg(ReadBytes(path));
    EXPECT_EQ(decoded.width, 333);
    EXPECT_EQ(decoded.height, 201);
    EXPECT_EQ(decoded.components, 3);
    EXPECT_TRUE(decoded.jfif);
    EXPECT_EQ(decoded.densityUnit, 1);
    EXPECT_EQ(decoded.xDensity, 96);
    EXPECT_EQ(decoded.yDensity, 96);
    EXPECT_EQ(decoded.maxHSamp, 2);
    // Top-left pixel of the file is the top row of the picture (the last stored row), RGB.
    const RgbQuad topLeft = img.GetPixelColor(0, 200);
    EXPECT_NEAR(decoded.pixels[0], topLeft.red, 12);
    EXPECT_NEAR(decoded.pixels[2], topLeft.blue, 12);
    EXPECT_EQ(dir.entries().size(), 1u);  // no temporary file left behind
}

TEST(JpegSave, RoundTripKeepsSizeOrientationAndResolution) {
    TempFolder dir;
    CxImage img;
    ASSERT_NE(img.Create(40, 30, 24), nullptr);
    // Left half red, top third blue: colours survive compression clearly.
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x)
            img.SetPixelRgb(x, y,
                            y >= 20  ? RgbQuad{255, 0, 0, 0}
                            : x < 20 ? RgbQuad{0, 0, 255, 0}
                                     : RgbQuad{0, 255, 0, 0});
    img.SetXDpi(300);
    img.SetYDpi(150);
    const std::string path = dir / "a.jpg";
    ASSERT_TRUE(img.SaveFile(path.c_str(), FormatJpeg));
    CxImage back;
    ASSERT_TRUE(back.LoadFile(path.c_str(), FormatJpeg)) << back.LastError();
    EXPECT_EQ(back.Width(), 40);
    EXPECT_EQ(back.Height(), 30);
    EXPECT_EQ(back.BitsPerPixel(), 24);
    EXPECT_EQ(back.Format(), FormatJpeg);
    EXPECT_EQ(back.XDpi(), 300);
    EXPECT_EQ(back.YDpi(), 150);
    EXPECT_EQ(back.Header().xPelsPerMeter, 11811);
    const RgbQuad top = back.GetPixelColor(30, 27);
    const RgbQuad leftBottom = back.GetPixelColor(3, 3);
    EXPECT_GT(top.blue, 200);
    EXPECT_LT(top.red, 60);
    EXPECT_GT(leftBottom.red, 200);
    EXPECT_LT(leftBottom.blue, 60);
}

TEST(JpegSave, EncodingMatchesLibjpegDirectlyBitForBit) {
    // The same picture through libjpeg directly with the encoder's settings must give the
    // same bytes, for colour and grey pictures, odd sizes, qualities and resolutions.
    TempFolder dir;
    struct Case {
        int w, h, bits, quality, dpi;
    } cases[] = {
        {123, 77, 24, 80, 96}, {1, 1, 24, 100, 300}, {65, 3, 8, 80, 96}, {17, 40, 24, 5, 72}};
    for (const Case& c : cases) {
        CxImage img = c.bits == 24 ? test::PhotoPicture(c.w, c.h, 8)
                                   : test::RandomPicture(c.w, c.h, 8, 2, true);
        img.SetQuality(static_cast<std::uint8_t>(c.quality));
        img.SetXDpi(c.dpi);
        img.SetYDpi(c.dpi);
        const std::string path = dir / "p.jpg";
        ASSERT_TRUE(img.SaveFile(path.c_str(), FormatJpeg)) << img.LastError();
        EXPECT_EQ(ReadBytes(path), test::EncodeWithLibjpeg(img, c.quality)) << c.w << "x" << c.h;

        // Decoding gives libjpeg's pixels, stored bottom-up as blue, green, red.
        const auto decoded = DecodeJpeg(ReadBytes(path));
        CxImage again;
        ASSERT_TRUE(again.LoadFile(path.c_str(), FormatJpeg));
        for (int y = 0; y < c.h; ++y) {
            for (int x = 0; x < c.w; ++x) {
                if (c.bits == 8) {
                    ASSERT_EQ(again.GetPixelIndex(x, c.h - 1 - y), decoded.pixels[y * c.w + x]);
                } else {
                    const std::uint8_t* p = decoded.pixels.data() + (y * c.w + x) * 3;
                    ASSERT_EQ(again.GetPixelColor(x, c.h - 1 - y), (RgbQuad{p[2], p[1], p[0], 0}));
                }
            }
        }
    }
}

TEST(JpegSave, FailedSavesLeaveTheExistingFileAlone) {
    TempFolder dir;
    const std::string path = dir / "keep.jpg";
    const std::vector<std::uint8_t> original = {1, 2, 3, 4, 5};
    WriteBytes(path, original);

    CxImage empty;
    EXPECT_FALSE(empty.SaveFile(path.c_str(), FormatJpeg));
    EXPECT_STREQ(empty.LastError(), "null image!!!");

    CxImage palette = test::RandomPicture(8, 8, 8, 3);
    EXPECT_FALSE(palette.SaveFile(path.c_str(), FormatJpeg));
    EXPECT_STREQ(palette.LastError(), "JPEG can save only RGB or GreyScale images");

    CxImage colour = test::RandomPicture(8, 8, 24, 3);
    EXPECT_FALSE(colour.SaveFile(path.c_str(), FormatBmp));
    EXPECT_STREQ(colour.LastError(), "Encode: Unknown format");
    EXPECT_FALSE(colour.SaveFile(path.c_str(), FormatWbmp));
    EXPECT_STREQ(colour.LastError(), "Can't save this image as WBMP");

    EXPECT_EQ(ReadBytes(path), original);
    EXPECT_EQ(dir.entries().size(), 1u);

    // An unwritable folder: no file can be opened, nothing changes.
    EXPECT_FALSE(colour.SaveFile((dir / "missing/x.jpg").c_str(), FormatJpeg));
    EXPECT_EQ(dir.entries().size(), 1u);
}

TEST(JpegSave, FullDiskIsALibjpegWriteErrorAndKeepsTheOldFile) {
    CxImage img = test::PhotoPicture(64, 64, 1);
    std::FILE* full = std::fopen("/dev/full", "wb");
    if (!full) GTEST_SKIP() << "/dev/full not available";
    EXPECT_FALSE(img.Encode(full, FormatJpeg));
    std::fclose(full);
    EXPECT_NE(std::strlen(img.LastError()), 0u);
    EXPECT_FALSE(img.Encode(nullptr, FormatJpeg));
    EXPECT_STREQ(img.LastError(), "null file handler");
}

TEST(JpegSave, LongestFileNamesStillSave) {
    TempFolder dir;
    const std::string path = dir / (std::string(251, 'n') + ".jpg");  // 255 characters
    CxImage img = test::PhotoPicture(8, 8, 1);
    ASSERT_TRUE(img.SaveFile(path.c_str(), FormatJpeg));
    EXPECT_EQ(dir.entries().size(), 1u);
}

TEST(JpegSave, ReplacingAFileKeepsItsPermissions) {
    TempFolder dir;
    const std::string path = dir / "perm.jpg";
    WriteBytes(path, {9, 9});
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    CxImage img = test::PhotoPicture(16, 16, 1);
    ASSERT_TRUE(img.SaveFile(path.c_str(), FormatJpeg));
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_GT(st.st_size, 100);
}

}  // namespace
}  // namespace qelvo

namespace qelvo {
namespace {

TEST(JpegStreams, DecodeStartsAtTheStreamPositionAndReturnsThereOnFailure) {
    test::JpegRecipe params;
    const auto jpeg = test::MakeJpeg(params);
    std::FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    const char prefix[] = "leading bytes";
    std::fwrite(prefix, 1, sizeof prefix, f);
    std::fwrite(jpeg.data(), 1, jpeg.size(), f);
    std::fseek(f, sizeof prefix, SEEK_SET);
    CxImage img;
    ASSERT_TRUE(img.Decode(f, FormatJpeg)) << img.LastError();
    EXPECT_EQ(img.Width(), params.width);

    std::fseek(f, 3, SEEK_SET);  // inside the prefix: neither reader accepts it
    CxImage other;
    EXPECT_FALSE(other.Decode(f, FormatUnknown));
    EXPECT_EQ(std::ftell(f), 3);
    std::fclose(f);
}

TEST(JpegStreams, ConcurrentSnapshotWritersEachWriteWholeFiles) {
    TempFolder dir;
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t) {
        writers.emplace_back([&dir, t] {
            for (int i = 0; i < 5; ++i) {
                CxImage img = test::PhotoPicture(320 + t, 240, t * 10 + i);
                img.SetQuality(80);
                // All writers also replace one shared name, as two snapshots in one second do.
                img.SaveFile(
                    (dir / "shot-" + std::to_string(t) + "-" + std::to_string(i) + ".jpg").c_str(),
                    FormatJpeg);
                img.SaveFile((dir / "same.jpg").c_str(), FormatJpeg);
            }
        });
    }
    for (auto& w : writers) w.join();
    const auto names = dir.entries();
    EXPECT_EQ(names.size(), 21u);  // no temporary file left behind
    for (const auto& name : names) {
        CxImage img;
        ASSERT_TRUE(img.LoadFile((dir / name).c_str(), FormatJpeg)) << name;
        EXPECT_EQ(img.Height(), 240);
    }
}

}  // namespace
}  // namespace qelvo
