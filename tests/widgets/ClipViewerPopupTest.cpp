#include "desktop/LiveTarget.h"
#include "desktop/Screens.h"
#include "skin/ControlIdentity.h"
#include "support/TestBitmaps.h"
#include "support/WaitUntil.h"
#include "widgets/ClipViewerPopup.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTest>
#include <QTimer>

namespace qelvo {
namespace {

// An owner window that records the messages it receives, and whether the popup was still
// visible at that moment.
class Owner : public QDialog {
public:
    std::vector<int> received;
    std::vector<bool> popupVisible;
    ClipViewerPopup* popup = nullptr;

protected:
    bool event(QEvent* e) override {
        if (e->type() == kFullScreenClosedMessage || e->type() == kPopupSaveMessage) {
            received.push_back(int(e->type()));
            popupVisible.push_back(popup && popup->isVisible());
            return true;
        }
        return QDialog::event(e);
    }
};

TEST(ClipViewerPopupTest, ChoosesTheLastMonitorHoldingTheCornerElseTheFirst) {
    const std::vector<QRect> monitors{
        {0, 0, 1920, 1080}, {1920, 0, 1280, 1024}, {1920, 0, 1280, 1024}};
    EXPECT_EQ(ClipViewerPopup::chooseMonitor(monitors, {100, 100}), 0);
    EXPECT_EQ(ClipViewerPopup::chooseMonitor(monitors, {2000, 10}), 2);  // a mirror repeats
    EXPECT_EQ(ClipViewerPopup::chooseMonitor(monitors, {-50, 5000}), 0);
    EXPECT_EQ(ClipViewerPopup::chooseMonitor({}, {0, 0}), 0);
}

TEST(ClipViewerPopupTest, LiveExitTellsTheOwnerAndSaveStaysOpen) {
    Owner owner;
    owner.show();
    ClipViewerPopup popup(&owner);
    owner.popup = &popup;
    popup.setNotifyParent(true);
    popup.setInset(false);
    popup.open();
    EXPECT_TRUE(popup.isVisible());
    EXPECT_EQ(popup.geometry(), displayDevices().front());
    EXPECT_TRUE(popup.liveSurface()->isVisible());
    const int w = popup.width();
    EXPECT_EQ(findControl(&popup, ClipViewerPopup::kExitId)->geometry(), QRect(w - 50, 20, 29, 27));
    EXPECT_EQ(findControl(&popup, ClipViewerPopup::kSaveId)->geometry(), QRect(w - 70, 55, 49, 34));
    EXPECT_FALSE(findControl(&popup, ClipViewerPopup::kInsetId)->isVisible());

    popup.saveClicked();
    EXPECT_EQ(owner.received, std::vector<int>{0x8004});
    EXPECT_TRUE(popup.isVisible());
    // Only a left double click closes it.
    for (Qt::MouseButton button : {Qt::RightButton, Qt::MiddleButton}) {
        QMouseEvent click(QEvent::MouseButtonDblClick, QPointF(50, 50), QPointF(50, 50), button,
                          button, Qt::NoModifier);
        QApplication::sendEvent(&popup, &click);
    }
    EXPECT_TRUE(popup.isVisible());
    EXPECT_EQ(owner.received, std::vector<int>{0x8004});
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(&popup, &escape);
    EXPECT_EQ(owner.received, (std::vector<int>{0x8004, 0x8003}));
    EXPECT_FALSE(popup.isVisible());
}

TEST(ClipViewerPopupTest, MovieExitTellsTheOwnerFirstThenClosesASecondLater) {
    Owner owner;
    owner.show();
    ClipViewerPopup popup(&owner);
    owner.popup = &popup;
    popup.setNotifyParent(true);
    popup.setMovieStyle(true);
    popup.open();
    EXPECT_EQ(findControl(&popup, ClipViewerPopup::kExitId)->geometry(),
              QRect(popup.width() - 35, popup.height() - 32, 29, 27));
    bool finished = false;
    QObject::connect(&popup, &QDialog::finished, [&] { finished = true; });
    popup.exitClicked();
    ASSERT_EQ(owner.received, std::vector<int>{0x8003});
    EXPECT_EQ(owner.popupVisible, std::vector<bool>{true});
    EXPECT_FALSE(popup.isVisible());
    EXPECT_FALSE(finished);  // closes only after its pause
    EXPECT_TRUE(test::waitUntil([&] { return finished; }));
}

TEST(ClipViewerPopupTest, WindowManagerCloseActsAsExitAndTheOwnerIsToldOnce) {
    Owner owner;
    owner.show();
    ClipViewerPopup live(&owner);
    owner.popup = &live;
    live.setNotifyParent(true);
    live.open();
    live.close();  // the window manager's close button, Alt+F4
    EXPECT_EQ(owner.received, std::vector<int>{0x8003});
    EXPECT_FALSE(live.isVisible());
    live.exitClicked();
    live.close();
    EXPECT_EQ(owner.received, std::vector<int>{0x8003}) << "once per opening";

    ClipViewerPopup movie(&owner);
    owner.popup = &movie;
    owner.received.clear();
    owner.popupVisible.clear();
    movie.setNotifyParent(true);
    movie.setMovieStyle(true);
    movie.open();
    bool finished = false;
    QObject::connect(&movie, &QDialog::finished, [&] { finished = true; });
    movie.close();
    EXPECT_EQ(owner.received, std::vector<int>{0x8003});
    EXPECT_EQ(owner.popupVisible, std::vector<bool>{true});
    EXPECT_FALSE(movie.isVisible());
    EXPECT_TRUE(test::waitUntil([&] { return finished; }));
    EXPECT_EQ(owner.received, std::vector<int>{0x8003});
}

TEST(ClipViewerPopupTest, PictureModeStretchesThePictureAndDoubleClickSendsNothing) {
    Owner owner;
    owner.show();
    CxImage picture;
    ASSERT_TRUE(picture.Create(4, 2, 24));
    for (int x = 0; x < 4; ++x)
        for (int y = 0; y < 2; ++y)
            picture.SetPixelRgb(x, y, x < 2 ? RgbQuad{0, 0, 255, 0} : RgbQuad{255, 0, 0, 0});
    ClipViewerPopup popup(&owner);
    owner.popup = &popup;
    popup.setPicture(&picture);
    bool painted = false;
    QTimer::singleShot(0, [&] {
        const QImage shown = popup.grab().toImage();
        const int w = shown.width(), h = shown.height();
        painted = test::near(shown.pixelColor(w / 4, h / 2), QColor(255, 0, 0), 0) &&
                  test::near(shown.pixelColor(3 * w / 4, h - 1), QColor(0, 0, 255), 0);
        QMouseEvent click(QEvent::MouseButtonDblClick, QPointF(w / 2.0, h / 2.0),
                          QPointF(w / 2.0, h / 2.0), Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QApplication::sendEvent(&popup, &click);
    });
    EXPECT_EQ(popup.runModal(), QDialog::Rejected);
    EXPECT_TRUE(painted);
    EXPECT_TRUE(owner.received.empty());
}

TEST(ClipViewerPopupTest, AFrameCopyWinsOverThePicture) {
    ClipViewerPopup popup(nullptr);
    // 2 x 1 frame, bottom-up B,G,R rows padded to 8 bytes: green then blue.
    popup.setFrameCopy({0, 255, 0, 255, 0, 0, 0, 0}, 2, 1, 24);
    CxImage red;
    ASSERT_TRUE(red.Create(1, 1, 24));
    red.SetPixelRgb(0, 0, RgbQuad{0, 0, 255, 0});
    popup.setPicture(&red);
    popup.resize(200, 100);
    const QImage shown = popup.grab().toImage();
    EXPECT_EQ(shown.pixelColor(50, 50), QColor(0, 255, 0));
    EXPECT_EQ(shown.pixelColor(150, 50), QColor(0, 0, 255));
    // A frame shorter than its header says is never read.
    popup.setFrameCopy({1, 2, 3}, 100, 100, 24);
    popup.setPicture(nullptr);
    EXPECT_EQ(popup.grab().toImage().pixelColor(10, 10), QColor(Qt::black));
}

}  // namespace
}  // namespace qelvo
