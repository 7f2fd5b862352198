#include "manage/PicturePanel.h"

#include "manage/PanelRender.h"

#include <QPainter>

namespace qelvo {

PicturePanel::PicturePanel(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PicturePanel::setPicturePath(const std::string& path) {
    path_ = path;
    view_ = QImage();
    update();
}

void PicturePanel::redraw() {
    view_ = QImage();
    repaint();
}

void PicturePanel::showView(const QImage& view) {
    view_ = view;
    repaint();
}

const CxImage& PicturePanel::picture() {
    static const CxImage empty;
    const CxImage* image = pictures_.picture(path_);
    return image ? *image : empty;
}

const QImage& PicturePanel::fitted() {
    const CxImage& image = picture();
    if (fittedGeneration_ != pictures_.generation() || fittedSize_ != size()) {
        fitted_ = image.IsValid() ? panel_render::fit(image, size()) : QImage();
        fittedGeneration_ = pictures_.generation();
        fittedSize_ = size();
    }
    return fitted_;
}

QImage PicturePanel::shownImage() {
    if (!view_.isNull()) return view_;
    if (path_.empty()) return {};
    return fitted();
}

void PicturePanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QImage shown = shownImage();
    if (shown.isNull())
        painter.fillRect(rect(), Qt::black);
    else
        painter.drawImage(rect(), shown);
}

void PicturePanel::hideEvent(QHideEvent* event) {
    // Shown again (another mode and back), the panel draws its picture afresh.
    view_ = QImage();
    QWidget::hideEvent(event);
}

}  // namespace qelvo
