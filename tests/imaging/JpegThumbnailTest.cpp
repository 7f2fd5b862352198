#include "imaging/JpegThumbnail.h"

#include <gtest/gtest.h>

#include <QColor>

#include <fstream>
#include <string>

#include "support/TempFolder.h"
#include "support/TestBitmaps.h"

namespace qelvo {
namespace {

using test::near;
using test::writeJpeg;

TEST(JpegThumbnailTest, DecodesAtTheCoarsestScaleThatStillCoversTheTarget) {
    test::TempFolder dir;
    const std::string path = dir / "big.jpg";
    ASSERT_TRUE(writeJpeg(path, 1600, 1200, QColor(200, 30, 30)));
    ThumbnailPixels pixels;
    ASSERT_TRUE(decodeJpegThumbnail(path.c_str(), 98, 76, pixels));
    EXPECT_EQ(pixels.width, 200);  // 1/8
    EXPECT_EQ(pixels.height, 150);
    ASSERT_TRUE(decodeJpegThumbnail(path.c_str(), 500, 76, pixels));
    EXPECT_EQ(pixels.width, 800);  // 1/4 would be too narrow
    ASSERT_TRUE(decodeJpegThumbnail(path.c_str(), 1600, 1200, pixels));
    EXPECT_EQ(pixels.width, 1600);
    EXPECT_EQ(pixels.rgb.size(), std::size_t(1600) * 1200 * 3);
    EXPECT_TRUE(near(QColor(pixels.rgb[0], pixels.rgb[1], pixels.rgb[2]), QColor(200, 30, 30)));
}

TEST(JpegThumbnailTest, RefusesMissingEmptyAndForeignFiles) {
    test::TempFolder dir;
    std::ofstream(dir / "empty.jpg").close();
    std::ofstream(dir / "text.jpg") << "this is not a picture at all";
    ThumbnailPixels pixels;
    EXPECT_FALSE(decodeJpegThumbnail((dir / "missing.jpg").c_str(), 10, 10, pixels));
    EXPECT_FALSE(decodeJpegThumbnail((dir / "empty.jpg").c_str(), 10, 10, pixels));
    EXPECT_FALSE(decodeJpegThumbnail((dir / "text.jpg").c_str(), 10, 10, pixels));
    EXPECT_TRUE(pixels.rgb.empty());
    EXPECT_FALSE(decodeJpegThumbnail(nullptr, 10, 10, pixels));
}

}  // namespace
}  // namespace qelvo
