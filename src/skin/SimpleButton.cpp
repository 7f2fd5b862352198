#include "skin/SimpleButton.h"

#include "desktop/Dialogs.h"
#include "skin/SkinBitmaps.h"

#include <QCoreApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace qelvo {

SimpleButton::SimpleButton(QWidget* parent) : QAbstractButton(parent) {
    // Pointer moves are needed without a button held too: hover and the last position.
    setMouseTracking(true);
}

int SimpleButton::LoadSkin(int bitmapId, int frames) {
    if (bitmapId == bitmapId_) return 0;
    // A strip cannot be cut into fewer than one frame; refuse before touching anything.
    if (frames < 1) return 0;

    bitmapId_ = bitmapId;
    strip_ = QPixmap();
    const QPixmap strip = skinPixmap(bitmapId);
    if (strip.isNull()) {
        // The old strip is gone; draw nothing rather than a picture of another id.
        loaded_ = false;
        update();
        return 0;
    }
    strip_ = strip;
    frameWidth_ = strip_.width() / frames;
    frameHeight_ = strip_.height();

    // A Qt button always exists as a widget; "having its window" means it has been placed
    // into one.  A button without a parent would be a top-level window of its own.
    if (parentWidget()) {
        resize(frameWidth_, frameHeight_);
        raise();
    } else {
        dialogs().message(nullptr, QStringLiteral("create SimpleButton error"),
                          QStringLiteral("QELVO_TARNEL"), MessageButtons::Ok);
    }

    loaded_ = true;
    frames_ = frames;
    if (isVisible()) update();
    return 1;
}

int SimpleButton::currentFrame() const {
    switch (frames_) {
        case 2:
            return stateFlag_ ? 1 : 0;
        case 3:
            if (isDown()) return 1;
            return hover_ ? 2 : 0;
        default:
            return 0;
    }
}

void SimpleButton::setStateFlag(bool on) {
    stateFlag_ = on;
    update();
}

void SimpleButton::setOwnerDraw(std::function<void(QPainter&)> painter) {
    ownerDraw_ = std::move(painter);
    update();
}

void SimpleButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (ownerDraw_) {
        ownerDraw_(painter);
        return;
    }
    if (!loaded_ || strip_.isNull()) return;
    painter.drawPixmap(0, 0, strip_, currentFrame() * frameWidth_, 0, frameWidth_, frameHeight_);
}

void SimpleButton::startHover() {
    if (tracking_) return;
    tracking_ = true;
    hover_ = true;
    update();
}

void SimpleButton::enterEvent(QEnterEvent* event) {
    startHover();
    QAbstractButton::enterEvent(event);
}

void SimpleButton::leaveEvent(QEvent* event) {
    hover_ = false;
    tracking_ = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void SimpleButton::reportPointer(QMouseEvent* event) {
    const QPoint point = event->position().toPoint();
    const bool onlyLeft = event->buttons() == Qt::LeftButton &&
                          (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (pointerReport_ && onlyLeft && rect().contains(point)) {
        previousPos_ = lastPos_;
        const quint32 packed = (quint32(point.x()) << 16) | (quint32(point.y()) & 0xFFFF);
        if (QWidget* parent = parentWidget()) {
            PenStrokeEvent stroke(this, packed);
            QCoreApplication::sendEvent(parent, &stroke);
        }
    }
    lastPos_ = point;
}

void SimpleButton::mouseMoveEvent(QMouseEvent* event) {
    if (rect().contains(event->position().toPoint())) startHover();
    reportPointer(event);
    QAbstractButton::mouseMoveEvent(event);
}

void SimpleButton::mousePressEvent(QMouseEvent* event) {
    // A press not preceded by a move (touch, automation) must not leave a stale position
    // for the tab strip's segment choice or the first pen segment.
    lastPos_ = event->position().toPoint();
    if (pointerReport_ && event->button() == Qt::LeftButton) previousPos_ = QPoint(-1, -1);
    QAbstractButton::mousePressEvent(event);
}

void SimpleButton::mouseReleaseEvent(QMouseEvent* event) {
    if (pointerReport_ && event->button() == Qt::LeftButton) previousPos_ = QPoint(-1, -1);
    QAbstractButton::mouseReleaseEvent(event);
}

void SimpleButton::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QAbstractButton::mouseDoubleClickEvent(event);
        return;
    }
    // The second press of a double click is reported as a double click, not a second click.
    lastPos_ = event->position().toPoint();
    if (pointerReport_) previousPos_ = QPoint(-1, -1);
    event->accept();
    emit doubleClicked();
}

void SimpleButton::keyPressEvent(QKeyEvent* event) {
    // Characters typed at the button go nowhere; keys without a character (Escape, Enter,
    // Tab, arrows) and the space bar that presses the button keep their usual handling.
    const QString text = event->text();
    const bool commandKey =
        event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    if (event->key() != Qt::Key_Space && !commandKey && !text.isEmpty() && text.at(0).isPrint()) {
        event->accept();
        return;
    }
    QAbstractButton::keyPressEvent(event);
}

void SimpleButton::inputMethodEvent(QInputMethodEvent* event) {
    event->accept();
}

}  // namespace qelvo
