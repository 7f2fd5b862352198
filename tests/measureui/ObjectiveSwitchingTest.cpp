#include "measureui/ActiveObjectives.h"
#include "measureui/ObjectiveControl.h"
#include "measureui/OverlayController.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>

#include <filesystem>
#include <fstream>

using namespace qelvo;

TEST(ActiveObjectives, EachDeviceKeepsItsOwnListAndChoice) {
    test::TempFolder folder;
    {
        ActiveObjectives microscope("Bench Microscope", measure::ObjectiveStore(folder.path()));
        EXPECT_TRUE(microscope.problem().empty());
        EXPECT_EQ(microscope.active()->name, "10x");  // the defaults
        ASSERT_TRUE(microscope.choose(2));
        ASSERT_TRUE(microscope.calibrate(2, 0.25, 1280, 960));
        EXPECT_TRUE(microscope.saveError().empty());
    }
    ActiveObjectives again("Bench Microscope", measure::ObjectiveStore(folder.path()));
    EXPECT_EQ(again.activeIndex(), 2);
    EXPECT_DOUBLE_EQ(again.micrometresPerPixelAt(1280, 960), 0.25);
    EXPECT_DOUBLE_EQ(again.micrometresPerPixelAt(640, 480),
                     0.5);  // the same field, half the pixels
    ActiveObjectives other("USB Camera", measure::ObjectiveStore(folder.path()));
    EXPECT_EQ(other.active()->name, "10x");
    EXPECT_EQ(other.micrometresPerPixelAt(1280, 960), 0.0);
}

TEST(ActiveObjectives, KeysOneToNineChooseInTheWindow) {
    test::TempFolder folder;
    ActiveObjectives objectives("Scope", measure::ObjectiveStore(folder.path()));
    QSignalSpy changed(&objectives, &ActiveObjectives::activeObjectiveChanged);
    QWidget window;
    objectives.watchKeys(&window);
    QTest::keyClick(&window, Qt::Key_1);
    EXPECT_EQ(objectives.activeIndex(), 0);
    QTest::keyClick(&window, Qt::Key_4, Qt::KeypadModifier);
    EXPECT_EQ(objectives.activeIndex(), 3);
    EXPECT_EQ(changed.count(), 2);
    // No ninth objective, and Ctrl+2 belongs to something else: nothing changes.
    EXPECT_FALSE(objectives.handleKey(Qt::Key_9, Qt::NoModifier));
    EXPECT_FALSE(objectives.handleKey(Qt::Key_2, Qt::ControlModifier));
    QTest::keyClick(&window, Qt::Key_A);
    EXPECT_EQ(objectives.activeIndex(), 3);
    // Choosing the active one again is no change.
    EXPECT_TRUE(objectives.choose(3));
    EXPECT_EQ(changed.count(), 2);
    EXPECT_EQ(ActiveObjectives("Scope", measure::ObjectiveStore(folder.path())).activeIndex(), 3);
}

TEST(ActiveObjectives, ADamagedStoreGivesTheDefaultsAndSaysSo) {
    test::TempFolder folder;
    {
        ActiveObjectives objectives("Scope", measure::ObjectiveStore(folder.path()));
        objectives.choose(0);
    }
    for (const auto& entry : std::filesystem::directory_iterator(folder.path()))
        std::ofstream(entry.path(), std::ios::trunc) << "\x01garbage\n";
    ActiveObjectives damaged("Scope", measure::ObjectiveStore(folder.path()));
    EXPECT_FALSE(damaged.problem().empty());
    EXPECT_EQ(damaged.active()->name, "10x");
    EXPECT_FALSE(damaged.calibrate(0, -1.0, 640, 480));
    EXPECT_FALSE(damaged.calibrate(7, 1.0, 640, 480));

    OverlayController overlays(&damaged, folder.path() + "/registry");
    ObjectiveControl control(damaged, overlays);
    EXPECT_TRUE(control.toolTip().contains(QString::fromStdString(damaged.problem())));
}

TEST(ObjectiveControl, ShowsTheActiveObjectiveAndSwitchesOverlays) {
    test::TempFolder folder;
    ActiveObjectives objectives("Scope", measure::ObjectiveStore(folder.path()));
    objectives.calibrate(1, 0.5, 1280, 720);
    objectives.choose(1);
    OverlayController overlays(&objectives, folder.path() + "/registry");
    ObjectiveControl control(objectives, overlays);
    control.resize(312, 30);
    control.setFrameSizeSource([] { return QSize(640, 360); });
    EXPECT_EQ(control.objectiveText(), QStringLiteral("10x"));
    EXPECT_EQ(control.pixelSizeText(), QStringLiteral("1 µm/px"));  // at half the resolution
    objectives.choose(0);
    EXPECT_EQ(control.pixelSizeText(), QStringLiteral("not calibrated"));

    // A click on the grid switch turns the grid on; the menu offers the same switches.
    EXPECT_FALSE(overlays.isOn(OverlayController::Grid));
    QTest::mouseClick(&control, Qt::LeftButton, {}, control.switchArea(1).center());
    EXPECT_TRUE(overlays.isOn(OverlayController::Grid));
    QMenu* menu = control.buildMenu();
    QStringList texts;
    for (QAction* action : menu->actions()) texts << action->text();
    EXPECT_TRUE(texts.contains(QStringLiteral("Calibrate…")));
    EXPECT_TRUE(texts.contains(QStringLiteral("Edit objectives…")));
    EXPECT_TRUE(texts.contains(QStringLiteral("10x\t1 µm/px")));  // at the frame's size too
    // Picking "40x" in the menu makes it active.
    for (QAction* action : menu->actions())
        if (action->text().startsWith(QStringLiteral("40x"))) action->trigger();
    EXPECT_EQ(objectives.active()->name, "40x");
    delete menu;

    // Two rows when high enough, and each part alone.
    control.resize(146, 64);
    EXPECT_LT(control.objectiveArea().bottom(), control.switchArea(0).top());
    control.setParts(ObjectiveControl::Parts::Switches);
    EXPECT_TRUE(control.objectiveArea().isEmpty());
    EXPECT_TRUE(control.rect().contains(control.switchArea(3)));
}
