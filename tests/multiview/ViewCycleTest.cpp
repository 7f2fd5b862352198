#include "capture/CaptureSession.h"
#include "capture/GrabberCallbacks.h"
#include "desktop/LiveTarget.h"
#include "multiview/ViewCycle.h"
#include "support/TestBitmaps.h"

#include <gtest/gtest.h>

namespace qelvo {
namespace {

CaptureOptions handedOver() {
    CaptureOptions options;
    options.snapshots = SnapshotDelivery::HandedOver;
    return options;
}

// The cycle moves the live picture of a session that is never started: only where its
// frames would go is looked at.
class ViewCycleTest : public ::testing::Test {
protected:
    void SetUp() override { live.setInsetTarget(&inset); }
    ViewCycle makeCycle() { return ViewCycle(live, {&panes[0], &panes[1], &panes[2], &panes[3]}); }
    std::shared_ptr<const FrameRecord> frame(int shade) {
        return test::solidFrame(8, 6, QColor(shade, shade, shade));
    }

    CaptureSession live{handedOver()};
    LiveTarget panes[4];
    LiveTarget inset;
};

TEST_F(ViewCycleTest, QuadFreezesPaneByPaneThenResumesAndRefillsPaneOne) {
    ViewCycle cycle = makeCycle();
    cycle.applyLayout(1);
    ASSERT_TRUE(cycle.applyLayout(4));
    EXPECT_EQ(live.liveTarget(), &panes[0]);
    EXPECT_EQ(live.insetTarget(), nullptr);

    std::shared_ptr<const FrameRecord> first[4];
    for (int i = 0; i < 4; ++i) {
        first[i] = frame(10 * i);
        EXPECT_EQ(cycle.onSnapshotFrame(first[i]), i);
    }
    // Live moved on through panes 2, 3, 4 and then stopped with everything frozen.
    EXPECT_TRUE(cycle.frozen());
    EXPECT_EQ(cycle.nextPane(), 0);
    EXPECT_EQ(live.liveTarget(), &panes[0]);
    for (int i = 0; i < 4; ++i) EXPECT_FALSE(cycle.isLive(i));

    // Fifth: dropped, live again in pane 1 which keeps its old picture.
    EXPECT_EQ(cycle.onSnapshotFrame(frame(99)), -1);
    EXPECT_FALSE(cycle.frozen());
    EXPECT_TRUE(cycle.isLive(0));
    EXPECT_EQ(cycle.picture(0).frame, first[0]);
    // Sixth: pane 1 takes the new picture, the others keep theirs, live moves to pane 2.
    auto sixth = frame(120);
    EXPECT_EQ(cycle.onSnapshotFrame(sixth), 0);
    EXPECT_EQ(cycle.picture(0).frame, sixth);
    EXPECT_EQ(cycle.picture(3).frame, first[3]);
    EXPECT_EQ(live.liveTarget(), &panes[1]);
}

TEST_F(ViewCycleTest, FullAlternatesAndDualFreezesAfterTwo) {
    ViewCycle cycle = makeCycle();
    cycle.applyLayout(1);
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(cycle.onSnapshotFrame(frame(1)), 0);
        EXPECT_TRUE(cycle.frozen());
        EXPECT_EQ(cycle.onSnapshotFrame(frame(2)), -1);
        EXPECT_FALSE(cycle.frozen());
        EXPECT_EQ(live.liveTarget(), &panes[0]);
    }
    cycle.applyLayout(2);
    cycle.onSnapshotFrame(frame(1));
    EXPECT_FALSE(cycle.frozen());
    EXPECT_EQ(live.liveTarget(), &panes[1]);
    cycle.onSnapshotFrame(frame(2));
    EXPECT_TRUE(cycle.frozen());
}

TEST_F(ViewCycleTest, SameLayoutOnlyResumesAndAnotherDropsEverything) {
    ViewCycle cycle = makeCycle();
    cycle.applyLayout(2);
    cycle.onSnapshotFrame(frame(1));
    cycle.onSnapshotFrame(frame(2));
    ASSERT_TRUE(cycle.frozen());
    EXPECT_FALSE(cycle.applyLayout(2));
    EXPECT_FALSE(cycle.frozen());
    EXPECT_TRUE(cycle.picture(0).holdsPicture());
    EXPECT_TRUE(cycle.picture(1).holdsPicture());
    EXPECT_FALSE(cycle.applyLayout(2));  // while live: nothing at all
    EXPECT_TRUE(cycle.picture(1).holdsPicture());

    cycle.enterFullScreen(&panes[3], &inset);
    EXPECT_TRUE(cycle.applyLayout(4));
    EXPECT_FALSE(cycle.anyPicture());
    EXPECT_EQ(live.insetTarget(), nullptr);
    EXPECT_EQ(live.liveTarget(), &panes[0]);
    EXPECT_FALSE(cycle.applyLayout(3));  // not a layout
    EXPECT_EQ(cycle.layout(), 4);
}

TEST_F(ViewCycleTest, FullScreenKeepsTheLiveTargetAndLeavingReturnsToTheNextPane) {
    ViewCycle cycle = makeCycle();
    cycle.applyLayout(4);
    LiveTarget popup;
    cycle.enterFullScreen(&popup, &inset);
    EXPECT_EQ(live.liveTarget(), &popup);
    EXPECT_EQ(live.insetTarget(), &inset);
    cycle.onSnapshotFrame(frame(1));
    cycle.onSnapshotFrame(frame(2));
    EXPECT_EQ(live.liveTarget(), &popup);  // snapshots are stored, the picture stays full screen
    EXPECT_TRUE(cycle.picture(1).holdsPicture());
    cycle.leaveFullScreen();
    EXPECT_EQ(live.liveTarget(), &panes[2]);
    EXPECT_TRUE(cycle.isLive(2));
}

TEST_F(ViewCycleTest, AMissingFrameChangesNothing) {
    ViewCycle cycle = makeCycle();
    cycle.applyLayout(2);
    EXPECT_EQ(cycle.onSnapshotFrame(nullptr), -1);
    EXPECT_EQ(cycle.nextPane(), 0);
    EXPECT_FALSE(cycle.anyPicture());
}

}  // namespace
}  // namespace qelvo
