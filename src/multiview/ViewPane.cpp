#include "multiview/ViewPane.h"

#include "desktop/LiveTarget.h"

#include <QPainter>

namespace qelvo {

ViewPane::ViewPane(QWidget* parent) : SimpleButton(parent), surface_(new LiveTarget(this)) {
    surface_->setAttribute(Qt::WA_TransparentForMouseEvents);
    QPalette black = surface_->palette();
    black.setColor(QPalette::Window, Qt::black);
    surface_->setPalette(black);
    setFocusPolicy(Qt::NoFocus);
    setOwnerDraw([this](QPainter& painter) {
        if (picture_.isNull())
            painter.fillRect(rect(), Qt::black);
        else
            painter.drawImage(0, 0, picture_);
    });
}

void ViewPane::showPicture(QImage picture) {
    picture_ = std::move(picture);
    if (picture_.isNull()) {
        showLive();
        return;
    }
    surface_->hide();
    update();
}

void ViewPane::showLive() {
    surface_->show();
}

bool ViewPane::showsLive() const {
    return surface_->isVisibleTo(this);
}

void ViewPane::resizeEvent(QResizeEvent* event) {
    SimpleButton::resizeEvent(event);
    surface_->setGeometry(rect());
}

}  // namespace qelvo
