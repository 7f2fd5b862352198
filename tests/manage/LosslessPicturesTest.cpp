#include "imaging/CxImage.h"
#include "manage/DecodedPictureCache.h"
#include "manage/PictureStrip.h"
#include "manage/PictureTools.h"
#include "manage/ThumbnailCache.h"
#include "picturefiles/PictureFile.h"
#include "support/TempFolder.h"
#include "support/TestBitmaps.h"

#include <gtest/gtest.h>
#include <QColor>
#include <QImage>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace qelvo {
namespace {

// A picture with a distinct colour in each corner (top-left red, top-right green,
// bottom-left blue, the rest grey), 8 or 16 bits a sample, 10 um a pixel.
PictureData corners(int w, int h, int bits) {
    PictureData p;
    p.width = w;
    p.height = h;
    p.channels = 3;
    p.bitsPerSample = bits;
    p.calibration.micrometresPerPixel = 10.0;
    p.calibration.objective = "4x";
    p.samples.assign(p.rowBytes() * h, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int r = 128, g = 128, b = 128;
            if (x < w / 2 && y < h / 2) r = 250, g = 10, b = 10;
            if (x >= w / 2 && y < h / 2) r = 10, g = 250, b = 10;
            if (x < w / 2 && y >= h / 2) r = 10, g = 10, b = 250;
            const int v[3] = {r, g, b};
            for (int c = 0; c < 3; ++c) {
                if (bits == 8) {
                    p.samples[p.rowBytes() * y + 3 * x + c] = static_cast<std::uint8_t>(v[c]);
                } else {
                    const std::uint16_t s = static_cast<std::uint16_t>(v[c] * 257 + 3);
                    std::memcpy(p.samples.data() + p.rowBytes() * y + 6 * x + 2 * c, &s, 2);
                }
            }
        }
    return p;
}

std::array<int, 3> rgbAt(const PictureData& p, int x, int y) {
    std::array<int, 3> out{};
    for (int c = 0; c < 3; ++c) {
        if (p.bitsPerSample == 8) {
            out[c] = p.samples[p.rowBytes() * y + 3 * x + c];
        } else {
            std::uint16_t s;
            std::memcpy(&s, p.samples.data() + p.rowBytes() * y + 6 * x + 2 * c, 2);
            out[c] = s;
        }
    }
    return out;
}

TEST(LosslessPictures, TheStripListsPngAndTiffBesideJpegAndLabelsThemAlike) {
    test::TempFolder dir;
    for (const char* name : {"20240307-093000.jpg", "20240307-093001.png", "20240307-093002.tif",
                             "20240307-093003.TIFF", "20240307-093004.jpeg", "notes.txt",
                             "movie.avi", "picture.png.part"})
        dir.write(name, "x");
    PictureStrip strip;
    strip.listFolder(dir.path(), true);
    EXPECT_EQ(strip.pictureCount(), 5);
    EXPECT_EQ(PictureStrip::label("20240307-093000.jpg"), "0307-093000");
    EXPECT_EQ(PictureStrip::label("20240307-093001.png"), "0307-093001");
    EXPECT_EQ(PictureStrip::label("20240307-093003.TIFF"), "0307-093003");
    EXPECT_EQ(PictureStrip::label("20240307-093004.jpeg"), "0307-093004");
}

TEST(LosslessPictures, ThumbnailsAndThePictureViewReadPngAndSixteenBitTiff) {
    test::TempFolder dir;
    const std::string png = (dir / "a.png");
    const std::string tif = (dir / "b.tif");
    std::string error;
    ASSERT_TRUE(writePictureFile(png, corners(64, 48, 8), &error)) << error;
    ASSERT_TRUE(writePictureFile(tif, corners(64, 48, 16), &error)) << error;
    for (const std::string& path : {png, tif}) {
        const QImage thumb = ThumbnailCache::decodeScaled(path, QSize(32, 24));
        ASSERT_FALSE(thumb.isNull()) << path;
        EXPECT_EQ(QColor(thumb.pixel(2, 2)), QColor(250, 10, 10)) << path;
        EXPECT_EQ(QColor(thumb.pixel(30, 2)), QColor(10, 250, 10)) << path;
        EXPECT_EQ(QColor(thumb.pixel(2, 22)), QColor(10, 10, 250)) << path;

        DecodedPictureCache cache;
        const CxImage* picture = cache.picture(path, true);
        ASSERT_NE(picture, nullptr) << path;
        EXPECT_EQ(picture->Width(), 64);
        const RgbQuad topLeft = picture->GetPixelColor(0, 47);  // rows counted from the bottom
        EXPECT_EQ(topLeft.red, 250);
        EXPECT_EQ(topLeft.blue, 10);
    }
    // A PNG cut short is not shown at all.
    std::ifstream in(png, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    bytes.resize(bytes.size() / 2);
    const std::string cut = (dir / "cut.png");
    std::ofstream(cut, std::ios::binary) << bytes;
    DecodedPictureCache cache;
    EXPECT_EQ(cache.picture(cut, false), nullptr);
    EXPECT_TRUE(ThumbnailCache::decodeScaled(cut, QSize(32, 24)).isNull());
}

TEST(LosslessPictures, ToolsTurnPngAndTiffExactlyAndKeepTheirDepthAndCalibration) {
    test::TempFolder dir;
    const std::string tif = (dir / "c.tiff");
    std::string error;
    const PictureData original = corners(40, 30, 16);
    ASSERT_TRUE(writePictureFile(tif, original, &error)) << error;
    PictureTools tools(nullptr);
    ASSERT_EQ(tools.run(PictureTools::Tool::RotateQuarter, tif), PictureTools::Outcome::Lossless);
    EXPECT_NE(tools.status().find("without loss"), std::string::npos) << tools.status();
    std::optional<PictureData> turned = readPictureFile(tif, &error);
    ASSERT_TRUE(turned) << error;
    ASSERT_EQ(turned->width, 30);
    ASSERT_EQ(turned->height, 40);
    EXPECT_EQ(turned->bitsPerSample, 16);
    EXPECT_NEAR(turned->calibration.micrometresPerPixel, 10.0, 1e-6);
    EXPECT_EQ(turned->calibration.objective, "4x");
    // Clockwise: the top-left (red) corner goes to the top right, bottom-left (blue) to the
    // top left; every sample as it was.
    EXPECT_EQ(rgbAt(*turned, 29, 0), rgbAt(original, 0, 0));
    EXPECT_EQ(rgbAt(*turned, 0, 0), rgbAt(original, 0, 29));
    for (PictureTools::Tool tool :
         {PictureTools::Tool::RotateQuarter, PictureTools::Tool::RotateQuarter,
          PictureTools::Tool::RotateQuarter})
        ASSERT_EQ(tools.run(tool, tif), PictureTools::Outcome::Lossless);
    EXPECT_EQ(readPictureFile(tif, &error)->samples, original.samples);

    const std::string png = (dir / "d.png");
    ASSERT_TRUE(writePictureFile(png, corners(40, 30, 8), &error)) << error;
    ASSERT_EQ(tools.run(PictureTools::Tool::MirrorHorizontal, png),
              PictureTools::Outcome::Lossless);
    std::optional<PictureData> mirrored = readPictureFile(png, &error);
    ASSERT_TRUE(mirrored);
    EXPECT_EQ(rgbAt(*mirrored, 39, 0), (std::array<int, 3>{250, 10, 10}));
    // Levels are equalized in the file's own format, and the status says what happened.
    ASSERT_EQ(tools.run(PictureTools::Tool::Equalize, png), PictureTools::Outcome::Reencoded);
    EXPECT_NE(tools.status().find("PNG"), std::string::npos) << tools.status();
    ASSERT_EQ(tools.run(PictureTools::Tool::Equalize, tif), PictureTools::Outcome::Reencoded);
    EXPECT_NE(tools.status().find("8 bits"), std::string::npos) << tools.status();
    const std::optional<PictureData> equalized = readPictureFile(tif, &error);
    ASSERT_TRUE(equalized);
    EXPECT_NEAR(equalized->calibration.micrometresPerPixel, 10.0, 1e-6);
}

}  // namespace
}  // namespace qelvo
