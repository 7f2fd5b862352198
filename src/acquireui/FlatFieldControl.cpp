#include "acquireui/FlatFieldControl.h"

#include "acquireui/FlatFieldController.h"
#include "skin/SkinPalette.h"

#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace qelvo {

using Kind = acquire::FlatFieldStore::Kind;

FlatFieldControl::FlatFieldControl(FlatFieldController& controller, QWidget* parent)
    : QWidget(parent), controller_(controller) {
    setObjectName(QStringLiteral("flat-field control"));
    setToolTip(
        QStringLiteral("Flat-field correction: references per objective, on or off for "
                       "this device"));
    setCursor(Qt::PointingHandCursor);
    connect(&controller_, &FlatFieldController::changed, this, [this] { update(); });
}

QMenu* FlatFieldControl::buildMenu() {
    auto* menu = new QMenu(this);
    menu->setStyleSheet(palette::controlStyleSheet());
    const QString objective = QString::fromStdString(controller_.objective());
    menu->addSection(objective.isEmpty() ? QStringLiteral("Flat-field")
                                         : QStringLiteral("Flat-field \u2014 %1").arg(objective));
    const bool idle = !controller_.busy();
    QAction* on = menu->addAction(QStringLiteral("Flat-field correction"));
    on->setObjectName(QStringLiteral("flat-field on"));
    on->setCheckable(true);
    on->setChecked(controller_.enabled());
    on->setEnabled(idle && (controller_.hasFlat() || controller_.enabled()));
    connect(on, &QAction::toggled, this, [this](bool checked) { controller_.setEnabled(checked); });
    menu->addSeparator();
    const int frames = FlatFieldController::kReferenceFrames;
    QAction* flat = menu->addAction(
        QStringLiteral("Take flat (%1 frames of an empty, evenly lit field)").arg(frames));
    flat->setObjectName(QStringLiteral("take flat"));
    flat->setEnabled(idle);
    connect(flat, &QAction::triggered, this, [this] { controller_.take(Kind::Flat); });
    QAction* dark =
        menu->addAction(QStringLiteral("Take dark (%1 frames with the light off)").arg(frames));
    dark->setObjectName(QStringLiteral("take dark"));
    dark->setEnabled(idle);
    connect(dark, &QAction::triggered, this, [this] { controller_.take(Kind::Dark); });
    QAction* clear =
        menu->addAction(controller_.hasDark() && controller_.hasFlat()
                            ? QStringLiteral("Clear references (flat and dark)")
                        : controller_.hasDark() ? QStringLiteral("Clear references (dark)")
                                                : QStringLiteral("Clear references"));
    clear->setObjectName(QStringLiteral("clear references"));
    clear->setEnabled(idle);
    connect(clear, &QAction::triggered, this, [this] { controller_.clear(); });
    return menu;
}

void FlatFieldControl::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    p.setPen(QPen(QColor(hover_ ? palette::kAccent : palette::kLineLight), 1));
    p.setBrush(QColor(palette::kWell));
    p.drawRoundedRect(box, 3, 3);
    // The mark at the left lights while the live picture is corrected.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(controller_.correcting() ? palette::kAccent : palette::kLineLight));
    p.drawRect(QRectF(box.left() + 4, box.top() + 5, 3, box.height() - 10));
    QFont small(QStringLiteral("Liberation Sans Narrow"));
    small.setPixelSize(10);
    small.setBold(true);
    QFont big(QStringLiteral("Liberation Sans Narrow"));
    big.setPixelSize(13);
    big.setBold(true);
    const QRectF inner = box.adjusted(11, 0, -14, 0);
    p.setFont(small);
    p.setPen(QColor(palette::kTextDim));
    p.drawText(inner, Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("FLAT"));
    p.setFont(big);
    p.setPen(QColor(controller_.correcting() ? palette::kText : palette::kTextDim));
    p.drawText(inner, Qt::AlignVCenter | Qt::AlignRight, controller_.stateText());
    const QPointF a(box.right() - 7, box.center().y() + 2);
    QPainterPath arrow;
    arrow.moveTo(a + QPointF(-3, -3));
    arrow.lineTo(a + QPointF(3, -3));
    arrow.lineTo(a + QPointF(0, 1));
    arrow.closeSubpath();
    p.fillPath(arrow, QColor(hover_ ? palette::kAccent : palette::kTextDim));
}

void FlatFieldControl::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    QMenu* menu = buildMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(mapToGlobal(QPoint(0, height())));
}

void FlatFieldControl::enterEvent(QEnterEvent*) {
    hover_ = true;
    update();
}

void FlatFieldControl::leaveEvent(QEvent*) {
    hover_ = false;
    update();
}

}  // namespace qelvo
