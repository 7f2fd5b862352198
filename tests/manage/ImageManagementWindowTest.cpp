#include "acquireui/FlatFieldController.h"
#include "capture/CaptureSession.h"
#include "capture/Pacing.h"
#include "capture/SnapshotWriter.h"
#include "desktop/LiveTarget.h"
#include "desktop/Screens.h"
#include "desktop/ScriptedDialogs.h"
#include "manage/ImageManagementWindow.h"
#include "manage/PanelRender.h"
#include "manage/PicturePanel.h"
#include "manage/PictureView.h"
#include "manage/ThumbnailButton.h"
#include "media/MediaFile.h"
#include "media/MediaGraph.h"
#include "skin/ControlIdentity.h"
#include "skin/HdButton.h"
#include "skin/SimpleButton.h"
#include "support/ButtonPipe.h"
#include "support/TempFolder.h"
#include "support/TestBitmaps.h"
#include "support/WaitUntil.h"
#include "system/Clock.h"
#include "system/SessionState.h"
#include "widgets/ClipViewerPopup.h"
#include "widgets/ImageAdjustDialog.h"

#include <gtest/gtest.h>

#include <QAbstractSlider>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

namespace qelvo {
namespace {

namespace fs = std::filesystem;
using test::waitUntil;
using test::writeJpeg;

constexpr const char* kDevice = "Manage Test Camera";

class ImageManagementWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("QELVO_VIRTUAL_DEVICES", "Manage Test Camera{fps=15}", 1);
        ::setenv("QELVO_REGISTRY_DIR", (root_ / "registry").c_str(), 1);
        setSelectedDeviceName(kDevice);
        setStorageFolder(root_.path());
        previousClock_ = setClock(std::make_unique<FixedClock>(LocalTime{2026, 5, 6, 7, 8, 9}));
        auto scripted = std::make_unique<ScriptedDialogs>();
        dialogs_ = scripted.get();
        previousDialogs_ = setDialogs(std::move(scripted));
        setPacingPause(std::chrono::milliseconds(5));
        launcher_.setGeometry(0, 0, 1024, 768);
    }
    void TearDown() override {
        waitForSnapshotWriters();
        QCoreApplication::processEvents();
        setDialogs(std::move(previousDialogs_));
        setClock(std::move(previousClock_));
    }

    std::string dayFolder() const { return root_ / "20260506"; }
    // Makes `count` pictures named 0000.jpg, 0001.jpg ... in `folder`.
    static void makePictures(const std::string& folder, int count) {
        fs::create_directories(folder);
        for (int i = 0; i < count; ++i) {
            char name[16];
            std::snprintf(name, sizeof name, "%04d.jpg", i);
            ASSERT_TRUE(writeJpeg(folder + "/" + name, 32, 24, QColor(10 * i, 100, 200)));
        }
    }
    static bool visible(ImageManagementWindow& w, int id) {
        QWidget* c = findControl(&w, id);
        return c && c->isVisibleTo(&w);
    }

    test::TempFolder root_;
    QWidget launcher_;
    ScriptedDialogs* dialogs_ = nullptr;
    std::unique_ptr<Dialogs> previousDialogs_;
    std::unique_ptr<Clock> previousClock_;
};

TEST_F(ImageManagementWindowTest, OpensOnTheLauncherWithTheDayFolderAndLivePicture) {
    ImageManagementWindow window(&launcher_, false);
    window.show();
    EXPECT_EQ(window.geometry(), launcher_.geometry());
    EXPECT_EQ(window.rootFolder(), root_.path());
    EXPECT_EQ(storageFolder(), dayFolder());
    EXPECT_TRUE(fs::is_directory(dayFolder()));
    std::ifstream settings(root_ / "QELVO-LAB.cfg");
    std::string line;
    ASSERT_TRUE(std::getline(settings, line));
    EXPECT_EQ(line, dayFolder());
    auto* list = qobject_cast<QComboBox*>(findControl(&window, ImageManagementWindow::kFolderList));
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->count(), 1);
    EXPECT_EQ(list->currentText().toStdString(), dayFolder());
    EXPECT_EQ(list->pos(), QPoint(20, 575));

    auto* panel =
        qobject_cast<LiveTarget*>(findControl(&window, ImageManagementWindow::kViewPanel));
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->geometry(), QRect(30, 60, 640, 480));
    EXPECT_TRUE(waitUntil([&] { return panel->paintedFrames() > 0; }));
    EXPECT_EQ(window.clip(7)->geometry(), QRect(850, 625, 100, 100));
}

TEST_F(ImageManagementWindowTest, TabStripSegmentsChooseTheModeAndWhatShows) {
    ImageManagementWindow window(&launcher_, false);
    auto* tab =
        qobject_cast<SimpleButton*>(findControl(&window, ImageManagementWindow::kCaptureTab));
    ASSERT_NE(tab, nullptr);
    ASSERT_EQ(tab->width(), 404);
    struct Case {
        int x, mode, bitmap;
        std::vector<int> shown, hidden;
    };
    const Case cases[] = {
        {300, 2, 143, {1029, 1030, 1031, 1039}, {1023, 1024, 1022, 1025, 1037, 1038}},
        {200, 1, 142, {1038}, {1023, 1029, 1037, 1039}},
        {10, 0, 141, {1024, 1022, 1023, 1025, 1037}, {1029, 1030, 1031, 1038, 1039}},
    };
    for (const Case& c : cases) {
        window.tabStripClicked(c.x);
        EXPECT_EQ(window.mode(), c.mode);
        EXPECT_EQ(tab->bitmapId(), c.bitmap);
        for (int id : c.shown) EXPECT_TRUE(visible(window, id)) << id << " mode " << c.mode;
        for (int id : c.hidden) EXPECT_FALSE(visible(window, id)) << id << " mode " << c.mode;
        // Tools, file commands and the window buttons show in every mode.
        for (int id : {1171, 1184, 1034, 1035, 1011, 2, 1003})
            EXPECT_TRUE(visible(window, id)) << id;
    }
    for (int id : {1026, 1027, 1028, 1032, 1033, 1020, 1021, 1050, 1051})
        EXPECT_FALSE(visible(window, id));
}

TEST_F(ImageManagementWindowTest, SnapWritesAPictureThatAppearsInTheStrip) {
    ImageManagementWindow window(&launcher_, false);
    window.show();
    auto* panel =
        qobject_cast<LiveTarget*>(findControl(&window, ImageManagementWindow::kViewPanel));
    ASSERT_TRUE(waitUntil([&] { return panel->paintedFrames() > 0; }));
    window.snap();
    ASSERT_TRUE(waitUntil([&] { return !window.clip(0)->path().empty(); }));
    const std::string expected = dayFolder() + "/20260506-070809.jpg";
    EXPECT_EQ(window.clip(0)->path(), expected);
    EXPECT_EQ(window.clip(0)->label(), "0506-070809");
    EXPECT_TRUE(fs::exists(expected));
    EXPECT_TRUE(window.clip(1)->path().empty());
}

TEST_F(ImageManagementWindowTest, TheCamerasOwnButtonTakesAPictureLikeSnap) {
    ImageManagementWindow window(&launcher_, false);
    window.show();
    auto* panel =
        qobject_cast<LiveTarget*>(findControl(&window, ImageManagementWindow::kViewPanel));
    ASSERT_TRUE(waitUntil([&] { return panel->paintedFrames() > 0; }));
    test::ButtonPipe button(window.session().cameraButton());
    ASSERT_TRUE(button.press());
    ASSERT_TRUE(waitUntil([&] { return !window.clip(0)->path().empty(); }));
    EXPECT_EQ(window.clip(0)->path(), dayFolder() + "/20260506-070809.jpg");
}

TEST_F(ImageManagementWindowTest, StripScrollsClickOpensAndDeleteKeepsThePosition) {
    const std::string folder = root_ / "many pictures é";
    makePictures(folder, 20);
    ImageManagementWindow window(&launcher_, false);
    dialogs_->folderAnswers = {QString::fromStdString(folder)};
    window.chooseFolder();
    EXPECT_EQ(storageFolder(), folder);
    auto* bar = qobject_cast<QScrollBar*>(findControl(&window, ImageManagementWindow::kStripBar));
    ASSERT_NE(bar, nullptr);
    EXPECT_TRUE(bar->isVisibleTo(&window));
    EXPECT_EQ(bar->maximum(), 12);
    EXPECT_EQ(window.strip().firstIndex(), 12);
    EXPECT_EQ(window.clip(0)->path(), folder + "/0012.jpg");
    EXPECT_EQ(window.clip(7)->path(), folder + "/0019.jpg");

    window.stripBarAction(QAbstractSlider::SliderSingleStepSub);
    EXPECT_EQ(window.clip(0)->path(), folder + "/0011.jpg");
    EXPECT_EQ(bar->sliderPosition(), 11);
    window.stripBarAction(QAbstractSlider::SliderToMaximum);
    EXPECT_EQ(window.clip(0)->path(), folder + "/0012.jpg");

    window.clickClip(2);
    EXPECT_EQ(window.mode(), ImageManagementWindow::ImageMode);
    EXPECT_EQ(window.currentPicture(), folder + "/0014.jpg");
    auto* jpeg =
        qobject_cast<PicturePanel*>(findControl(&window, ImageManagementWindow::kJpegViewPanel));
    ASSERT_NE(jpeg, nullptr);
    EXPECT_TRUE(jpeg->isVisibleTo(&window));
    EXPECT_EQ(jpeg->picture().Width(), 32);

    // No keeps the file; yes deletes it and refills from one earlier, position kept.
    dialogs_->messageAnswers = {MessageAnswer::No, MessageAnswer::Yes};
    window.deleteClip(7);
    EXPECT_TRUE(fs::exists(folder + "/0019.jpg"));
    window.deleteClip(7);
    EXPECT_FALSE(fs::exists(folder + "/0019.jpg"));
    EXPECT_EQ(dialogs_->messages().back().toStdString(),
              "Do you want to delete this file?\n\n" + folder + "/0019.jpg\n");
    EXPECT_EQ(window.strip().firstIndex(), 12);
    EXPECT_EQ(window.clip(0)->path(), folder + "/0011.jpg");
    EXPECT_EQ(window.clip(7)->path(), folder + "/0018.jpg");
    // An empty slot ignores clicks.
    EXPECT_EQ(window.strip().pictureCount(), 19);
    // A picture deleted behind the window's back: yes fails to delete, but the stale
    // thumbnail goes all the same.
    fs::remove(folder + "/0018.jpg");
    dialogs_->messageAnswers = {MessageAnswer::Yes};
    window.deleteClip(7);
    EXPECT_EQ(window.strip().pictureCount(), 18);
    EXPECT_EQ(window.clip(7)->path(), folder + "/0017.jpg");
}

TEST_F(ImageManagementWindowTest, SelectedPicturesCombineIntoANewPictureThatIsShown) {
    const std::string folder = dayFolder();
    makePictures(folder, 12);
    ImageManagementWindow window(&launcher_, false);
    using combine::CombineKind;
    QPushButton* stack = window.combineButton(CombineKind::FocusStack);
    QPushButton* mosaic = window.combineButton(CombineKind::Mosaic);
    ASSERT_TRUE(stack && mosaic);
    ASSERT_EQ(window.clip(2)->path(), folder + "/0006.jpg");

    window.clickClip(2);
    EXPECT_EQ(window.currentPicture(), folder + "/0006.jpg");
    EXPECT_TRUE(window.clip(2)->selected());
    EXPECT_TRUE(stack->isVisibleTo(&window));
    EXPECT_FALSE(stack->isEnabled());
    // Ctrl and Shift select without changing the picture the commands work on.
    window.clickClip(4, Qt::ControlModifier);
    EXPECT_TRUE(stack->isEnabled());
    EXPECT_TRUE(mosaic->isEnabled());
    window.clickClip(6, Qt::ShiftModifier);
    EXPECT_EQ(window.currentPicture(), folder + "/0006.jpg");
    EXPECT_FALSE(window.clip(2)->selected());
    EXPECT_TRUE(window.clip(4)->selected() && window.clip(5)->selected() &&
                window.clip(6)->selected());
    EXPECT_EQ(window.selectedPictures(),
              (std::vector<std::string>{folder + "/0008.jpg", folder + "/0009.jpg",
                                        folder + "/0010.jpg"}));
    // The selection stays while the strip scrolls.
    window.stripBarAction(QAbstractSlider::SliderToMinimum);
    EXPECT_FALSE(window.clip(6)->selected());
    EXPECT_EQ(window.selection().count(), 3);

    std::vector<std::string> given;
    window.combiner().setRunner([&](CombineKind, const std::vector<std::string>& inputs,
                                    const std::string& output, const combine::CombineProgress&,
                                    std::string*) {
        given = inputs;
        fs::copy_file(inputs.front(), output);
        return true;
    });
    stack->click();
    const std::string result = folder + "/0008-edf.jpg";
    ASSERT_TRUE(waitUntil([&] { return window.currentPicture() == result; }));
    EXPECT_EQ(given.size(), 3u);
    EXPECT_EQ(window.selection().count(), 1);
    const int k = window.strip().slotShowing(folder, result);
    ASSERT_GE(k, 0);
    EXPECT_TRUE(window.clip(k)->selected());
    EXPECT_EQ(window.mode(), ImageManagementWindow::ImageMode);
    EXPECT_FALSE(stack->isEnabled());
}

TEST_F(ImageManagementWindowTest, TheSelectionIsOfOneFolderNotOfNamesFoundInTheNext) {
    // Two folders with pictures of the same names, as cameras number them.
    const std::string first = root_ / "first";
    const std::string second = root_ / "second";
    makePictures(first, 4);
    makePictures(second, 4);
    dialogs_->folderAnswers = {QString::fromStdString(first)};
    ImageManagementWindow window(&launcher_, false);
    window.chooseFolder();
    window.clickClip(0);
    window.clickClip(1, Qt::ControlModifier);
    ASSERT_EQ(window.selectedPictures(),
              (std::vector<std::string>{first + "/0000.jpg", first + "/0001.jpg"}));

    dialogs_->folderAnswers = {QString::fromStdString(second)};
    window.chooseFolder();
    ASSERT_EQ(window.clip(0)->path(), second + "/0000.jpg");
    EXPECT_EQ(window.selection().count(), 0);
    EXPECT_TRUE(window.selectedPictures().empty());
    EXPECT_FALSE(window.clip(0)->selected() || window.clip(1)->selected());
    EXPECT_FALSE(window.combineButton(combine::CombineKind::FocusStack)->isEnabled());
    // A selection made here is of this folder alone.
    window.clickClip(2, Qt::ControlModifier);
    EXPECT_EQ(window.selectedPictures(), (std::vector<std::string>{second + "/0002.jpg"}));
}

TEST_F(ImageManagementWindowTest, CombiningButtonsShowInImageModeOnlyAndCoverNoControl) {
    setSelectedDeviceName("Quillmar hd capture device");
    ::setenv("QELVO_VIRTUAL_DEVICES", "Quillmar hd capture device", 1);
    for (bool hd : {false, true}) {
        ImageManagementWindow window(&launcher_, hd);
        for (int mode : {ImageManagementWindow::CaptureMode, ImageManagementWindow::ImageMode,
                         ImageManagementWindow::MovieMode}) {
            window.setMode(mode);
            for (auto kind : {combine::CombineKind::FocusStack, combine::CombineKind::Mosaic}) {
                QPushButton* button = window.combineButton(kind);
                EXPECT_EQ(button->isVisibleTo(&window), mode == ImageManagementWindow::ImageMode);
                if (!button->isVisibleTo(&window)) continue;
                for (QWidget* other : window.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
                    if (other == button || !other->isVisibleTo(&window)) continue;
                    EXPECT_FALSE(other->geometry().intersects(button->geometry()))
                        << "hd " << hd << ": " << other->objectName().toStdString();
                }
            }
        }
    }
}

TEST_F(ImageManagementWindowTest, RenameMovesTheCurrentPictureOnlyWhenOneWasChosen) {
    const std::string folder = dayFolder();
    makePictures(folder, 3);
    ImageManagementWindow window(&launcher_, false);
    dialogs_->fileAnswers = {QString::fromStdString(folder + "/never.jpg")};
    window.renameCurrent();  // nothing clicked yet: no dialog
    EXPECT_TRUE(dialogs_->shown.empty());
    window.clickClip(1);
    window.renameCurrent();
    EXPECT_TRUE(fs::exists(folder + "/never.jpg"));
    EXPECT_FALSE(fs::exists(folder + "/0001.jpg"));
    EXPECT_EQ(window.currentPicture(), folder + "/0001.jpg");
    ASSERT_EQ(dialogs_->shown.size(), 1u);
    EXPECT_EQ(dialogs_->shown[0].request.defaultExtension, "JPG");
    // Onto an existing file: both stay.
    window.clickClip(0);
    dialogs_->fileAnswers = {QString::fromStdString(folder + "/0002.jpg")};
    window.renameCurrent();
    EXPECT_TRUE(fs::exists(folder + "/0000.jpg"));
    EXPECT_TRUE(fs::exists(folder + "/0002.jpg"));
}

TEST_F(ImageManagementWindowTest, ARewrittenPictureShowsAfterItsClipIsRedrawn) {
    makePictures(dayFolder(), 3);
    ImageManagementWindow window(&launcher_, false);
    window.show();
    ThumbnailButton* clip = window.clip(1);
    const QPoint centre = ThumbnailButton::pictureRect(clip->size()).center();
    EXPECT_TRUE(test::near(clip->grab().toImage().pixelColor(centre), QColor(10, 100, 200)));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // a new modification time
    ASSERT_TRUE(writeJpeg(dayFolder() + "/0001.jpg", 32, 24, QColor(250, 250, 0)));
    window.redrawClipShowing(dayFolder() + "/0001.jpg");
    EXPECT_TRUE(test::near(clip->grab().toImage().pixelColor(centre), QColor(250, 250, 0)));
}

TEST_F(ImageManagementWindowTest, ToolButtonsRewriteTheFileOnceAndRedrawZoomAndLoupeAct) {
    makePictures(dayFolder(), 2);
    const std::string path = dayFolder() + "/0000.jpg";
    ImageManagementWindow window(&launcher_, false);
    window.show();
    auto press = [&](int id) {
        auto* button = qobject_cast<QAbstractButton*>(findControl(&window, id));
        ASSERT_NE(button, nullptr) << id;
        button->click();
    };
    auto size = [](const std::string& file) {
        CxImage image;
        image.LoadFile(file.c_str(), FormatJpeg);
        return QSize(image.Width(), image.Height());
    };
    press(ImageManagementWindow::kRotateQuarter);  // capture mode: nothing
    EXPECT_EQ(size(path), QSize(32, 24));

    window.clickClip(0);
    PicturePanel& panel = window.picturePanel();
    QCoreApplication::processEvents();
    const std::uint64_t thumbnailDecodes = window.thumbnailCache().decodes();
    press(ImageManagementWindow::kRotateQuarter);
    EXPECT_EQ(size(path), QSize(24, 32));  // one quarter turn
    CxImage turned;
    turned.LoadFile(path.c_str(), FormatJpeg);
    EXPECT_EQ(panel.shownImage().convertToFormat(QImage::Format_RGB32),
              panel_render::fit(turned, panel.size()));
    QCoreApplication::processEvents();  // the clip showing the file repaints
    EXPECT_EQ(window.thumbnailCache().decodes(), thumbnailDecodes + 1);
    // 24 rows are not whole blocks for the quarter turn; the 32 rows it made are for a flip.
    EXPECT_EQ(panel.toolTip(),
              "Re-encoded at quality 80 (this picture cannot be changed without loss).");
    press(ImageManagementWindow::kFlipVertical);
    EXPECT_EQ(panel.toolTip(), "Changed without loss.");

    press(ImageManagementWindow::kZoomIn);
    auto* vertical = findControl(&window, ImageManagementWindow::kVerticalPanBar);
    auto* horizontal = findControl(&window, ImageManagementWindow::kHorizontalPanBar);
    EXPECT_TRUE(vertical->isVisible() && horizontal->isVisible());
    EXPECT_EQ(vertical->geometry(), QRect(670, 60, 15, 480));
    EXPECT_EQ(horizontal->geometry(), QRect(30, 540, 640, 15));
    press(ImageManagementWindow::kFit);
    EXPECT_FALSE(vertical->isVisible() || horizontal->isVisible());

    // The loupe follows a left-button press over the panel; release restores the picture.
    press(ImageManagementWindow::kLoupe);
    QTest::mousePress(&window, Qt::LeftButton, Qt::NoModifier, QPoint(350, 300));
    EXPECT_TRUE(window.pictureView().loupeDragging());
    EXPECT_TRUE(panel.showsView());
    QTest::mouseRelease(&window, Qt::LeftButton, Qt::NoModifier, QPoint(350, 300));
    EXPECT_FALSE(panel.showsView());
}

// The panel under a closed adjustment dialog is painted afresh, as an uncovered window is:
// the file as it now is, fitted, whatever the zoom (which stays); so is the picture's clip.
TEST_F(ImageManagementWindowTest, AfterAnAdjustmentDialogThePanelShowsTheFileFitted) {
    makePictures(dayFolder(), 1);
    const std::string path = dayFolder() + "/0000.jpg";
    ImageManagementWindow window(&launcher_, false);
    window.show();
    window.clickClip(0);
    qobject_cast<QAbstractButton*>(findControl(&window, ImageManagementWindow::kZoomIn))->click();
    PicturePanel& panel = window.picturePanel();
    ASSERT_TRUE(panel.showsView());
    // The picture's clip shows a still frame drawn into it until the strip is redrawn.
    ThumbnailButton* clip = window.clip(0);
    const QPoint centre = ThumbnailButton::pictureRect(clip->size()).center();
    std::vector<std::uint8_t> frame(8 * 8 * 3, 0);
    for (std::size_t i = 0; i < frame.size(); i += 3) frame[i] = frame[i + 2] = 255;
    clip->submitFrame(frame.data(), 8, 8, 24);
    QCoreApplication::processEvents();
    ASSERT_EQ(clip->grab().toImage().pixelColor(centre), QColor(255, 0, 255));
    dialogs_->messageAnswers = {MessageAnswer::Yes};
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<ImageAdjustDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        qobject_cast<QLineEdit*>(findControl(dialog, 1303))->setText("100");
        dialog->accept();
    });
    qobject_cast<QAbstractButton*>(findControl(&window, 1171))->click();
    ASSERT_EQ(dialogs_->messages().size(), 1);
    EXPECT_FALSE(panel.showsView());
    EXPECT_EQ(window.pictureView().zoom(), 1.2f);
    EXPECT_TRUE(window.pictureView().panBarsShown());
    CxImage saved;
    ASSERT_TRUE(saved.LoadFile(path.c_str(), FormatJpeg));
    EXPECT_EQ(panel.shownImage().convertToFormat(QImage::Format_RGB32),
              panel_render::fit(saved, panel.size()));
    // The clip is redrawn from the saved file: (0, 100, 200) brightened by 100.
    QCoreApplication::processEvents();
    EXPECT_TRUE(test::near(clip->grab().toImage().pixelColor(centre), QColor(100, 200, 255)))
        << clip->grab().toImage().pixelColor(centre).name().toStdString();
}

TEST_F(ImageManagementWindowTest, PreparedSettingsFileGivesTheFolderListOrder) {
    const std::string a = root_ / "A", b = root_ / "B";
    fs::create_directories(a);
    fs::create_directories(b);
    {
        std::ofstream settings(root_ / "QELVO-LAB.cfg");
        settings << a << "\n" << b << "\r\n" << (root_ / "gone") << "\n" << a << "\n";
    }
    ImageManagementWindow window(&launcher_, false);
    const std::vector<std::string> expected{b, a, dayFolder()};
    EXPECT_EQ(window.folderList().entries(), expected);
    auto* list = qobject_cast<QComboBox*>(findControl(&window, ImageManagementWindow::kFolderList));
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(list->currentIndex(), 2);
    makePictures(b, 2);
    window.selectFolder(0);
    EXPECT_EQ(storageFolder(), b);
    EXPECT_EQ(window.clip(1)->path(), b + "/0001.jpg");
}

TEST_F(ImageManagementWindowTest, FullScreenInEachModeAndBack) {
    makePictures(dayFolder(), 2);
    ImageManagementWindow window(&launcher_, false);
    window.show();
    auto* panel =
        qobject_cast<LiveTarget*>(findControl(&window, ImageManagementWindow::kViewPanel));
    CaptureSession& live = window.session();
    ASSERT_EQ(live.liveTarget(), panel);

    // Capture mode: the popup covers the display and takes the live picture.
    window.fullScreen();
    ClipViewerPopup* popup = window.fullScreenPopup();
    ASSERT_NE(popup, nullptr);
    EXPECT_TRUE(popup->isVisible());
    EXPECT_EQ(popup->geometry(), displayDevices().front());
    EXPECT_EQ(live.liveTarget(), popup->liveSurface());
    EXPECT_TRUE(waitUntil([&] { return popup->liveSurface()->paintedFrames() > 0; }));
    popup->exitClicked();
    EXPECT_EQ(live.liveTarget(), panel);
    EXPECT_FALSE(popup->isVisible());
    EXPECT_EQ(window.fullScreenPopup(), popup);  // kept until the next full screen
    // The next FULL SCREEN replaces it, even one still showing.
    window.fullScreen();
    QPointer<ClipViewerPopup> second = window.fullScreenPopup();
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second.data(), popup);
    window.fullScreen();
    EXPECT_EQ(live.liveTarget(), window.fullScreenPopup()->liveSurface());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(second.isNull());
    window.fullScreenPopup()->exitClicked();
    EXPECT_EQ(live.liveTarget(), panel);

    // Image mode without a picture: nothing; with one: a modal popup, closed by Escape.
    window.setMode(ImageManagementWindow::ImageMode);
    window.fullScreen();
    EXPECT_EQ(window.fullScreenPopup(), nullptr);
    window.clickClip(0);
    bool sawModal = false;
    QTimer::singleShot(0, [&] {
        auto* modal = qobject_cast<ClipViewerPopup*>(QApplication::activeModalWidget());
        sawModal = modal && !modal->notifyParent();
        if (!modal) return;
        modal->saveClicked();  // the window takes a snapshot
        modal->exitClicked();
    });
    window.fullScreen();
    EXPECT_TRUE(sawModal);
    EXPECT_EQ(window.fullScreenPopup(), nullptr);
    EXPECT_TRUE(waitUntil([&] { return window.strip().pictureCount() == 3; }));
    EXPECT_TRUE(fs::exists(dayFolder() + "/20260506-070809.jpg"));

    // Movie mode without a movie: nothing.
    window.setMode(ImageManagementWindow::MovieMode);
    window.fullScreen();
    EXPECT_EQ(window.fullScreenPopup(), nullptr);
    EXPECT_EQ(live.liveTarget(), panel);
}

TEST_F(ImageManagementWindowTest, PopupClosedByTheWindowManagerGivesTheLivePictureBack) {
    makePictures(dayFolder(), 1);
    ImageManagementWindow window(&launcher_, false);
    window.show();
    auto* panel =
        qobject_cast<LiveTarget*>(findControl(&window, ImageManagementWindow::kViewPanel));
    CaptureSession& live = window.session();
    window.fullScreen();
    QPointer<ClipViewerPopup> popup = window.fullScreenPopup();
    ASSERT_TRUE(popup);
    ASSERT_TRUE(waitUntil([&] { return popup->liveSurface()->submittedFrames() >= 2; }));
    popup->close();
    EXPECT_EQ(live.liveTarget(), panel);

    // FULL SCREEN outside capture mode replaces the popup while frames keep coming.
    window.setMode(ImageManagementWindow::ImageMode);
    window.clickClip(0);
    QTimer::singleShot(0, [] {
        if (auto* modal = qobject_cast<ClipViewerPopup*>(QApplication::activeModalWidget()))
            modal->exitClicked();
    });
    window.fullScreen();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(popup.isNull());
    const auto frames = panel->submittedFrames();
    EXPECT_TRUE(waitUntil([&] { return panel->submittedFrames() >= frames + 5; }));
}

TEST_F(ImageManagementWindowTest, RecordRefusesSnapThenTheMovieOpensAndPlays) {
    ImageManagementWindow window(&launcher_, false);
    window.show();
    const std::string movie = root_ / "clip one.avi";
    dialogs_->fileAnswers = {QString::fromStdString(movie)};
    window.record();
    ASSERT_TRUE(window.session().isRecording());
    ASSERT_EQ(dialogs_->shown.size(), 1u);
    const FileDialogRequest& request = dialogs_->shown[0].request;
    EXPECT_EQ(dialogs_->shown[0].kind, "save");
    EXPECT_EQ(request.defaultExtension, "AVI");
    EXPECT_EQ(request.initialName, "*.avi");
    EXPECT_EQ(request.filter, "AVI Files (*.AVI)|*.avi||");
    EXPECT_TRUE(request.initialFolder.isEmpty());
    EXPECT_TRUE(request.confirmOverwrite) << "an existing movie is not replaced silently";
    // While recording the picture comes through the recording graph's own video window,
    // once the device has opened for it.
    ASSERT_TRUE(
        waitUntil([&] { return window.session().state() == CaptureSession::State::Recording; }));
    VideoWindow& recordingVideo = window.session().graph()->videoWindow();
    EXPECT_EQ(recordingVideo.owner(), findControl(&window, ImageManagementWindow::kViewPanel));
    ASSERT_TRUE(waitUntil([&] { return recordingVideo.paintedFrames() > 10; }));
    window.snap();
    window.record();
    EXPECT_EQ(dialogs_->messages(), (QStringList{"AVI recording now...", "AVI recording now..."}));
    EXPECT_EQ(dialogs_->shown.size(), 3u) << "no second file dialog";
    window.stopRecording();
    EXPECT_FALSE(window.session().isRecording());
    MediaFileInfo info;
    ASSERT_TRUE(inspectMediaFile(movie, info).ok());
    EXPECT_GT(info.videoFrames, 5u);

    window.setMode(ImageManagementWindow::MovieMode);
    dialogs_->fileAnswers = {QString::fromStdString(movie)};
    window.openMovie();
    MoviePlayer& player = window.player();
    ASSERT_TRUE(player.loaded());
    EXPECT_FALSE(player.running());
    EXPECT_EQ(dialogs_->shown.back().request.filter,
              "AVI Files (*.AVI)|*.avi|All Files (*.*)|*.*||");
    QWidget* avi = findControl(&window, ImageManagementWindow::kAviViewPanel);
    VideoWindow& video = player.graph()->videoWindow();
    EXPECT_EQ(video.owner(), avi);
    window.playMovie();
    EXPECT_TRUE(player.running());
    EXPECT_EQ(player.graph()->state(), GraphState::Running);

    // Full screen moves the movie into the popup and Exit brings it back.
    window.fullScreen();
    ClipViewerPopup* popup = window.fullScreenPopup();
    ASSERT_NE(popup, nullptr);
    EXPECT_TRUE(popup->movieStyle());
    EXPECT_EQ(video.owner(), popup);
    EXPECT_EQ(video.geometry().height(), popup->height() - 34);
    popup->exitClicked();
    EXPECT_EQ(video.owner(), avi);

    window.playMovie();
    EXPECT_FALSE(player.running());
    window.stopMovie();
    EXPECT_FALSE(player.loaded());
    window.playMovie();  // nothing loaded: nothing happens
    EXPECT_FALSE(player.running());
    EXPECT_EQ(player.moviePath(), movie);
}

TEST_F(ImageManagementWindowTest, ACancelledRecordDialogChangesNothing) {
    ImageManagementWindow window(&launcher_, false);
    window.show();
    auto* panel =
        qobject_cast<LiveTarget*>(findControl(&window, ImageManagementWindow::kViewPanel));
    ASSERT_TRUE(waitUntil([&] { return panel->paintedFrames() > 0; }));
    dialogs_->fileAnswers = {std::nullopt};
    window.record();
    EXPECT_FALSE(window.session().isRecording());
    EXPECT_EQ(window.session().state(), CaptureSession::State::Live);
    window.snap();
    ASSERT_TRUE(waitUntil([&] { return !window.clip(0)->path().empty(); }))
        << "the preview still takes pictures";
    EXPECT_TRUE(dialogs_->messages().isEmpty());
}

TEST_F(ImageManagementWindowTest, ConfigOpensTheCameraSettingsModallyOverTheWindow) {
    ImageManagementWindow window(&launcher_, false);
    window.show();
    // Its pages are there once the camera has opened.
    ASSERT_TRUE(waitUntil([&] { return window.session().state() == CaptureSession::State::Live; }));
    QWidget* modalParent = nullptr;
    QTimer::singleShot(200, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            modalParent = modal->parentWidget();
            modal->close();
        }
    });
    QTimer guard;  // in case the dialog never shows as the active modal widget
    QObject::connect(&guard, &QTimer::timeout, [] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isModal() && w->isVisible()) w->close();
    });
    guard.start(2000);
    window.config();
    EXPECT_EQ(modalParent, &window);
}

TEST_F(ImageManagementWindowTest, HdVariantIsCentredWithPlainButtonsAndNoTools) {
    setSelectedDeviceName("Quillmar hd capture device");
    ::setenv("QELVO_VIRTUAL_DEVICES", "Quillmar hd capture device", 1);
    ImageManagementWindow window(&launcher_, true);
    const QRect display = displayDevices().front();
    EXPECT_EQ(window.geometry(), QRect(display.x() + (display.width() - 1200) / 2,
                                       display.y() + (display.height() - 768) / 2, 1200, 768));
    EXPECT_EQ(findControl(&window, ImageManagementWindow::kFolderList)->pos(), QPoint(40, 608));
    EXPECT_EQ(window.clip(1)->geometry(), QRect(180, 632, 130, 100));
    EXPECT_EQ(findControl(&window, 1171), nullptr);
    auto* image = qobject_cast<HdButton*>(findControl(&window, ImageManagementWindow::kImageTab));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->geometry(), QRect(220, 10, 200, 25));
    image->click();
    EXPECT_EQ(window.mode(), ImageManagementWindow::ImageMode);
    qobject_cast<HdButton*>(findControl(&window, ImageManagementWindow::kMovieTab))->click();
    EXPECT_EQ(window.mode(), ImageManagementWindow::MovieMode);
    EXPECT_TRUE(visible(window, ImageManagementWindow::kOpen));
    EXPECT_FALSE(visible(window, ImageManagementWindow::kSnap));
}

// The FLAT control sits in free room in both variants, shows in capture mode only, and a
// flat taken from the live picture reaches the session once turned on.
TEST_F(ImageManagementWindowTest, FlatFieldControlTakesAFlatFromTheLivePictureAndCoversNothing) {
    ::setenv("QELVO_FLATFIELD_DIR", (root_ / "flatfield").c_str(), 1);
    for (const bool hd : {false, true}) {
        ImageManagementWindow window(&launcher_, hd);
        window.show();
        QWidget* flat = window.findChild<QWidget*>(QStringLiteral("flat-field control"));
        ASSERT_NE(flat, nullptr);
        EXPECT_TRUE(flat->isVisibleTo(&window));
        for (QWidget* other : window.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (other == flat || !other->isVisibleTo(&window) || !other->isEnabled()) continue;
            EXPECT_FALSE(other->geometry().intersects(flat->geometry()))
                << other->objectName().toStdString() << (hd ? " (HD)" : "");
        }
        window.setMode(ImageManagementWindow::ImageMode);
        EXPECT_FALSE(flat->isVisibleTo(&window));
        window.setMode(ImageManagementWindow::CaptureMode);
        if (hd) continue;

        ASSERT_TRUE(
            waitUntil([&] { return window.session().state() == CaptureSession::State::Live; }));
        FlatFieldController& controller = window.flatField();
        controller.take(acquire::FlatFieldStore::Kind::Flat, 4);
        controller.waitIdle();
        ASSERT_TRUE(controller.hasFlat()) << dialogs_->messages().join(" | ").toStdString();
        EXPECT_FALSE(window.session().flatField());
        controller.setEnabled(true);
        ASSERT_TRUE(window.session().flatField());
        EXPECT_TRUE(window.session().liveFlatField());
    }
    // Kept for the device: a new window starts with the correction on.
    ImageManagementWindow again(&launcher_, false);
    again.flatField().waitIdle();
    EXPECT_TRUE(again.flatField().enabled());
    EXPECT_TRUE(again.session().flatField());
    ::unsetenv("QELVO_FLATFIELD_DIR");
}

}  // namespace
}  // namespace qelvo
