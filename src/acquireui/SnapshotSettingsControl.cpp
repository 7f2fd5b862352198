#include "acquireui/SnapshotSettingsControl.h"

#include "skin/SkinPalette.h"

#include <QActionGroup>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace qelvo {
namespace {

QString formatName(PictureFormat format) {
    switch (format) {
        case PictureFormat::Png:
            return QStringLiteral("PNG");
        case PictureFormat::Tiff:
            return QStringLiteral("TIFF");
        default:
            return QStringLiteral("JPG");
    }
}

}  // namespace

SnapshotSettingsControl::SnapshotSettingsControl(Access access, QWidget* parent)
    : QWidget(parent), access_(std::move(access)) {
    setObjectName(QStringLiteral("snapshot settings"));
    setToolTip(QStringLiteral("Snapshot format and frames averaged (kept for this device)"));
    setCursor(Qt::PointingHandCursor);
}

QString SnapshotSettingsControl::text() const {
    const int average = access_.average ? access_.average() : 1;
    QString text = formatName(access_.format ? access_.format() : PictureFormat::Jpeg);
    if (average > 1) text += QStringLiteral(" \u00d7%1").arg(average);
    return text;
}

QMenu* SnapshotSettingsControl::buildMenu() {
    auto* menu = new QMenu(this);
    menu->setStyleSheet(palette::controlStyleSheet());
    menu->addSection(QStringLiteral("Snapshot format"));
    auto* formats = new QActionGroup(menu);
    const PictureFormat current = access_.format ? access_.format() : PictureFormat::Jpeg;
    const std::pair<PictureFormat, const char*> kinds[] = {
        {PictureFormat::Jpeg, "JPEG (smallest files)"},
        {PictureFormat::Png, "PNG (lossless)"},
        {PictureFormat::Tiff, "TIFF (lossless, opens calibrated in ImageJ)"}};
    for (const auto& [format, name] : kinds) {
        QAction* action = menu->addAction(QString::fromLatin1(name));
        action->setCheckable(true);
        action->setChecked(format == current);
        formats->addAction(action);
        connect(action, &QAction::triggered, this, [this, format = format] {
            if (access_.setFormat) access_.setFormat(format);
            update();
        });
    }
    menu->addSection(QStringLiteral("Frames averaged"));
    auto* averages = new QActionGroup(menu);
    const int average = access_.average ? access_.average() : 1;
    for (int n : kAverages) {
        QAction* action = menu->addAction(n == 1 ? QStringLiteral("1 frame (no averaging)")
                                                 : QStringLiteral("%1 frames").arg(n));
        action->setCheckable(true);
        action->setChecked(n == average);
        averages->addAction(action);
        connect(action, &QAction::triggered, this, [this, n] {
            if (access_.setAverage) access_.setAverage(n);
            update();
        });
    }
    return menu;
}

void SnapshotSettingsControl::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    p.setPen(QPen(QColor(hover_ ? palette::kAccent : palette::kLineLight), 1));
    p.setBrush(QColor(palette::kWell));
    p.drawRoundedRect(box, 3, 3);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(palette::kAccent));
    p.drawRect(QRectF(box.left() + 4, box.top() + 5, 3, box.height() - 10));
    QFont small(QStringLiteral("Liberation Sans Narrow"));
    small.setPixelSize(10);
    small.setBold(true);
    QFont big(QStringLiteral("Liberation Sans Narrow"));
    big.setPixelSize(13);
    big.setBold(true);
    p.setFont(small);
    p.setPen(QColor(palette::kTextDim));
    const QRectF inner = box.adjusted(11, 0, -14, 0);
    p.drawText(inner, Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("SAVE AS"));
    p.setFont(big);
    p.setPen(QColor(palette::kText));
    p.drawText(inner, Qt::AlignVCenter | Qt::AlignRight, text());
    const QPointF a(box.right() - 7, box.center().y() + 2);
    QPainterPath arrow;
    arrow.moveTo(a + QPointF(-3, -3));
    arrow.lineTo(a + QPointF(3, -3));
    arrow.lineTo(a + QPointF(0, 1));
    arrow.closeSubpath();
    p.fillPath(arrow, QColor(hover_ ? palette::kAccent : palette::kTextDim));
}

void SnapshotSettingsControl::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    QMenu* menu = buildMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(mapToGlobal(QPoint(0, height())));
}

void SnapshotSettingsControl::enterEvent(QEnterEvent*) {
    hover_ = true;
    update();
}

void SnapshotSettingsControl::leaveEvent(QEvent*) {
    hover_ = false;
    update();
}

}  // namespace qelvo
