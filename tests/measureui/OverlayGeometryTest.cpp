#include "desktop/LiveTarget.h"
#include "measureui/OverlayController.h"
#include "measureui/OverlayGeometry.h"
#include "measureui/OverlayRenderer.h"
#include "support/TempFolder.h"
#include "support/WaitUntil.h"
#include "system/RegistryStore.h"

#include <gtest/gtest.h>
#include <QPainter>

#include <cmath>
#include <vector>

using namespace qelvo;

namespace {

OverlaySettings all() {
    return {true, true, true, true};
}

std::vector<double> verticalGridX(const OverlayGeometry& g) {
    std::vector<double> xs;
    for (const auto& l : g.grid)
        if (l.a.x() == l.b.x()) xs.push_back(l.a.x());
    return xs;
}

}  // namespace

TEST(OverlayGeometry, StepsRunOneTwoFive) {
    EXPECT_DOUBLE_EQ(niceStep(0.7), 1.0);
    EXPECT_DOUBLE_EQ(niceStep(1.0), 1.0);
    EXPECT_DOUBLE_EQ(niceStep(1.1), 2.0);
    EXPECT_DOUBLE_EQ(niceStep(2.5), 5.0);
    EXPECT_DOUBLE_EQ(niceStep(6.0), 10.0);
    EXPECT_NEAR(niceStep(0.013), 0.02, 1e-12);
    EXPECT_EQ(niceStep(0.0), 0.0);
    EXPECT_EQ(niceStep(-3.0), 0.0);
    EXPECT_EQ(niceStep(NAN), 0.0);
}

// A 1280 x 960 picture at 0.5 µm per pixel on a 640 x 480 panel: 640 µm across, so the grid
// steps 100 µm (an eighth is 80 µm), 100 panel pixels, with a line through the centre.
TEST(OverlayGeometry, CalibratedGridRingsAndBarOnAFittedPicture) {
    const PictureMapping m = PictureMapping::stretched(1280, 960, 640, 480);
    const OverlayGeometry g =
        OverlayGeometry::compute({1280, 960}, m, QRectF(0, 0, 640, 480), 0.5, all());
    ASSERT_TRUE(g.calibrated);
    EXPECT_DOUBLE_EQ(g.gridStep, 100.0);
    EXPECT_EQ(g.gridLabel, QStringLiteral("grid 100 µm"));
    const std::vector<double> xs = verticalGridX(g);
    EXPECT_EQ(xs, (std::vector<double>{20, 120, 220, 320, 420, 520, 620}));
    EXPECT_EQ(g.grid.size() - xs.size(), 5u);  // 40 ... 440
    // Rings: half the shorter side is 240 µm; a quarter of it, 60 µm, rounds up to 100 µm,
    // so two rings fit.
    EXPECT_DOUBLE_EQ(g.ringStep, 100.0);
    ASSERT_EQ(g.rings.size(), 2u);
    EXPECT_DOUBLE_EQ(g.rings[0].radiusX, 100.0);  // 100 µm = 200 picture px = 100 panel px
    EXPECT_DOUBLE_EQ(g.rings[1].radiusX, 200.0);
    EXPECT_EQ(g.rings[1].centre, QPointF(320, 240));
    // The scale bar covers 10-25% of the width, bottom right, labelled in micrometres.
    ASSERT_FALSE(g.scaleBar.isEmpty());
    EXPECT_GE(g.scaleBar.width(), 0.1 * 640 - 1e-9);
    EXPECT_LE(g.scaleBar.width(), 0.25 * 640 + 1e-9);
    EXPECT_DOUBLE_EQ(g.scaleBar.right(), 640 - OverlayGeometry::kMargin);
    EXPECT_EQ(g.scaleLabel, QStringLiteral("100 µm"));
    // The crosshair leaves the centre itself free.
    ASSERT_EQ(g.crosshair.size(), 4u);
    for (const auto& l : g.crosshair)
        for (QPointF p : {l.a, l.b})
            EXPECT_FALSE(std::abs(p.x() - 320) < OverlayGeometry::kCrosshairGap - 1e-9 &&
                         std::abs(p.y() - 240) < OverlayGeometry::kCrosshairGap - 1e-9);
}

TEST(OverlayGeometry, UncalibratedLengthsAreInPixels) {
    const PictureMapping m = PictureMapping::stretched(640, 480, 640, 480);
    const OverlayGeometry g =
        OverlayGeometry::compute({640, 480}, m, QRectF(0, 0, 640, 480), 0.0, all());
    EXPECT_FALSE(g.calibrated);
    EXPECT_DOUBLE_EQ(g.gridStep, 100.0);
    EXPECT_EQ(g.gridLabel, QStringLiteral("grid 100 px"));
    EXPECT_EQ(g.scaleLabel, QStringLiteral("100 px"));
}

// A 4:3 frame stretched over a wide panel: lengths stay true on each axis, so circles are
// drawn as ellipses and the grid's cells are wider than high.
TEST(OverlayGeometry, StretchedPanelKeepsLengthsTruePerAxis) {
    const PictureMapping m = PictureMapping::stretched(640, 480, 1000, 562);
    const OverlayGeometry g =
        OverlayGeometry::compute({640, 480}, m, QRectF(0, 0, 1000, 562), 1.0, all());
    ASSERT_FALSE(g.rings.empty());
    EXPECT_NEAR(g.rings[0].radiusX / g.rings[0].radiusY, (1000.0 / 640) / (562.0 / 480), 1e-9);
    const std::vector<double> xs = verticalGridX(g);
    ASSERT_GE(xs.size(), 2u);
    EXPECT_NEAR(xs[1] - xs[0], g.gridStep * 1000.0 / 640, 1e-9);
}

// Zoomed in, only the part on the panel counts: the grid refines to what is seen and stays
// on the panel, the scale bar is chosen for the visible width.
TEST(OverlayGeometry, ZoomedPictureUsesTheVisiblePart) {
    PictureMapping m = PictureMapping::scaled(4.0, QPointF(-1000, -800));  // 160 x 120 seen
    const QRectF panel(0, 0, 640, 480);
    const OverlayGeometry g = OverlayGeometry::compute({1280, 960}, m, panel, 0.5, all());
    EXPECT_DOUBLE_EQ(g.gridStep, 10.0);  // 80 µm seen, an eighth is 10 µm
    for (const auto& l : g.grid) {
        EXPECT_TRUE(panel.adjusted(-1e-6, -1e-6, 1e-6, 1e-6).contains(l.a));
        EXPECT_TRUE(panel.adjusted(-1e-6, -1e-6, 1e-6, 1e-6).contains(l.b));
    }
    EXPECT_LE(g.grid.size(), 40u);
    EXPECT_GE(g.scaleBar.width(), 64.0 - 1e-9);
    EXPECT_LE(g.scaleBar.width(), 160.0 + 1e-9);
    // The picture's centre is off the panel: no crosshair to draw.
    EXPECT_TRUE(g.crosshair.empty());
}

TEST(OverlayGeometry, NothingForAnEmptyPictureOrPanel) {
    const PictureMapping m;
    EXPECT_TRUE(OverlayGeometry::compute({0, 0}, m, QRectF(0, 0, 10, 10), 1, all()).grid.empty());
    EXPECT_TRUE(OverlayGeometry::compute({10, 10}, m, QRectF(), 1, all()).scaleBar.isEmpty());
}

TEST(OverlayInk, FollowsThePictureUnderItWithoutFlicker) {
    OverlayRenderer renderer;
    const PictureMapping m = PictureMapping::stretched(200, 100, 200, 100);
    const OverlayGeometry g =
        OverlayGeometry::compute({200, 100}, m, QRectF(0, 0, 200, 100), 0.0, all());
    QImage target(200, 100, QImage::Format_RGB32);
    const auto paintOver = [&](int level) {
        QImage ground(200, 100, QImage::Format_RGB32);
        ground.fill(qRgb(level, level, level));
        QPainter painter(&target);
        renderer.paint(painter, g, &ground);
    };
    paintOver(250);
    for (int part = 0; part < OverlayRenderer::kParts; ++part)
        EXPECT_FALSE(renderer.lightInk(static_cast<OverlayRenderer::Part>(part))) << part;
    paintOver(130);  // between the two turns: the ink stays
    EXPECT_FALSE(renderer.lightInk(OverlayRenderer::Grid));
    paintOver(10);
    for (int part = 0; part < OverlayRenderer::kParts; ++part)
        EXPECT_TRUE(renderer.lightInk(static_cast<OverlayRenderer::Part>(part))) << part;
    paintOver(130);
    EXPECT_TRUE(renderer.lightInk(OverlayRenderer::Grid));
}

TEST(OverlayInk, BrightnessIsReadAtTheSamplesInside) {
    QImage image(4, 1, QImage::Format_RGB32);
    image.setPixel(0, 0, qRgb(255, 255, 255));
    image.setPixel(1, 0, qRgb(0, 0, 0));
    EXPECT_DOUBLE_EQ(meanBrightness(image, {{0.5, 0.5}, {50, 0}}), 255.0);
    EXPECT_NEAR(meanBrightness(image, {{0.2, 0.2}, {1.5, 0.5}}), 127.5, 1e-9);
    EXPECT_EQ(meanBrightness(image, {{-1, 0}}), -1.0);
}

// Over a live panel the overlays are painted on screen: the frame handed in stays as it was,
// and switching them off (remembered in the store) leaves the bare picture.
TEST(LiveOverlays, DrawnOverThePanelNeverIntoTheFrame) {
    test::TempFolder registry;
    OverlayController overlays(nullptr, registry.path());
    overlays.setSettings({true, false, false, false});  // crosshair only
    LiveTarget target;
    target.resize(320, 240);
    overlays.attachLive(&target);
    std::vector<std::uint8_t> frame(640 * 480 * 3, 0);  // black
    target.submitFrame(frame.data(), 640, 480, 640 * 3);
    ASSERT_TRUE(test::waitUntil([&] { return !target.repaintPending(); }));
    const QImage with = target.grab().toImage();
    EXPECT_EQ(target.shownFrameSize(), QSize(640, 480));
    EXPECT_EQ(QColor(with.pixel(60, 120)), QColor(Qt::white));  // on the crosshair, light ink
    EXPECT_EQ(QColor(with.pixel(60, 60)), QColor(Qt::black));
    EXPECT_EQ(QColor(with.pixel(160, 120)), QColor(Qt::black));  // the centre stays free
    EXPECT_TRUE(std::all_of(frame.begin(), frame.end(), [](std::uint8_t b) { return b == 0; }));

    overlays.setOn(OverlayController::Crosshair, false);
    EXPECT_EQ(QColor(target.grab().toImage().pixel(60, 120)), QColor(Qt::black));
    EXPECT_FALSE(loadOverlaySettings(registry.path()).crosshair);
    overlays.setOn(OverlayController::Grid, true);
    const OverlaySettings stored = loadOverlaySettings(registry.path());
    EXPECT_TRUE(stored.grid);
    EXPECT_FALSE(stored.scaleBar);
}

TEST(LiveOverlays, SettingsDefaultToTheScaleBarAndIgnoreJunk) {
    test::TempFolder registry;
    const OverlaySettings fresh = loadOverlaySettings(registry.path());
    EXPECT_EQ(fresh, (OverlaySettings{false, false, false, true}));
    const std::optional<RegistryKey> key =
        RegistryStore(registry.path()).createKey(OverlayController::kOverlayKey);
    ASSERT_TRUE(key);
    key->writeNumber("Grid", 7);
    key->writeText("ScaleBar", "0");
    EXPECT_EQ(loadOverlaySettings(registry.path()), fresh);
}
