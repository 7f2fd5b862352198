#include "manage/ThumbnailButton.h"

#include "manage/PictureStrip.h"
#include "manage/ThumbnailCache.h"
#include "skin/SkinPalette.h"

#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QPainter>

namespace qelvo {

ThumbnailButton::ThumbnailButton(int index, ThumbnailCache& cache, QWidget* parent)
    : LiveTarget(parent), index_(index), cache_(cache) {
    // The window's background shows around the picture.
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    setCursor(Qt::PointingHandCursor);
}

void ThumbnailButton::setFile(const std::string& path, const std::string& name) {
    path_ = path;
    label_ = path.empty() ? std::string() : PictureStrip::label(name);
}

void ThumbnailButton::setSelected(bool selected) {
    if (selected == selected_) return;
    selected_ = selected;
    update();
}

void ThumbnailButton::redraw() {
    framesAtRedraw_ = submittedFrames();
    clearFrame();
    update();
}

QRect ThumbnailButton::pictureRect(const QSize& size) {
    QRect r = QRect(QPoint(0, 0), size).adjusted(1, 1, -1, -1);
    r.setBottom(r.bottom() - kPictureBottomRaise);
    return r;
}

QRect ThumbnailButton::labelRect(const QSize& size) {
    QRect r = QRect(QPoint(0, 0), size).adjusted(1, 1, -1, -1);
    r.setTop(r.bottom() + 1 - kLabelHeight);
    return r;
}

QFont ThumbnailButton::labelFont() {
    QFont font(QStringLiteral("Arial Narrow"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(10);
    font.setWeight(QFont::Normal);
    return font;
}

void ThumbnailButton::paintEvent(QPaintEvent* event) {
    if (submittedFrames() != framesAtRedraw_) {
        // A still frame was drawn into this clip since the strip was last redrawn.
        LiveTarget::paintEvent(event);
        return;
    }
    if (path_.empty()) return;
    QPainter painter(this);
    const QRect picture = pictureRect(size());
    const QImage image = cache_.scaled(path_, picture.size());
    if (!image.isNull()) painter.drawImage(picture.topLeft(), image);
    if (selected_) {
        // The skin's selection mark: an accent frame round the picture, a lit edge inside it.
        painter.setPen(QPen(QColor(palette::kAccent), 3));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(picture.adjusted(1, 1, -2, -2));
        painter.setPen(QPen(QColor(palette::kAccentDeep), 1));
        painter.drawRect(picture.adjusted(3, 3, -4, -4));
    }
    painter.setFont(labelFont());
    painter.setPen(kLabelColour);
    painter.drawText(labelRect(size()), Qt::AlignHCenter | Qt::AlignBottom | Qt::TextSingleLine,
                     QString::fromStdString(label_));
}

void ThumbnailButton::mousePressEvent(QMouseEvent* event) {
    pressed_ = event->button() == Qt::LeftButton;
}

void ThumbnailButton::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = pressed_ && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    pressed_ = false;
    if (click) emit clicked(index_, event->modifiers());
}

void ThumbnailButton::mouseDoubleClickEvent(QMouseEvent* event) {
    // A push button reports the second click of a double click as a double click.
    if (event->button() == Qt::LeftButton) emit doubleClicked(index_);
}

}  // namespace qelvo

namespace qelvo {

void ThumbnailButton::contextMenuEvent(QContextMenuEvent* event) {
    if (path_.empty()) return;
    emit menuRequested(index_, event->globalPos());
}

}  // namespace qelvo
