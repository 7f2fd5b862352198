#include "acquireui/FlatFieldController.h"
#include "capture/CaptureSession.h"
#include "capture/GrabberCallbacks.h"
#include "capture/Pacing.h"
#include "desktop/LiveTarget.h"
#include "desktop/Screens.h"
#include "desktop/ScriptedDialogs.h"
#include "measureui/ActiveObjectives.h"
#include "measureui/MeasurementDocument.h"
#include "measureui/MeasurementPanel.h"
#include "measureui/ObjectiveControl.h"
#include "measureui/WindowMeasuring.h"
#include "multiview/FocusSeriesTool.h"
#include "multiview/MultiViewWindow.h"
#include "multiview/PaneMeasuring.h"
#include "multiview/ViewCycle.h"
#include "multiview/ViewPane.h"
#include "picturefiles/PictureFile.h"
#include "skin/HdButton.h"
#include "skin/SimpleButton.h"
#include "support/ButtonPipe.h"
#include "support/TempFolder.h"
#include "support/TestBitmaps.h"
#include "support/WaitUntil.h"
#include "system/Clock.h"
#include "system/SessionState.h"
#include "widgets/ClipViewerPopup.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <filesystem>
#include <thread>

namespace qelvo {
namespace {

namespace fs = std::filesystem;
using test::waitUntil;

// The session has kept a frame it could hand over.
bool holdsAFrame(const CaptureSession& session) {
    const auto frame = session.latestFrame();
    return frame && frame->pixels();
}

// Every colour byte of the frame lies in [low, high].
bool allPixelsWithin(const FrameRecord& frame, int low, int high) {
    if (!frame.pixels()) return false;
    for (int y = 0; y < frame.height(); ++y)
        for (std::size_t x = 0; x < static_cast<std::size_t>(frame.width()) * 3; ++x) {
            const int v = frame.pixels()[frame.rowBytes() * y + x];
            if (v < low || v > high) return false;
        }
    return true;
}

// Scripted dialogs whose save dialog stays "open" (the event loop runs) until pane 1 holds a
// picture, as an operator takes a moment to type the name.
class SlowSaveDialogs : public ScriptedDialogs {
public:
    std::function<bool()> ready;
    QWidget* saveParent = nullptr;
    std::optional<QString> saveFile(QWidget* parent, const FileDialogRequest& request) override {
        saveParent = parent;
        if (ready) waitUntil(ready);
        return ScriptedDialogs::saveFile(parent, request);
    }
};

class MultiViewWindowTest : public ::testing::Test {
protected:
    void SetUp() override { open("MultiView Test Camera{fps=15}"); }
    void open(const char* devices) {
        ::setenv("QELVO_VIRTUAL_DEVICES", devices, 1);
        ::setenv("QELVO_REGISTRY_DIR", (root / "registry").c_str(), 1);
        ::setenv("QELVO_OBJECTIVES_DIR", (root / "objectives").c_str(), 1);
        setSelectedDeviceName("MultiView Test Camera");
        setStorageFolder(root.path());
        previousClock = setClock(std::make_unique<FixedClock>(LocalTime{2026, 5, 6, 7, 8, 9}));
        auto scripted = std::make_unique<SlowSaveDialogs>();
        dialogs = scripted.get();
        previousDialogs = setDialogs(std::move(scripted));
        setPacingPause(std::chrono::milliseconds(5));
        launcher.setGeometry(0, 0, 1024, 768);
    }
    void TearDown() override {
        QCoreApplication::processEvents();
        setDialogs(std::move(previousDialogs));
        setClock(std::move(previousClock));
    }

    static bool shown(MultiViewWindow& w, int id) {
        QWidget* c = w.findChild<QWidget*>(QString::number(id));
        return c && c->isVisibleTo(&w);
    }
    static void click(MultiViewWindow& w, int id) {
        qobject_cast<QAbstractButton*>(w.findChild<QWidget*>(QString::number(id)))->click();
    }
    // Snapshots until `count` were stored (each press raises one request).  A request
    // served before the camera's first frame has nothing to hand over, so wait for one.
    static bool snap(MultiViewWindow& w, int count) {
        if (!waitUntil([&] { return holdsAFrame(w.session()); })) return false;
        for (int i = 0; i < count; ++i) {
            const int before = w.cycle().nextPane();
            const bool wasFrozen = w.cycle().frozen();
            click(w, MultiViewWindow::kSnapFreeze);
            if (!waitUntil([&] {
                    return w.cycle().nextPane() != before || w.cycle().frozen() != wasFrozen;
                }))
                return false;
        }
        return true;
    }
    static void stroke(MultiViewWindow& w, int pane, QPoint at) {
        PenStrokeEvent event(w.pane(pane), (quint32(at.x()) << 16) | quint32(at.y()));
        QCoreApplication::sendEvent(&w, &event);
    }

    test::TempFolder root;
    QWidget launcher;
    SlowSaveDialogs* dialogs = nullptr;
    std::unique_ptr<Dialogs> previousDialogs;
    std::unique_ptr<Clock> previousClock;
};

TEST_F(MultiViewWindowTest, OpensOnTheLauncherInFullWithTheDayFolderAndLivePicture) {
    {
        MultiViewWindow window(&launcher, false);
        int notices = 0;
        QObject::connect(&window.session(), &CaptureSession::frameNotice, [&] { ++notices; });
        window.show();
        EXPECT_EQ(window.objectName(), "133");
        EXPECT_EQ(window.geometry(), launcher.geometry());
        EXPECT_EQ(storageFolder(), root / "20260506");
        EXPECT_TRUE(fs::is_directory(root / "20260506"));
        EXPECT_EQ(window.cycle().layout(), 1);
        EXPECT_EQ(window.pane(0)->geometry(), QRect(117, 189, 640, 480));
        EXPECT_TRUE(window.pane(0)->pointerReportMode());
        EXPECT_FALSE(shown(window, 1016));
        EXPECT_TRUE(shown(window, MultiViewWindow::kFullScreen));
        for (int id : {1007, 1008, 1009, 1010}) EXPECT_FALSE(shown(window, id));
        EXPECT_TRUE(waitUntil([&] { return window.pane(0)->surface()->paintedFrames() > 0; }));

        EXPECT_EQ(notices, 0);
        click(window, MultiViewWindow::kCapture2);  // hidden; turns the frame notices on
        EXPECT_TRUE(waitUntil([&] { return notices >= 2; }));
        window.applyLayout(4);
        EXPECT_EQ(window.pane(3)->geometry(), QRect(453, 448, 320, 240));
        EXPECT_FALSE(shown(window, MultiViewWindow::kFullScreen));
        // Escape ends the modal run.
        QTimer::singleShot(0, [&] {
            QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QCoreApplication::sendEvent(&window, &escape);
        });
        EXPECT_EQ(window.exec(), QDialog::Rejected);
    }
}

TEST_F(MultiViewWindowTest, AReopenedWindowGetsNothingOfTheWindowBefore) {
    ::setenv("QELVO_VIRTUAL_DEVICES",
             "MultiView Test Camera{fps=15,pattern=white,overlay=0,motion=0}", 1);
    {
        MultiViewWindow window(&launcher, false);
        window.show();
        window.applyLayout(4);
        click(window, MultiViewWindow::kCapture2);  // frame notices on
        ASSERT_TRUE(snap(window, 1));
        ASSERT_TRUE(allPixelsWithin(*window.cycle().picture(0).frame, 192, 255));
        window.snapshotRequest();  // and one asked for as the window closes
    }
    // The camera shows black from now on: anything white came from the window before.
    ::setenv("QELVO_VIRTUAL_DEVICES",
             "MultiView Test Camera{fps=15,pattern=black,overlay=0,motion=0}", 1);
    MultiViewWindow window(&launcher, false);
    int notices = 0;
    QObject::connect(&window.session(), &CaptureSession::frameNotice, [&] { ++notices; });
    window.show();
    window.applyLayout(4);
    EXPECT_FALSE(holdsAFrame(window.session()));
    EXPECT_EQ(window.session().liveTarget(), window.pane(0)->surface());
    ASSERT_TRUE(snap(window, 2));
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(window.cycle().picture(i).frame);
        EXPECT_TRUE(allPixelsWithin(*window.cycle().picture(i).frame, 0, 63)) << "pane " << i;
    }
    EXPECT_EQ(window.cycle().nextPane(), 2) << "one snapshot per press, none carried over";
    ASSERT_TRUE(waitUntil([&] { return window.pane(2)->surface()->submittedFrames() >= 3; }));
    EXPECT_EQ(notices, 0) << "the notices were asked for by the window before";
}

// The FLAT control covers no control in either variant; with the device's correction on, a
// snapshot frozen into a pane is corrected like SNAP's in the image management window.
TEST_F(MultiViewWindowTest, FlatFieldControlCoversNothingAndFrozenSnapshotsAreCorrected) {
    ::setenv("QELVO_FLATFIELD_DIR", (root / "flatfield").c_str(), 1);
    // A still picture: the bars without their moving parts.
    ::setenv("QELVO_VIRTUAL_DEVICES", "MultiView Test Camera{fps=15,motion=0,overlay=0}", 1);
    for (const bool hd : {true, false}) {
        MultiViewWindow window(&launcher, hd);
        window.show();
        QWidget* flat = window.findChild<QWidget*>(QStringLiteral("flat-field control"));
        ASSERT_NE(flat, nullptr);
        EXPECT_TRUE(flat->isVisibleTo(&window));
        for (QWidget* other : window.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (other == flat || !other->isVisibleTo(&window) || !other->isEnabled()) continue;
            EXPECT_FALSE(other->geometry().intersects(flat->geometry()))
                << other->objectName().toStdString() << (hd ? " (HD)" : "");
        }
    }
    MultiViewWindow window(&launcher, false);
    window.show();
    ASSERT_TRUE(waitUntil([&] { return holdsAFrame(window.session()); }));
    FlatFieldController& controller = window.flatField();
    controller.waitIdle();
    controller.take(acquire::FlatFieldStore::Kind::Flat, 2);
    controller.waitIdle();
    ASSERT_TRUE(controller.hasFlat())
        << controller.stateText().toStdString() << " " << controller.objective() << " "
        << dialogs->messages().join(" | ").toStdString();
    controller.setEnabled(true);
    ASSERT_TRUE(window.session().flatField());
    // The frozen snapshot is the live picture as the correction makes it, not as it comes.
    ASSERT_TRUE(snap(window, 1));
    const std::shared_ptr<const FrameRecord> live = window.session().latestFrame();
    const PanePicture& frozen = window.cycle().picture(0);
    ASSERT_TRUE(frozen.holdsPicture());
    ASSERT_TRUE(live && live->isComplete());
    ASSERT_EQ(frozen.frame->length(), live->length());
    std::vector<std::uint8_t> corrected(live->pixels(), live->pixels() + live->length());
    ASSERT_TRUE(window.session().flatField()->correctGrabberFrame(
        corrected.data(), corrected.data(), corrected.size()));
    // Medians of the differences: the snow in the picture changes from frame to frame.
    const auto medianDifference = [&](const std::uint8_t* a) {
        std::vector<int> d(corrected.size());
        for (std::size_t i = 0; i < d.size(); ++i)
            d[i] = std::abs(int(a[i]) - int(frozen.frame->pixels()[i]));
        std::nth_element(d.begin(), d.begin() + d.size() / 2, d.end());
        return d[d.size() / 2];
    };
    EXPECT_LE(medianDifference(corrected.data()), 2);
    EXPECT_GE(medianDifference(live->pixels()), 10);
    ::unsetenv("QELVO_FLATFIELD_DIR");
}

TEST_F(MultiViewWindowTest, TheCamerasOwnButtonFillsTheNextPane) {
    MultiViewWindow window(&launcher, false);
    window.show();
    window.applyLayout(4);
    ASSERT_TRUE(waitUntil([&] { return holdsAFrame(window.session()); }));
    test::ButtonPipe button(window.session().cameraButton());
    ASSERT_TRUE(button.press());
    ASSERT_TRUE(waitUntil([&] { return window.cycle().nextPane() == 1; }));
    EXPECT_TRUE(window.cycle().picture(0).holdsPicture());
}

// The visible controls of the window that `control` overlaps (its own children aside).
static QStringList overlapped(QWidget& window, QWidget* control) {
    QStringList names;
    for (QWidget* other : window.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (other != control && other->isVisibleTo(&window) &&
            other->geometry().intersects(control->geometry()))
            names << other->objectName();
    return names;
}

TEST_F(MultiViewWindowTest, AFocusSeriesKeepsEverySnapshotAndCoversNoControl) {
    for (bool hd : {false, true}) {
        MultiViewWindow window(&launcher, hd);
        window.show();
        window.applyLayout(4);
        FocusSeriesTool& series = window.focusSeries();
        EXPECT_TRUE(overlapped(window, series.seriesSwitch()).isEmpty())
            << overlapped(window, series.seriesSwitch()).join(",").toStdString();
        series.setOn(true);
        ASSERT_TRUE(series.panel()->isVisibleTo(&window));
        EXPECT_TRUE(overlapped(window, series.panel()).isEmpty())
            << overlapped(window, series.panel()).join(",").toStdString();
        ASSERT_TRUE(snap(window, 3));
        ASSERT_TRUE(waitUntil([&] { return series.series().written().size() == 3; }));
        for (const std::string& path : series.series().written()) {
            EXPECT_EQ(path.rfind(root / "20260506/", 0), 0u) << path;
            EXPECT_TRUE(std::filesystem::exists(path)) << path;
        }
        dialogs->messageAnswers = {MessageAnswer::No};
        series.setOn(false);
        ASSERT_TRUE(waitUntil([&] { return !dialogs->messages().isEmpty(); }));
        EXPECT_TRUE(dialogs->messages().back().startsWith("Fuse the 3 pictures"));
        EXPECT_FALSE(series.combiner().running());
        dialogs->shown.clear();
    }
}

TEST_F(MultiViewWindowTest, QuadFreezeCycleWithAlarmAndPaneClicks) {
    // The usual pause after a request: live frames go on being drawn until the snapshot is
    // handled, so the last drawn frame comes after the last served snapshot.
    setPacingPause(std::chrono::milliseconds(250));
    MultiViewWindow window(&launcher, false);
    window.show();
    window.applyLayout(4);
    ASSERT_TRUE(snap(window, 4));
    EXPECT_TRUE(window.cycle().frozen());
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(window.cycle().picture(i).holdsPicture());
        EXPECT_FALSE(window.pane(i)->showsLive());  // each shows its stored picture
        EXPECT_FALSE(window.pane(i)->picture().isNull());
    }
    // Frozen: nothing is drawn, so the watchdog lights ALARM.
    EXPECT_TRUE(waitUntil([&] { return window.alarmLit(); }));
    // The current layout's button resumes live in pane 1, keeping the pictures.
    click(window, MultiViewWindow::kQuad);
    EXPECT_FALSE(window.cycle().frozen());
    EXPECT_TRUE(window.pane(0)->showsLive());
    EXPECT_TRUE(window.cycle().picture(0).holdsPicture());
    ASSERT_TRUE(snap(window, 1));
    EXPECT_EQ(window.cycle().nextPane(), 1);
    EXPECT_TRUE(waitUntil([&] { return !window.alarmLit(); }));  // out after the snapshot

    // A pane click shows its picture in a modal popup, whose Save Jpg runs SAVE over it.
    bool popupShown = false;
    QWidget* modal = nullptr;
    QTimer::singleShot(0, [&] {
        auto* popup = qobject_cast<ClipViewerPopup*>(QApplication::activeModalWidget());
        popupShown = popup && !popup->notifyParent();
        modal = popup;
        if (!popup) return;
        popup->saveClicked();
        popup->exitClicked();
    });
    window.clickPane(2);
    EXPECT_TRUE(popupShown);
    EXPECT_EQ(dialogs->saveParent, modal);

    // Another layout drops every picture and puts ALARM out.
    window.applyLayout(2);
    EXPECT_FALSE(window.cycle().anyPicture());
    EXPECT_FALSE(window.alarmLit());
    EXPECT_FALSE(shown(window, 1017));
}

TEST_F(MultiViewWindowTest, SaveWithEmptyPanesTakesASnapshotWhileTheDialogIsOpen) {
    MultiViewWindow window(&launcher, false);
    window.show();
    ASSERT_TRUE(waitUntil([&] { return window.pane(0)->surface()->paintedFrames() > 0; }));
    dialogs->ready = [&] { return window.cycle().picture(0).holdsPicture(); };
    dialogs->fileAnswers = {QString::fromStdString(root / "cell.jpg")};
    click(window, MultiViewWindow::kSave);
    EXPECT_TRUE(fs::exists(root / "cell-0.jpg"));
    EXPECT_FALSE(fs::exists(root / "cell-1.jpg"));
    EXPECT_TRUE(window.cycle().frozen());  // FULL froze on that snapshot
    EXPECT_TRUE(dialogs->messages().isEmpty());

    // The popup's Save Jpg runs SAVE too; a cancelled dialog writes nothing.
    QEvent popupSave(kPopupSaveMessage);
    QCoreApplication::sendEvent(&window, &popupSave);
    EXPECT_EQ(dialogs->shown.back().kind, "save");
}

TEST_F(MultiViewWindowTest, FullScreenMovesTheLiveTargetAndBack) {
    MultiViewWindow window(&launcher, false);
    window.show();
    CaptureSession& live = window.session();
    window.applyLayout(2);
    ASSERT_TRUE(snap(window, 1));
    window.fullScreen();
    ClipViewerPopup* first = window.fullScreenPopup();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(live.liveTarget(), first->liveSurface());
    EXPECT_NE(live.insetTarget(), nullptr);
    window.fullScreen();  // pressed twice: a new popup replaces the old
    ClipViewerPopup* second = window.fullScreenPopup();
    EXPECT_NE(second, first);
    EXPECT_EQ(live.liveTarget(), second->liveSurface());
    EXPECT_TRUE(waitUntil([&] { return second->liveSurface()->paintedFrames() > 0; }));
    ASSERT_TRUE(snap(window, 1));  // stored, but the picture stays full screen
    EXPECT_EQ(live.liveTarget(), second->liveSurface());
    // Save Jpg: the save dialog belongs to the popup, which stays on top of the window.
    second->saveClicked();
    EXPECT_EQ(dialogs->saveParent, second);
    second->exitClicked();
    EXPECT_FALSE(window.cycle().fullScreen());
    EXPECT_EQ(live.liveTarget(), window.pane(0)->surface());  // all frozen: next pane is 1

    // All frozen: the new popup shows pane 1's picture, drawn into it once.
    window.fullScreen();
    ClipViewerPopup* third = window.fullScreenPopup();
    EXPECT_EQ(third->liveSurface()->submittedFrames(), 1u);
    third->exitClicked();

    window.togglePen();
    window.fullScreen();
    EXPECT_EQ(window.fullScreenPopup(), third);  // nothing in pen mode
}

TEST_F(MultiViewWindowTest, ReplacingThePopupNeverFreesATargetBeingDrawnInto) {
    MultiViewWindow window(&launcher, false);
    window.show();
    CallbackBase& live = window.session().callback(1);
    ASSERT_TRUE(waitUntil([&] { return live.frameWidth() > 0; }));
    // A second streaming thread drawing frames back to back, so a frame is nearly always
    // being drawn into whichever popup is the live target when it is replaced.
    std::vector<std::uint8_t> frame(frameRowBytes(live.frameWidth()) * live.frameHeight(), 90);
    std::atomic<bool> stop{false};
    std::thread streaming([&] {
        while (!stop.load()) live.BufferCB(0.0, frame.data(), frame.size());
    });
    for (int i = 0; i < 150; ++i) {
        window.fullScreen();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    stop.store(true);
    streaming.join();
    EXPECT_EQ(live.liveTarget(), window.fullScreenPopup()->liveSurface());
}

TEST_F(MultiViewWindowTest, APopupClosedByTheWindowManagerGivesTheLivePictureBack) {
    MultiViewWindow window(&launcher, false);
    window.show();
    CaptureSession& live = window.session();
    window.fullScreen();
    ClipViewerPopup* popup = window.fullScreenPopup();
    ASSERT_TRUE(popup->isVisible());
    EXPECT_TRUE(popup->close());  // Alt+F4: a close event from outside
    EXPECT_FALSE(window.cycle().fullScreen());
    EXPECT_EQ(live.liveTarget(), window.pane(0)->surface());
    EXPECT_TRUE(window.pane(0)->showsLive());
}

TEST_F(MultiViewWindowTest, ANewPictureIsShownWhateverTheOldOneWas) {
    MultiViewWindow window(&launcher, false);
    window.show();
    // As the session hands a snapshot over once it has it.
    auto snapshot = [&](QColor colour) {
        emit window.session().snapshotTaken(test::solidFrame(640, 480, colour));
        return window.pane(0)->picture().pixelColor(320, 240);
    };
    EXPECT_EQ(snapshot(Qt::red), QColor(Qt::red));
    // The red frame is freed here; the blue one may well be made in the same place.
    window.clear();
    EXPECT_EQ(snapshot(Qt::blue), QColor(Qt::blue));
}

TEST_F(MultiViewWindowTest, PenStrokesLandOnVisibleFilledPanesOnly) {
    MultiViewWindow window(&launcher, false);
    window.show();
    window.applyLayout(2);
    ASSERT_TRUE(snap(window, 1));
    auto* penButton = qobject_cast<SimpleButton*>(window.findChild<QWidget*>("1207"));
    stroke(window, 0, {100, 100});  // outside pen mode
    EXPECT_TRUE(window.pen().layer(0).IsTransparent(200, 280));
    click(window, MultiViewWindow::kPen);
    EXPECT_EQ(penButton->bitmapId(), 208);
    EXPECT_EQ(penButton->geometry(), QRect(752, 77, 43, 43));
    stroke(window, 0, {100, 100});
    EXPECT_FALSE(window.pen().layer(0).IsTransparent(200, 280));
    stroke(window, 1, {100, 100});  // pane 2 holds nothing yet
    EXPECT_TRUE(window.pen().layer(1).IsTransparent(200, 280));
    stroke(window, 2, {100, 100});  // pane 3 is hidden in DUAL
    EXPECT_TRUE(window.pen().layer(2).IsTransparent(200, 280));
    stroke(window, 0, {-5, 30000});  // off the pane: nothing breaks

    // In pen mode a click on a filled pane opens nothing.
    bool opened = false;
    QTimer::singleShot(0, [&] {
        if (auto* w = QApplication::activeModalWidget()) {
            opened = true;
            w->close();
        }
    });
    window.clickPane(0);
    QCoreApplication::processEvents();
    EXPECT_FALSE(opened);

    click(window, MultiViewWindow::kErase);
    EXPECT_TRUE(window.pen().layer(0).IsTransparent(200, 280));
    stroke(window, 0, {100, 100});
    window.applyLayout(4);  // strokes go, pen mode stays
    EXPECT_TRUE(window.pen().layer(0).IsTransparent(200, 280));
    EXPECT_TRUE(window.pen().penMode());
    click(window, MultiViewWindow::kPen);
    EXPECT_EQ(penButton->bitmapId(), 207);

    ASSERT_TRUE(snap(window, 2));
    click(window, MultiViewWindow::kClear);  // drops the pictures in any mode
    EXPECT_FALSE(window.cycle().anyPicture());
    EXPECT_EQ(window.cycle().layout(), 4);
}

TEST_F(MultiViewWindowTest, HdVariantDifferences) {
    setPacingPause(std::chrono::milliseconds(250));
    MultiViewWindow window(&launcher, true);
    window.show();
    EXPECT_EQ(window.objectName(), "210");
    const QRect display = displayDevices().front();
    EXPECT_EQ(window.geometry(), QRect(display.x() + (display.width() - 1200) / 2,
                                       display.y() + (display.height() - 590) / 2, 1200, 590));
    EXPECT_NE(qobject_cast<HdButton*>(window.findChild<QWidget*>("1004")), nullptr);
    EXPECT_EQ(window.findChild<QWidget*>("1007")->accessibleName(), "SNAP / FREEZE");
    EXPECT_TRUE(shown(window, MultiViewWindow::kSnapFreeze));
    for (int id : {1008, 1009, 1010, 1048, 1206, 1207, 1208}) EXPECT_FALSE(shown(window, id));
    EXPECT_EQ(window.pane(0)->geometry(), QRect(10, 10, 1000, 562));
    window.applyLayout(4);
    EXPECT_TRUE(shown(window, MultiViewWindow::kFullScreen));
    EXPECT_EQ(window.pane(3)->geometry(), QRect(510, 292, 495, 280));

    // The HD window draws into its own panes, and has no pen.
    EXPECT_EQ(window.session().liveTarget(), window.pane(0)->surface());
    window.togglePen();
    EXPECT_FALSE(window.pen().penMode());
    ASSERT_TRUE(snap(window, 4));
    EXPECT_TRUE(window.pane(2)->showsLive());  // HD panes show what the live drawing left
    // ALARM is the check mark of the hidden button.
    ASSERT_TRUE(waitUntil([&] { return window.alarmLit(); }));
    EXPECT_TRUE(qobject_cast<QAbstractButton*>(window.findChild<QWidget*>("1048"))->isChecked());
    // Enter ends the modal run too.
    QTimer::singleShot(0, [&] {
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QCoreApplication::sendEvent(&window, &enter);
    });
    EXPECT_EQ(window.exec(), QDialog::Accepted);
}

TEST_F(MultiViewWindowTest, ADeviceThatStopsLightsAlarmAndSaveSaysNothingIsThere) {
    ::setenv("QELVO_VIRTUAL_DEVICES", "MultiView Test Camera{fps=15,stopafter=3}", 1);
    MultiViewWindow window(&launcher, false);
    window.show();
    EXPECT_TRUE(waitUntil([&] { return window.alarmLit(); }));
    dialogs->fileAnswers = {QString::fromStdString(root / "cell.jpg")};
    click(window, MultiViewWindow::kSave);
    EXPECT_FALSE(fs::exists(root / "cell-0.jpg"));
    EXPECT_EQ(dialogs->messages(), QStringList{"There is no picture to save."});
    window.applyLayout(4);  // still usable
    EXPECT_EQ(window.cycle().layout(), 4);
}

TEST_F(MultiViewWindowTest, FrozenViewsAreMeasuredUntilAnotherPictureIsFrozenIntoThem) {
    MultiViewWindow window(&launcher, false);
    window.show();
    PaneMeasuring* measuring = window.measuring();
    ASSERT_NE(measuring, nullptr);
    EXPECT_TRUE(measuring->panel().isVisible());
    emit window.session().snapshotTaken(test::solidFrame(1280, 960, QColor(90, 90, 90)));
    ASSERT_FALSE(window.pane(0)->showsLive());
    auto send = [&](QEvent::Type type, QPointF at, Qt::MouseButtons held) {
        QMouseEvent event(type, at, window.pane(0)->mapToGlobal(at), Qt::LeftButton, held,
                          Qt::NoModifier);
        QApplication::sendEvent(window.pane(0), &event);
    };
    auto clickAt = [&](QPointF at) {
        send(QEvent::MouseButtonPress, at, Qt::LeftButton);
        send(QEvent::MouseButtonRelease, at, Qt::NoButton);
    };
    // The 1280 x 960 frame fills the 640 x 480 pane: two picture pixels to a pane pixel.
    measuring->panel().chooseKind(measure::ShapeKind::Line);
    clickAt({100, 100});
    clickAt({300, 100});
    ASSERT_EQ(measuring->shapesOf(0).size(), 1u);
    EXPECT_DOUBLE_EQ(measuring->shapesOf(0)[0].points[1].x, 600);
    EXPECT_EQ(measuring->activePane(), 0);
    EXPECT_EQ(measuring->panel().resultsTable()->rowCount(), 1);

    // Return ends a polygon under way instead of closing the window.
    measuring->panel().chooseKind(measure::ShapeKind::Polygon);
    for (QPointF at : {QPointF(10, 10), QPointF(60, 10), QPointF(60, 60)}) clickAt(at);
    QTest::keyClick(&window, Qt::Key_Return);
    EXPECT_TRUE(window.isVisible());
    ASSERT_EQ(measuring->shapesOf(0).size(), 2u);
    EXPECT_EQ(measuring->shapesOf(0)[1].points.size(), 3u);
    QTest::keyClick(&window, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(measuring->shapesOf(0).size(), 1u);

    // With the pen on, presses draw strokes, not measurements.
    click(window, MultiViewWindow::kPen);
    clickAt({100, 300});
    clickAt({300, 300});
    EXPECT_EQ(measuring->shapesOf(0).size(), 1u);
    click(window, MultiViewWindow::kPen);

    // Another picture in the view: its measurements start afresh.
    window.clear();
    emit window.session().snapshotTaken(test::solidFrame(640, 480, QColor(90, 90, 90)));
    EXPECT_TRUE(measuring->shapesOf(0).empty());
}

// The objective control's menu entry with this text (null when not offered).
QAction* menuEntry(QMenu* menu, const QString& text) {
    for (QAction* action : menu->actions())
        if (action->text() == text) return action;
    return nullptr;
}

// Pixels of the picture's bottom-right quarter that are far from grey `level`.
int marksInCorner(const PictureData& picture, int level) {
    int marks = 0;
    for (int y = picture.height / 2; y < picture.height; ++y)
        for (int x = picture.width / 2; x < picture.width; ++x)
            if (std::abs(picture.samples[(static_cast<std::size_t>(y) * picture.width + x) * 3] -
                         level) > 60)
                ++marks;
    return marks;
}

TEST_F(MultiViewWindowTest, FrozenViewsMeasureAndSaveWithTheObjectiveTheyWereTakenWith) {
    MultiViewWindow window(&launcher, false);
    window.show();
    ActiveObjectives& objectives = window.objectiveTools().objectives();
    ASSERT_TRUE(objectives.calibrate(2, 0.25, 1280, 960));
    ASSERT_TRUE(objectives.calibrate(0, 2.0, 1280, 960));
    ASSERT_TRUE(objectives.choose(2));  // 40x
    window.applyLayout(2);

    // Pane 1 at 40x, from a frame of half the calibration's width: 0.5 um a pixel.
    emit window.session().snapshotTaken(test::solidFrame(640, 480, QColor(90, 90, 90)));
    PaneMeasuring* measuring = window.measuring();
    measuring->panel().chooseKind(measure::ShapeKind::Line);
    for (QPointF at : {QPointF(50, 50), QPointF(150, 50)})
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QMouseEvent event(type, at, window.pane(0)->mapToGlobal(at), Qt::LeftButton,
                              type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                              Qt::NoModifier);
            QApplication::sendEvent(window.pane(0), &event);
        }
    ASSERT_EQ(measuring->shapesOf(0).size(), 1u);
    EXPECT_DOUBLE_EQ(measuring->document().micrometresPerPixel(), 0.5);
    // The results are in micrometres: the row's unit column says so.
    QTableWidget* results = measuring->panel().resultsTable();
    QString unit;
    for (int c = 0; c < results->columnCount(); ++c)
        if (results->horizontalHeaderItem(c)->text() == QStringLiteral("unit"))
            unit = results->item(0, c)->text();
    EXPECT_EQ(unit, QStringLiteral("um"));  // "px" in an uncalibrated view

    // Key 1 chooses 4x, and the menu's switch burns the scale bar into what is taken next.
    QTest::keyClick(&window, Qt::Key_1);
    EXPECT_EQ(objectives.activeIndex(), 0);
    ASSERT_TRUE(waitUntil([&] { return holdsAFrame(window.session()); }));  // the device is found
    QMenu* menu = window.objectiveTools().control().buildMenu();
    QAction* scaleBar = menuEntry(menu, QStringLiteral("Scale bar in snapshots"));
    ASSERT_NE(scaleBar, nullptr);
    EXPECT_FALSE(scaleBar->isChecked());
    scaleBar->trigger();
    delete menu;
    EXPECT_TRUE(window.session().burnScaleBar());
    emit window.session().snapshotTaken(test::solidFrame(1280, 960, QColor(90, 90, 90)));
    ASSERT_TRUE(window.cycle().picture(1).holdsPicture());

    dialogs->fileAnswers = {QString::fromStdString(root / "cell.jpg")};
    window.save();
    std::string error;
    const auto first = readPictureFile(root / "cell-0.jpg", &error);
    const auto second = readPictureFile(root / "cell-1.jpg", &error);
    ASSERT_TRUE(first && second) << error;
    EXPECT_NEAR(first->calibration.micrometresPerPixel, 0.5, 0.5e-4);
    EXPECT_EQ(first->calibration.objective, "40x");
    EXPECT_NEAR(second->calibration.micrometresPerPixel, 2.0, 2.0e-4);
    EXPECT_EQ(second->calibration.objective, "4x");
    EXPECT_EQ(marksInCorner(*first, 90), 0);
    EXPECT_GT(marksInCorner(*second, 90), 100);
}

TEST_F(MultiViewWindowTest, CalibrateTakesALiveFrameAndKeysChooseObjectivesInEveryMode) {
    MultiViewWindow window(&launcher, false);
    window.show();
    ActiveObjectives& objectives = window.objectiveTools().objectives();
    // Calibrate… works on the newest live frame, whole, also once every view is frozen.
    ASSERT_TRUE(waitUntil([&] { return holdsAFrame(window.session()); }));
    const auto frame = window.session().latestFrame();
    EXPECT_EQ(window.objectiveTools().pictureToCalibrate().size(),
              QSize(frame->width(), frame->height()));
    emit window.session().snapshotTaken(test::solidFrame(640, 480, QColor(1, 2, 3)));
    ASSERT_TRUE(window.cycle().frozen());
    const QImage live = window.objectiveTools().pictureToCalibrate();
    ASSERT_FALSE(live.isNull());
    EXPECT_NE(live.pixel(live.width() / 2, live.height() / 2), qRgb(1, 2, 3));

    // With the pen on, a digit chooses an objective and strokes still draw.
    click(window, MultiViewWindow::kPen);
    QTest::keyClick(&window, Qt::Key_3);
    EXPECT_EQ(objectives.activeIndex(), 2);
    stroke(window, 0, {100, 100});
    EXPECT_GT(window.pen().revision(), 0u);
    click(window, MultiViewWindow::kPen);

    // A polygon under way stays under way through a digit; Return still ends it.
    PaneMeasuring* measuring = window.measuring();
    measuring->panel().chooseKind(measure::ShapeKind::Polygon);
    for (QPointF at : {QPointF(10, 10), QPointF(60, 10), QPointF(60, 60)})
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QMouseEvent event(type, at, window.pane(0)->mapToGlobal(at), Qt::LeftButton,
                              type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                              Qt::NoModifier);
            QApplication::sendEvent(window.pane(0), &event);
        }
    ASSERT_TRUE(measuring->tool().pending());
    QTest::keyClick(&window, Qt::Key_2);
    EXPECT_EQ(objectives.activeIndex(), 1);
    EXPECT_TRUE(measuring->tool().pending());
    QTest::keyClick(&window, Qt::Key_Return);
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(measuring->shapesOf(0).size(), 1u);

    // The results list, once clicked, does not keep the digits from the window.
    measuring->panel().resultsTable()->setFocus();
    QTest::keyClick(measuring->panel().resultsTable(), Qt::Key_4);
    EXPECT_EQ(objectives.activeIndex(), 3);
}

}  // namespace
}  // namespace qelvo
