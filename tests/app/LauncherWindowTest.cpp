#include "app/LauncherWindow.h"
#include "app/StartUp.h"
#include "skin/SkinBitmaps.h"
#include "support/TempFolder.h"
#include "system/SessionState.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QTest>
#include <QTimer>

#include <filesystem>

namespace qelvo {
namespace {

namespace fs = std::filesystem;

class FakeCatalogue : public DeviceCatalogue {
public:
    explicit FakeCatalogue(std::vector<std::string>* names) : names_(names) {}
    std::vector<VideoInputDevice> videoInputs() override {
        std::vector<VideoInputDevice> devices;
        for (const std::string& n : *names_) devices.push_back({n, false, {}, {}});
        return devices;
    }

private:
    std::vector<std::string>* names_;
};

struct OpenRecord {
    int calls = 0;
    bool hd = false;
    bool timerRanDuringWindow = true;
    std::string selectedName;
};

class LauncherWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(base_ / "home");
        root_ = (base_ / "QELVO-LAB").string();
        setSelectedDeviceName("");
    }

    std::unique_ptr<LauncherWindow> makeLauncher(WorkingWindowOpeners openers = {}) {
        return std::make_unique<LauncherWindow>(std::make_unique<FakeCatalogue>(&devices_),
                                                std::move(openers),
                                                StorageLocations{root_, (base_ / "home").string()});
    }

    QStringList listed(const LauncherWindow& w) const {
        QStringList items;
        for (int i = 0; i < w.deviceList()->count(); ++i) items << w.deviceList()->itemText(i);
        return items;
    }

    std::vector<std::string> devices_;
    test::TempFolder folder_;
    const fs::path base_{folder_.path()};
    std::string root_;
};

TEST_F(LauncherWindowTest, FixedGeometryControlIdsAndRescanTimer) {
    devices_ = {"Cam A"};
    auto w = makeLauncher();
    EXPECT_EQ(w->geometry(), QRect(0, 0, 1024, 768));
    EXPECT_TRUE(w->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(w->objectName(), "102");
    for (const char* id : {"1001", "1000", "2", "1036"})
        EXPECT_NE(w->findChild<QWidget*>(id), nullptr) << id;
    EXPECT_EQ(w->findChild<QWidget*>("1001")->geometry(), QRect(752, 353, 100, 101));
    EXPECT_EQ(w->findChild<QWidget*>("1000")->geometry(), QRect(675, 455, 100, 101));
    EXPECT_EQ(w->findChild<QWidget*>("2")->geometry(), QRect(578, 550, 100, 101));
    EXPECT_EQ(w->findChild<QWidget*>("1001")->accessibleName(), "IMAGE VIEW");
    EXPECT_EQ(w->deviceList()->pos(), QPoint(50, 530));
    EXPECT_EQ(w->deviceList()->width(), 300);
    EXPECT_TRUE(w->rescanTimer().isActive());
    EXPECT_EQ(w->rescanTimer().interval(), 3000);
    EXPECT_EQ(storageFolder(), root_);
    EXPECT_TRUE(fs::is_directory(root_));
}

TEST_F(LauncherWindowTest, EmptyListIsHiddenAndButtonsDoNothingUntilADeviceAppears) {
    OpenRecord record;
    auto opener = [&](QWidget*, bool) { ++record.calls; };
    auto w = makeLauncher({opener, opener});
    w->show();
    EXPECT_TRUE(w->deviceList()->isHidden());
    setSelectedDeviceName("kept");
    w->openImageView();
    w->openImageManagement();
    EXPECT_EQ(record.calls, 0);
    EXPECT_TRUE(w->rescanTimer().isActive());

    devices_ = {"Late Cam"};
    w->rescanDevices();
    EXPECT_FALSE(w->deviceList()->isHidden());
    EXPECT_EQ(selectedDeviceName(), "Late Cam");
    devices_.clear();
    w->rescanDevices();
    EXPECT_TRUE(w->deviceList()->isHidden());
    EXPECT_EQ(selectedDeviceName(), "Late Cam") << "an empty rescan leaves the name as it was";
}

TEST_F(LauncherWindowTest, ListsInEnumerationOrderWithoutExcludedNames) {
    devices_ = {"Cam B", "Inspection Microscope. 7", "Cam A", "Cam B", "Inspection Microscope"};
    auto w = makeLauncher();
    EXPECT_EQ(listed(*w), (QStringList{"Cam B", "Cam A", "Cam B"}));
    EXPECT_EQ(w->deviceList()->currentIndex(), 0);
    EXPECT_EQ(selectedDeviceName(), "Cam B");
}

TEST_F(LauncherWindowTest, RescanKeepsTheOperatorsChoiceUntilItIsUnplugged) {
    devices_ = {"Cam A", "Cam B"};
    auto w = makeLauncher();
    w->show();
    // The operator picks the second entry.
    w->deviceList()->setCurrentIndex(1);
    emit w->deviceList()->activated(1);
    EXPECT_EQ(selectedDeviceName(), "Cam B");

    w->rescanDevices();  // a timer tick
    EXPECT_EQ(w->deviceList()->currentText(), "Cam B");
    EXPECT_EQ(selectedDeviceName(), "Cam B");

    devices_ = {"Cam C", "Cam A", "Cam B"};  // another camera plugged in ahead of it
    w->rescanDevices();
    EXPECT_EQ(w->deviceList()->currentText(), "Cam B");

    devices_ = {"Cam C", "Cam A"};  // unplugged: back to entry 0
    w->rescanDevices();
    EXPECT_EQ(w->deviceList()->currentIndex(), 0);
    EXPECT_EQ(selectedDeviceName(), "Cam C");

    devices_ = {"Cam C", "Cam A", "Cam B"};  // plugged in again: the choice was dropped
    w->rescanDevices();
    EXPECT_EQ(w->deviceList()->currentIndex(), 0);
}

TEST_F(LauncherWindowTest, CommandLinePreselectsADeviceAndOpensItsWindowOnceRunning) {
    devices_ = {"Cam A", "Cam B"};
    OpenRecord manage;
    auto opener = [&manage](QWidget*, bool) {
        ++manage.calls;
        manage.selectedName = selectedDeviceName();
    };
    auto w = makeLauncher({nullptr, opener});
    StartOptions options;
    options.device = "Cam B";
    options.startWindow = StartWindow::ImageManagement;
    EXPECT_EQ(applyStartOptions(*w, options), "");
    EXPECT_EQ(manage.calls, 0) << "opened only once the launcher runs";
    w->rescanDevices();  // a tick before the window opens keeps the preselection
    QApplication::processEvents();
    EXPECT_EQ(manage.calls, 1);
    EXPECT_EQ(manage.selectedName, "Cam B");

    // A device that is not attached: one line, the normal list, no window.
    auto other = makeLauncher({nullptr, opener});
    options.device = "Cam Z";
    const std::string line = applyStartOptions(*other, options);
    EXPECT_NE(line.find("\"Cam Z\" is not attached"), std::string::npos) << line;
    QApplication::processEvents();
    EXPECT_EQ(manage.calls, 1);
    EXPECT_EQ(other->deviceList()->currentText(), "Cam A");
}

TEST_F(LauncherWindowTest, OpeningStopsTheTimerPicksTheVariantAndRestoresAfterwards) {
    devices_ = {"Quillmar hd capture device", "Quillmar HD capture device"};
    OpenRecord view, manage;
    LauncherWindow* launcher = nullptr;
    auto record = [&](OpenRecord& r) {
        return [&r, &launcher, this](QWidget* parent, bool hd) {
            ++r.calls;
            r.hd = hd;
            r.timerRanDuringWindow = launcher->rescanTimer().isActive();
            r.selectedName = selectedDeviceName();
            EXPECT_EQ(parent, launcher);
            // The window moves into another folder and a new camera appears meanwhile.
            setStorageFolder(root_ + "/20240307");
            devices_.push_back("New Cam");
        };
    };
    auto w = makeLauncher({record(view), record(manage)});
    launcher = w.get();

    w->openImageView();
    EXPECT_EQ(view.calls, 1);
    EXPECT_TRUE(view.hd);
    EXPECT_FALSE(view.timerRanDuringWindow);
    EXPECT_EQ(view.selectedName, "Quillmar hd capture device");
    EXPECT_EQ(storageFolder(), root_);
    EXPECT_TRUE(w->rescanTimer().isActive());
    EXPECT_EQ(w->deviceList()->count(), 3) << "the list is rescanned after the window closes";

    w->deviceList()->setCurrentIndex(1);
    emit w->deviceList()->activated(1);
    w->openImageManagement();
    EXPECT_EQ(manage.calls, 1);
    EXPECT_FALSE(manage.hd) << "a name differing only in letter case gets the standard variant";
    EXPECT_EQ(manage.selectedName, "Quillmar HD capture device");
}

TEST_F(LauncherWindowTest, StorageFallsBackWhenTheRootCannotBeCreated) {
    root_ = (base_ / "no-such-parent" / "QELVO-LAB").string();
    devices_ = {"Cam"};
    auto w = makeLauncher({[](QWidget*, bool) {}, {}});
    EXPECT_EQ(storageFolder(), (base_ / "home").string());
    w->openImageView();
    EXPECT_EQ(storageFolder(), (base_ / "home").string());
    EXPECT_FALSE(fs::exists(base_ / "no-such-parent"));
}

TEST_F(LauncherWindowTest, TimerTickListsADevicePluggedInLater) {
    auto w = makeLauncher();
    w->show();
    EXPECT_TRUE(w->deviceList()->isHidden());
    devices_ = {"Hot Plugged"};
    // No rescan is called by hand: only the 3-second timer can bring the device in.
    QTRY_VERIFY_WITH_TIMEOUT(w->deviceList()->count() == 1, 20000);
    EXPECT_FALSE(w->deviceList()->isHidden());
    EXPECT_EQ(selectedDeviceName(), "Hot Plugged");
}

TEST_F(LauncherWindowTest, PaintsItsBackgroundOneToOne) {
    devices_ = {"Cam"};
    auto w = makeLauncher();
    w->show();
    const QImage shown = w->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage art = skinBitmap(129).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(art.size(), QSize(1024, 768));
    for (const QPoint p : {QPoint(5, 5), QPoint(500, 100), QPoint(1000, 740), QPoint(20, 700)})
        EXPECT_EQ(shown.pixel(p), art.pixel(p)) << p.x() << "," << p.y();
}

TEST_F(LauncherWindowTest, CloseButtonEndsTheLauncher) {
    devices_ = {"Cam"};
    auto w = makeLauncher();
    w->show();
    QTimer::singleShot(0, [&] { QTest::mouseClick(w->findChild<QWidget*>("2"), Qt::LeftButton); });
    EXPECT_EQ(w->exec(), QDialog::Rejected);
}

TEST_F(LauncherWindowTest, F1OpensTheAboutBox) {
    devices_ = {"Cam"};
    auto w = makeLauncher();
    w->show();
    QString title, text;
    QTimer::singleShot(0, [&] {
        QWidget* box = QApplication::activeModalWidget();
        ASSERT_NE(box, nullptr);
        title = box->windowTitle();
        if (auto* label = box->findChild<QLabel*>("aboutText")) text = label->text();
        box->close();
    });
    QTest::keyClick(w.get(), Qt::Key_F1);
    EXPECT_EQ(title, "About QELVO_TARNEL");
    EXPECT_EQ(text, "QELVO_TARNEL Version 1.0");
}

}  // namespace
}  // namespace qelvo
