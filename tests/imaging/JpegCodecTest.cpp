#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "imaging/CxImage.h"
#include "imaging/TestPictures.h"

namespace qelvo {
namespace {

using test::DecodeJpeg;
using test::MakeJpeg;
using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

TEST(JpegSave, SnapshotPathWritesAJfifFileLibjpegReads) {
    TempDir dir;
    CxImage img = test::PhotoPicture(333, 201, 4);
    img.SetQuality(80);
    const std::string path = dir.File("snap.jpg");
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
    EXPECT_EQ(dir.Entries().size(), 1u);  // no temporary file left behind
}

TEST(JpegSave, RoundTripKeepsSizeOrientationAndResolution) {
    TempDir dir;
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
    const std::string path = dir.File("a.jpg");
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
    // Same settings through libjpeg directly (RGB rows, quality, 2x2 sampling, 96 dpi) must
    // give the same bytes as the program's encoder.
    TempDir dir;
    CxImage img = test::PhotoPicture(123, 77, 8);
    img.SetQuality(80);
    ASSERT_TRUE(img.SaveFile(dir.File("p.jpg").c_str(), FormatJpeg));
    const auto ours = ReadBytes(dir.File("p.jpg"));
    const auto decoded = DecodeJpeg(ours);
    CxImage again;
    ASSERT_TRUE(again.LoadFile(dir.File("p.jpg").c_str(), FormatJpeg));
    // Decoding what we wrote gives libjpeg's pixels, stored bottom-up as blue, green, red.
    for (int y = 0; y < 77; y += 5) {
        for (int x = 0; x < 123; x += 3) {
            const std::uint8_t* p = decoded.pixels.data() + (y * 123 + x) * 3;
            EXPECT_EQ(again.GetPixelColor(x, 76 - y), (RgbQuad{p[2], p[1], p[0], 0}));
        }
    }
}

TEST(JpegSave, FailedSavesLeaveTheExistingFileAlone) {
    TempDir dir;
    const std::string path = dir.File("keep.jpg");
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
    EXPECT_EQ(dir.Entries().size(), 1u);

    // An unwritable folder: no file can be opened, nothing changes.
    EXPECT_FALSE(colour.SaveFile(dir.File("missing/x.jpg").c_str(), FormatJpeg));
    EXPECT_EQ(dir.Entries().size(), 1u);
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

TEST(JpegSave, ReplacingAFileKeepsItsPermissions) {
    TempDir dir;
    const std::string path = dir.File("perm.jpg");
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
