#include "desktop/ScriptedDialogs.h"
#include "measure/Sidecar.h"
#include "measureui/AnnotatedCopy.h"
#include "measureui/MeasurementDocument.h"
#include "picturefiles/PictureFile.h"
#include "support/TempFolder.h"
#include "support/WaitUntil.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace qelvo {
namespace {

namespace fs = std::filesystem;
using measure::Shape;
using measure::ShapeKind;

// A grey picture with a bright square in it, 0.5 µm per pixel.
PictureData picture(int width = 200, int height = 150) {
    PictureData p;
    p.width = width;
    p.height = height;
    p.channels = 3;
    p.samples.assign(p.rowBytes() * height, 90);
    for (int y = 40; y < 80; ++y)
        for (int x = 40; x < 80; ++x)
            for (int c = 0; c < 3; ++c) p.samples[y * p.rowBytes() + 3 * x + c] = 230;
    p.calibration.micrometresPerPixel = 0.5;
    p.calibration.objective = "40x";
    return p;
}

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

class MeasurementDocumentTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto scripted = std::make_unique<ScriptedDialogs>();
        dialogs_ = scripted.get();
        previous_ = setDialogs(std::move(scripted));
        std::string error;
        ASSERT_TRUE(writePictureFile(path_, picture(), &error)) << error;
    }
    void TearDown() override { setDialogs(std::move(previous_)); }

    test::TempFolder folder_;
    std::string path_ = folder_ / "cell.png";
    ScriptedDialogs* dialogs_ = nullptr;
    std::unique_ptr<Dialogs> previous_;
};

TEST_F(MeasurementDocumentTest, MeasurementsAreShownAgainWhenThePictureOpensAgain) {
    {
        MeasurementDocument document;
        document.open(path_);
        EXPECT_DOUBLE_EQ(document.micrometresPerPixel(), 0.5);
        EXPECT_EQ(document.objective(), "40x");
        ASSERT_TRUE(document.session().add(Shape{ShapeKind::Line, {{10, 10}, {110, 10}}, ""}));
        ASSERT_TRUE(
            document.session().add(Shape{ShapeKind::Polygon, {{0, 0}, {40, 0}, {40, 30}}, "cell"}));
        // Written a moment later, off the GUI thread.
        EXPECT_TRUE(test::waitUntil([&] { return fs::exists(measure::sidecarPathFor(path_)); }));
        document.session().undo();
        document.waitForWrites();
    }
    MeasurementDocument again;
    again.open(path_);
    ASSERT_EQ(again.session().shapes().size(), 1u);
    EXPECT_EQ(again.session().shapes()[0].kind, ShapeKind::Line);
    EXPECT_FALSE(again.session().canUndo());
    // Removing the last one removes the sidecar.
    again.session().removeSelected();
    again.session().remove(0);
    again.waitForWrites();
    EXPECT_FALSE(fs::exists(measure::sidecarPathFor(path_)));
}

TEST_F(MeasurementDocumentTest, ADamagedSidecarIsReportedAndKeptUnlessTheOperatorSaysYes) {
    const std::string sidecar = measure::sidecarPathFor(path_);
    const std::string damaged = "not measurements at all\n\x01\x02";
    folder_.write("cell.png.measure", damaged);
    MeasurementDocument document;
    QSignalSpy problems(&document, &MeasurementDocument::problem);
    document.open(path_);
    EXPECT_TRUE(document.sidecarDamaged());
    EXPECT_TRUE(document.session().empty());
    ASSERT_EQ(problems.count(), 1);
    EXPECT_TRUE(problems[0][0].toString().contains("cell.png"));

    // No: the file stays as it was, and the operator is not asked again for this picture.
    dialogs_->messageAnswers = {MessageAnswer::No};
    document.session().add(Shape{ShapeKind::Line, {{1, 1}, {5, 5}}, ""});
    document.waitForWrites();
    document.session().add(Shape{ShapeKind::Line, {{2, 2}, {6, 6}}, ""});
    document.waitForWrites();
    EXPECT_EQ(dialogs_->messages().size(), 1);
    EXPECT_EQ(readAll(sidecar), damaged);

    // Opened again, yes: replaced by what is on the picture now.
    document.open(path_);
    dialogs_->messageAnswers = {MessageAnswer::Yes};
    document.session().add(Shape{ShapeKind::Line, {{1, 1}, {5, 5}}, ""});
    document.waitForWrites();
    EXPECT_EQ(dialogs_->messages().size(), 2);
    std::string error;
    const auto kept = measure::loadSidecar(path_, &error);
    ASSERT_TRUE(kept) << error;
    EXPECT_EQ(kept->shapes.size(), 1u);
    EXPECT_DOUBLE_EQ(kept->micrometresPerPixel, 0.5);
}

TEST_F(MeasurementDocumentTest, SaveWithOverlaysWritesANewCalibratedCopyAndLeavesTheOriginal) {
    const std::string original = readAll(path_);
    const std::vector<Shape> shapes = {Shape{ShapeKind::Rectangle, {{40, 40}, {80, 80}}, ""},
                                       Shape{ShapeKind::Line, {{10, 120}, {190, 120}}, ""}};
    std::string error;
    const auto first = saveAnnotatedCopy(path_, shapes, 0.5, "40x", &error);
    ASSERT_TRUE(first) << error;
    EXPECT_EQ(*first, folder_ / "cell-annotated.png");
    const auto second = saveAnnotatedCopy(path_, shapes, 0.5, "40x", &error);
    ASSERT_TRUE(second) << error;
    EXPECT_EQ(*second, folder_ / "cell-annotated-2.png");
    EXPECT_EQ(readAll(path_), original);
    // Only the picture and its two copies: no temporary file left.
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_.path()), fs::directory_iterator()), 3);

    const auto copy = readPictureFile(*first, &error);
    ASSERT_TRUE(copy) << error;
    EXPECT_DOUBLE_EQ(copy->calibration.micrometresPerPixel, 0.5);
    ASSERT_EQ(copy->width, 200);
    // The line is drawn in across the grey; the picture far from any drawing is untouched.
    auto at = [&](int x, int y) { return copy->samples[y * copy->rowBytes() + 3 * x]; };
    EXPECT_NE(at(100, 120), 90);
    EXPECT_EQ(at(150, 20), 90);
}

TEST_F(MeasurementDocumentTest, ExportKeepsThePixelSizeInTheChosenFormat) {
    std::string error;
    for (const char* name : {"cell.tif", "cell.jpg"}) {
        const std::string target = folder_ / name;
        ASSERT_TRUE(exportPicture(path_, target, &error)) << name << ": " << error;
        const auto info = readPictureFileInfo(target, &error);
        ASSERT_TRUE(info) << error;
        EXPECT_EQ(info->format, *pictureFormatOf(target));
        EXPECT_NEAR(info->calibration.micrometresPerPixel, 0.5, 1e-6) << name;
    }
    EXPECT_FALSE(exportPicture(path_, path_, &error));
    EXPECT_FALSE(exportPicture(path_, folder_ / "cell.bmp", &error));
    EXPECT_FALSE(fs::exists(folder_ / "cell.bmp"));
}

}  // namespace
}  // namespace qelvo
