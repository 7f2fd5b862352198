#include "devices/DeviceSettings.h"

#include <gst/video/colorbalance.h>

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
#include "widgets/CameraControlsDialog.h"
#include "media/MediaInternal.h"

#include <algorithm>
#include <cstdio>

namespace qelvo {
namespace {

GstColorBalance* colourControls(const SourceState& s) {
    if (!s.balance || !GST_IS_COLOR_BALANCE(s.balance)) return nullptr;
    return GST_COLOR_BALANCE(s.balance);
}

// Whether the element offers any colour channel (a camera lists them only once opened).
bool hasChannels(GstColorBalance* balance) {
    return balance && gst_color_balance_list_channels(balance) != nullptr;
}

// The settings pages: one slider per colour control of the device, and for a virtual device
// its test pattern and movement.  Every change goes to the device at once.
class DeviceSettingsDialog : public QDialog {
public:
    DeviceSettingsDialog(QWidget* owner, SourceState& source) : QDialog(owner) {
        setObjectName("DeviceSettings");
        setWindowTitle(QString());
        setAccessibleName(QString::fromStdString(source.deviceName) + " settings");
        setModal(true);
        auto* layout = new QVBoxLayout(this);
        auto* form = new QFormLayout;
        layout->addLayout(form);
        if (GstColorBalance* balance = colourControls(source)) {
            for (const GList* it = gst_color_balance_list_channels(balance); it; it = it->next) {
                auto* channel = static_cast<GstColorBalanceChannel*>(it->data);
                auto* slider = new QSlider(Qt::Horizontal);
                const QString label = QString::fromUtf8(channel->label);
                slider->setObjectName(label);
                slider->setAccessibleName(label);
                slider->setRange(channel->min_value, channel->max_value);
                slider->setValue(gst_color_balance_get_value(balance, channel));
                gst_object_ref(channel);
                gst_object_ref(balance);
                connect(slider, &QSlider::valueChanged, this, [balance, channel](int value) {
                    gst_color_balance_set_value(balance, channel, value);
                });
                connect(slider, &QObject::destroyed, [balance, channel] {
                    gst_object_unref(channel);
                    gst_object_unref(balance);
                });
                form->addRow(label, slider);
            }
        }
        if (source.isVirtual && source.producer) addPatternControls(form, source.producer);
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
        connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
        layout->addWidget(buttons);
    }

private:
    void addPatternControls(QFormLayout* form, GstElement* producer) {
        GParamSpec* param = g_object_class_find_property(G_OBJECT_GET_CLASS(producer), "pattern");
        if (param && G_IS_PARAM_SPEC_ENUM(param)) {
            auto* combo = new QComboBox;
            combo->setObjectName("Pattern");
            combo->setAccessibleName("Pattern");
            GEnumClass* values = G_PARAM_SPEC_ENUM(param)->enum_class;
            gint current = 0;
            g_object_get(producer, "pattern", &current, nullptr);
            for (guint i = 0; i < values->n_values; ++i) {
                combo->addItem(QString::fromUtf8(values->values[i].value_nick),
                               values->values[i].value);
                if (values->values[i].value == current) combo->setCurrentIndex(combo->count() - 1);
            }
            gst_object_ref(producer);
            connect(combo, &QComboBox::currentIndexChanged, this, [combo, producer](int index) {
                if (index >= 0)
                    g_object_set(producer, "pattern", combo->itemData(index).toInt(), nullptr);
            });
            connect(combo, &QObject::destroyed, [producer] { gst_object_unref(producer); });
            form->addRow("Pattern", combo);
        }
        auto* motion = new QSpinBox;
        motion->setObjectName("Motion");
        motion->setAccessibleName("Motion");
        motion->setRange(-64, 64);
        gint speed = 0;
        g_object_get(producer, "horizontal-speed", &speed, nullptr);
        motion->setValue(speed);
        gst_object_ref(producer);
        connect(motion, &QSpinBox::valueChanged, this, [producer](int value) {
            g_object_set(producer, "horizontal-speed", value, nullptr);
        });
        connect(motion, &QObject::destroyed, [producer] { gst_object_unref(producer); });
        form->addRow("Motion", motion);
    }
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
bool showCameraControls(QWidget* owner, const MediaComponent& source) {
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
    runOver(owner, new CameraControlsDialog(
                       owner, controls, QString::fromStdString(source.impl()->source->deviceName)));
    return true;
}

}  // namespace

bool hasSettingsPages(const MediaComponent& source) {
    if (source.empty() || source.kind() != ComponentKind::Source) return false;
    const SourceState& s = *source.impl()->source;
    return s.isVirtual || hasChannels(colourControls(s)) || cameraControlSource(source).has_value();
}

MediaResult showDeviceSettings(QWidget* owner, const MediaComponent& source) {
    if (!hasSettingsPages(source))
        return MediaResult::failure(MediaError::NoInterface, "The device has no settings pages.");
    if (showCameraControls(owner, source)) return MediaResult::success();
    runOver(owner, new DeviceSettingsDialog(owner, *source.impl()->source));
    return MediaResult::success();
}

}  // namespace qelvo
