#include "measureui/ActiveObjectives.h"
#include "measureui/CalibrationCanvas.h"
#include "measureui/CalibrationDialog.h"
#include "measureui/CalibrationFlow.h"
#include "support/Graticule.h"
#include "support/TempFolder.h"
#include "support/WaitUntil.h"

#include <gtest/gtest.h>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <condition_variable>
#include <mutex>

using namespace qelvo;

namespace {

QImage greyImage(const std::vector<std::uint8_t>& grey, int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int v = grey[static_cast<std::size_t>(y) * width + x];
            image.setPixel(x, y, qRgb(v, v, v));
        }
    return image;
}

QImage graticule(double pitch, double angle) {
    test::GraticuleLayout layout;
    layout.width = 800;
    layout.height = 600;
    layout.pitch = pitch;
    layout.angleDegrees = angle;
    layout.noise = 3.0;
    layout.left = 0.2;
    layout.right = 0.85;
    return greyImage(test::renderGraticule(layout), layout.width, layout.height);
}

}  // namespace

// From a picture of a ruling to a stored pixel size: found off the GUI thread, drawn over
// the picture, spacing typed, stored for the chosen objective at the picture's resolution.
TEST(CalibrationDialog, AutomaticFromASyntheticRuling) {
    test::TempFolder folder;
    ActiveObjectives objectives("Scope", measure::ObjectiveStore(folder.path()));
    CalibrationDialog dialog(objectives, graticule(37.5, 20.0));
    ASSERT_TRUE(test::waitUntil([&] { return !dialog.flow().searching(); }));
    ASSERT_TRUE(dialog.flow().ruling() && dialog.flow().ruling()->found)
        << dialog.flow().status().toStdString();
    EXPECT_FALSE(dialog.flow().rulingLines().empty());
    EXPECT_FALSE(dialog.storeButton().isEnabled());  // no spacing yet

    dialog.objectiveList().setCurrentIndex(2);  // 40x
    QTest::keyClicks(&dialog.spacingEdit(), QStringLiteral("10 µm"));
    ASSERT_TRUE(dialog.storeButton().isEnabled()) << dialog.statusLabel().text().toStdString();
    EXPECT_EQ(dialog.storeButton().text(), QStringLiteral("Store for 40x"));
    const double expected = 10.0 / 37.5;
    EXPECT_NEAR(*dialog.flow().micrometresPerPixel(), expected, expected * 0.005);
    ASSERT_TRUE(dialog.store());

    ActiveObjectives stored("Scope", measure::ObjectiveStore(folder.path()));
    const measure::Objective& o = stored.objectives().objectives[2];
    EXPECT_NEAR(o.micrometresPerPixel, expected, expected * 0.005);
    EXPECT_EQ(o.atWidth, 800);
    EXPECT_EQ(o.atHeight, 600);
    EXPECT_FALSE(stored.objectives().objectives[1].calibrated());
}

TEST(CalibrationDialog, SaysClearlyWhenNoRulingIsFound) {
    test::TempFolder folder;
    ActiveObjectives objectives("Scope", measure::ObjectiveStore(folder.path()));
    CalibrationDialog dialog(objectives, greyImage(test::renderScene(640, 480, 3), 640, 480));
    ASSERT_TRUE(test::waitUntil([&] { return !dialog.flow().searching(); }));
    ASSERT_TRUE(dialog.flow().ruling());
    EXPECT_FALSE(dialog.flow().ruling()->found);
    EXPECT_TRUE(dialog.statusLabel().text().startsWith(QStringLiteral("No ruling found")));
    QTest::keyClicks(&dialog.spacingEdit(), QStringLiteral("10 um"));
    EXPECT_FALSE(dialog.storeButton().isEnabled());
    EXPECT_FALSE(dialog.store());
    EXPECT_FALSE(ActiveObjectives("Scope", measure::ObjectiveStore(folder.path()))
                     .objectives()
                     .objectives[1]
                     .calibrated());
}

// The search runs on a worker thread: the dialog is up and answering while it goes on, and a
// result for a picture replaced meanwhile is dropped.
TEST(CalibrationFlow, TheGuiNeverWaitsForTheSearch) {
    std::mutex mutex;
    std::condition_variable wake;
    bool release = false;
    int calls = 0;
    CalibrationFlow flow;
    flow.setFinder([&](const measure::GreyView& view) {
        std::unique_lock<std::mutex> lock(mutex);
        ++calls;
        wake.wait(lock, [&] { return release; });
        measure::Ruling r;
        r.found = true;
        r.pitchPixels = view.width / 10.0;  // tells the two pictures apart
        r.right = view.width;
        r.bottom = view.height;
        return r;
    });
    QImage first(100, 50, QImage::Format_RGB32);
    first.fill(Qt::gray);
    flow.setPicture(first);
    EXPECT_TRUE(flow.searching());
    QImage second(200, 50, QImage::Format_RGB32);
    second.fill(Qt::gray);
    flow.setPicture(second);
    EXPECT_TRUE(flow.searching());
    EXPECT_EQ(flow.status(), QStringLiteral("Looking for a ruling…"));
    {
        std::lock_guard<std::mutex> lock(mutex);
        release = true;
    }
    wake.notify_all();
    ASSERT_TRUE(test::waitUntil([&] { return !flow.searching(); }));
    ASSERT_TRUE(flow.ruling());
    EXPECT_DOUBLE_EQ(flow.ruling()->pitchPixels, 20.0);
    EXPECT_TRUE(flow.setSpacing(QStringLiteral("0.01 mm")));
    EXPECT_DOUBLE_EQ(*flow.micrometresPerPixel(), 0.5);
    EXPECT_FALSE(flow.setSpacing(QStringLiteral("10 in")));
    EXPECT_FALSE(flow.micrometresPerPixel());
    EXPECT_FALSE(flow.setSpacing(QStringLiteral("-3 um")));
}

TEST(CalibrationDialog, ManualLineOverAKnownLength) {
    test::TempFolder folder;
    ActiveObjectives objectives("Scope", measure::ObjectiveStore(folder.path()));
    QImage picture(640, 480, QImage::Format_RGB32);
    picture.fill(Qt::darkGray);
    CalibrationDialog dialog(objectives, picture);
    dialog.resize(980, 560);
    dialog.setManual(true);
    EXPECT_EQ(dialog.flow().mode(), CalibrationFlow::Mode::Manual);

    // A drag over the canvas draws the line in picture pixels; the loupe shows meanwhile.
    CalibrationCanvas& canvas = dialog.canvas();
    canvas.resize(640, 480);
    canvas.fit();
    const PictureMapping m = canvas.mapping();
    const QPoint from = m.toPanel({100, 100}).toPoint();
    const QPoint to = m.toPanel({400, 500 - 20}).toPoint();
    QTest::mousePress(&canvas, Qt::LeftButton, {}, from);
    QTest::mouseMove(&canvas, to);
    EXPECT_TRUE(canvas.loupeShown());
    QTest::mouseRelease(&canvas, Qt::LeftButton, {}, to);
    EXPECT_FALSE(canvas.loupeShown());
    const double drawn = dialog.flow().line().length();
    EXPECT_NEAR(drawn, 500.0 - 20 * 0.8, 3.0);  // (300, 380) long, within a pixel per end

    QTest::keyClicks(&dialog.lengthEdit(), QStringLiteral("250"));  // micrometres
    ASSERT_TRUE(dialog.flow().micrometresPerPixel());
    EXPECT_NEAR(*dialog.flow().micrometresPerPixel(), 250.0 / drawn, 1e-9);
    dialog.lengthEdit().setText(QStringLiteral("0 um"));
    EXPECT_FALSE(dialog.storeButton().isEnabled());
    dialog.lengthEdit().setText(QStringLiteral("0.25 mm"));
    ASSERT_TRUE(dialog.store());
    EXPECT_NEAR(ActiveObjectives("Scope", measure::ObjectiveStore(folder.path()))
                    .micrometresPerPixelAt(640, 480),
                250.0 / drawn, 1e-6);
}
