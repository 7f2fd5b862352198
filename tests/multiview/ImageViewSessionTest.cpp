// What one opening of the multi-view window keeps to itself, and its ALARM watch.
#include "capture/CaptureSession.h"
#include "capture/Pacing.h"
#include "desktop/LiveTarget.h"
#include "desktop/ScriptedDialogs.h"
#include "multiview/MultiViewWindow.h"
#include "multiview/ViewCycle.h"
#include "multiview/ViewPane.h"
#include "support/TempFolder.h"
#include "support/WaitUntil.h"
#include "system/SessionState.h"
#include "widgets/ClipViewerPopup.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCoreApplication>

namespace qelvo {
namespace {

using test::waitUntil;

// Mean of the frame's bytes: 255 for a white picture, 0 for a black one.
double meanLevel(const FrameRecord& frame) {
    double sum = 0;
    for (std::size_t i = 0; i < frame.length(); ++i) sum += frame.pixels()[i];
    return frame.length() ? sum / double(frame.length()) : 0;
}

class ImageViewSessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("QELVO_VIRTUAL_DEVICES",
                 "White Camera{pattern=white,overlay=0,motion=0,size=160x120};"
                 "Black Camera{pattern=black,overlay=0,motion=0,size=160x120,delay=1000};"
                 "Silent Camera{size=160x120,stopafter=3}",
                 1);
        ::setenv("QELVO_REGISTRY_DIR", (root / "registry").c_str(), 1);
        setStorageFolder(root.path());
        previousDialogs = setDialogs(std::make_unique<ScriptedDialogs>());
        setPacingPause(std::chrono::milliseconds(5));
    }
    void TearDown() override {
        QCoreApplication::processEvents();
        setDialogs(std::move(previousDialogs));
    }
    static void click(MultiViewWindow& w, int id) {
        qobject_cast<QAbstractButton*>(w.findChild<QWidget*>(QString::number(id)))->click();
    }

    test::TempFolder root;
    std::unique_ptr<Dialogs> previousDialogs;
};

TEST_F(ImageViewSessionTest, AReopenedWindowNeverFreezesAFrameOfTheOpeningBefore) {
    setSelectedDeviceName("White Camera");
    {
        MultiViewWindow first(nullptr, false);
        first.show();
        ASSERT_TRUE(waitUntil([&] { return first.session().latestFrame()->length() > 0; }));
        click(first, MultiViewWindow::kSnapFreeze);
        ASSERT_TRUE(waitUntil([&] { return first.cycle().picture(0).holdsPicture(); }));
        EXPECT_GT(meanLevel(*first.cycle().picture(0).frame), 200);  // the frames tell apart
    }
    // Reopened on a camera whose first frame comes a second late: a snapshot asked for at
    // once has only this opening's frames to take, and there are none yet.
    setSelectedDeviceName("Black Camera");
    MultiViewWindow second(nullptr, false);
    second.show();
    click(second, MultiViewWindow::kSnapFreeze);
    ASSERT_TRUE(waitUntil([&] {
        return second.cycle().picture(0).holdsPicture() ||
               second.pane(0)->surface()->paintedFrames() > 0;
    }));
    for (int i = 0; i < 20; ++i) QCoreApplication::processEvents();
    const PanePicture& picture = second.cycle().picture(0);
    if (picture.holdsPicture()) {
        EXPECT_LT(meanLevel(*picture.frame), 50) << "a frame of the opening before was frozen";
    }
    // SAVE with nothing frozen freezes a frame of this opening only.
    click(second, MultiViewWindow::kSnapFreeze);
    ASSERT_TRUE(waitUntil([&] { return second.cycle().picture(0).holdsPicture(); }));
    EXPECT_LT(meanLevel(*second.cycle().picture(0).frame), 50);
}

TEST_F(ImageViewSessionTest, AlarmLightsAgainAfterALayoutChangeWhileTheCameraStaysSilent) {
    setSelectedDeviceName("Silent Camera");
    MultiViewWindow window(nullptr, false);
    window.show();
    ASSERT_TRUE(waitUntil([&] { return window.alarmLit(); }));
    for (int layout : {4, 2, 1}) {
        window.applyLayout(layout);
        EXPECT_FALSE(window.alarmLit());
        EXPECT_TRUE(waitUntil([&] { return window.alarmLit(); })) << "layout " << layout;
    }
}

TEST_F(ImageViewSessionTest, AfterFullScreenTheHiddenInsetNoLongerKeepsAlarmOut) {
    setSelectedDeviceName("White Camera");
    MultiViewWindow window(nullptr, false);
    window.show();
    ASSERT_TRUE(waitUntil([&] { return window.session().latestFrame()->length() > 0; }));
    window.fullScreen();
    ASSERT_NE(window.session().insetTarget(), nullptr);
    window.fullScreenPopup()->exitClicked();
    EXPECT_EQ(window.session().insetTarget(), nullptr);
    // FULL with its one pane frozen: no live frame is drawn anywhere, so ALARM lights.
    click(window, MultiViewWindow::kSnapFreeze);
    ASSERT_TRUE(waitUntil([&] { return window.cycle().frozen(); }));
    EXPECT_TRUE(waitUntil([&] { return window.alarmLit(); }));
}

}  // namespace
}  // namespace qelvo
