#include <gtest/gtest.h>

#include <QImage>

#include "imaging/CxImage.h"
#include "imaging/DrawScaled.h"
#include "support/TestPictures.h"

namespace qelvo {
namespace {

QRgb Rgb(RgbQuad c) {
    return qRgb(c.red, c.green, c.blue);
}

TEST(DrawScaled, WholePictureUprightNearestSample) {
    // 2 x 2 picture: bottom row red, green; top row blue, white.
    CxImage img;
    ASSERT_NE(img.Create(2, 2, 24), nullptr);
    const RgbQuad red{0, 0, 255, 0}, green{0, 255, 0, 0}, blue{255, 0, 0, 0},
        white{255, 255, 255, 0};
    img.SetPixelRgb(0, 0, red);
    img.SetPixelRgb(1, 0, green);
    img.SetPixelRgb(0, 1, blue);
    img.SetPixelRgb(1, 1, white);

    QImage target(10, 8, QImage::Format_RGB32);
    target.fill(Qt::black);
    ASSERT_EQ(DrawScaled(img, &target, QRect(1, 2, 8, 6)), 1);
    // Outside the rectangle nothing is drawn.
    EXPECT_EQ(target.pixel(0, 0), qRgb(0, 0, 0));
    EXPECT_EQ(target.pixel(9, 7), qRgb(0, 0, 0));
    // Each source pixel fills one quarter, with no blending at the seams.
    for (int y = 2; y < 8; ++y) {
        for (int x = 1; x < 9; ++x) {
            const bool top = y < 5, left = x < 5;
            const QRgb expected =
                top ? (left ? Rgb(blue) : Rgb(white)) : (left ? Rgb(red) : Rgb(green));
            ASSERT_EQ(target.pixel(x, y), expected) << x << "," << y;
        }
    }
}

TEST(DrawScaled, ShrinkingDropsColumnsWithoutAveraging) {
    CxImage img = test::RandomPicture(64, 1, 24, 3);
    QImage target(16, 1, QImage::Format_RGB32);
    target.fill(Qt::black);
    ASSERT_EQ(DrawScaled(img, &target, QRect(0, 0, 16, 1)), 1);
    for (int x = 0; x < 16; ++x) {
        bool found = false;
        for (int sx = 0; sx < 64 && !found; ++sx)
            found = target.pixel(x, 0) == Rgb(img.GetPixelColor(sx, 0));
        EXPECT_TRUE(found) << "column " << x << " is not a source pixel";
    }
}

TEST(DrawScaled, PalettePicturesAndRefusals) {
    CxImage grey = test::RandomPicture(3, 2, 8, 1, true);
    const QImage up = ToQImage(grey);
    ASSERT_EQ(up.size(), QSize(3, 2));
    const int top = grey.GetPixelIndex(2, 1);
    EXPECT_EQ(up.pixel(2, 0), qRgb(top, top, top));

    QImage target(4, 4, QImage::Format_RGB32);
    CxImage empty;
    EXPECT_EQ(DrawScaled(empty, &target, QRect(0, 0, 4, 4)), 0);
    EXPECT_EQ(DrawScaled(grey, static_cast<QPaintDevice*>(nullptr), QRect(0, 0, 4, 4)), 0);
}

}  // namespace
}  // namespace qelvo
