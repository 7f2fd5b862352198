#include "skin/HdButton.h"

#include <QMouseEvent>
#include <QPainter>

namespace qelvo {

HdButton::HdButton(const QString& caption, QWidget* parent) : QPushButton(caption, parent) {}

HdButton::Look HdButton::look() const {
    // First match wins.
    if (isDown()) return Look::Pressed;
    if (isCheckable() && isChecked()) return Look::Checked;
    if (hasFocus()) return Look::Focused;
    if (!isEnabled()) return Look::Disabled;
    return Look::Normal;
}

HdButton::Colours HdButton::colours(Look look) {
    switch (look) {
        case Look::Pressed:
            return {QColor(30, 30, 30), QColor(255, 255, 255)};
        case Look::Checked:
            return {QColor(255, 100, 100), QColor(30, 200, 200)};
        case Look::Focused:
            return {QColor(100, 255, 100), QColor(200, 30, 200)};
        case Look::Disabled:
            return {QColor(128, 128, 128), QColor(64, 64, 64)};
        case Look::Normal:
            break;
    }
    return {QColor(200, 200, 255), QColor(60, 60, 30)};
}

void HdButton::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QPushButton::mouseDoubleClickEvent(event);
        return;
    }
    // The second press of a double click is a double click, not a second click: SNAP must
    // not take two pictures, nor PLAY start and pause at once.
    event->accept();
    emit doubleClicked();
}

void HdButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const Colours c = colours(look());
    const QRect face = rect().adjusted(1, 1, -1, -1);
    painter.fillRect(face, c.fill);
    QFont font(QStringLiteral("Arial Narrow"));
    font.setPixelSize(18);
    font.setWeight(QFont::Normal);
    painter.setFont(font);
    painter.setPen(c.text);
    painter.drawText(face, Qt::AlignCenter | Qt::TextSingleLine, text());
}

}  // namespace qelvo
