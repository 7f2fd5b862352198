#include "manage/PictureView.h"

#include "manage/PanelRender.h"
#include "manage/PicturePanel.h"
#include "measureui/PictureMapping.h"

#include <QAbstractSlider>
#include <QScrollBar>

#include <algorithm>

namespace qelvo {

PictureView::PictureView(PicturePanel& panel, QScrollBar* verticalBar, QScrollBar* horizontalBar,
                         QObject* parent)
    : QObject(parent), panel_(panel), verticalBar_(verticalBar), horizontalBar_(horizontalBar) {
    for (QScrollBar* bar : {verticalBar_, horizontalBar_}) {
        if (!bar) continue;
        bar->setSingleStep(1);
        const Qt::Orientation orientation = bar->orientation();
        connect(bar, &QAbstractSlider::actionTriggered, this,
                [this, orientation](int action) { panBarAction(orientation, action); });
    }
}

bool PictureView::active() const {
    return imageMode_ && !panel_.picturePath().empty();
}

void PictureView::toggleLoupe() {
    magnifierOn_ = !magnifierOn_;
    if (!magnifierOn_) panel_.redraw();
}

void PictureView::fit() {
    if (!active()) return;
    if (panBarsShown_) hidePanBars();
    zoom_ = 1.0f;
    horizontalPan_ = verticalPan_ = 0;
    panel_.redraw();
}

void PictureView::zoomOut() {
    if (!active()) return;
    if (zoom_ > 1.0f) {
        zoom_ -= 0.2f;
    } else {
        zoom_ -= 0.1f;
        if (zoom_ < 0.1f) zoom_ = 0.1f;
    }
    if (panBarsShown_ && zoom_ <= 1.0f) hidePanBars();
    render(true);
}

void PictureView::zoomIn() {
    if (!active()) return;
    zoom_ += zoom_ < 1.0f ? 0.1f : 0.2f;
    if (zoom_ > 1.0f && !panBarsShown_) showPanBars();
    render(true);
}

void PictureView::showPanBars() {
    if (verticalBar_) {
        verticalBar_->setEnabled(true);
        verticalBar_->setGeometry(QRect(kVerticalBarPosition, kVerticalBarSize));
        verticalBar_->show();
    }
    if (horizontalBar_) {
        horizontalBar_->setEnabled(true);
        horizontalBar_->setGeometry(QRect(kHorizontalBarPosition, kHorizontalBarSize));
        horizontalBar_->show();
    }
    panBarsShown_ = true;
}

void PictureView::hidePanBars() {
    if (verticalBar_) verticalBar_->hide();
    if (horizontalBar_) horizontalBar_->hide();
    panBarsShown_ = false;
}

void PictureView::render(bool recentre) {
    const CxImage* picture = panel_.pictures().picture(panel_.picturePath(), true);
    if (!picture) return;  // unreadable now: the panel keeps what it shows
    if (zoom_ == 1.0f) {
        panel_.redraw();
        return;
    }
    // The zoomed size, each product truncated as the picture type's Resize takes it; a
    // picture smaller than a pixel at this zoom still shows as one.
    const int sw = std::max(1, static_cast<int>(static_cast<float>(picture->Width()) * zoom_));
    const int sh = std::max(1, static_cast<int>(static_cast<float>(picture->Height()) * zoom_));
    const QSize panel = panel_.size();
    if (zoom_ < 1.0f) {
        const QImage view = panel_render::centred(*picture, sw, sh, panel);
        if (!view.isNull()) panel_.showView(view);
        return;
    }
    if (recentre) {
        // A picture no larger than the panel in a direction has nothing to pan there: the
        // bar's range is empty and the crop starts at the picture's edge.
        const int rangeX = std::max(0, sw - panel.width());
        const int rangeY = std::max(0, sh - panel.height());
        if (horizontalBar_) {
            const QSignalBlocker quiet(horizontalBar_);
            horizontalBar_->setRange(0, rangeX);
            // The thumb shows how much of the picture the panel holds (page actions still
            // move one pixel, see panBarAction).
            horizontalBar_->setPageStep(panel.width());
            horizontalBar_->setValue(rangeX / 2);
        }
        if (verticalBar_) {
            const QSignalBlocker quiet(verticalBar_);
            verticalBar_->setRange(0, rangeY);
            verticalBar_->setPageStep(panel.height());
            verticalBar_->setValue(rangeY / 2);
        }
    }
    horizontalPan_ = horizontalBar_ ? horizontalBar_->value() : 0;
    verticalPan_ = verticalBar_ ? verticalBar_->value() : 0;
    const QImage view =
        panel_render::zoomedCrop(*picture, sw, sh, horizontalPan_, verticalPan_, panel);
    if (!view.isNull()) panel_.showView(view);
}

void PictureView::panBarAction(Qt::Orientation orientation, int action) {
    QScrollBar* bar = orientation == Qt::Vertical ? verticalBar_ : horizontalBar_;
    if (!bar) return;
    using A = QAbstractSlider::SliderAction;
    const int current = bar->value();
    int position;
    switch (action) {
        case A::SliderSingleStepSub:
        case A::SliderPageStepSub:
            position = std::max(bar->minimum(), current - 1);
            break;
        case A::SliderSingleStepAdd:
        case A::SliderPageStepAdd:
            position = std::min(bar->maximum(), current + 1);
            break;
        case A::SliderMove:
            position = bar->sliderPosition();
            break;
        case A::SliderToMinimum:
            position = bar->minimum();
            break;
        case A::SliderToMaximum:
            position = bar->maximum();
            break;
        default:
            return;
    }
    {
        const QSignalBlocker quiet(bar);
        bar->setValue(position);
    }
    // The bar applies its slider position once the action returns.
    bar->setSliderPosition(position);
    if (active() && zoom_ > 1.0f) render(false);
}

std::optional<PictureMapping> PictureView::mapping() const {
    if (panel_.picturePath().empty() || loupeDragging_) return std::nullopt;
    const CxImage* picture = panel_.pictures().picture(panel_.picturePath(), true);
    if (!picture || !picture->IsValid()) return std::nullopt;
    const double w = picture->Width(), h = picture->Height();
    const QSize panel = panel_.size();
    if (!panel_.showsView() || zoom_ == 1.0f)
        return PictureMapping::stretched(w, h, panel.width(), panel.height());
    // The zoomed size as render() takes it.
    const int sw = std::max(1, static_cast<int>(static_cast<float>(w) * zoom_));
    const int sh = std::max(1, static_cast<int>(static_cast<float>(h) * zoom_));
    PictureMapping m;
    if (zoom_ < 1.0f) {
        // Centred over the surround, as panel_render::centred places it.
        const int cw = panel.width(), ch = panel.height();
        const int left = (cw - sw) / 2, right = cw - (cw - sw) / 2;
        const int top = (ch - sh) / 2, bottom = ch - (ch - sh) / 2;
        m.scaleX = (right - left) / w;
        m.scaleY = (bottom - top) / h;
        m.offsetX = left;
        m.offsetY = top;
        return m;
    }
    // A panel-sized crop of the zoomed picture at the pans, stretched over the panel.
    const int cropWidth =
        std::max(1, std::min(sw, horizontalPan_ + panel.width()) - horizontalPan_);
    const int cropHeight = std::max(1, std::min(sh, verticalPan_ + panel.height()) - verticalPan_);
    const double stretchX = static_cast<double>(panel.width()) / cropWidth;
    const double stretchY = static_cast<double>(panel.height()) / cropHeight;
    m.scaleX = sw / w * stretchX;
    m.scaleY = sh / h * stretchY;
    m.offsetX = -horizontalPan_ * stretchX;
    m.offsetY = -verticalPan_ * stretchY;
    return m;
}

bool PictureView::pointerPressed(QPoint position, Qt::MouseButtons buttons,
                                 Qt::KeyboardModifiers modifiers) {
    if (buttons != Qt::LeftButton || (modifiers & (Qt::ShiftModifier | Qt::ControlModifier)))
        return false;
    return drawLoupe(position);
}

bool PictureView::pointerMoved(QPoint position, Qt::MouseButtons buttons,
                               Qt::KeyboardModifiers modifiers) {
    if (buttons != Qt::LeftButton || (modifiers & (Qt::ShiftModifier | Qt::ControlModifier)))
        return false;
    return drawLoupe(position);
}

bool PictureView::drawLoupe(QPoint position) {
    if (!imageMode_ || !magnifierOn_ || panel_.picturePath().empty()) return false;
    const QRect area = panel_.geometry();
    if (!area.contains(position)) return false;
    loupeDragging_ = true;
    const CxImage* picture = panel_.pictures().picture(panel_.picturePath(), true);
    if (!picture) return true;
    const panel_render::LoupeBand band = panel_render::loupeBand(position, area);
    const QImage view = panel_render::loupe(*picture, band, area.size());
    if (!view.isNull()) panel_.showView(view);
    return true;
}

void PictureView::leftButtonReleased() {
    loupeDragging_ = false;
    if (imageMode_ && magnifierOn_) panel_.redraw();
}

}  // namespace qelvo
