#include "desktop/Dialogs.h"
#include "desktop/ScriptedDialogs.h"

#include <gtest/gtest.h>

#include <memory>

namespace qelvo {
namespace {

TEST(Dialogs, ClassicFiltersBecomeQtFilters) {
    EXPECT_EQ(toQtFilter("JPG Files (*.JPG)|*.jpg|All Files (*.*)|*.*||"),
              "JPG Files (*.jpg);;All Files (*.*)");
    EXPECT_EQ(toQtFilter("AVI Files (*.AVI)|*.avi||"), "AVI Files (*.avi)");
    EXPECT_EQ(toQtFilter("Pictures|*.jpg;*.bmp||"), "Pictures (*.jpg *.bmp)");
}

TEST(Dialogs, ScriptedServiceAnswersInOrderAndRecordsWhatWasShown) {
    auto scripted = std::make_unique<ScriptedDialogs>();
    ScriptedDialogs* script = scripted.get();
    script->messageAnswers = {MessageAnswer::Yes};
    script->fileAnswers = {QString("/tmp/a.avi")};
    auto previous = setDialogs(std::move(scripted));

    EXPECT_EQ(dialogs().message(nullptr, "Delete?", "", MessageButtons::YesNo), MessageAnswer::Yes);
    EXPECT_EQ(dialogs().message(nullptr, "Again?", "", MessageButtons::YesNo), MessageAnswer::No);
    FileDialogRequest request;
    request.filter = "AVI Files (*.AVI)|*.avi||";
    EXPECT_EQ(dialogs().saveFile(nullptr, request), QString("/tmp/a.avi"));
    EXPECT_EQ(dialogs().openFile(nullptr, request), std::nullopt);
    EXPECT_EQ(dialogs().pickFolder(nullptr, "Please choose a folder."), std::nullopt);
    EXPECT_EQ(script->messages(), (QStringList{"Delete?", "Again?"}));
    ASSERT_EQ(script->shown.size(), 5u);
    EXPECT_EQ(script->shown[2].kind, "save");
    EXPECT_EQ(script->shown[4].title, "Please choose a folder.");

    setDialogs(std::move(previous));
}

}  // namespace
}  // namespace qelvo
