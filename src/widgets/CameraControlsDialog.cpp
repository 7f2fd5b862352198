#include "widgets/CameraControlsDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFont>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <limits>

#include "desktop/Dialogs.h"
#include "devices/CameraControls.h"

namespace qelvo {
namespace {

constexpr std::uint32_t kNoFailure = 0;
constexpr int kMaxPageHeight = 640;

QString nameOf(const CameraControl& control) {
    return QString::fromStdString(control.info.name);
}

// A check box or push button reads '&' as the mark of its shortcut key; a driver's name
// ("Pan & Tilt, Reset") shows as it is.
QString buttonText(const QString& name) {
    return QString(name).replace(QLatin1Char('&'), QStringLiteral("&&"));
}

// A working window's dark skin styles the lists of everything inside it; this page is a plain
// dialog, so its lists and scroll bars go back to the desktop's own colours and font.
QString plainControlsStyle(const QFont& font) {
    return QStringLiteral(
               "QComboBox { background: palette(base); color: palette(text);"
               " border: 1px solid palette(mid); border-radius: 3px; padding: 3px 8px;"
               " font-family: '%1'; font-size: %2pt; }"
               "QComboBox:hover, QComboBox:focus { border-color: palette(highlight); }"
               "QComboBox:disabled { color: palette(mid); }"
               "QComboBox QAbstractItemView { background: palette(base); color: palette(text);"
               " border: 1px solid palette(mid); selection-background-color: palette(highlight);"
               " selection-color: palette(highlighted-text); }"
               "QScrollBar { background: palette(window); border: none; }"
               "QScrollBar::handle { background: palette(mid); border-radius: 3px; min-height: "
               "20px; }")
        .arg(font.family())
        .arg(font.pointSizeF());
}

QString idText(std::uint32_t id) {
    return QStringLiteral("%1").arg(id, 8, 16, QLatin1Char('0')).toUpper();
}

}  // namespace

CameraControlsDialog::CameraControlsDialog(QWidget* owner, CameraControls& controls,
                                           const QString& deviceName)
    : QDialog(owner), controls_(controls) {
    setObjectName("DeviceSettings");
    setWindowTitle(QString());
    setAccessibleName(deviceName + " settings");
    setModal(true);
    setStyleSheet(plainControlsStyle(font()));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(10);
    auto* title = new QLabel(deviceName);
    QFont titleFont = title->font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.15);
    title->setFont(titleFont);
    layout->addWidget(title);

    QWidget* groups = buildGroups();
    auto* scroll = new QScrollArea;
    scroll->setWidget(groups);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // As tall as the rows need, up to a height that fits any screen; more rows scroll.
    const int wanted = groups->sizeHint().height();
    scroll->setMinimumHeight(std::min(wanted, kMaxPageHeight));
    scroll->setMinimumWidth(groups->sizeHint().width() + 4);
    layout->addWidget(scroll, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    QPushButton* defaults = defaults_ = buttons->addButton("Defaults", QDialogButtonBox::ResetRole);
    defaults->setObjectName("Defaults");
    defaults->setAccessibleName("Defaults");
    connect(defaults, &QPushButton::clicked, this, [this] { resetToDefaults(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::accept);
    layout->addWidget(buttons);
    showValues();
}

QWidget* CameraControlsDialog::buildGroups() {
    auto* page = new QWidget;
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(10);
    std::vector<QGridLayout*> grids;
    QGridLayout* grid = nullptr;
    int line = 0;
    auto startGroup = [&](const QString& heading) {
        auto* box = new QGroupBox(heading);
        grid = new QGridLayout(box);
        grids.push_back(grid);
        grid->setHorizontalSpacing(12);
        grid->setVerticalSpacing(6);
        grid->setColumnStretch(1, 1);
        grid->setColumnMinimumWidth(1, 220);
        column->addWidget(box);
        line = 0;
    };
    // A group starts with its first control, so a heading whose controls are all disabled
    // leaves no empty box.
    QString heading = QStringLiteral("Controls");
    bool headingUsed = false;
    for (const CameraControl& control : controls_.controls()) {
        if (control.isHeading()) {
            heading = nameOf(control);
            headingUsed = false;
            continue;
        }
        if (!headingUsed) startGroup(heading);
        headingUsed = true;
        addRow(grid, line++, control);
    }
    column->addStretch(1);
    // One label width for every group, so the controls of all groups line up.
    int labelWidth = 0;
    for (QWidget* first : page->findChildren<QWidget*>()) {
        if (qobject_cast<QLabel*>(first) || qobject_cast<QCheckBox*>(first) ||
            qobject_cast<QPushButton*>(first))
            labelWidth = std::max(labelWidth, first->sizeHint().width());
    }
    for (QGridLayout* g : grids) g->setColumnMinimumWidth(0, labelWidth);
    return page;
}

void CameraControlsDialog::addRow(QGridLayout* grid, int line, const CameraControl& control) {
    const CameraControlInfo& info = control.info;
    const std::uint32_t id = info.id;
    const QString name = nameOf(control);
    Row row{id, {}, {}};
    auto label = [&] {
        auto* text = new QLabel(name);
        grid->addWidget(text, line, 0);
        row.widgets.push_back(text);
    };
    switch (info.type) {
        case CameraControlType::Integer: {
            label();
            const std::int64_t steps = std::min<std::int64_t>(
                (info.maximum - info.minimum) / info.step, std::numeric_limits<int>::max());
            auto* slider = new QSlider(Qt::Horizontal);
            slider->setRange(0, static_cast<int>(steps));
            slider->setPageStep(std::max<int>(1, static_cast<int>(steps / 10)));
            auto* number = new QSpinBox;
            number->setRange(static_cast<int>(info.minimum), static_cast<int>(info.maximum));
            number->setSingleStep(static_cast<int>(
                std::min<std::int64_t>(info.step, std::numeric_limits<int>::max())));
            number->setKeyboardTracking(false);
            number->setAlignment(Qt::AlignRight);
            number->setMinimumWidth(76);
            slider->setAccessibleName(name);
            number->setAccessibleName(name + " value");
            slider->setObjectName(idText(id));
            number->setObjectName(idText(id) + "-value");
            const std::int64_t minimum = info.minimum, step = info.step;
            connect(slider, &QSlider::valueChanged, this,
                    [this, id, minimum, step](int k) { change(id, minimum + k * step); });
            connect(number, &QSpinBox::valueChanged, this, [this, id](int v) { change(id, v); });
            grid->addWidget(slider, line, 1);
            grid->addWidget(number, line, 2);
            row.widgets.insert(row.widgets.end(), {slider, number});
            row.show = [slider, number](const CameraControl& c) {
                slider->setValue(static_cast<int>((c.value - c.info.minimum) / c.info.step));
                number->setValue(c.value);
            };
            break;
        }
        case CameraControlType::Boolean: {
            auto* box = new QCheckBox(buttonText(name));
            box->setAccessibleName(name);
            box->setObjectName(idText(id));
            connect(box, &QCheckBox::toggled, this,
                    [this, id](bool on) { change(id, on ? 1 : 0); });
            grid->addWidget(box, line, 0);
            row.widgets.push_back(box);
            row.show = [box](const CameraControl& c) { box->setChecked(c.value != 0); };
            break;
        }
        case CameraControlType::Menu:
        case CameraControlType::IntegerMenu: {
            label();
            auto* list = new QComboBox;
            list->setAccessibleName(name);
            list->setObjectName(idText(id));
            for (const CameraControlMenuItem& item : info.menu)
                list->addItem(QString::fromStdString(item.label),
                              QVariant::fromValue<qlonglong>(item.index));
            connect(list, &QComboBox::currentIndexChanged, this, [this, id, list](int index) {
                if (index >= 0) change(id, list->itemData(index).toLongLong());
            });
            grid->addWidget(list, line, 1, 1, 2);
            row.widgets.push_back(list);
            row.show = [list](const CameraControl& c) {
                list->setCurrentIndex(list->findData(QVariant::fromValue<qlonglong>(c.value)));
            };
            break;
        }
        case CameraControlType::Button: {
            auto* button = new QPushButton(buttonText(name));
            button->setAccessibleName(name);
            button->setObjectName(idText(id));
            connect(button, &QPushButton::clicked, this, [this, id] { change(id, 1); });
            grid->addWidget(button, line, 0, Qt::AlignLeft);
            row.widgets.push_back(button);
            break;
        }
        case CameraControlType::ClassHeading:
            return;
    }
    rows_.push_back(std::move(row));
}

void CameraControlsDialog::change(std::uint32_t id, std::int64_t value) {
    if (updating_) return;  // a row being filled from the device, not the operator
    std::string error;
    if (!controls_.set(id, value, error)) reportFailure(id, error);
    showValues();
}

void CameraControlsDialog::resetToDefaults() {
    std::string error;
    if (!controls_.resetToDefaults(error)) reportFailure(kNoFailure, error);
    showValues();
}

void CameraControlsDialog::reportFailure(std::uint32_t id, const std::string& error) {
    if (controls_.deviceGone()) {
        // Unplugged: every control fails alike, so it is said once and the page goes grey.
        if (goneReported_) return;
        goneReported_ = true;
        showValues();
        dialogs().message(this,
                          "The camera is no longer connected.\n\nIts settings can be changed "
                          "again once it is plugged in and the window is reopened.",
                          QString(), MessageButtons::Ok);
        return;
    }
    // One message per control and opening: a slider dragged over a failing control must not
    // raise a box for every step.
    if (!reported_.insert(id).second) return;
    const CameraControl* control = controls_.find(id);
    const QString what = control ? "the new value of \"" + nameOf(*control) + "\""
                                 : QStringLiteral("every default value");
    showValues();
    dialogs().message(this,
                      "The camera did not accept " + what + ".\n\n" +
                          QString::fromStdString(error) +
                          "\n\nThe settings show the values the camera reports.",
                      QString(), MessageButtons::Ok);
}

void CameraControlsDialog::showValues() {
    updating_ = true;
    const bool gone = controls_.deviceGone();
    if (defaults_) defaults_->setEnabled(!gone);
    for (Row& row : rows_) {
        const CameraControl* control = controls_.find(row.id);
        if (!control) continue;
        if (row.show && control->valueKnown) row.show(*control);
        const bool editable = control->editable() && !gone;
        const bool inactive = control->info.has(CameraControlFlag::Inactive);
        for (QWidget* widget : row.widgets) {
            widget->setEnabled(editable);
            widget->setToolTip(inactive ? QStringLiteral("Set by the automatic mode") : QString());
        }
    }
    updating_ = false;
}

}  // namespace qelvo
