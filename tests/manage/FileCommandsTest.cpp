#include "desktop/ScriptedDialogs.h"
#include "manage/FileCommands.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace qelvo {
namespace {

namespace fs = std::filesystem;

class FileCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto scripted = std::make_unique<ScriptedDialogs>();
        script_ = scripted.get();
        previous_ = setDialogs(std::move(scripted));
    }
    void TearDown() override { setDialogs(std::move(previous_)); }

    ScriptedDialogs* script_ = nullptr;
    std::unique_ptr<Dialogs> previous_;
    test::TempFolder dir_;
};

TEST_F(FileCommandsTest, DeleteAsksWithThePathAndOnlyYesDeletes) {
    dir_.write("a b é.jpg", "picture");
    const std::string path = dir_ / "a b é.jpg";
    script_->messageAnswers = {MessageAnswer::No, MessageAnswer::Yes};
    script_->messageAnswers.push_back(MessageAnswer::Yes);
    EXPECT_EQ(askAndDeletePicture(nullptr, path), DeleteOutcome::Declined);
    EXPECT_TRUE(fs::exists(path));
    EXPECT_EQ(askAndDeletePicture(nullptr, path), DeleteOutcome::Deleted);
    EXPECT_FALSE(fs::exists(path));
    EXPECT_EQ(askAndDeletePicture(nullptr, path), DeleteOutcome::Failed) << "already gone";
    ASSERT_EQ(script_->messages().size(), 3);
    EXPECT_EQ(script_->messages()[0],
              QString::fromStdString("Do you want to delete this file?\n\n" + path + "\n"));
    EXPECT_EQ(script_->shown[0].buttons, MessageButtons::YesNo);
}

TEST_F(FileCommandsTest, RenameMovesButNeverReplacesAnExistingPicture) {
    dir_.write("one.jpg", "first");
    dir_.write("two.jpg", "second");
    script_->fileAnswers = {QString::fromStdString(dir_ / "two.jpg"),
                            QString::fromStdString(dir_ / "sub/three.jpg"),
                            QString::fromStdString(dir_ / "three.jpg")};
    EXPECT_EQ(askAndRenamePicture(nullptr, dir_ / "one.jpg"), std::nullopt);
    EXPECT_EQ(dir_.read("one.jpg"), "first");
    EXPECT_EQ(dir_.read("two.jpg"), "second");
    // A folder that does not exist: nothing moves.
    EXPECT_EQ(askAndRenamePicture(nullptr, dir_ / "one.jpg"), std::nullopt);
    EXPECT_EQ(askAndRenamePicture(nullptr, dir_ / "one.jpg"), dir_ / "three.jpg");
    EXPECT_FALSE(fs::exists(dir_ / "one.jpg"));
    EXPECT_EQ(dir_.read("three.jpg"), "first");

    const auto& request = script_->shown[0].request;
    EXPECT_EQ(request.filter, "JPG Files (*.JPG)|*.jpg|All Files (*.*)|*.*||");
    EXPECT_EQ(request.defaultExtension, "JPG");
    EXPECT_EQ(request.initialName, "*.jpg");
    EXPECT_TRUE(request.confirmOverwrite);
}

TEST_F(FileCommandsTest, RenameWithoutAPictureAsksNothing) {
    EXPECT_EQ(askAndRenamePicture(nullptr, ""), std::nullopt);
    EXPECT_TRUE(script_->shown.empty());
}

TEST_F(FileCommandsTest, FolderPickerTitleAndCancel) {
    script_->folderAnswers = {std::nullopt, QString::fromStdString(dir_.path())};
    EXPECT_EQ(askForFolder(nullptr), std::nullopt);
    EXPECT_EQ(askForFolder(nullptr), dir_.path());
    EXPECT_EQ(script_->shown[0].title, "Please choose a folder.");
}

TEST(MoveFileNoReplace, AcrossFileSystemsCopiesThenRemovesTheSource) {
    // /dev/shm is a separate tmpfs on Linux; skip where it is not.
    const fs::path shm = "/dev/shm";
    if (!fs::is_directory(shm)) GTEST_SKIP() << "no /dev/shm";
    test::TempFolder dir;
    dir.write("pic.jpg", std::string(200000, 'z'));
    const fs::path target = shm / ("qelvo-move-" + std::to_string(::getpid()) + ".jpg");
    fs::remove(target);
    ASSERT_TRUE(moveFileNoReplace(dir / "pic.jpg", target.string()));
    EXPECT_FALSE(fs::exists(dir / "pic.jpg"));
    EXPECT_EQ(fs::file_size(target), 200000u);
    dir.write("again.jpg", "y");
    EXPECT_FALSE(moveFileNoReplace(dir / "again.jpg", target.string()));
    EXPECT_TRUE(fs::exists(dir / "again.jpg"));
    EXPECT_EQ(fs::file_size(target), 200000u);
    fs::remove(target);
}

TEST_F(FileCommandsTest, MeasurementsGoAlongWithRenameAndDelete) {
    dir_.write("cell.jpg", "picture");
    dir_.write("cell.jpg.measure", "measurements");
    dir_.write("taken.jpg.measure", "someone else's measurements");
    script_->fileAnswers = {QString::fromStdString(dir_ / "moved.jpg"),
                            QString::fromStdString(dir_ / "taken.jpg")};
    ASSERT_EQ(askAndRenamePicture(nullptr, dir_ / "cell.jpg"), dir_ / "moved.jpg");
    EXPECT_FALSE(fs::exists(dir_ / "cell.jpg.measure"));
    EXPECT_EQ(dir_.read("moved.jpg.measure"), "measurements");
    EXPECT_TRUE(script_->messages().isEmpty());

    // Onto a name whose measurements are already there: the picture moves, the two sidecars
    // stay where they were and the operator is told.
    ASSERT_EQ(askAndRenamePicture(nullptr, dir_ / "moved.jpg"), dir_ / "taken.jpg");
    EXPECT_EQ(dir_.read("moved.jpg.measure"), "measurements");
    EXPECT_EQ(dir_.read("taken.jpg.measure"), "someone else's measurements");
    EXPECT_EQ(script_->messages().size(), 1);

    script_->messageAnswers = {MessageAnswer::Yes};
    dir_.write("gone.jpg", "picture");
    dir_.write("gone.jpg.measure", "measurements");
    ASSERT_EQ(askAndDeletePicture(nullptr, dir_ / "gone.jpg"), DeleteOutcome::Deleted);
    EXPECT_FALSE(fs::exists(dir_ / "gone.jpg.measure"));
}

}  // namespace
}  // namespace qelvo
