#include "app/LauncherWindow.h"

#include "app/AboutBox.h"
#include "app/DeviceListRules.h"
#include "app/StorageFolderCheck.h"
#include "skin/ControlIdentity.h"
#include "skin/SimpleButton.h"
#include "skin/SkinBitmaps.h"
#include "skin/SkinPalette.h"
#include "skin/SkinTable.h"
#include "system/SessionState.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>

namespace qelvo {

LauncherWindow::LauncherWindow(std::unique_ptr<DeviceCatalogue> catalogue,
                               WorkingWindowOpeners openers, StorageLocations storage,
                               QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::FramelessWindowHint),
      catalogue_(std::move(catalogue)),
      openers_(std::move(openers)),
      storage_(std::move(storage)) {
    setObjectName(QString::number(kDialogId));
    setWindowTitle(QStringLiteral("QELVO_TARNEL"));
    setAccessibleName(windowTitle());
    setWindowIcon(programIcon());
    setContextMenuPolicy(Qt::DefaultContextMenu);

    deviceList_ = new QComboBox(this);
    setControlIdentity(deviceList_, kDeviceListId,
                       QString::fromUtf8(launcherSkin().placed[0].caption));
    deviceList_->setStyleSheet(palette::controlStyleSheet() +
                               QStringLiteral("QComboBox { padding: 4px 8px; font-size: 15px; }"));
    connect(deviceList_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0) setSelectedDeviceName(deviceList_->itemText(index).toStdString());
    });
    connect(deviceList_, &QComboBox::activated, this,
            [this](int index) { operatorChoice_ = deviceList_->itemText(index).toStdString(); });
    rescanDevices();

    background_ = skinBitmap(launcherSkin().backgroundId);
    setGeometry(0, 0, launcherSkin().size.width(), launcherSkin().size.height());
    setFixedSize(launcherSkin().size);
    for (const SkinnedControl& control : launcherSkin().skinned) {
        auto* button = new SimpleButton(this);
        setControlIdentity(button, control.controlId, QString::fromUtf8(control.caption));
        button->LoadSkin(control.bitmapId, control.frames);
        button->setGeometry(control.rect);
        if (control.controlId == kImageViewId)
            connect(button, &QAbstractButton::clicked, this, &LauncherWindow::openImageView);
        else if (control.controlId == kImageManagementId)
            connect(button, &QAbstractButton::clicked, this, &LauncherWindow::openImageManagement);
        else if (control.controlId == kCloseId)
            connect(button, &QAbstractButton::clicked, this, &QDialog::reject);
    }
    // The list's rectangle includes its drop-down area; the closed box takes its natural
    // height at the top of it.
    const QRect listArea = launcherSkin().placed[0].rect;
    deviceList_->setGeometry(listArea.x(), listArea.y(), listArea.width(),
                             std::min(listArea.height(), deviceList_->sizeHint().height() + 6));
    deviceList_->setMaxVisibleItems(8);

    checkStorage();

    rescanTimer_.setInterval(kRescanPeriodMs);
    rescanTimer_.setObjectName(QString::number(kRescanTimerId));
    connect(&rescanTimer_, &QTimer::timeout, this, &LauncherWindow::rescanDevices);
    rescanTimer_.start();
}

LauncherWindow::~LauncherWindow() = default;

void LauncherWindow::rescanDevices() {
    std::vector<std::string> enumerated;
    if (catalogue_)
        for (const VideoInputDevice& device : catalogue_->videoInputs())
            enumerated.push_back(device.friendlyName);
    const std::vector<std::string> entries = listableDeviceNames(enumerated);

    // Rebuilding the list fires selection changes; the selected device name is written once,
    // from the final selection, as an operator's pick would.
    {
        const QSignalBlocker block(deviceList_);
        deviceList_->clear();
        for (const std::string& name : entries) deviceList_->addItem(QString::fromStdString(name));
        deviceList_->setCurrentIndex(rescanSelection(entries, operatorChoice_));
    }
    if (entries.empty()) {
        deviceList_->hide();
        return;
    }
    if (!operatorChoice_.empty() && deviceList_->currentText().toStdString() != operatorChoice_)
        operatorChoice_.clear();  // the chosen device is gone
    setSelectedDeviceName(deviceList_->currentText().toStdString());
    deviceList_->show();
}

bool LauncherWindow::preselectDevice(const std::string& name) {
    const int index = deviceList_->findText(QString::fromStdString(name), Qt::MatchExactly);
    if (index < 0) return false;
    operatorChoice_ = name;
    deviceList_->setCurrentIndex(index);
    return true;
}

void LauncherWindow::bringToFront() {
    for (QWidget* window : {static_cast<QWidget*>(this), QApplication::activeModalWidget()}) {
        if (!window) continue;
        if (window->isMinimized()) window->showNormal();
        window->raise();
        window->activateWindow();
    }
}

void LauncherWindow::openImageView() {
    openWorkingWindow(openers_.imageView);
}

void LauncherWindow::openImageManagement() {
    openWorkingWindow(openers_.imageManagement);
}

void LauncherWindow::openWorkingWindow(const std::function<void(QWidget*, bool)>& opener) {
    if (deviceList_->count() == 0) return;
    const std::string name = deviceList_->currentText().toStdString();
    rescanTimer_.stop();
    if (opener) opener(this, isHdDeviceName(name));
    checkStorage();
    rescanDevices();
    rescanTimer_.start();
}

void LauncherWindow::checkStorage() {
    checkStorageFolder(storage_.root, storage_.fallback);
}

void LauncherWindow::showAbout() {
    AboutBox box(this);
    box.exec();
}

void LauncherWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (background_.isNull()) {
        painter.fillRect(rect(), QColor(24, 28, 33));
        return;
    }
    painter.drawImage(QPoint(0, 0), background_);
}

void LauncherWindow::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    QAction* about = menu.addAction(QStringLiteral("&About QELVO_TARNEL..."));
    if (menu.exec(event->globalPos()) == about) showAbout();
}

void LauncherWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F1) {
        showAbout();
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace qelvo
