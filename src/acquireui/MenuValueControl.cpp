#include "acquireui/MenuValueControl.h"

#include "skin/SkinPalette.h"

#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace qelvo {

MenuValueControl::MenuValueControl(QString label, QWidget* parent)
    : QWidget(parent), label_(std::move(label)) {
    setCursor(Qt::PointingHandCursor);
}

void MenuValueControl::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    p.setPen(QPen(QColor(hover_ ? palette::kAccent : palette::kLineLight), 1));
    p.setBrush(QColor(palette::kWell));
    p.drawRoundedRect(box, 3, 3);
    const bool on = lit();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(on ? palette::kAccent : palette::kLineLight));
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
    p.drawText(inner, Qt::AlignVCenter | Qt::AlignLeft, label_);
    p.setFont(big);
    p.setPen(QColor(on ? palette::kText : palette::kTextDim));
    p.drawText(inner, Qt::AlignVCenter | Qt::AlignRight, valueText());
    const QPointF a(box.right() - 7, box.center().y() + 2);
    QPainterPath arrow;
    arrow.moveTo(a + QPointF(-3, -3));
    arrow.lineTo(a + QPointF(3, -3));
    arrow.lineTo(a + QPointF(0, 1));
    arrow.closeSubpath();
    p.fillPath(arrow, QColor(hover_ ? palette::kAccent : palette::kTextDim));
}

void MenuValueControl::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    QMenu* menu = buildMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(mapToGlobal(QPoint(0, height())));
}

void MenuValueControl::enterEvent(QEnterEvent*) {
    hover_ = true;
    update();
}

void MenuValueControl::leaveEvent(QEvent*) {
    hover_ = false;
    update();
}

}  // namespace qelvo
