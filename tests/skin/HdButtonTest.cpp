#include "skin/HdButton.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QMouseEvent>

namespace qelvo {
namespace {

TEST(HdButtonTest, TheSecondClickOfADoubleClickIsADoubleClick) {
    HdButton button(QStringLiteral("SNAP"));
    button.resize(170, 25);
    int clicks = 0, doubles = 0;
    QObject::connect(&button, &QAbstractButton::clicked, [&] { ++clicks; });
    QObject::connect(&button, &HdButton::doubleClicked, [&] { ++doubles; });
    auto mouse = [&](QEvent::Type type, Qt::MouseButton changed, Qt::MouseButtons held) {
        QMouseEvent event(type, QPointF(10, 10), button.mapToGlobal(QPointF(10, 10)), changed, held,
                          Qt::NoModifier);
        QApplication::sendEvent(&button, &event);
    };
    mouse(QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton);
    mouse(QEvent::MouseButtonDblClick, Qt::LeftButton, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(doubles, 1);
}

TEST(HdButtonTest, ColoursFollowTheFirstMatchingState) {
    HdButton button(QStringLiteral("SNAP"));
    EXPECT_EQ(button.look(), HdButton::Look::Normal);
    button.setEnabled(false);
    EXPECT_EQ(button.look(), HdButton::Look::Disabled);
    button.setEnabled(true);
    button.setDown(true);
    EXPECT_EQ(button.look(), HdButton::Look::Pressed);
    EXPECT_EQ(HdButton::colours(HdButton::Look::Pressed).fill, QColor(30, 30, 30));
    EXPECT_EQ(HdButton::colours(HdButton::Look::Normal).fill, QColor(200, 200, 255));
    EXPECT_EQ(HdButton::colours(HdButton::Look::Normal).text, QColor(60, 60, 30));
    button.setDown(false);
    button.resize(170, 25);
    const QImage face = button.grab().toImage();
    EXPECT_EQ(face.pixelColor(5, 3), QColor(200, 200, 255));
}

}  // namespace
}  // namespace qelvo
