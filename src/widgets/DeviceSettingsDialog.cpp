#include "widgets/DeviceSettingsDialog.h"

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPointer>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

#include "devices/CameraControlAccess.h"
#include "devices/CameraControlStore.h"
#include "devices/CameraControls.h"
#include "devices/DeviceSettings.h"
#include "media/SourceControls.h"
#include "widgets/CameraControlsDialog.h"

#include <algorithm>
#include <cstdio>
#include <memory>

namespace qelvo {
namespace {

// The settings pages: one slider per colour control of the device, and for a virtual device
// its test pattern and movement.  Every change goes to the device at once.
class DeviceSettingsDialog : public QDialog {
public:
    DeviceSettingsDialog(QWidget* owner, const MediaComponent& source, const QString& deviceName)
        : QDialog(owner), controls_(std::make_shared<SourcePictureControls>(source)) {
        setObjectName("DeviceSettings");
        setWindowTitle(QString());
        setAccessibleName(deviceName + " settings");
        setModal(true);
        auto* layout = new QVBoxLayout(this);
        auto* form = new QFormLayout;
        layout->addLayout(form);
        for (const SourcePictureControls::Channel& channel : controls_->channels()) {
            auto* slider = new QSlider(Qt::Horizontal);
            const QString label = QString::fromStdString(channel.label);
            slider->setObjectName(label);
            slider->setAccessibleName(label);
            slider->setRange(channel.minimum, channel.maximum);
            slider->setValue(controls_->channelValue(channel.label).value_or(channel.minimum));
            connect(slider, &QSlider::valueChanged, this,
                    [controls = controls_, name = channel.label](int value) {
                        controls->setChannelValue(name, value);
                    });
            form->addRow(label, slider);
        }
        addPatternControls(form);
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
        connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
        layout->addWidget(buttons);
    }

private:
    void addPatternControls(QFormLayout* form) {
        if (controls_->hasPattern()) {
            auto* combo = new QComboBox;
            combo->setObjectName("Pattern");
            combo->setAccessibleName("Pattern");
            const int current = controls_->pattern();
            for (const auto& [name, value] : controls_->patterns()) {
                combo->addItem(QString::fromStdString(name), value);
                if (value == current) combo->setCurrentIndex(combo->count() - 1);
            }
            connect(combo, &QComboBox::currentIndexChanged, this,
                    [combo, controls = controls_](int index) {
                        if (index >= 0) controls->setPattern(combo->itemData(index).toInt());
                    });
            form->addRow("Pattern", combo);
        }
        if (!controls_->hasMotion()) return;
        auto* motion = new QSpinBox;
        motion->setObjectName("Motion");
        motion->setAccessibleName("Motion");
        motion->setRange(-64, 64);
        motion->setValue(controls_->motion());
        connect(motion, &QSpinBox::valueChanged, this,
                [controls = controls_](int value) { controls->setMotion(value); });
        form->addRow("Motion", motion);
    }

    // The handlers share it: the child widgets outlive the members while the dialog goes.
    std::shared_ptr<SourcePictureControls> controls_;
};

void placeOver(QWidget* owner, QDialog& dialog) {
    dialog.adjustSize();
    dialog.move(owner ? owner->mapToGlobal(QPoint(30, 30)) : QPoint(30, 30));
}

// Runs a settings dialog modally over its owner.  The dialog lives on the heap: should the
// owner be destroyed while the dialog is open, it takes the dialog with it, and the guard
// sees that instead of deleting it a second time.
void runOver(QWidget* owner, QDialog* dialog) {
    const QPointer<QDialog> guard(dialog);
    placeOver(owner, *dialog);
    dialog->exec();
    delete guard.data();
}

// The camera controls page, when the source has camera controls.  Every value the operator
// chooses is kept for the camera, to be sent again the next time it opens.
bool showCameraControls(QWidget* owner, const MediaComponent& source, const QString& deviceName) {
    const auto access = cameraControlSource(source);
    if (!access) return false;
    CameraControls controls(*access->backend);
    controls.load();
    // Class headings alone give an empty page: the colour controls are shown instead.
    const auto& all = controls.controls();
    if (std::none_of(all.begin(), all.end(), [](const CameraControl& c) { return !c.isHeading(); }))
        return false;
    const CameraControlStore store(RegistryStore(), access->identity);
    bool storeFailed = false;
    controls.onChosen = [&](std::uint32_t id, std::int32_t value) {
        if (!store.save(id, value) && !storeFailed) {
            storeFailed = true;
            std::fprintf(stderr, "qelvo-tarnel: the camera settings could not be kept under %s\n",
                         store.keyPath().c_str());
        }
    };
    runOver(owner, new CameraControlsDialog(owner, controls, deviceName));
    return true;
}

}  // namespace

MediaResult showDeviceSettings(QWidget* owner, const MediaComponent& source) {
    if (!hasSettingsPages(source))
        return MediaResult::failure(MediaError::NoInterface, "The device has no settings pages.");
    const QString deviceName = QString::fromStdString(sourceDevice(source)->deviceName);
    if (showCameraControls(owner, source, deviceName)) return MediaResult::success();
    runOver(owner, new DeviceSettingsDialog(owner, source, deviceName));
    return MediaResult::success();
}

}  // namespace qelvo
