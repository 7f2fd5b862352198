#include "desktop/ScriptedDialogs.h"
#include "multiview/PaneSaver.h"
#include "multiview/PenLayers.h"
#include "support/TempFolder.h"
#include "support/TestBitmaps.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace qelvo {
namespace {

namespace fs = std::filesystem;

class PaneSaverTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto scripted = std::make_unique<ScriptedDialogs>();
        dialogs = scripted.get();
        previous = setDialogs(std::move(scripted));
    }
    void TearDown() override { setDialogs(std::move(previous)); }

    static std::array<PanePicture, 4> panes(int filled) {
        const QColor colours[] = {Qt::red, Qt::green, Qt::blue, Qt::yellow};
        std::array<PanePicture, 4> p;
        for (int i = 0; i < filled; ++i) p[i].frame = test::solidFrame(64, 48, colours[i]);
        return p;
    }
    static QColor centreOf(const std::string& path) {
        CxImage image;
        if (!image.LoadFile(path.c_str(), FormatJpeg)) return {};
        return test::pixelFromTop(image, image.Width() / 2, image.Height() / 2);
    }

    test::TempFolder folder;
    ScriptedDialogs* dialogs = nullptr;
    std::unique_ptr<Dialogs> previous;
};

TEST_F(PaneSaverTest, NumberedNamesReplaceTheLastFourCharacters) {
    EXPECT_EQ(PaneSaver::numberedName("/shots/cell.jpg", 0), "/shots/cell-0.jpg");
    EXPECT_EQ(PaneSaver::numberedName("/shots/cell.JPG", 3), "/shots/cell-3.jpg");
    // Four characters, not four bytes: a UTF-8 name is never cut inside a character.
    EXPECT_EQ(PaneSaver::numberedName("/shots/\u540d\u524d.\u65e5\u672c", 0),
              "/shots/\u540d-0.jpg");
    const std::string deep = "/" + std::string(300, 'd') + "/cell.jpg";  // kept whole
    EXPECT_EQ(PaneSaver::numberedName(deep, 1), deep.substr(0, deep.size() - 4) + "-1.jpg");
    const FileDialogRequest r = PaneSaver::dialogRequest();
    EXPECT_EQ(r.defaultExtension, "JPG");
    EXPECT_EQ(r.initialName, "*.jpg");
    EXPECT_EQ(r.filter, "JPG Files (*.JPG)|*.jpg||");
}

TEST_F(PaneSaverTest, WritesEveryFilledPaneAndSaysWhenThereIsNothing) {
    PaneSaver saver;
    const std::string chosen = folder / "cell.jpg";
    auto result = saver.save(nullptr, chosen, panes(0), nullptr);
    EXPECT_TRUE(result.nothingToSave);
    EXPECT_EQ(dialogs->messages().size(), 1);
    EXPECT_TRUE(fs::is_empty(folder.path()));

    result = saver.save(nullptr, chosen, panes(3), nullptr);
    ASSERT_EQ(result.written.size(), 3u);
    EXPECT_TRUE(test::near(centreOf(folder / "cell-0.jpg"), Qt::red));
    EXPECT_TRUE(test::near(centreOf(folder / "cell-2.jpg"), Qt::blue));
    EXPECT_FALSE(fs::exists(folder / "cell-3.jpg"));

    // Four panes over three existing files: one question naming them; No keeps them.
    dialogs->messageAnswers = {MessageAnswer::No};
    result = saver.save(nullptr, chosen, panes(4), nullptr);
    EXPECT_TRUE(result.declined);
    ASSERT_EQ(dialogs->messages().size(), 2);
    EXPECT_TRUE(dialogs->messages().last().contains("cell-2.jpg"));
    EXPECT_FALSE(dialogs->messages().last().contains("cell-3.jpg"));
    EXPECT_FALSE(fs::exists(folder / "cell-3.jpg"));
    dialogs->messageAnswers = {MessageAnswer::Yes};
    result = saver.save(nullptr, chosen, panes(4), nullptr);
    EXPECT_EQ(result.written.size(), 4u);
    EXPECT_TRUE(test::near(centreOf(folder / "cell-3.jpg"), Qt::yellow));
}

TEST_F(PaneSaverTest, PenLayerOnlyWhenGiven) {
    PenLayers pen;
    pen.togglePenMode();
    pen.pickColour({845 + 4 * 15, 90});  // blue
    for (int y = 200; y < 280; ++y) pen.stroke(0, {280, y}, {360, y}, 1);
    PaneSaver saver;
    saver.save(nullptr, folder / "plain.jpg", panes(1), nullptr);
    saver.save(nullptr, folder / "pen.jpg", panes(1), &pen);
    EXPECT_TRUE(test::near(centreOf(folder / "plain-0.jpg"), Qt::red));
    EXPECT_TRUE(test::near(centreOf(folder / "pen-0.jpg"), Qt::blue));
}

TEST_F(PaneSaverTest, FailuresAreReportedWithTheirReason) {
    // A writer that fails as a full disk does.
    PaneSaver full([](const PictureData&, const std::string&, std::string& reason) {
        reason = "No space left on device";
        return false;
    });
    auto result = full.save(nullptr, folder / "cell.jpg", panes(2), nullptr);
    EXPECT_TRUE(result.written.empty());
    ASSERT_EQ(dialogs->messages().size(), 1);
    EXPECT_TRUE(dialogs->messages()[0].contains("No space left on device"));
    EXPECT_TRUE(dialogs->messages()[0].contains("cell-1.jpg"));

    // A real failure: the chosen folder is a file.
    const std::string notAFolder = folder / "notes";
    std::ofstream(notAFolder) << "text";
    result = PaneSaver().save(nullptr, notAFolder + "/cell.jpg", panes(1), nullptr);
    EXPECT_TRUE(result.written.empty());
    ASSERT_EQ(dialogs->messages().size(), 2);
    EXPECT_TRUE(dialogs->messages()[1].contains("Not a directory"));
}

}  // namespace
}  // namespace qelvo
