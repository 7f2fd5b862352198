#include "multiview/FocusSeriesTool.h"

#include "desktop/Dialogs.h"
#include "skin/SkinPalette.h"

#include <QBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>

#include <algorithm>

namespace qelvo {
namespace {

QFont narrow(int pixels, bool bold) {
    QFont font(QStringLiteral("Liberation Sans Narrow"));
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

// The panel over a frame of the skin, in that frame's own shading.
class SeriesPanel : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        QLinearGradient back(0, 0, 0, height());
        back.setColorAt(0, QColor(0x23, 0x28, 0x2f));
        back.setColorAt(1, QColor(0x18, 0x1b, 0x20));
        p.fillRect(rect(), back);
    }
};

}  // namespace

FocusSeriesSwitch::FocusSeriesSwitch(const FocusSeries& series, QWidget* parent)
    : QWidget(parent), series_(series) {
    setObjectName(QStringLiteral("focus series switch"));
    setToolTip(
        QStringLiteral("Focus series: every snapshot is kept, then fused into one "
                       "picture with extended depth of field"));
    setCursor(Qt::PointingHandCursor);
    connect(&series, &FocusSeries::changed, this, qOverload<>(&QWidget::update));
}

QString FocusSeriesSwitch::text() const {
    return series_.isOn() ? QStringLiteral("SERIES %1").arg(series_.taken())
                          : QStringLiteral("SERIES");
}

void FocusSeriesSwitch::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const bool lit = series_.isOn();
    p.setPen(QPen(QColor(hover_ ? palette::kAccent : palette::kLineLight), 1));
    p.setBrush(QColor(lit ? palette::kAccentDeep : palette::kWell));
    p.drawRoundedRect(box, 3, 3);
    // Three stacked layers before the word: the focal planes of the series.
    const QColor ink(lit ? palette::kText : palette::kTextDim);
    p.setPen(QPen(ink, 1.1));
    const double h = std::min(box.height() * 0.18, 3.0);
    const double left = box.left() + 6;
    const double mid = box.center().y();
    for (int k = -1; k <= 1; ++k) {
        const double y = mid + k * (h + 1.5);
        p.drawLine(QPointF(left + 2, y - h / 2), QPointF(left + 10, y - h / 2));
        p.drawLine(QPointF(left, y + h / 2), QPointF(left + 2, y - h / 2));
        p.drawLine(QPointF(left + 8, y + h / 2), QPointF(left + 10, y - h / 2));
        p.drawLine(QPointF(left, y + h / 2), QPointF(left + 8, y + h / 2));
    }
    p.setFont(narrow(std::clamp(static_cast<int>(box.height() * 0.6), 10, 12), true));
    p.drawText(box.adjusted(18, 0, -4, 0), Qt::AlignVCenter | Qt::AlignLeft, text());
}

void FocusSeriesSwitch::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) emit toggled();
}

void FocusSeriesSwitch::enterEvent(QEnterEvent*) {
    hover_ = true;
    update();
}

void FocusSeriesSwitch::leaveEvent(QEvent*) {
    hover_ = false;
    update();
}

FocusSeriesTool::FocusSeriesTool(QWidget* window, CombineRunner runner, QRect switchRect,
                                 QRect panelRect, FocusSeries::Writer writer)
    : QObject(window), window_(window), series_(std::move(writer)) {
    combiner_ = new CombineController(window, std::move(runner));
    switch_ = new FocusSeriesSwitch(series_, window);
    switch_->setGeometry(switchRect);
    switch_->show();

    panel_ = new SeriesPanel(window);
    panel_->setObjectName(QStringLiteral("focus series"));
    panel_->setGeometry(panelRect);
    count_ = new QLabel(panel_);
    count_->setStyleSheet(QStringLiteral("color: #e2e7ee;"));
    count_->setFont(narrow(12, false));
    count_->setWordWrap(true);
    fuse_ = new QPushButton(QStringLiteral("FUSE"), panel_);
    fuse_->setObjectName(QStringLiteral("fuse button"));
    fuse_->setToolTip(QStringLiteral("End the series and fuse its pictures"));
    fuse_->setFocusPolicy(Qt::NoFocus);
    fuse_->setCursor(Qt::PointingHandCursor);
    fuse_->setStyleSheet(QStringLiteral(
        "QPushButton { background: #080a0c; color: #e2e7ee; border: 1px solid #4a5360;"
        " border-radius: 3px; font: bold 11px 'Liberation Sans Narrow'; padding: 2px 10px; }"
        "QPushButton:hover { border-color: #34c6da; }"
        "QPushButton:disabled { color: #4d5662; }"));
    // A tall panel stacks the count over the button; a flat one puts them side by side.
    const bool tall = panelRect.height() >= 50;
    auto* layout = new QBoxLayout(tall ? QBoxLayout::TopToBottom : QBoxLayout::LeftToRight, panel_);
    layout->setContentsMargins(6, 4, 6, 4);
    layout->setSpacing(4);
    layout->addWidget(count_, 1);
    layout->addWidget(fuse_, 0, tall ? Qt::AlignRight : Qt::AlignVCenter);
    panel_->hide();

    connect(switch_, &FocusSeriesSwitch::toggled, this, [this] { setOn(!series_.isOn()); });
    connect(fuse_, &QPushButton::clicked, this, [this] { setOn(false); });
    connect(&series_, &FocusSeries::changed, this, &FocusSeriesTool::refresh);
    connect(&series_, &FocusSeries::ended, this, &FocusSeriesTool::onEnded);
    connect(combiner_, &CombineController::pictureReady, this,
            [this](const QString& path) { series_.readBack(path.toStdString()); });
    connect(&series_, &FocusSeries::pictureRead, this,
            [this](const QString& path, std::shared_ptr<const FrameRecord> frame, const QString&) {
                // A fused picture that cannot be shown is still in the day folder.
                if (frame) emit fusedPicture(std::move(frame), path);
            });
    refresh();
}

FocusSeriesTool::~FocusSeriesTool() {
    // The fusing stops before the series' thread goes (the window is closing).
    combiner_->cancelAndWait();
    // The switch shows the series, which goes with this object.
    delete switch_;
    delete panel_;
}

void FocusSeriesTool::setOn(bool on) {
    if (on == series_.isOn()) return;
    if (on)
        series_.start();
    else
        series_.stop();
}

void FocusSeriesTool::snapshot(std::shared_ptr<const FrameRecord> frame,
                               const SnapshotObjective& objective, const std::string& folder) {
    series_.add(std::move(frame), objective, folder);
}

void FocusSeriesTool::refresh() {
    panel_->setVisible(series_.isOn());
    if (series_.isOn()) panel_->raise();
    const int taken = series_.taken();
    QString text = taken == 0   ? QStringLiteral("Focus series: press SNAP at each focus.")
                   : taken == 1 ? QStringLiteral("Focus series: 1 picture.")
                                : QStringLiteral("Focus series: %1 pictures.").arg(taken);
    if (series_.failed() > 0)
        text += QStringLiteral(" %1 could not be written.").arg(series_.failed());
    count_->setText(text);
    fuse_->setEnabled(taken >= 2);
}

void FocusSeriesTool::onEnded(const QStringList& pictures) {
    if (pictures.size() < 2) return;
    const QString question =
        QStringLiteral(
            "Fuse the %1 pictures of the focus series into one picture with extended "
            "depth of field?")
            .arg(pictures.size());
    if (dialogs().message(window_, question,
                          CombineController::kindName(combine::CombineKind::FocusStack),
                          MessageButtons::YesNo) != MessageAnswer::Yes)
        return;
    std::vector<std::string> inputs;
    for (const QString& path : pictures) inputs.push_back(path.toStdString());
    combiner_->start(combine::CombineKind::FocusStack, std::move(inputs));
}

}  // namespace qelvo
