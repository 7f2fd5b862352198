#include "desktop/ScriptedDialogs.h"
#include "skin/ControlIdentity.h"
#include "skin/SimpleButton.h"
#include "skin/SkinBitmaps.h"
#include "skin/SkinnedControls.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTest>

namespace qelvo {
namespace {

// A window that records what its buttons send it.
class Recorder : public QWidget {
public:
    struct Stroke {
        SimpleButton* sender;
        quint32 packed;
        QPoint previousAtReceipt;
    };
    std::vector<Stroke> strokes;
    std::vector<int> keys;

protected:
    bool event(QEvent* e) override {
        if (e->type() == kPenStrokeEvent) {
            auto* s = static_cast<PenStrokeEvent*>(e);
            strokes.push_back(
                {s->sender(), s->packedPosition(), s->sender()->previousPointerPosition()});
            return true;
        }
        return QWidget::event(e);
    }
    void keyPressEvent(QKeyEvent* e) override { keys.push_back(e->key()); }
};

// What the button paints, on a magenta ground that shows any pixel left unpainted.
QImage rendered(SimpleButton& b) {
    QImage image(b.size(), QImage::Format_RGB888);
    image.fill(Qt::magenta);
    b.render(&image, QPoint(), QRegion(), QWidget::RenderFlags());
    return image;
}

QImage frameOf(int bitmapId, int frames, int frame) {
    const QImage strip = skinBitmap(bitmapId);
    const int w = strip.width() / frames;
    return strip.copy(frame * w, 0, w, strip.height());
}

void move(QWidget* w, QPoint at, Qt::MouseButtons buttons,
          Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QMouseEvent e(QEvent::MouseMove, at, w->mapToGlobal(at), Qt::NoButton, buttons, modifiers);
    QCoreApplication::sendEvent(w, &e);
}

void mouse(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButtons heldAfter) {
    QMouseEvent e(type, at, w->mapToGlobal(at), Qt::LeftButton, heldAfter, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &e);
}

void enter(QWidget* w, QPoint at) {
    QEnterEvent e(at, w->mapTo(w->window(), at), w->mapToGlobal(at));
    QCoreApplication::sendEvent(w, &e);
}

void leave(QWidget* w) {
    QEvent e(QEvent::Leave);
    QCoreApplication::sendEvent(w, &e);
}

class SimpleButtonTest : public ::testing::Test {
protected:
    void SetUp() override {
        window.resize(400, 300);
        button = new SimpleButton(&window);
    }
    Recorder window;
    SimpleButton* button = nullptr;
};

TEST_F(SimpleButtonTest, LoadSkinSizesToOneFrameAndIgnoresTheSameIdAgain) {
    button->move(10, 20);
    EXPECT_EQ(button->bitmapId(), 0);
    EXPECT_FALSE(button->isLoaded());

    EXPECT_EQ(button->LoadSkin(147, 3), 1);
    EXPECT_TRUE(button->isLoaded());
    EXPECT_EQ(button->frameWidth(), 49);
    EXPECT_EQ(button->frameHeight(), 34);
    EXPECT_EQ(button->geometry(), QRect(10, 20, 49, 34));

    // The window places the button elsewhere; loading the same strip again changes nothing.
    button->setGeometry(30, 40, 60, 70);
    EXPECT_EQ(button->LoadSkin(147, 3), 0);
    EXPECT_EQ(button->geometry(), QRect(30, 40, 60, 70));
    EXPECT_EQ(button->frames(), 3);

    // Another strip is laid out at the button's current position.
    EXPECT_EQ(button->LoadSkin(144, 1), 1);
    EXPECT_EQ(button->geometry(), QRect(30, 40, 29, 27));
    EXPECT_EQ(button->bitmapId(), 144);
    EXPECT_EQ(button->frames(), 1);
}

TEST_F(SimpleButtonTest, LoadSkinRaisesTheButtonAboveItsSiblings) {
    auto* sibling = new SimpleButton(&window);
    ASSERT_EQ(window.children().last(), sibling);
    button->LoadSkin(146, 3);
    EXPECT_EQ(window.children().last(), button);
}

TEST_F(SimpleButtonTest, MissingPictureOrNoFramesLoadsNothing) {
    button->resize(20, 20);
    EXPECT_EQ(button->LoadSkin(147, 0), 0);  // refused: nothing changes
    EXPECT_EQ(button->bitmapId(), 0);
    EXPECT_EQ(button->LoadSkin(9999, 1), 0);
    EXPECT_EQ(button->bitmapId(), 9999);
    EXPECT_FALSE(button->isLoaded());
    EXPECT_EQ(button->size(), QSize(20, 20));

    // A button without a strip paints nothing.
    const QImage image = rendered(*button);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            ASSERT_EQ(image.pixelColor(x, y), QColor(Qt::magenta)) << x << "," << y;

    // Replacing a loaded strip by a missing one leaves no picture behind.
    button->LoadSkin(147, 3);
    EXPECT_EQ(button->LoadSkin(9998, 3), 0);
    EXPECT_FALSE(button->isLoaded());
    const QImage after = rendered(*button);
    EXPECT_EQ(after.pixelColor(10, 10), QColor(Qt::magenta));
}

TEST(SimpleButtonOutsideAWindow, LoadSkinReportsTheErrorAndKeepsTheStrip) {
    auto scripted = std::make_unique<ScriptedDialogs>();
    ScriptedDialogs* shown = scripted.get();
    auto previous = setDialogs(std::move(scripted));
    {
        SimpleButton loose;
        loose.resize(5, 5);
        EXPECT_EQ(loose.LoadSkin(146, 3), 1);
        EXPECT_EQ(shown->messages(), QStringList{"create SimpleButton error"});
        EXPECT_TRUE(loose.isLoaded());
        EXPECT_EQ(loose.frameWidth(), 49);
        EXPECT_EQ(loose.size(), QSize(5, 5));
    }
    setDialogs(std::move(previous));
}

TEST_F(SimpleButtonTest, ThreeFrameButtonShowsNormalHoverAndPressedFrames) {
    button->LoadSkin(147, 3);
    window.show();
    EXPECT_EQ(rendered(*button), frameOf(147, 3, 0));

    enter(button, QPoint(5, 5));
    EXPECT_TRUE(button->isHovered());
    EXPECT_EQ(rendered(*button), frameOf(147, 3, 2));

    mouse(button, QEvent::MouseButtonPress, QPoint(5, 5), Qt::LeftButton);
    EXPECT_EQ(button->currentFrame(), 1);
    EXPECT_EQ(rendered(*button), frameOf(147, 3, 1));

    mouse(button, QEvent::MouseButtonRelease, QPoint(5, 5), Qt::NoButton);
    EXPECT_EQ(rendered(*button), frameOf(147, 3, 2));

    leave(button);
    EXPECT_FALSE(button->isHovered());
    EXPECT_EQ(rendered(*button), frameOf(147, 3, 0));

    // Hover also begins with the first pointer move over the button.
    move(button, QPoint(8, 8), Qt::NoButton);
    EXPECT_EQ(button->currentFrame(), 2);
}

TEST_F(SimpleButtonTest, TwoFrameButtonFollowsTheStateFlagAndOneFrameNeverChanges) {
    button->LoadSkin(163, 2);
    EXPECT_EQ(button->size(), QSize(24, 23));
    EXPECT_EQ(rendered(*button), frameOf(163, 2, 0));
    button->setStateFlag(true);
    EXPECT_EQ(rendered(*button), frameOf(163, 2, 1));
    enter(button, QPoint(3, 3));
    EXPECT_EQ(button->currentFrame(), 1);  // hover does not matter to two frames
    button->setStateFlag(false);
    EXPECT_EQ(rendered(*button), frameOf(163, 2, 0));

    auto* single = new SimpleButton(&window);
    single->LoadSkin(144, 1);
    enter(single, QPoint(3, 3));
    mouse(single, QEvent::MouseButtonPress, QPoint(3, 3), Qt::LeftButton);
    EXPECT_EQ(rendered(*single), frameOf(144, 1, 0));
}

TEST_F(SimpleButtonTest, ShownRectangleSmallerThanTheFrameShowsItsTopLeftPart) {
    button->LoadSkin(139, 3);
    EXPECT_EQ(button->size(), QSize(103, 103));
    button->setGeometry(675, 455, 100, 101);
    EXPECT_EQ(rendered(*button), frameOf(139, 3, 0).copy(0, 0, 100, 101));
}

TEST_F(SimpleButtonTest, LeftDragInPointerReportModeSendsPenStrokes) {
    button->setGeometry(0, 0, 320, 240);
    button->setPointerReportMode(true);

    move(button, QPoint(3, 4), Qt::NoButton);  // hovering: nothing sent
    EXPECT_TRUE(window.strokes.empty());
    EXPECT_EQ(button->lastPointerPosition(), QPoint(3, 4));

    mouse(button, QEvent::MouseButtonPress, QPoint(5, 6), Qt::LeftButton);
    EXPECT_EQ(button->previousPointerPosition(), QPoint(-1, -1));

    move(button, QPoint(300, 200), Qt::LeftButton);
    move(button, QPoint(310, 7), Qt::LeftButton);
    ASSERT_EQ(window.strokes.size(), 2u);
    EXPECT_EQ(window.strokes[0].sender, button);
    EXPECT_EQ(window.strokes[0].packed, (300u << 16) | 200u);
    EXPECT_EQ(window.strokes[0].previousAtReceipt, QPoint(5, 6));
    EXPECT_EQ(window.strokes[1].packed, (310u << 16) | 7u);
    EXPECT_EQ(window.strokes[1].previousAtReceipt, QPoint(300, 200));

    mouse(button, QEvent::MouseButtonRelease, QPoint(310, 7), Qt::NoButton);
    EXPECT_EQ(button->previousPointerPosition(), QPoint(-1, -1));
    EXPECT_EQ(button->lastPointerPosition(), QPoint(310, 7));
}

TEST_F(SimpleButtonTest, NoPenStrokeWithModifierOtherButtonOutsideOrModeOff) {
    button->setGeometry(0, 0, 320, 240);
    button->setPointerReportMode(true);
    mouse(button, QEvent::MouseButtonPress, QPoint(5, 5), Qt::LeftButton);

    move(button, QPoint(10, 10), Qt::LeftButton, Qt::ShiftModifier);
    move(button, QPoint(11, 10), Qt::LeftButton, Qt::ControlModifier);
    move(button, QPoint(12, 10), Qt::LeftButton | Qt::RightButton);
    move(button, QPoint(13, 10), Qt::RightButton);
    EXPECT_TRUE(window.strokes.empty());
    EXPECT_EQ(button->lastPointerPosition(), QPoint(13, 10));  // updated all the same

    // Leaving the client area stops the strokes until the pointer comes back.
    move(button, QPoint(320, 10), Qt::LeftButton);
    move(button, QPoint(-1, 10), Qt::LeftButton);
    move(button, QPoint(10, 240), Qt::LeftButton);
    EXPECT_TRUE(window.strokes.empty());
    move(button, QPoint(10, 239), Qt::LeftButton);
    ASSERT_EQ(window.strokes.size(), 1u);
    EXPECT_EQ(window.strokes[0].previousAtReceipt, QPoint(10, 240));

    button->setPointerReportMode(false);
    move(button, QPoint(20, 20), Qt::LeftButton);
    EXPECT_EQ(window.strokes.size(), 1u);
    EXPECT_EQ(button->lastPointerPosition(), QPoint(20, 20));
}

TEST(PenStrokeEventTest, PacksXHighAndYLow) {
    PenStrokeEvent e(nullptr, (639u << 16) | 479u);
    EXPECT_EQ(e.type(), QEvent::Type(0x8005));
    EXPECT_EQ(e.x(), 639);
    EXPECT_EQ(e.y(), 479);
}

TEST_F(SimpleButtonTest, CharactersAreSwallowedOtherKeysReachTheWindow) {
    button->LoadSkin(147, 3);
    QTest::keyClick(button, Qt::Key_A);
    QTest::keyClick(button, Qt::Key_5);
    EXPECT_TRUE(window.keys.empty());
    QTest::keyClick(button, Qt::Key_Escape);
    QTest::keyClick(button, Qt::Key_F1);
    EXPECT_EQ(window.keys, (std::vector<int>{Qt::Key_Escape, Qt::Key_F1}));

    int clicks = 0;
    QObject::connect(button, &QAbstractButton::clicked, [&] { ++clicks; });
    QTest::keyClick(button, Qt::Key_Space);
    EXPECT_EQ(clicks, 1);
}

TEST_F(SimpleButtonTest, DoubleClickIsReportedOnceAfterOneClick) {
    button->LoadSkin(147, 3);
    int clicks = 0, doubles = 0;
    QObject::connect(button, &QAbstractButton::clicked, [&] { ++clicks; });
    QObject::connect(button, &SimpleButton::doubleClicked, [&] { ++doubles; });
    mouse(button, QEvent::MouseButtonPress, QPoint(4, 4), Qt::LeftButton);
    mouse(button, QEvent::MouseButtonRelease, QPoint(4, 4), Qt::NoButton);
    mouse(button, QEvent::MouseButtonDblClick, QPoint(4, 4), Qt::LeftButton);
    mouse(button, QEvent::MouseButtonRelease, QPoint(4, 4), Qt::NoButton);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(doubles, 1);
}

TEST_F(SimpleButtonTest, TabStripSegmentComesFromTheClickPosition) {
    // The mode tabs choose a segment from the last pointer position, even when the press
    // was not preceded by a move.
    button->LoadSkin(141, 1);
    mouse(button, QEvent::MouseButtonPress, QPoint(300, 20), Qt::LeftButton);
    EXPECT_EQ(button->lastPointerPosition().x() * 3 / button->width(), 2);
}

TEST_F(SimpleButtonTest, ControlIdentityNamesTheControl) {
    setControlIdentity(button, 1023, "SNAP");
    EXPECT_EQ(button->objectName(), "1023");
    EXPECT_EQ(button->accessibleName(), "SNAP");
    EXPECT_EQ(findControl(&window, 1023), button);
    EXPECT_EQ(findControl(&window, 1024), nullptr);
}

TEST(SkinnedControlsTest, PlacesEveryButtonOfAWindowTable) {
    QWidget window;
    window.resize(1024, 768);
    const WindowSkin& skin = imageManagementSkin();
    const auto buttons = placeSkinnedButtons(&window, skin.skinned);
    ASSERT_EQ(buttons.size(), skin.skinned.size());
    for (const SkinnedControl& c : skin.skinned) {
        auto* b = qobject_cast<SimpleButton*>(findControl(&window, c.controlId));
        ASSERT_NE(b, nullptr) << c.controlId;
        EXPECT_EQ(b->bitmapId(), c.bitmapId) << c.controlId;
        EXPECT_TRUE(b->isLoaded()) << c.controlId;
        EXPECT_EQ(b->accessibleName(), QString::fromUtf8(c.caption));
    }
    // The picture tools keep the window's 35 x 35 places, not their strips' sizes.
    EXPECT_EQ(findControl(&window, 1184)->geometry(), QRect(703 + 35 * 7, 185, 35, 35));
    EXPECT_EQ(findControl(&window, 1019)->geometry(), QRect(21, 8, 404, 44));
}

}  // namespace
}  // namespace qelvo
