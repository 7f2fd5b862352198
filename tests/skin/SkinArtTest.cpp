#include "skin/SkinBitmaps.h"
#include "skin/SkinTable.h"

#include <gtest/gtest.h>

namespace qelvo {
namespace {

TEST(SkinArtTest, EveryPictureOfTheTableShipsAtItsSizeIn24Bits) {
    for (const SkinBitmapSpec& sheet : skinBitmapSpecs()) {
        const QImage image = skinBitmap(sheet.id);
        ASSERT_FALSE(image.isNull()) << sheet.id;
        EXPECT_EQ(image.size(), QSize(sheet.width, sheet.height)) << sheet.id;
        EXPECT_EQ(image.format(), QImage::Format_RGB888) << sheet.id;
    }
    EXPECT_TRUE(skinBitmap(135).isNull());  // an unused number ships nothing
    EXPECT_TRUE(skinBitmap(0).isNull());
    const QIcon icon = programIcon();
    ASSERT_FALSE(icon.isNull());
    EXPECT_EQ(icon.availableSizes().value(0), QSize(64, 64));
}

TEST(SkinArtTest, MultiViewBackgroundsCarryThePenColourSwatches) {
    for (int layout : {1, 2, 4}) {
        const WindowSkin& w = multiViewSkin(layout);
        const QImage bg = skinBitmap(w.backgroundId);
        ASSERT_FALSE(bg.isNull());
        for (int column = 0; column < 6; ++column) {
            const QColor expected = QColor::fromRgb(kPenSwatchColours[column]);
            for (int x = 845 + 15 * column; x < 845 + 15 * (column + 1); ++x)
                for (int y = 82; y <= 114; ++y)
                    ASSERT_EQ(bg.pixelColor(x, y), expected)
                        << "background " << w.backgroundId << " at " << x << "," << y;
        }
    }
    EXPECT_EQ(QColor::fromRgb(kPenSwatchColours[1]), QColor(252, 236, 125));
}

// Share of pixels that differ between two frames of a strip, in the part the button shows.
double difference(const QImage& strip, int frames, int a, int b, QSize shown) {
    const int w = strip.width() / frames;
    int differing = 0;
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x)
            differing += strip.pixel(a * w + x, y) != strip.pixel(b * w + x, y);
    return double(differing) / (shown.width() * shown.height());
}

TEST(SkinArtTest, PressedHoverAndLitFramesVisiblyDiffer) {
    for (const SkinBitmapSpec& sheet : skinBitmapSpecs()) {
        if (sheet.frames < 2) continue;
        const QImage strip = skinBitmap(sheet.id);
        const QSize frame(sheet.width / sheet.frames, sheet.height);
        const QSize shown = frame.boundedTo(QSize(100, 101));
        for (int f = 1; f < sheet.frames; ++f)
            EXPECT_GT(difference(strip, sheet.frames, 0, f, shown), 0.15)
                << "strip " << sheet.id << " frame " << f;
        if (sheet.frames == 3) {
            EXPECT_GT(difference(strip, 3, 1, 2, shown), 0.15) << "strip " << sheet.id;
        }
    }
}

TEST(SkinArtTest, WindowTablesUseShippedStripsWithTheirFrameCounts) {
    std::vector<const WindowSkin*> windows = {&launcherSkin(), &imageManagementSkin(),
                                              &imageManagementHdSkin()};
    for (int layout : {1, 2, 4}) {
        windows.push_back(&multiViewSkin(layout));
        windows.push_back(&multiViewHdSkin(layout));
    }
    for (const WindowSkin* w : windows) {
        const SkinBitmapSpec* bg = findSkinBitmapSpec(w->backgroundId);
        ASSERT_NE(bg, nullptr) << w->name;
        EXPECT_EQ(QSize(bg->width, bg->height), w->size) << w->name;
        for (const SkinnedControl& c : w->skinned) {
            const SkinBitmapSpec* s = findSkinBitmapSpec(c.bitmapId);
            ASSERT_NE(s, nullptr) << w->name << " control " << c.controlId;
            EXPECT_EQ(s->frames, c.frames) << w->name << " control " << c.controlId;
            EXPECT_TRUE(QRect(QPoint(0, 0), w->size).contains(c.rect)) << c.controlId;
        }
    }
    for (int mode : {0, 1, 2})
        EXPECT_NE(findSkinBitmapSpec(imageManagementTabBitmap(mode)), nullptr);
    EXPECT_EQ(imageManagementTabBitmap(3), 0);
    EXPECT_EQ(multiViewSkin(3).backgroundId, 130);
    EXPECT_EQ(multiViewSkin(4).panes.size(), 4u);
}

}  // namespace
}  // namespace qelvo
