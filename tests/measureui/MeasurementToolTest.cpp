#include "measureui/MeasurementSession.h"
#include "measureui/MeasurementTool.h"
#include "measureui/PictureMapping.h"

#include <gtest/gtest.h>

namespace qelvo {
namespace {

using measure::Point;
using measure::Shape;
using measure::ShapeKind;

Shape line(double x0, double y0, double x1, double y1) {
    return Shape{ShapeKind::Line, {{x0, y0}, {x1, y1}}, ""};
}

TEST(MeasurementSessionTest, UndoRedoDeleteAndMoveAreStepsOfOneHistory) {
    MeasurementSession session;
    int notices = 0;
    session.onChanged = [&] { ++notices; };
    EXPECT_FALSE(session.add(Shape{ShapeKind::Polygon, {{0, 0}, {1, 1}}, ""}));  // too short
    ASSERT_TRUE(session.add(line(0, 0, 10, 0)));
    ASSERT_TRUE(session.add(line(0, 5, 10, 5)));
    EXPECT_EQ(session.selected(), 1);
    EXPECT_TRUE(session.removeSelected());
    ASSERT_EQ(session.shapes().size(), 1u);
    EXPECT_EQ(session.selected(), -1);
    EXPECT_FALSE(session.removeSelected());

    // A drag through several positions is one step.
    const auto handle = session.handleAt({10.5, 0.2}, 2.0);
    ASSERT_TRUE(handle);
    EXPECT_EQ(handle->shape, 0);
    EXPECT_EQ(handle->point, 1);
    ASSERT_TRUE(session.beginMove(*handle));
    session.moveTo({12, 3});
    session.moveTo({20, 4});
    session.endMove();
    EXPECT_DOUBLE_EQ(session.shapes()[0].points[1].x, 20);

    ASSERT_TRUE(session.undo());  // the move
    EXPECT_DOUBLE_EQ(session.shapes()[0].points[1].x, 10);
    ASSERT_TRUE(session.undo());  // the delete
    EXPECT_EQ(session.shapes().size(), 2u);
    ASSERT_TRUE(session.redo());
    EXPECT_EQ(session.shapes().size(), 1u);
    ASSERT_TRUE(session.undo());
    ASSERT_TRUE(session.undo());
    ASSERT_TRUE(session.undo());
    EXPECT_TRUE(session.empty());
    EXPECT_FALSE(session.undo());
    // A new change drops what could be redone.
    ASSERT_TRUE(session.add(line(1, 1, 2, 2)));
    EXPECT_FALSE(session.canRedo());
    EXPECT_GT(notices, 8);

    // A handle grabbed and let go where it was leaves no step behind.
    const int before = static_cast<int>(session.canUndo());
    session.reset({line(0, 0, 5, 5)});
    EXPECT_FALSE(session.canUndo());
    ASSERT_TRUE(session.beginMove({0, 0}));
    session.endMove();
    EXPECT_FALSE(session.canUndo());
    (void)before;
}

TEST(MeasurementSessionTest, FindsShapesByTheirOutline) {
    MeasurementSession session;
    session.reset({Shape{ShapeKind::Circle, {{10, 0}, {0, 10}, {-10, 0}}, ""},
                   Shape{ShapeKind::Rectangle, {{100, 100}, {200, 150}}, ""}});
    EXPECT_EQ(session.shapeAt({0, -10.5}, 1.0), 0);  // on the circle, away from its points
    EXPECT_EQ(session.shapeAt({0, 0}, 1.0), -1);     // its centre is not its outline
    EXPECT_EQ(session.shapeAt({150, 149.5}, 1.0), 1);
    EXPECT_EQ(session.shapeAt({150, 125}, 1.0), -1);
}

// A picture 2000 x 1000 zoomed twice and panned to (600, 300): panel = 2 * picture - pan.
PictureMapping zoomed() {
    return PictureMapping::scaled(2.0, QPointF(-600, -300));
}

TEST(MeasurementToolTest, ClicksOnAZoomedPanelPlacePicturePoints) {
    MeasurementSession session;
    MeasurementTool tool(session);
    const PictureMapping m = zoomed();
    auto click = [&](double x, double y) {
        tool.press({x, y}, m);
        tool.release({x, y}, m);
    };

    tool.setKind(ShapeKind::Line);
    click(100, 100);
    tool.move({300, 100}, m);
    ASSERT_TRUE(tool.pending());
    EXPECT_DOUBLE_EQ(tool.pending()->points.back().x, 450);
    click(300, 100);
    ASSERT_EQ(session.shapes().size(), 1u);
    const Shape& first = session.shapes()[0];
    EXPECT_EQ(first.kind, ShapeKind::Line);
    EXPECT_DOUBLE_EQ(first.points[0].x, 350);
    EXPECT_DOUBLE_EQ(first.points[0].y, 200);
    EXPECT_DOUBLE_EQ(first.points[1].x, 450);
    EXPECT_FALSE(tool.pending());

    // Dragging draws a rectangle in one go.
    tool.setKind(ShapeKind::Rectangle);
    tool.press({10, 10}, m);
    tool.move({50, 70}, m);
    tool.release({50, 70}, m);
    ASSERT_EQ(session.shapes().size(), 2u);
    EXPECT_DOUBLE_EQ(session.shapes()[1].points[1].y, 185);

    // Three points end a circle and an angle.
    tool.setKind(ShapeKind::Circle);
    click(0, 0);
    click(20, 0);
    click(20, 20);
    ASSERT_EQ(session.shapes().size(), 3u);
    EXPECT_EQ(session.shapes()[2].points.size(), 3u);

    // A polygon ends with the double click on its last corner.
    tool.setKind(ShapeKind::Polygon);
    click(500, 500);
    click(600, 500);
    tool.press({600, 600}, m);
    tool.release({600, 600}, m);
    tool.doubleClick({600, 600}, m);
    tool.release({600, 600}, m);
    ASSERT_EQ(session.shapes().size(), 4u);
    EXPECT_EQ(session.shapes()[3].points.size(), 3u);

    // Counting: every click a point, a right click ends the count.
    tool.setKind(ShapeKind::Points);
    click(200, 200);
    click(220, 200);
    click(240, 200);
    tool.press({0, 0}, m, true);
    ASSERT_EQ(session.shapes().size(), 5u);
    EXPECT_EQ(session.shapes()[4].points.size(), 3u);

    // Escape while drawing leaves nothing.
    tool.setKind(ShapeKind::Polyline);
    click(10, 10);
    click(30, 30);
    tool.cancel();
    EXPECT_EQ(session.shapes().size(), 5u);
}

TEST(MeasurementToolTest, HandlesMovePointsAndClicksSelect) {
    MeasurementSession session;
    session.reset({line(100, 100, 200, 100)});
    MeasurementTool tool(session);
    const PictureMapping m = PictureMapping::scaled(0.5, QPointF(0, 0));  // zoomed out
    tool.setKind(std::nullopt);
    // 3 panel pixels from the end point: taken (grab distance is in panel pixels).
    tool.press({103, 50}, m);
    EXPECT_TRUE(session.moving());
    tool.move({150, 60}, m);
    tool.release({150, 60}, m);
    EXPECT_DOUBLE_EQ(session.shapes()[0].points[1].x, 300);
    EXPECT_DOUBLE_EQ(session.shapes()[0].points[1].y, 120);
    EXPECT_TRUE(session.canUndo());
    // A click on the line's middle selects it; on nothing, selects nothing.
    session.select(-1);
    tool.press({100, 55}, m);
    tool.release({100, 55}, m);
    EXPECT_EQ(session.selected(), 0);
    tool.press({10, 300}, m);
    tool.release({10, 300}, m);
    EXPECT_EQ(session.selected(), -1);
    // The line tool still takes a handle when nothing is being drawn.
    tool.setKind(ShapeKind::Line);
    tool.press({50, 50}, m);
    EXPECT_TRUE(session.moving());
    tool.release({50, 52}, m);
    EXPECT_EQ(session.shapes().size(), 1u);
}

}  // namespace
}  // namespace qelvo
