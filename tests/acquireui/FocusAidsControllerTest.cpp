#include "acquireui/FocusAidsController.h"
#include "acquireui/FocusAidsPanel.h"
#include "desktop/LiveTarget.h"
#include "skin/SkinPalette.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>
#include <QSignalSpy>
#include <QTest>

#include <memory>
#include <vector>

using namespace qelvo;

namespace {

// A grabber-layout frame (bottom-up B,G,R, rows padded to 4 bytes): dark left of column
// `edge`, bright right of it; `soft` spreads the step over that many columns.
std::shared_ptr<std::vector<std::uint8_t>> edgeFrame(int w, int h, int edge, int soft) {
    const std::size_t rowBytes = (static_cast<std::size_t>(w) * 3 + 3) / 4 * 4;
    auto bytes = std::make_shared<std::vector<std::uint8_t>>(rowBytes * h, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int v = x < edge ? 30 : 220;
            if (soft > 0 && x >= edge - soft && x < edge + soft)
                v = 30 + 190 * (x - (edge - soft)) / (2 * soft);
            std::uint8_t* p = bytes->data() + rowBytes * y + x * 3;
            p[0] = p[1] = p[2] = static_cast<std::uint8_t>(v);
        }
    return bytes;
}

struct FrameFeed {
    int width = 120;
    int height = 80;
    std::shared_ptr<std::vector<std::uint8_t>> bytes;
    FocusFrame operator()() const {
        if (!bytes) return {};
        FocusFrame f;
        f.keep = bytes;
        f.view = {bytes->data(), width, height, (static_cast<std::size_t>(width) * 3 + 3) / 4 * 4};
        return f;
    }
};

}  // namespace

TEST(FocusAidsController, ReadsFramesOffTheGuiThreadAndKeepsTheBestValue) {
    test::TempFolder registry;
    auto feed = std::make_shared<FrameFeed>();
    FocusAidsController aids([feed] { return (*feed)(); }, registry.path());
    EXPECT_FALSE(aids.isOn());
    // Off, or on before any frame: no reading.
    aids.readNow();
    EXPECT_FALSE(aids.reading());
    aids.setOn(true);
    ASSERT_TRUE(aids.waitForReading(2000));
    EXPECT_FALSE(aids.reading());

    feed->bytes = edgeFrame(120, 80, 60, 0);
    aids.readNow();
    ASSERT_TRUE(aids.waitForReading(2000));
    ASSERT_TRUE(aids.reading());
    const double sharp = aids.reading()->focus;
    EXPECT_GT(sharp, 0.0);
    EXPECT_EQ(aids.best(), sharp);
    EXPECT_EQ(aids.reading()->histogram.samples, 120u * 80u);

    feed->bytes = edgeFrame(120, 80, 60, 8);
    aids.readNow();
    ASSERT_TRUE(aids.waitForReading(2000));
    EXPECT_LT(aids.reading()->focus, sharp);
    EXPECT_EQ(aids.best(), sharp);

    FocusAidsPanel panel(aids);
    panel.resize(305, 188);
    EXPECT_EQ(panel.bestText(), QStringLiteral("BEST ") + QString::number(sharp, 'f', 0));
    QTest::mouseClick(&panel, Qt::LeftButton, {},
                      panel.buttonRect(FocusAidsPanel::ResetBest).center());
    EXPECT_EQ(aids.best(), aids.reading()->focus);
    // Another region starts the best over; clicking cycles centre, spot, whole.
    QTest::mouseClick(&panel, Qt::LeftButton, {},
                      panel.buttonRect(FocusAidsPanel::Region).center());
    EXPECT_EQ(aids.region(), FocusAidsController::Region::Spot);
    EXPECT_EQ(aids.best(), 0.0);
    QTest::mouseClick(&panel, Qt::LeftButton, {},
                      panel.buttonRect(FocusAidsPanel::Peaking).center());
    EXPECT_TRUE(aids.peaking());

    // The switches survive a new window.
    FocusAidsController again([feed] { return (*feed)(); }, registry.path());
    EXPECT_TRUE(again.isOn());
    EXPECT_TRUE(again.peaking());
    EXPECT_EQ(again.region(), FocusAidsController::Region::Spot);
    again.setOn(false);
    EXPECT_FALSE(again.reading());
}

TEST(FocusAidsController, PeakingTintsOnlyTheEdgesOverTheLivePanel) {
    test::TempFolder registry;
    auto feed = std::make_shared<FrameFeed>();
    feed->bytes = edgeFrame(120, 80, 60, 0);
    FocusAidsController aids([feed] { return (*feed)(); }, registry.path());
    aids.setRegion(FocusAidsController::Region::Whole);  // no region marks in the picture
    LiveTarget target;
    target.resize(120, 80);
    target.show();
    aids.attachLive(&target);
    aids.setOn(true);
    aids.setPeaking(true);
    ASSERT_TRUE(aids.waitForReading(2000));
    aids.readNow();
    ASSERT_TRUE(aids.waitForReading(2000));
    ASSERT_TRUE(aids.reading());
    ASSERT_EQ(aids.reading()->peaking.width, 120);

    target.submitFrame(feed->bytes->data(), 120, 80, (120 * 3 + 3) / 4 * 4);
    const QImage shown = target.grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(shown.size(), QSize(120, 80));
    const QRgb tint = QColor(palette::kAccent).rgb();
    int tinted = 0;
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 120; ++x) {
            const bool isTinted = shown.pixel(x, y) == tint;
            tinted += isTinted;
            if (x < 58 || x > 61) {
                EXPECT_FALSE(isTinted) << x << "," << y;
            }
        }
    EXPECT_GE(tinted, 80);
    // The frame handed in is untouched.
    EXPECT_EQ(*feed->bytes, *edgeFrame(120, 80, 60, 0));

    // Peaking off: the picture as it came.
    aids.setPeaking(false);
    const QImage plain = target.grab().toImage().convertToFormat(QImage::Format_RGB32);
    for (int x = 0; x < 120; ++x) EXPECT_NE(plain.pixel(x, 40), tint);
    aids.detachLive(&target);
}
