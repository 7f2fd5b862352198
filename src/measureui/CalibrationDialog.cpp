#include "measureui/CalibrationDialog.h"

#include "measure/Length.h"
#include "measureui/ActiveObjectives.h"
#include "measureui/CalibrationCanvas.h"
#include "measureui/CalibrationFlow.h"
#include "measureui/MeasureDialogStyle.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace qelvo {
namespace {

QLabel* titled(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setProperty("role", "title");
    return label;
}

// One method's page: a word of help, then the length the operator types.
QWidget* lengthPage(const QString& help, const QString& caption, const QString& example,
                    QWidget* parent, QLineEdit*& field) {
    auto* page = new QWidget(parent);
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(0, 0, 0, 0);
    auto* helpLabel = new QLabel(help, page);
    helpLabel->setWordWrap(true);
    helpLabel->setProperty("role", "status");
    column->addWidget(helpLabel);
    column->addWidget(new QLabel(caption, page));
    field = new QLineEdit(page);
    field->setPlaceholderText(example);
    column->addWidget(field);
    return page;
}

}  // namespace

CalibrationDialog::CalibrationDialog(ActiveObjectives& objectives, const QImage& picture,
                                     QWidget* parent)
    : QDialog(parent), objectives_(objectives), flow_(new CalibrationFlow(this)) {
    setWindowTitle(QStringLiteral("Calibrate"));
    setStyleSheet(measureDialogStyleSheet());
    resize(980, 560);

    canvas_ = new CalibrationCanvas(*flow_, this);
    canvas_->setMinimumSize(640, 480);

    auto* side = new QWidget(this);
    side->setFixedWidth(290);
    auto* column = new QVBoxLayout(side);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(8);

    column->addWidget(titled(QStringLiteral("OBJECTIVE"), side));
    objective_ = new QComboBox(side);
    for (const measure::Objective& o : objectives_.objectives().objectives)
        objective_->addItem(QString::fromStdString(o.name));
    objective_->setCurrentIndex(objectives_.activeIndex());
    column->addWidget(objective_);
    auto* resolution = new QLabel(
        QStringLiteral("at %1 × %2 pixels").arg(picture.width()).arg(picture.height()), side);
    resolution->setProperty("role", "status");
    column->addWidget(resolution);

    column->addSpacing(6);
    column->addWidget(titled(QStringLiteral("METHOD"), side));
    auto* modes = new QHBoxLayout;
    automatic_ = new QPushButton(QStringLiteral("&Automatic"), side);
    manual_ = new QPushButton(QStringLiteral("&Manual"), side);
    auto* group = new QButtonGroup(this);
    for (QPushButton* b : {automatic_, manual_}) {
        b->setCheckable(true);
        b->setAutoDefault(false);
        group->addButton(b);
        modes->addWidget(b);
    }
    automatic_->setChecked(true);
    column->addLayout(modes);

    automaticPage_ = lengthPage(
        QStringLiteral("A stage micrometer or graticule in view: its lines are found by "
                       "themselves and drawn over the picture. Type how far apart they are."),
        QStringLiteral("Spacing of the lines"), QStringLiteral("e.g. 10 µm or 0.01 mm"), side,
        spacing_);
    column->addWidget(automaticPage_);
    manualPage_ = lengthPage(
        QStringLiteral("Drag a line over a known length; drag its ends to place them. The wheel "
                       "zooms, the right button pans, a loupe shows the end you move."),
        QStringLiteral("Length of the line"), QStringLiteral("e.g. 100 µm"), side, length_);
    column->addWidget(manualPage_);
    manualPage_->hide();

    column->addSpacing(6);
    column->addWidget(titled(QStringLiteral("RESULT"), side));
    status_ = new QLabel(side);
    status_->setWordWrap(true);
    status_->setProperty("role", "status");
    status_->setMinimumHeight(60);
    status_->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    column->addWidget(status_);
    result_ = new QLabel(side);
    result_->setProperty("role", "result");
    column->addWidget(result_);
    column->addStretch(1);

    auto* buttons = new QHBoxLayout;
    store_ = new QPushButton(QStringLiteral("Store"), side);
    store_->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), side);
    cancel->setAutoDefault(false);
    buttons->addWidget(store_);
    buttons->addWidget(cancel);
    column->addLayout(buttons);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(14, 14, 14, 14);
    layout->setSpacing(14);
    layout->addWidget(canvas_, 1);
    layout->addWidget(side);

    connect(automatic_, &QPushButton::clicked, this, [this] { setManual(false); });
    connect(manual_, &QPushButton::clicked, this, [this] { setManual(true); });
    connect(spacing_, &QLineEdit::textChanged, flow_, &CalibrationFlow::setSpacing);
    connect(length_, &QLineEdit::textChanged, flow_, &CalibrationFlow::setLineLength);
    connect(objective_, &QComboBox::currentIndexChanged, this, &CalibrationDialog::refresh);
    connect(flow_, &CalibrationFlow::changed, this, &CalibrationDialog::refresh);
    connect(store_, &QPushButton::clicked, this, [this] {
        if (store()) accept();
    });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    flow_->setPicture(picture);
    refresh();
    spacing_->setFocus();
}

CalibrationDialog::~CalibrationDialog() = default;

void CalibrationDialog::setManual(bool manual) {
    manual_->setChecked(manual);
    automatic_->setChecked(!manual);
    automaticPage_->setVisible(!manual);
    manualPage_->setVisible(manual);
    flow_->setMode(manual ? CalibrationFlow::Mode::Manual : CalibrationFlow::Mode::Automatic);
    (manual ? length_ : spacing_)->setFocus();
}

void CalibrationDialog::refresh() {
    const std::optional<double> size = flow_->micrometresPerPixel();
    const bool notFound = flow_->mode() == CalibrationFlow::Mode::Automatic && flow_->ruling() &&
                          !flow_->ruling()->found;
    status_->setProperty("role", notFound ? "warning" : "status");
    status_->style()->unpolish(status_);
    status_->style()->polish(status_);
    status_->setText(flow_->status());
    const QString name = objective_->currentText();
    result_->setText(size ? QString::fromStdString(measure::formatLength(*size, 4)) +
                                QStringLiteral(" per pixel")
                          : QString());
    store_->setEnabled(size.has_value());
    store_->setText(name.isEmpty() ? QStringLiteral("Store") : QStringLiteral("Store for ") + name);
}

bool CalibrationDialog::store() {
    const std::optional<double> size = flow_->micrometresPerPixel();
    if (!size) return false;
    const QSize capture = flow_->captureSize();
    if (!objectives_.calibrate(objective_->currentIndex(), *size, capture.width(),
                               capture.height())) {
        status_->setText(QStringLiteral("This calibration cannot be stored."));
        return false;
    }
    if (!objectives_.saveError().empty()) {
        status_->setText(QStringLiteral("Used for now, but not stored: ") +
                         QString::fromStdString(objectives_.saveError()));
        return false;
    }
    return true;
}

void CalibrationDialog::paintEvent(QPaintEvent*) {
    paintMeasureDialogBackground(*this);
}

}  // namespace qelvo
