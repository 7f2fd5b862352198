#include "desktop/LiveTarget.h"

#include <gtest/gtest.h>

#include <QImage>
#include <cstdint>
#include <thread>
#include <vector>

#include "support/TestBitmaps.h"
#include "support/WaitUntil.h"

namespace qelvo {
namespace {

using test::waitUntil;

// A frame whose bottom half is `bottom` and top half `top`, with junk in its row padding.
std::vector<std::uint8_t> twoBandFrame(int w, int h, int stride, QRgb bottom, QRgb top) {
    return test::bottomUpPixels(
        w, h, stride, [&](int, int row) { return QColor(row < h / 2 ? bottom : top); }, 0xEE);
}

TEST(LiveTarget, ManySubmitsFromAnotherThreadAskForOneRepaintAndTheNewestIsPainted) {
    LiveTarget target;
    target.resize(64, 48);
    target.show();
    waitUntil([] { return false; }, 50);
    const std::uint64_t paintedBefore = target.paintedFrames();
    // 101 frames from a streaming thread while the GUI thread is busy: the last is green.
    std::thread streaming([&] {
        for (int i = 0; i <= 100; ++i) {
            const QRgb c = i == 100 ? qRgb(0, 255, 0) : qRgb(i, 0, 0);
            const auto f = twoBandFrame(33, 20, 100, c, c);  // padded rows
            target.submitFrame(f.data(), 33, 20, 100);
        }
    });
    streaming.join();
    EXPECT_EQ(target.submittedFrames(), 101u);
    EXPECT_EQ(target.requestedRepaints(), 1u);
    EXPECT_TRUE(target.repaintPending());
    ASSERT_TRUE(waitUntil([&] { return target.paintedFrames() > paintedBefore; }));
    EXPECT_FALSE(target.repaintPending());
    const QImage shown = target.grab().toImage();
    EXPECT_EQ(shown.pixel(0, 0), qRgb(0, 255, 0));
    EXPECT_EQ(shown.pixel(63, 47), qRgb(0, 255, 0));

    // The next frame asks for a repaint again.
    const auto blue = twoBandFrame(33, 20, 100, qRgb(0, 0, 255), qRgb(0, 0, 255));
    target.submitFrame(blue.data(), 33, 20, 100);
    EXPECT_EQ(target.requestedRepaints(), 2u);
}

TEST(LiveTarget, PaintsBottomUpAndTopDownFramesUprightOverItsWholeArea) {
    LiveTarget target;
    target.resize(100, 30);  // scaled up from 10x4 by nearest samples
    target.show();
    const QRgb red = qRgb(255, 0, 0), blue = qRgb(0, 0, 255);
    const auto bottomUp = twoBandFrame(10, 4, 32, red, blue);  // bottom red, top blue
    target.submitFrame(bottomUp.data(), 10, 4, 32);
    ASSERT_TRUE(waitUntil([&] { return target.paintedFrames() >= 1 && !target.repaintPending(); }));
    QImage shown = target.grab().toImage();
    EXPECT_EQ(shown.pixel(50, 0), blue);
    EXPECT_EQ(shown.pixel(99, 29), red);

    // The same picture stored top row first (as a decoder delivers it).
    std::vector<std::uint8_t> topDown(bottomUp.size());
    for (int y = 0; y < 4; ++y)
        std::copy_n(bottomUp.data() + (3 - y) * 32, 32, topDown.data() + y * 32);
    const auto before = target.paintedFrames();
    target.submitTopDownFrame(topDown.data(), 10, 4, 32);
    ASSERT_TRUE(waitUntil([&] { return target.paintedFrames() > before; }));
    shown = target.grab().toImage();
    EXPECT_EQ(shown.pixel(0, 0), blue);
    EXPECT_EQ(shown.pixel(0, 29), red);

    // Unusable frames are ignored; clearing forgets the picture.
    target.submitFrame(nullptr, 10, 4, 32);
    target.submitFrame(bottomUp.data(), 10, 4, 20);  // stride shorter than a row
    EXPECT_EQ(target.submittedFrames(), 2u);
    target.clearFrame();
    const auto painted = target.paintedFrames();
    waitUntil([] { return false; }, 50);
    EXPECT_NE(target.grab().toImage().pixel(50, 0), blue);
    EXPECT_EQ(target.paintedFrames(), painted);
}

TEST(LiveTarget, NearestSamplesAreTheSameForFramesLargerAndSmallerThanThePanel) {
    LiveTarget target;
    target.resize(50, 25);
    target.show();
    // Each pixel carries its own position: red = column, green = row from the top.
    for (const auto& size : {std::pair{200, 100}, std::pair{20, 10}, std::pair{50, 25}}) {
        const int w = size.first, h = size.second;
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        const int stride = static_cast<int>(frameRowBytes(w));
        const auto frame =
            test::bottomUpPixels(w, h, [&](int x, int row) { return QColor(x, h - 1 - row, 7); });
        const auto before = target.paintedFrames();
        target.submitFrame(frame.data(), w, h, stride);
        ASSERT_TRUE(waitUntil([&] { return target.paintedFrames() > before; }));
        const QImage shown = target.grab().toImage();
        int wrong = 0;
        for (int dy = 0; dy < 25; ++dy)
            for (int dx = 0; dx < 50; ++dx)
                if (shown.pixel(dx, dy) != qRgb(dx * w / 50, dy * h / 25, 7)) ++wrong;
        EXPECT_EQ(wrong, 0);
    }
}

}  // namespace
}  // namespace qelvo
