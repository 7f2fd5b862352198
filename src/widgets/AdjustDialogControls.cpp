#include "widgets/AdjustDialogControls.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

#include "imaging/CxImage.h"
#include "imaging/DrawScaled.h"
#include "imaging/ImageAdjustment.h"
#include "imaging/NearestSample.h"

namespace qelvo {

PictureWell::PictureWell(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PictureWell::setPicture(const CxImage* picture) {
    picture_ = picture;
    update();
}

void PictureWell::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(32, 34, 38));
    if (!picture_ || !picture_->IsValid()) return;
    if (picture_->Width() == width() && picture_->Height() == height()) {
        DrawScaled(*picture_, painter, rect());
        return;
    }
    // A picture of another size is sampled the same way the previews are made.
    CxImage sample;
    if (SampleNearest(*picture_, width(), height(), sample)) DrawScaled(sample, painter, rect());
}

LevelBars::LevelBars(Mode mode, const ImageAdjustment& adjustment, QWidget* parent)
    : QWidget(parent), mode_(mode), adjustment_(adjustment) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void LevelBars::setChannel(int channel) {
    channel_ = channel;
    update();
}

QColor LevelBars::barColour(int channel, int i) {
    switch (channel) {
        case 1:
            return QColor(i, 0, 0);
        case 2:
            return QColor(0, i, 0);
        case 3:
            return QColor(0, 0, i);
        default:
            return QColor(i, i, i);
    }
}

int LevelBars::barTop(long count, long largest, int top, int bottom) {
    if (largest <= 0 || count <= 0) return bottom;
    const long long height = bottom - top;
    const long long raised = static_cast<long long>(count) * height / largest;
    return static_cast<int>(std::max<long long>(top, bottom - raised));
}

void LevelBars::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // Deep blue stands apart from all four bar ramps (greys, reds, greens and blues), so
    // no bar vanishes into the background.
    painter.fillRect(rect(), QColor(24, 32, 64));
    const int left = 0, top = 0, bottom = height();
    const int w = width() / 256;
    const long* counts = adjustment_.Levels(static_cast<ImageAdjustment::Channel>(channel_));
    // The chart of every channel uses the whole height.
    const long largest = *std::max_element(counts, counts + 256);
    for (int i = 0; i < 256; ++i) {
        const int barTopY = mode_ == ColourIndex ? top : barTop(counts[i], largest, top, bottom);
        if (barTopY < bottom)
            painter.fillRect(QRect(left + i * w, barTopY, w, bottom - barTopY),
                             barColour(channel_, i));
    }
}

ReleaseSlider::ReleaseSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent) {}

void ReleaseSlider::mouseReleaseEvent(QMouseEvent* event) {
    QSlider::mouseReleaseEvent(event);
    if (onPointerReleased) onPointerReleased();
}

}  // namespace qelvo
