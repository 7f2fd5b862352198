#include "multiview/PanePicture.h"
#include "multiview/PenLayers.h"
#include "support/TestBitmaps.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace qelvo {
namespace {

bool grey(const CxImage& layer, int x, int y) {
    return layer.IsTransparent(x, y);
}

RgbQuad at(const CxImage& layer, int x, int y) {
    return layer.GetPixelColor(x, y);
}

TEST(PenLayersTest, ColourStripColumnsAndPenModeReset) {
    PenLayers pen;
    EXPECT_FALSE(pen.pickColour({850, 90}));  // outside pen mode nothing is picked
    pen.togglePenMode();
    ASSERT_TRUE(pen.penMode());
    EXPECT_TRUE(pen.pickColour({845 + 2 * 15, 82}));  // column 2: red
    EXPECT_EQ(pen.penColour(), 0x0000FFu);
    EXPECT_TRUE(pen.pickColour({845 + 15 + 14, 114}));  // column 1, last pixel
    EXPECT_EQ(pen.penColour(), 0x7DECFCu);
    for (int x = 935; x <= 939; ++x) EXPECT_FALSE(pen.pickColour({x, 90}));
    EXPECT_FALSE(pen.pickColour({940, 90}));  // right edge excluded
    EXPECT_FALSE(pen.pickColour({850, 115}));
    EXPECT_EQ(pen.penColour(), 0x7DECFCu);
    pen.togglePenMode();
    pen.togglePenMode();
    EXPECT_EQ(pen.penColour(), 0u);  // back to black
}

TEST(PenLayersTest, StrokesScaleByLayoutAndClipToTheLayer) {
    PenLayers pen;
    pen.togglePenMode();
    pen.pickColour({845 + 4 * 15, 90});  // blue
    const RgbQuad blue{255, 0, 0, 0};
    // FULL (scale 1): a point alone after a released pointer.
    pen.stroke(0, {-1, -1}, {10, 20}, 1);
    EXPECT_EQ(at(pen.layer(0), 10, 480 - 20), blue);
    // DUAL/QUAD (scale 2): across a whole 320 x 240 pane spans the 640-wide layer.
    pen.stroke(1, {0, 100}, {319, 100}, 2);
    EXPECT_EQ(at(pen.layer(1), 0, 280), blue);
    EXPECT_EQ(at(pen.layer(1), 638, 280), blue);
    EXPECT_TRUE(grey(pen.layer(1), 0, 279));
    // Pane row 0 lands on layer row 480, outside: nothing drawn, nothing broken.
    pen.stroke(2, {-1, 5}, {5, 0}, 2);
    pen.stroke(2, {3000, 3000}, {-50, 9000}, 2);
    for (int y = 0; y < 480; y += 7) EXPECT_TRUE(grey(pen.layer(2), 10, y));
    EXPECT_TRUE(grey(pen.layer(3), 10, 460));  // other layers untouched

    const unsigned before = pen.revision();
    pen.resetLayers();
    EXPECT_NE(pen.revision(), before);
    EXPECT_TRUE(grey(pen.layer(0), 10, 460));
}

TEST(PenLayersTest, OverlayCopiesOnlyStrokesAndFollowsThePictureSize) {
    PenLayers pen;
    pen.togglePenMode();
    pen.pickColour({845 + 2 * 15, 90});      // red
    pen.stroke(0, {-1, -1}, {320, 240}, 1);  // centre of the pane
    pen.stroke(0, {-1, -1}, {10, 10}, 1);    // near the top-left corner
    const auto frame640 = test::solidFrame(640, 480, QColor(0, 200, 0));
    CxImage same;
    ASSERT_TRUE(composePane(PanePicture{frame640}, &pen.layer(0), same));
    // Pane row y is layer row 480 - y, one line above the pane's own row y.
    EXPECT_EQ(test::pixelFromTop(same, 320, 239), QColor(255, 0, 0));
    EXPECT_EQ(test::pixelFromTop(same, 10, 9), QColor(255, 0, 0));
    EXPECT_EQ(test::pixelFromTop(same, 100, 100), QColor(0, 200, 0));

    // A 1280 x 720 picture: the strokes land on the same places of the picture.
    const auto frameHd = test::solidFrame(1280, 720, QColor(0, 200, 0));
    CxImage hd;
    ASSERT_TRUE(composePane(PanePicture{frameHd}, &pen.layer(0), hd));
    EXPECT_EQ(test::pixelFromTop(hd, 640, 359), QColor(255, 0, 0));
    EXPECT_EQ(test::pixelFromTop(hd, 20, 13), QColor(255, 0, 0));
    EXPECT_EQ(test::pixelFromTop(hd, 10, 9), QColor(0, 200, 0));  // not where 640 x 480 had it

    // What a 320 x 240 pane shows: the stretched picture with the stroke at half position.
    QImage shown = scaledPane(PanePicture{frameHd}, QSize(320, 240));
    overlayLayerScaled(shown, pen.layer(0));
    EXPECT_EQ(shown.pixelColor(160, 119), QColor(255, 0, 0));
    EXPECT_EQ(shown.pixelColor(100, 100), QColor(0, 200, 0));
    EXPECT_EQ(test::pixelFromTop(hd, 600, 100), QColor(0, 200, 0));
}

TEST(PenLayersTest, SmallerPicturesKeepEveryStrokeInItsOwnColour) {
    PenLayers pen;
    pen.togglePenMode();
    pen.pickColour({845 + 2 * 15, 90});  // red
    // One-pixel strokes on an odd layer row and column, which a plain nearest sample skips.
    pen.stroke(0, {0, 9}, {639, 9}, 1);      // layer row 471, the whole width
    pen.stroke(0, {101, 0}, {101, 480}, 1);  // layer column 101, the whole height
    const QColor green(0, 200, 0), red(255, 0, 0);
    for (const QSize size : {QSize(320, 240), QSize(200, 150), QSize(160, 120)}) {
        const auto frame = test::solidFrame(size.width(), size.height(), green);
        CxImage picture;
        ASSERT_TRUE(composePane(PanePicture{frame}, &pen.layer(0), picture));
        std::vector<bool> redInColumn(size.width()), redInRow(size.height());
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x) {
                const QColor c = test::pixelFromTop(picture, x, y);
                ASSERT_TRUE(c == red || c == green) << x << "," << y << " " << size.width();
                if (c == red) redInColumn[x] = redInRow[y] = true;
            }
        EXPECT_EQ(std::count(redInColumn.begin(), redInColumn.end(), false), 0) << size.width();
        EXPECT_EQ(std::count(redInRow.begin(), redInRow.end(), false), 0) << size.width();
    }

    // A half-size picture gets the strokes exactly where a half-size pane shows them.
    const auto frame = test::solidFrame(320, 240, green);
    CxImage saved;
    ASSERT_TRUE(composePane(PanePicture{frame}, &pen.layer(0), saved));
    QImage shown = scaledPane(PanePicture{frame}, QSize(320, 240));
    overlayLayerScaled(shown, pen.layer(0));
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x)
            ASSERT_EQ(test::pixelFromTop(saved, x, y), shown.pixelColor(x, y)) << x << "," << y;
}

}  // namespace
}  // namespace qelvo
