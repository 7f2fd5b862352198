#include "combineui/CombineController.h"
#include "combineui/CombineProgressDialog.h"
#include "desktop/ScriptedDialogs.h"
#include "support/TempFolder.h"
#include "support/WaitUntil.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QWidget>

#include <chrono>
#include <filesystem>
#include <thread>

using namespace qelvo;
using combine::CombineKind;
using test::waitUntil;

namespace {

struct Fixture : ::testing::Test {
    Fixture() {
        auto owned = std::make_unique<ScriptedDialogs>();
        scripted = owned.get();
        setDialogs(std::move(owned));
        folder.write("a.jpg", "first");
        folder.write("b.jpg", "second");
        inputs = {folder / "a.jpg", folder / "b.jpg"};
    }
    ~Fixture() override { setDialogs(nullptr); }

    ScriptedDialogs* scripted = nullptr;
    test::TempFolder folder{"qelvo-combineui"};
    QWidget window;
    std::vector<std::string> inputs;
};

// Reports progress until the job is cancelled, writing nothing.
bool untilCancelled(std::atomic<bool>& sawCancel, const combine::CombineProgress& progress,
                    std::string* error) {
    for (int step = 0; step < 20000; ++step) {
        if (progress.cancelRequested()) {
            sawCancel = true;
            *error = combine::kCancelled;
            return false;
        }
        progress.step(0.25, "Aligning");
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    *error = "never cancelled";
    return false;
}

}  // namespace

TEST_F(Fixture, WritesBesideTheFirstInputWithProgressOnTheWindowThread) {
    std::string givenOutput;
    CombineController controller(&window,
                                 [&](CombineKind kind, const auto& in, const std::string& output,
                                     const auto& progress, std::string*) {
                                     EXPECT_EQ(kind, CombineKind::FocusStack);
                                     EXPECT_EQ(in, inputs);
                                     givenOutput = output;
                                     progress.step(0.5, "Fusing");
                                     std::filesystem::copy_file(in.front(), output);
                                     progress.step(1.0, "Saving");
                                     return true;
                                 });
    std::vector<QThread*> progressThreads;
    QObject::connect(
        &controller, &CombineController::progressed, &window,
        [&](double, const QString&) { progressThreads.push_back(QThread::currentThread()); });
    QSignalSpy ready(&controller, &CombineController::pictureReady);

    // The picture's name is taken already: the next free one is used.
    folder.write("a-edf.jpg", "earlier result");
    ASSERT_TRUE(controller.start(CombineKind::FocusStack, inputs));
    EXPECT_TRUE(controller.running());
    ASSERT_TRUE(controller.progressDialog());
    EXPECT_TRUE(controller.progressDialog()->isVisible());
    ASSERT_TRUE(waitUntil([&] { return ready.count() == 1; }));

    EXPECT_EQ(ready.at(0).at(0).toString().toStdString(), folder / "a-edf 2.jpg");
    EXPECT_EQ(givenOutput, folder / "a-edf 2.jpg");
    EXPECT_EQ(folder.read("a-edf 2.jpg"), "first");
    EXPECT_EQ(folder.read("a-edf.jpg"), "earlier result");
    EXPECT_EQ(folder.read("a.jpg"), "first");
    ASSERT_FALSE(progressThreads.empty());
    for (QThread* thread : progressThreads) EXPECT_EQ(thread, qApp->thread());
    EXPECT_FALSE(controller.running());
    EXPECT_FALSE(controller.progressDialog()->isVisible());
    EXPECT_TRUE(scripted->messages().isEmpty());
}

TEST_F(Fixture, CancelLeavesNothingAndSaysNothing) {
    std::atomic<bool> sawCancel{false};
    CombineController controller(
        &window, [&](CombineKind, const auto&, const std::string&, const auto& progress,
                     std::string* error) { return untilCancelled(sawCancel, progress, error); });
    QSignalSpy ready(&controller, &CombineController::pictureReady);
    QSignalSpy finished(&controller, &CombineController::finished);
    ASSERT_TRUE(controller.start(CombineKind::Mosaic, inputs));
    ASSERT_TRUE(waitUntil([&] { return controller.lastStage() == "Aligning"; }));
    EXPECT_EQ(controller.progressDialog()->stageText(), "Aligning");
    EXPECT_EQ(controller.progressDialog()->bar()->value(), 250);

    controller.progressDialog()->cancelButton()->click();
    ASSERT_TRUE(waitUntil([&] { return finished.count() == 1; }));
    EXPECT_TRUE(sawCancel);
    EXPECT_FALSE(finished.at(0).at(0).toBool());
    EXPECT_EQ(finished.at(0).at(2).toString(), combine::kCancelled);
    EXPECT_EQ(ready.count(), 0);
    EXPECT_EQ(folder.entries(), (std::vector<std::string>{"a.jpg", "b.jpg"}));
    EXPECT_TRUE(scripted->messages().isEmpty());
}

TEST_F(Fixture, FailureIsToldAndRefusalsAreExplained) {
    CombineController controller(&window, [&](CombineKind, const auto&, const std::string&,
                                              const auto&, std::string* error) {
        *error = "the pictures do not overlap";
        return false;
    });
    QSignalSpy ready(&controller, &CombineController::pictureReady);
    QSignalSpy finished(&controller, &CombineController::finished);

    EXPECT_FALSE(controller.start(CombineKind::Mosaic, {inputs.front()}));
    ASSERT_TRUE(controller.start(CombineKind::Mosaic, inputs));
    ASSERT_TRUE(waitUntil([&] { return finished.count() == 1; }));
    EXPECT_EQ(ready.count(), 0);
    ASSERT_EQ(scripted->messages().size(), 2);
    EXPECT_EQ(scripted->messages()[0], "Please select two pictures or more.");
    EXPECT_EQ(scripted->messages()[1], "Mosaic failed: the pictures do not overlap.");
    EXPECT_EQ(folder.entries(), (std::vector<std::string>{"a.jpg", "b.jpg"}));
}

TEST_F(Fixture, ClosingTheWindowDuringARunCancelsAndWaits) {
    std::atomic<bool> sawCancel{false};
    std::atomic<bool> returned{false};
    auto* controller =
        new CombineController(&window, [&](CombineKind, const auto&, const std::string&,
                                           const auto& progress, std::string* error) {
            const bool written = untilCancelled(sawCancel, progress, error);
            returned = true;
            return written;
        });
    ASSERT_TRUE(controller->start(CombineKind::FocusStack, inputs));
    EXPECT_FALSE(controller->start(CombineKind::FocusStack, inputs));  // one job at a time
    ASSERT_TRUE(waitUntil([&] { return controller->lastFraction() > 0; }));
    delete controller;
    EXPECT_TRUE(sawCancel);
    EXPECT_TRUE(returned);
    // Notices the worker posted before it stopped go with the controller.
    QCoreApplication::processEvents();
    EXPECT_EQ(folder.entries(), (std::vector<std::string>{"a.jpg", "b.jpg"}));
    ASSERT_EQ(scripted->messages().size(), 1);
    EXPECT_EQ(scripted->messages()[0], "A combined picture is being made already.");
}
