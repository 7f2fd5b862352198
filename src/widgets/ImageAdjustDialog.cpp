#include "widgets/ImageAdjustDialog.h"

#include <QApplication>
#include <QComboBox>
#include <QFontDatabase>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>

#include <algorithm>

#include "desktop/Dialogs.h"
#include "skin/ControlIdentity.h"
#include "widgets/AdjustDialogControls.h"

namespace qelvo {
namespace {

// The template's font (10-point system font) makes a dialog unit two pixels each way.
constexpr int kPixelsPerUnit = 2;
// The template's client area: the controls' extent plus the 7-unit margin.
constexpr int kTemplateWidth = 285;
constexpr int kTemplateHeight = 310;

const char* const kChannels[] = {"MASTER (Y-COLOR)", "RED    (R-COLOR)", "GREEN  (G-COLOR)",
                                 "BLUE   (B-COLOR)"};

template <typename Control>
Control* place(Control* control, int id, const char* caption, const QRect& rect) {
    setControlIdentity(control, id, QString::fromLatin1(caption));
    control->setGeometry(rect);
    return control;
}

}  // namespace

QRect ImageAdjustDialog::fromDialogUnits(int x, int y, int width, int height) {
    return QRect(x * kPixelsPerUnit, y * kPixelsPerUnit, width * kPixelsPerUnit,
                 height * kPixelsPerUnit);
}

ImageAdjustDialog::ImageAdjustDialog(const Request& request, QWidget* parent)
    : QDialog(parent),
      request_(request),
      adjustment_(request.kind, request.minimum, request.maximum) {
    setWindowTitle(request.title);
    const bool histogram = request.kind == ImageAdjustment::Histogram;

    ok_ = place(new QPushButton(QStringLiteral("OK"), this), kOkId, "OK",
                fromDialogUnits(228, 7, 50, 14));
    ok_->setDefault(true);
    cancel_ = place(new QPushButton(QStringLiteral("Cancel"), this), kCancelId, "Cancel",
                    fromDialogUnits(228, 24, 50, 14));
    cancel_->setAutoDefault(false);
    slider_ =
        place(new ReleaseSlider(this), kSliderId, "value slider", fromDialogUnits(54, 13, 169, 23));
    valueBox_ = place(new QLineEdit(this), kValueBoxId, "value", fromDialogUnits(7, 13, 36, 12));
    // Only signed whole numbers can be typed (at most ten digits).
    valueBox_->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("-?\\d{0,10}")), this));
    original_ =
        place(new PictureWell(this), kOriginalId, "Org Image", fromDialogUnits(7, 44, 131, 106));
    adjusted_ = place(new PictureWell(this), kAdjustedId, "After Image",
                      fromDialogUnits(147, 44, 131, 106));
    channelBox_ =
        place(new QComboBox(this), kChannelId, "channel", fromDialogUnits(7, 155, 131, 50));
    histogram_ = place(new LevelBars(LevelBars::HistogramBars, adjustment_, this), kHistogramId,
                       "Histogram", fromDialogUnits(7, 170, 271, 121));
    colourIndex_ = place(new LevelBars(LevelBars::ColourIndex, adjustment_, this), kColourIndexId,
                         "COLOR INDEX", fromDialogUnits(7, 293, 271, 10));

    // The drop-down's height in the template includes its list; the box itself is one line.
    channelBox_->setFixedHeight(channelBox_->sizeHint().height());
    // A fixed-pitch font lines up the channel names' spaced-out columns.
    // (As a style sheet, so that it holds under the style sheet of the window that opens
    // the dialog.)
    channelBox_->setStyleSheet(
        QStringLiteral("QComboBox { font-family: '%1'; }")
            .arg(QFontDatabase::systemFont(QFontDatabase::FixedFont).family()));

    // Slider: 0 .. 2 x maximum, so value = position - maximum; ticks every 10 (20 is one).
    slider_->setRange(0, 2 * request.maximum);
    slider_->setTickPosition(QSlider::TicksBelow);
    slider_->setTickInterval(10);
    slider_->setPageStep(std::max(1, 2 * request.maximum / 5));
    slider_->setValue(request.maximum);

    QSize client = fromDialogUnits(0, 0, kTemplateWidth, kTemplateHeight).size();
    if (histogram) {
        for (const char* name : kChannels) channelBox_->addItem(QString::fromLatin1(name));
        channelBox_->setCurrentIndex(0);
    } else {
        client.setHeight(fromDialogUnits(0, 0, 0, kShortTemplateHeight).height());
        for (QWidget* control :
             {static_cast<QWidget*>(channelBox_), static_cast<QWidget*>(histogram_),
              static_cast<QWidget*>(colourIndex_)}) {
            control->setEnabled(false);
            control->hide();
        }
    }
    setFixedSize(client);

    if (!request.path.empty()) adjustment_.Load(request.path);
    adjustment_.SetPreviewSize(adjusted_->width(), adjusted_->height());
    original_->setPicture(&adjustment_.OriginalPreview());
    adjusted_->setPicture(&adjustment_.AdjustedPreview());

    slider_->onPointerReleased = [this] { sliderStep(); };
    connect(valueBox_, &QLineEdit::textChanged, this, [this] {
        if (!writing_) valueBoxStep();
    });
    connect(channelBox_, &QComboBox::currentIndexChanged, this, [this](int index) {
        histogram_->setChannel(index);
        colourIndex_->setChannel(index);
        redraw();
    });
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
    connect(ok_, &QPushButton::clicked, this, &ImageAdjustDialog::accept);

    // The adjustment at the initial value shows from the start.
    value_ = request.initialValue;
    writeValueBox(value_);
    valueBoxStep();
}

ImageAdjustDialog::~ImageAdjustDialog() = default;

ImageAdjustment::Channel ImageAdjustDialog::channel() const {
    const int index = channelBox_->currentIndex();
    return static_cast<ImageAdjustment::Channel>(index < 0 ? 0 : index);
}

void ImageAdjustDialog::writeValueBox(int value) {
    writing_ = true;
    valueBox_->setText(QString::number(value));
    writing_ = false;
}

void ImageAdjustDialog::sliderStep() {
    value_ = slider_->value() - request_.maximum;
    adjustment_.Apply(value_, channel());
    writeValueBox(value_);
    redraw();
}

void ImageAdjustDialog::valueBoxStep() {
    bool ok = false;
    const int typed = valueBox_->text().toInt(&ok);
    // Text that is not a whole number in range of int (a lone minus sign, nothing, a huge
    // number) keeps the previous value.
    if (!ok) return;
    value_ = typed;
    writing_ = true;
    slider_->setValue(
        static_cast<int>(std::clamp<long long>(static_cast<long long>(value_) + request_.maximum,
                                               slider_->minimum(), slider_->maximum())));
    writing_ = false;
    adjustment_.Apply(value_, channel());
    redraw();
}

void ImageAdjustDialog::redraw() {
    original_->setPicture(&adjustment_.OriginalPreview());
    adjusted_->setPicture(&adjustment_.AdjustedPreview());
    histogram_->update();
    colourIndex_->update();
    update();
}

void ImageAdjustDialog::accept() {
    if (!request_.path.empty()) {
        const QString path = QString::fromStdString(request_.path);
        const MessageAnswer answer =
            dialogs().message(this, QStringLiteral("Do you want to save this file? - %1").arg(path),
                              QString(), MessageButtons::YesNo);
        if (answer == MessageAnswer::Yes) {
            std::string reason;
            QApplication::setOverrideCursor(Qt::WaitCursor);
            const bool saved = adjustment_.Save(request_.path, reason);
            QApplication::restoreOverrideCursor();
            if (!saved)
                dialogs().message(this,
                                  QStringLiteral("The picture was not saved:\n\n%1\n\n%2")
                                      .arg(path, QString::fromStdString(reason)),
                                  QString(), MessageButtons::Ok);
        }
    }
    QDialog::accept();
}

}  // namespace qelvo
