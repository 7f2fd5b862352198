#include "widgets/ClipViewerPopup.h"

#include "desktop/LiveTarget.h"
#include "desktop/Screens.h"
#include "imaging/CxImage.h"
#include "imaging/DrawScaled.h"
#include "skin/ControlIdentity.h"
#include "skin/SimpleButton.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

namespace qelvo {
namespace {

// The three controls' places before the popup lays them out (template dialog units of a
// 10-point system font, two pixels each way).
constexpr QRect kInsetTemplate{14, 14, 106, 98};
constexpr QRect kExitTemplate{124, 14, 106, 98};
constexpr QRect kSaveTemplate{234, 14, 106, 98};

SimpleButton* makeButton(QWidget* parent, int id, const char* caption, const QRect& rect) {
    auto* button = new SimpleButton(parent);
    setControlIdentity(button, id, QString::fromLatin1(caption));
    button->setGeometry(rect);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

}  // namespace

ClipViewerPopup::ClipViewerPopup(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      owner_(owner) {
    setWindowTitle(QStringLiteral("Clip Viewer"));
    setObjectName(QStringLiteral("204"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);

    surface_ = new LiveTarget(this);
    surface_->setAccessibleName(QStringLiteral("full screen picture"));
    // Clicks on the live picture belong to the popup (double click closes it).
    surface_->setAttribute(Qt::WA_TransparentForMouseEvents);
    surface_->hide();

    insetButton_ = makeButton(this, kInsetId, "Live Clip", kInsetTemplate);
    exitButton_ = makeButton(this, kExitId, "Exit", kExitTemplate);
    saveButton_ = makeButton(this, kSaveId, "Save Jpg", kSaveTemplate);
    connect(exitButton_, &SimpleButton::clicked, this, &ClipViewerPopup::exitClicked);
    connect(saveButton_, &SimpleButton::clicked, this, &ClipViewerPopup::saveClicked);
}

ClipViewerPopup::~ClipViewerPopup() = default;

void ClipViewerPopup::setFrameCopy(std::vector<std::uint8_t> bytes, int width, int height,
                                   int bitsPerPixel) {
    frame_ = std::move(bytes);
    frameWidth_ = width;
    frameHeight_ = height;
    frameBits_ = bitsPerPixel;
}

int ClipViewerPopup::chooseMonitor(const std::vector<QRect>& devices, const QPoint& corner) {
    int chosen = 0;
    for (int i = 0; i < static_cast<int>(devices.size()); ++i)
        if (devices[i].contains(corner)) chosen = i;
    return chosen;
}

void ClipViewerPopup::placeOnMonitor() {
    const std::vector<QRect> devices = displayDevices();
    // The popup first appears at its owner's client origin; the monitor holding that point
    // is the one covered.
    const QPoint corner = owner_ ? owner_->mapToGlobal(QPoint(0, 0)) : QPoint(0, 0);
    monitor_ = devices.empty() ? QRect(0, 0, 1024, 768) : devices[chooseMonitor(devices, corner)];
    setGeometry(monitor_);
    layOut();
}

void ClipViewerPopup::layOut() {
    const int w = width(), h = height();
    surface_->setGeometry(0, 0, w, h);
    surface_->setVisible(notifyParent_ && !movieStyle_);
    surface_->lower();
    if (movieStyle_) {
        exitButton_->LoadSkin(144, 1);
        exitButton_->setGeometry(w - 35, h - 32, 29, 27);
        exitButton_->show();
        exitButton_->raise();
        return;
    }
    exitButton_->LoadSkin(144, 1);
    exitButton_->setGeometry(w - 50, 20, 29, 27);
    saveButton_->LoadSkin(147, 3);
    saveButton_->setGeometry(w - 70, 55, 49, 34);
    insetButton_->setGeometry(w - 180, 100, 160, 120);
    insetButton_->setVisible(notifyParent_ && inset_);
    exitButton_->raise();
    saveButton_->raise();
}

void ClipViewerPopup::open() {
    ownerTold_ = closing_ = false;
    placeOnMonitor();
    show();
    raise();
    activateWindow();
}

int ClipViewerPopup::runModal() {
    ownerTold_ = closing_ = false;
    placeOnMonitor();
    return exec();
}

void ClipViewerPopup::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    layOut();
}

void ClipViewerPopup::tellOwner(QEvent::Type type) {
    if (!owner_) return;
    QEvent message(type);
    QCoreApplication::sendEvent(owner_, &message);
}

void ClipViewerPopup::tellOwnerClosed() {
    if (!notifyParent_ || ownerTold_) return;
    ownerTold_ = true;
    tellOwner(kFullScreenClosedMessage);
}

void ClipViewerPopup::exitClicked() {
    if (closing_) return;  // a movie popup already on its way out
    tellOwnerClosed();
    if (movieStyle_) {
        // The movie's picture has just gone back to the owner's panel; give it a moment
        // to settle before the popup is gone.
        closing_ = true;
        hide();
        QTimer::singleShot(kMovieCloseDelayMs, this, [this] { done(QDialog::Rejected); });
        return;
    }
    done(QDialog::Rejected);
}

void ClipViewerPopup::done(int result) {
    tellOwnerClosed();
    closing_ = true;
    QDialog::done(result);
}

void ClipViewerPopup::closeEvent(QCloseEvent* event) {
    if (notifyParent_ && movieStyle_ && !closing_) {
        event->ignore();
        exitClicked();
        return;
    }
    tellOwnerClosed();
    QDialog::closeEvent(event);
}

void ClipViewerPopup::saveClicked() {
    tellOwner(kPopupSaveMessage);
}

void ClipViewerPopup::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    done(QDialog::Rejected);
}

void ClipViewerPopup::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        exitClicked();
        return;
    }
    QDialog::keyPressEvent(event);
}

void ClipViewerPopup::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (notifyParent_) {
        // Live mode: the picture comes from outside; only the area nobody draws is filled.
        painter.fillRect(rect(), Qt::black);
        return;
    }
    if (!frame_.empty()) {
        CxImage image;
        const int rowBytes = ((frameWidth_ * frameBits_ + 31) / 32) * 4;
        const std::size_t needed = std::size_t(rowBytes) * std::size_t(std::max(frameHeight_, 0));
        if (frameWidth_ > 0 && frameHeight_ > 0 && frame_.size() >= needed &&
            image.CreateFromPixels(frame_.data(), frameWidth_, frameHeight_, frameBits_, rowBytes,
                                   false)) {
            DrawScaled(image, painter, rect());
            return;
        }
    } else if (picture_ && picture_->IsValid()) {
        DrawScaled(*picture_, painter, rect());
        return;
    }
    painter.fillRect(rect(), Qt::black);
}

}  // namespace qelvo
