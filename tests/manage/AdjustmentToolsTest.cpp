#include "manage/AdjustmentTools.h"
#include "skin/ControlIdentity.h"
#include "support/TempFolder.h"
#include "support/TestBitmaps.h"
#include "widgets/ImageAdjustDialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTimer>

namespace qelvo {
namespace {

// Each of the five buttons opens its dialog modally with the tool's title and range, on the
// current picture; with no current picture nothing opens.
TEST(AdjustmentToolsTest, ButtonsOpenTheirDialogOnTheCurrentPicture) {
    test::TempFolder folder;
    const std::string path = folder / "a.jpg";
    ASSERT_TRUE(test::writeJpeg(path, 64, 48, QColor(90, 120, 150)));
    QWidget window;
    for (const AdjustmentTool& tool : kAdjustmentTools)
        setControlIdentity(new QPushButton(&window), tool.controlId, "tool");
    std::string current;
    bindAdjustmentTools(&window, [&] { return current; });

    QStringList seen;
    auto clickAndClose = [&](int id) {
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<ImageAdjustDialog*>(QApplication::activeModalWidget());
            if (!dialog) return;
            auto* slider = qobject_cast<QSlider*>(findControl(dialog, 1300));
            auto* box = qobject_cast<QLineEdit*>(findControl(dialog, 1303));
            seen << QString("%1 %2 %3 %4")
                        .arg(dialog->windowTitle())
                        .arg(slider->maximum())
                        .arg(box->text())
                        .arg(dialog->adjustment().Original().Width());
            dialog->reject();
        });
        qobject_cast<QPushButton*>(findControl(&window, id))->click();
        QCoreApplication::processEvents();
    };
    clickAndClose(1171);
    EXPECT_TRUE(seen.isEmpty());
    current = path;
    for (const AdjustmentTool& tool : kAdjustmentTools) clickAndClose(tool.controlId);
    EXPECT_EQ(
        seen,
        (QStringList{"Brightness @ Image Function 510 0 64", "Contrast @ Image Function 200 0 64",
                     "Hue @ Image Function 360 0 64", "Saturation @ Image Function 200 0 64",
                     "Histogram @ Image Function 1000 0 64"}));
}

}  // namespace
}  // namespace qelvo
