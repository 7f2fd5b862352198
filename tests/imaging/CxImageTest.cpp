#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "imaging/CxImage.h"
#include "support/TestPictures.h"

namespace qelvo {
namespace {

TEST(CxImageCreate, RowWidthsPalettesAndNormalisedBits) {
    CxImage img;
    ASSERT_NE(img.Create(640, 480, 24, FormatJpeg), nullptr);
    EXPECT_EQ(img.RowBytes(), 1920u);
    EXPECT_EQ(img.ImageSize(), 1920u * 480u);
    EXPECT_EQ(img.ColorsUsed(), 0);
    EXPECT_EQ(img.Format(), FormatJpeg);

    ASSERT_NE(img.Create(641, 1, 24), nullptr);
    EXPECT_EQ(img.RowBytes(), 1924u);

    ASSERT_NE(img.Create(5, 1, 1), nullptr);
    EXPECT_EQ(img.RowBytes(), 4u);
    EXPECT_EQ(img.ColorsUsed(), 2);
    EXPECT_EQ(img.PaletteColor(1), (RgbQuad{0, 0, 0, 0}));  // palette starts zeroed

    ASSERT_NE(img.Create(3, 3, 32), nullptr);
    EXPECT_EQ(img.BitsPerPixel(), 24);
    ASSERT_NE(img.Create(3, 3, 3), nullptr);
    EXPECT_EQ(img.BitsPerPixel(), 4);
    EXPECT_EQ(img.ColorsUsed(), 16);
    ASSERT_NE(img.Create(3, 3, 7), nullptr);
    EXPECT_EQ(img.BitsPerPixel(), 8);
    EXPECT_EQ(img.ColorsUsed(), 256);
}

TEST(CxImageCreate, HeaderInsideTheBlockMatchesTheCopy) {
    CxImage img;
    ASSERT_NE(img.Create(7, 5, 8), nullptr);
    const std::uint8_t* b = img.Block();
    auto le32 = [&](int off) {
        return static_cast<std::uint32_t>(b[off] | b[off + 1] << 8 | b[off + 2] << 16 |
                                          b[off + 3] << 24);
    };
    EXPECT_EQ(le32(0), 40u);
    EXPECT_EQ(le32(4), 7u);
    EXPECT_EQ(le32(8), 5u);
    EXPECT_EQ(b[12] | b[13] << 8, 1);
    EXPECT_EQ(b[14] | b[15] << 8, 8);
    EXPECT_EQ(le32(16), 0u);
    EXPECT_EQ(le32(20), 8u * 5u);
    EXPECT_EQ(le32(24), 3780u);  // 96 dpi
    EXPECT_EQ(le32(28), 3780u);
    EXPECT_EQ(le32(32), 256u);
    EXPECT_EQ(le32(36), 0u);
    EXPECT_EQ(img.BlockSize(), 40u + 1024u + 40u);
    EXPECT_EQ(img.Bits(), img.Block() + 40 + 1024);

    img.SetXDpi(300);
    img.SetYDpi(0);  // 0 or less means 96
    EXPECT_EQ(img.XDpi(), 300);
    EXPECT_EQ(img.YDpi(), 96);
    EXPECT_EQ(le32(24), 11811u);
    EXPECT_EQ(img.Header().xPelsPerMeter, 11811);
    EXPECT_EQ(le32(28), 3780u);
}

TEST(CxImageCreate, FailuresLeaveAnEmptyPictureWithTheirText) {
    CxImage img;
    ASSERT_NE(img.Create(4, 4, 24), nullptr);
    EXPECT_EQ(img.Create(0, 10, 24), nullptr);
    EXPECT_FALSE(img.IsValid());
    EXPECT_STREQ(img.LastError(), "CxImage::Create : width and height must be greater than zero");
    EXPECT_EQ(img.Create(-5, 10, 24), nullptr);
    EXPECT_EQ(img.Create(16385, 16384, 8), nullptr);  // one row over 2^28 bytes
    EXPECT_STREQ(img.LastError(), "CXIMAGE_MAX_MEMORY exceeded");
    EXPECT_EQ(img.Create(65535, 65535, 24), nullptr);
    EXPECT_STREQ(img.LastError(), "CXIMAGE_MAX_MEMORY exceeded");
    EXPECT_EQ(img.Width(), 0);
    EXPECT_EQ(img.RowBits(0), nullptr);
}

TEST(CxImageCreate, FromPixelsCopiesRowsAndFlips) {
    // Two rows of 2 pixels, 24 bits, source rows padded to 8 bytes.
    const std::uint8_t src[16] = {1, 2, 3, 4, 5, 6, 99, 99, 7, 8, 9, 10, 11, 12, 99, 99};
    CxImage img;
    ASSERT_TRUE(img.CreateFromPixels(src, 2, 2, 24, 8, false));
    EXPECT_EQ(img.Format(), FormatUnknown);
    EXPECT_EQ(img.GetPixelColor(0, 0), (RgbQuad{1, 2, 3, 0}));
    EXPECT_EQ(img.GetPixelColor(1, 1), (RgbQuad{10, 11, 12, 0}));
    ASSERT_TRUE(img.CreateFromPixels(src, 2, 2, 24, 8, true));
    EXPECT_EQ(img.GetPixelColor(0, 1), (RgbQuad{1, 2, 3, 0}));
    EXPECT_EQ(img.GetPixelColor(0, 0), (RgbQuad{7, 8, 9, 0}));

    // 32-bit source keeps the first three bytes of each pixel and gives 24 bits.
    const std::uint8_t src32[8] = {1, 2, 3, 200, 4, 5, 6, 201};
    ASSERT_TRUE(img.CreateFromPixels(src32, 2, 1, 32, 8, false));
    EXPECT_EQ(img.BitsPerPixel(), 24);
    EXPECT_EQ(img.GetPixelColor(1, 0), (RgbQuad{4, 5, 6, 0}));

    // Short source rows copy only what the source row holds.
    const std::uint8_t shortRows[2] = {0xAA, 0xBB};
    ASSERT_TRUE(img.CreateFromPixels(shortRows, 4, 2, 24, 1, false));
    EXPECT_EQ(img.RowBits(0)[0], 0xAA);
    EXPECT_EQ(img.RowBits(1)[0], 0xBB);

    EXPECT_FALSE(img.CreateFromPixels(src, 2, 2, 16, 8, false));
    EXPECT_FALSE(img.CreateFromPixels(nullptr, 2, 2, 24, 8, false));
}

TEST(CxImageCreate, GreyPalettesForPalettePictures) {
    const std::uint8_t src[4] = {0x0F, 0, 0, 0};
    CxImage img;
    ASSERT_TRUE(img.CreateFromPixels(src, 2, 1, 4, 4, false));
    EXPECT_EQ(img.PaletteColor(15), (RgbQuad{255, 255, 255, 0}));
    EXPECT_EQ(img.PaletteColor(3), (RgbQuad{51, 51, 51, 0}));
    EXPECT_EQ(img.GetPixelIndex(0, 0), 0);
    EXPECT_EQ(img.GetPixelIndex(1, 0), 15);
    ASSERT_TRUE(img.CreateFromPixels(src, 8, 1, 1, 4, false));
    EXPECT_EQ(img.PaletteColor(1), (RgbQuad{255, 255, 255, 0}));
    EXPECT_EQ(img.GetPixelIndex(3, 0), 0);
    EXPECT_EQ(img.GetPixelIndex(4, 0), 1);
    ASSERT_TRUE(img.CreateFromPixels(src, 4, 1, 8, 4, false));
    EXPECT_TRUE(img.IsGrayScale());
    img.SetPaletteColor(5, RgbQuad{5, 5, 6, 0});
    EXPECT_FALSE(img.IsGrayScale());
}

TEST(CxImageCopy, CopyDuplicatesBlockAndAttributes) {
    CxImage src = test::RandomPicture(13, 7, 8, 5);
    src.SetXDpi(200);
    src.SetQuality(55);
    src.SetTransparentIndex(3);
    CxImage dst;
    ASSERT_TRUE(dst.CopyFrom(src));
    ASSERT_EQ(dst.BlockSize(), src.BlockSize());
    EXPECT_EQ(std::memcmp(dst.Block(), src.Block(), src.BlockSize()), 0);
    EXPECT_NE(dst.Block(), src.Block());
    EXPECT_EQ(dst.XDpi(), 200);
    EXPECT_EQ(dst.Quality(), 55.0f);
    EXPECT_EQ(dst.TransparentIndex(), 3);
    CxImage empty;
    EXPECT_FALSE(dst.CopyFrom(empty));
    EXPECT_TRUE(dst.IsValid());
}

TEST(CxImagePixels, OutOfRangeColourAndIndexRules) {
    CxImage img = test::RandomPicture(4, 3, 24, 9);
    const RgbQuad corner = img.GetPixelColor(0, 0);
    EXPECT_EQ(img.GetPixelColor(-1, 0), corner);
    EXPECT_EQ(img.GetPixelColor(4, 2), corner);
    img.SetTransparentColor(RgbQuad{1, 2, 3, 77});
    EXPECT_EQ(img.TransparentColor(), (RgbQuad{1, 2, 3, 0}));
    EXPECT_EQ(img.GetPixelColor(0, 5), corner);  // index not set yet
    img.SetTransparentIndex(5);                  // 24 bits: always stores 0
    EXPECT_EQ(img.TransparentIndex(), 0);
    EXPECT_EQ(img.GetPixelColor(0, 5), (RgbQuad{1, 2, 3, 0}));

    CxImage pal = test::RandomPicture(5, 2, 8, 3);
    EXPECT_EQ(pal.GetPixelIndex(9, 9), pal.Bits()[0]);
    EXPECT_EQ(pal.GetPixelColor(9, 9), pal.PaletteColor(pal.Bits()[0]));
    pal.SetTransparentIndex(7);
    EXPECT_EQ(pal.GetPixelIndex(-1, 0), 7);
    EXPECT_EQ(pal.GetPixelColor(-1, 0), pal.PaletteColor(7));
    pal.SetTransparentIndex(300);  // not below colours used
    EXPECT_EQ(pal.TransparentIndex(), 0);
}

TEST(CxImagePixels, SetPixelRgbPicksTheNearestPaletteEntry) {
    CxImage img;
    ASSERT_NE(img.Create(3, 1, 4), nullptr);
    for (int i = 0; i < 16; ++i) img.SetPaletteColor(i, RgbQuad{0, 0, 0, 0});
    img.SetPaletteColor(2, RgbQuad{10, 10, 10, 0});
    img.SetPaletteColor(3, RgbQuad{200, 0, 0, 0});
    img.SetPaletteColor(4, RgbQuad{200, 0, 0, 0});  // tie: the first one wins
    ASSERT_TRUE(img.SetPixelRgb(0, 0, RgbQuad{190, 0, 5, 0}));
    EXPECT_EQ(img.GetPixelIndex(0, 0), 3);
    img.SetPixelRgb(1, 0, RgbQuad{12, 9, 11, 0});
    EXPECT_EQ(img.GetPixelIndex(1, 0), 2);
    // The cache remembers the last colour until the palette changes.
    img.SetPaletteColor(9, RgbQuad{12, 9, 11, 0});
    img.SetPixelRgb(2, 0, RgbQuad{12, 9, 11, 0});
    EXPECT_EQ(img.GetPixelIndex(2, 0), 9);
    // Outside the picture nothing happens.
    EXPECT_TRUE(img.SetPixelRgb(3, 0, RgbQuad{}));
    CxImage empty;
    EXPECT_FALSE(empty.SetPixelRgb(0, 0, RgbQuad{}));
}

TEST(CxImagePixels, DrawSegmentFollowsBresenham) {
    CxImage img;
    ASSERT_NE(img.Create(8, 5, 24), nullptr);
    std::memset(img.Bits(), 0, img.ImageSize());
    const RgbQuad red{0, 0, 255, 0};
    ASSERT_TRUE(img.DrawSegment(0, 7, 0, 3, red));
    // dx 7, dy 3: y steps where the numerator (starting at 3) reaches 7.
    const int expectedY[8] = {0, 0, 1, 1, 2, 2, 3, 3};
    for (int x = 0; x < 8; ++x) {
        for (int y = 0; y < 5; ++y) {
            EXPECT_EQ(img.GetPixelColor(x, y) == red, y == expectedY[x]) << x << "," << y;
        }
    }
    CxImage steep;
    ASSERT_NE(steep.Create(3, 6, 24), nullptr);
    std::memset(steep.Bits(), 0, steep.ImageSize());
    ASSERT_TRUE(steep.DrawSegment(2, 0, 5, 0, red));  // both x first, then both y
    EXPECT_EQ(steep.GetPixelColor(2, 5), red);
    EXPECT_EQ(steep.GetPixelColor(0, 0), red);
    int count = 0;
    for (int x = 0; x < 3; ++x)
        for (int y = 0; y < 6; ++y) count += steep.GetPixelColor(x, y) == red;
    EXPECT_EQ(count, 6);
}

TEST(CxImagePixels, PasteOverSkipsTheTransparentGreyOfADrawingLayer) {
    CxImage picture = test::RandomPicture(700, 500, 24, 11);
    CxImage before;
    before.CopyFrom(picture);
    CxImage layer;
    ASSERT_NE(layer.Create(640, 480, 24), nullptr);
    std::memset(layer.Bits(), 128, layer.ImageSize());
    layer.SetTransparentIndex(0);
    layer.SetTransparentColor(RgbQuad{128, 128, 128, 0});
    ASSERT_TRUE(picture.PasteOver(layer, 0, 0));
    EXPECT_EQ(std::memcmp(picture.Bits(), before.Bits(), picture.ImageSize()), 0);

    const RgbQuad red{0, 0, 255, 0};
    layer.DrawSegment(10, 100, 20, 20, red);
    ASSERT_TRUE(picture.PasteOver(layer, 0, 0));
    for (int y = 0; y < 500; y += 1) {
        for (int x = 0; x < 700; x += 7) {
            const bool stroke = y == 20 && x >= 10 && x <= 100;
            EXPECT_EQ(picture.GetPixelColor(x, y), stroke ? red : before.GetPixelColor(x, y));
        }
    }
}

TEST(CxImagePixels, PasteOverClipsAndMatchesPerPixelCopy) {
    for (int bits : {24, 8}) {
        CxImage target = test::RandomPicture(37, 23, bits, 1);
        CxImage reference;
        reference.CopyFrom(target);
        CxImage src = test::RandomPicture(17, 29, 24, 2);
        src.SetTransparentIndex(0);
        src.SetTransparentColor(src.GetPixelColor(3, 3));
        ASSERT_TRUE(target.PasteOver(src, 25, -4));
        for (int x = 0; x < 17; ++x)
            for (int y = 0; y < 29; ++y)
                if (!src.IsTransparent(x, y))
                    reference.SetPixelRgb(25 + x, y - 4, src.GetPixelColor(x, y));
        EXPECT_EQ(std::memcmp(target.Bits(), reference.Bits(), target.ImageSize()), 0) << bits;
    }
}

}  // namespace
}  // namespace qelvo
