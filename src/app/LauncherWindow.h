#pragma once

#include "app/WorkingWindows.h"
#include "media/DeviceCatalogue.h"

#include <QDialog>
#include <QImage>
#include <QTimer>
#include <memory>
#include <string>

class QComboBox;

namespace qelvo {

class SimpleButton;

// Where the storage folder check looks: the root, and where to go when it cannot be made.
struct StorageLocations {
    std::string root;
    std::string fallback;
};

// The window the program starts into: the device list, IMAGE VIEW, IMAGE MANAGEMENT and X.
class LauncherWindow : public QDialog {
    Q_OBJECT
public:
    static constexpr int kDialogId = 102;
    static constexpr int kImageViewId = 1001;
    static constexpr int kImageManagementId = 1000;
    static constexpr int kCloseId = 2;
    static constexpr int kDeviceListId = 1036;
    static constexpr int kRescanTimerId = 80000;
    static constexpr int kRescanPeriodMs = 3000;

    LauncherWindow(std::unique_ptr<DeviceCatalogue> catalogue, WorkingWindowOpeners openers,
                   StorageLocations storage, QWidget* parent = nullptr);
    ~LauncherWindow() override;

    // Empties the list and lists the devices again (also run by the rescan timer).
    void rescanDevices();
    void openImageView();
    void openImageManagement();
    void showAbout();
    // Selects `name` as if the operator had picked it; false when no such device is listed.
    bool preselectDevice(const std::string& name);
    // Brings the launcher, and a working window open over it, to the front.
    void bringToFront();

    QComboBox* deviceList() const { return deviceList_; }
    const QTimer& rescanTimer() const { return rescanTimer_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void openWorkingWindow(const std::function<void(QWidget*, bool)>& opener);
    void checkStorage();
    SimpleButton* addSkinnedButton(int controlId);

    std::unique_ptr<DeviceCatalogue> catalogue_;
    WorkingWindowOpeners openers_;
    StorageLocations storage_;
    QImage background_;
    QComboBox* deviceList_ = nullptr;
    QTimer rescanTimer_;
    // The name the operator picked in the list; a rescan keeps it selected while listed.
    std::string operatorChoice_;
    bool rescanning_ = false;
};

}  // namespace qelvo
