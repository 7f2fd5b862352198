#include "multiview/MultiViewWindow.h"

#include "acquireui/FlatFieldControl.h"
#include "acquireui/FlatFieldController.h"
#include "acquireui/WindowFocusAids.h"
#include "capture/CaptureSession.h"
#include "capture/FrameWatchdog.h"
#include "capture/SnapshotSettings.h"
#include "desktop/Dialogs.h"
#include "desktop/LiveTarget.h"
#include "desktop/Screens.h"
#include "measureui/ActiveObjectives.h"
#include "measureui/MeasurementPanel.h"
#include "measureui/SkinCaption.h"
#include "measureui/WindowMeasuring.h"
#include "multiview/FocusSeriesTool.h"
#include "multiview/PaneMeasuring.h"
#include "multiview/PrintReport.h"
#include "multiview/ViewCycle.h"
#include "multiview/ViewPane.h"
#include "skin/ControlIdentity.h"
#include "skin/HdButton.h"
#include "skin/SimpleButton.h"
#include "skin/SkinBitmaps.h"
#include "skin/SkinTable.h"
#include "skin/SkinnedControls.h"
#include "system/Clock.h"
#include "system/SessionState.h"
#include "widgets/ClipViewerPopup.h"
#include "widgets/DeviceSettingsDialog.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <QWindow>

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace qelvo {
namespace {

constexpr int kPaneIds[4] = {1015, 1016, 1017, 1018};

const WindowSkin& skinOf(bool hd, int layout) {
    return hd ? multiViewHdSkin(layout) : multiViewSkin(layout);
}

int backgroundIndex(int layout) {
    return layout == 4 ? 2 : layout == 2 ? 1 : 0;
}

// The HD window's rectangle: 1200 x 590 centred on the first display.
QRect hdWindowRect() {
    const std::vector<QRect> displays = displayDevices();
    const QRect display = displays.empty() ? QRect(0, 0, 1024, 768) : displays.front();
    return {display.x() + (display.width() - 1200) / 2, display.y() + (display.height() - 590) / 2,
            1200, 590};
}

// The objective control with its overlay switches: below the layout buttons, or below the
// HD window's column of buttons.
constexpr QRect kObjectiveControl{845, 662, 146, 64};
constexpr QRect kObjectiveControlHd{1020, 520, 170, 60};
// The focus aids: over the pen's notes, their switch at the right of that frame's title; the
// HD window's in the free wells of its column of buttons (switch in the first).
constexpr QRect kFocusAids{813, 162, 186, 96};
constexpr QRect kFocusSwitch{936, 144, 62, 16};
constexpr QRect kFocusAidsHd{1020, 258, 170, 58};
constexpr QRect kFocusSwitchHd{1020, 230, 170, 25};
constexpr QRect kFocusTitle{819, 141, 60, 20};
// The focus series: its switch at the right of the SNAPSHOT frame's title, its count and FUSE
// over that frame's notes while it is on; the HD window's in the free wells between CONFIG
// and the objective control.
constexpr QRect kSeriesSwitch{922, 377, 76, 17};
constexpr QRect kSeriesPanel{843, 399, 153, 71};
constexpr QRect kSeriesSwitchHd{1020, 452, 84, 25};
constexpr QRect kSeriesPanelHd{1020, 480, 170, 34};
// Flat-field correction: at the right of the capture frame's title; the HD window's below
// its column of buttons, beside the focus series switch.
constexpr QRect kFlatFieldControl{904, 273, 94, 17};
constexpr QRect kFlatFieldControlHd{1106, 452, 84, 25};

// Today's folder under the storage folder; created when missing (an existing one is fine).
void enterDayFolder() {
    const LocalTime now = clock().localNow();
    char day[16];
    std::snprintf(day, sizeof day, "/%04d%02d%02d", now.year, now.month, now.day);
    const std::string folder = storageFolder() + day;
    setStorageFolder(folder);
    (void)::mkdir(folder.c_str(), 0777);
}

}  // namespace

MultiViewWindow::MultiViewWindow(QWidget* launcher, bool hd)
    : QDialog(launcher, Qt::Dialog | Qt::FramelessWindowHint), hd_(hd) {
    setWindowTitle(QStringLiteral("Image View"));
    setAccessibleName(windowTitle());
    setObjectName(hd ? QStringLiteral("210") : QStringLiteral("133"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    alarmClear_.setSingleShot(true);
    connect(&alarmClear_, &QTimer::timeout, this, [this] {
        // Whichever of the two watches ends last decides, as their deadlines would: a live
        // frame drawn after the snapshot was served re-armed the no-frame watch after this
        // one, so a silence it has already reported stands.
        if (!session_->noLiveFramesSince(session_->lastSnapshotServedNs())) setAlarm(false);
    });

    enterDayFolder();
    if (hd) {
        backgrounds_[0] = skinPixmap(multiViewHdSkin(1).backgroundId);
        backgroundSource_ = multiViewHdSkin(1).size;
    } else {
        for (int layout : {1, 2, 4})
            backgrounds_[backgroundIndex(layout)] = skinPixmap(multiViewSkin(layout).backgroundId);
        backgroundSource_ = multiViewSkin(1).size;
    }
    makePanes();
    if (hd)
        buildHd();
    else
        buildStandard(launcher);
    connectCommands();
    if (!hd) buildMeasuring();

    // Snapshots are handed over as frames and frozen into the panes; the device's still
    // output (its button) is drawn nowhere visible, into pane 4's surface, and a device whose
    // button is read from its driver keys has no still chain.
    CaptureOptions options;
    options.hd = hd;
    options.snapshots = SnapshotDelivery::HandedOver;
    options.stillOutputWithDriverButton = false;
    session_ = std::make_unique<CaptureSession>(options);
    connect(
        session_.get(), &CaptureSession::snapshotTaken, this,
        [this](std::shared_ptr<const FrameRecord> frame) { onSnapshotFrame(std::move(frame)); });
    connect(session_.get(), &CaptureSession::noLiveFrames, this, [this] { setAlarm(true); });
    connect(session_.get(), &CaptureSession::buttonPressed, this, [this] { snapshotRequest(); });
    connect(session_.get(), &CaptureSession::pictureUnavailable, this, [this](const QString& text) {
        dialogs().message(this, text, QString(), MessageButtons::Ok);
    });
    session_->setStillTarget(panes_[3]->surface());

    std::array<LiveTarget*, 4> surfaces{};
    for (int i = 0; i < 4; ++i) surfaces[i] = panes_[i]->surface();
    cycle_ = std::make_unique<ViewCycle>(*session_, surfaces);
    objectiveTools_ = new WindowMeasuring(this, selectedDeviceName(),
                                          hd ? kObjectiveControlHd : kObjectiveControl);
    for (LiveTarget* surface : surfaces) objectiveTools_->attachLive(surface);
    focusAids_ = new WindowFocusAids(
        this,
        [this]() -> FocusFrame {
            std::shared_ptr<const FrameRecord> frame = session_ ? session_->latestFrame() : nullptr;
            if (!frame || !frame->isComplete() || frame->height() <= 0) return {};
            FocusFrame out;
            out.view = {frame->pixels(), frame->width(), frame->height(), frame->rowBytes()};
            out.keep = std::move(frame);
            return out;
        },
        hd ? kFocusAidsHd : kFocusAids, hd ? kFocusSwitchHd : kFocusSwitch);
    for (LiveTarget* surface : surfaces) focusAids_->attachLive(surface);
    connect(focusAids_, &WindowFocusAids::panelShownChanged, this, [this] { update(kFocusTitle); });
    objectiveTools_->setFrameSizeSource([this] {
        for (ViewPane* pane : panes_)
            if (pane->isVisible() && pane->showsLive() &&
                !pane->surface()->shownFrameSize().isEmpty())
                return pane->surface()->shownFrameSize();
        return QSize();
    });
    // Calibrate… works on the newest live frame.
    objectiveTools_->setPictureSource([this] {
        const std::shared_ptr<const FrameRecord> frame = session_->latestFrame();
        if (!frame || !frame->isComplete()) return QImage();
        return imageFromBottomUpBgr(frame->pixels(), frame->width(), frame->height(),
                                    frame->rowBytes());
    });
    // Frozen pictures and saved ones record the objective in use; the flat-field references
    // are the objective's own.
    buildFlatField();
    objectiveTools_->followActiveObjective(
        [this](const std::string& name, double micrometresPerPixel, int atWidth, int atHeight) {
            session_->setObjective(name, micrometresPerPixel, atWidth, atHeight);
            if (flatField_) flatField_->setObjective(name);
        });
    objectiveTools_->offerSnapshotScaleBar(
        [this] { return session_->burnScaleBar(); },
        [this](bool on) { return session_->setBurnScaleBar(on); });
    if (measuring_)
        measuring_->micrometresPerPixel = [this](int width, int height) {
            return objectiveTools_->objectives().micrometresPerPixelAt(width, height);
        };
    focusSeries_ =
        new FocusSeriesTool(this, fileCombineRunner(), hd ? kSeriesSwitchHd : kSeriesSwitch,
                            hd ? kSeriesPanelHd : kSeriesPanel);
    connect(
        focusSeries_, &FocusSeriesTool::fusedPicture, this,
        [this](std::shared_ptr<const FrameRecord> frame) { showFusedPicture(std::move(frame)); });
    applyLayout(1);
    // Once the window is up: the camera opens while the window already answers.  A timer,
    // not a posted call, so it also comes round in an event loop nested in a posted call.
    QTimer::singleShot(1, session_.get(), &CaptureSession::start);
    pen_.resetLayers();
}

MultiViewWindow::~MultiViewWindow() {
    // Fusing stops and the series' pictures in hand are finished, before anything goes.
    delete focusSeries_;
    focusSeries_ = nullptr;
    // A reference being taken is abandoned while the session it takes frames from still lives.
    delete flatFieldControl_;
    flatFieldControl_ = nullptr;
    delete flatField_;
    flatField_ = nullptr;
    // Capture first: once it is gone no frame is drawn into a pane or the popup.
    session_.reset();
    delete popup_;
    popup_ = nullptr;
}

void MultiViewWindow::buildFlatField() {
    const std::string device = selectedDeviceName();
    FlatFieldController::Access access;
    access.openFrames = [this] { return flatFrames_ = session_->openLiveFrames(); };
    access.closeFrames = [this] {
        session_->closeLiveFrames(flatFrames_);
        flatFrames_.reset();
    };
    access.loadOn = [device] { return loadFlatFieldOn(RegistryStore(), device); };
    access.storeOn = [device](bool on) { return saveFlatFieldOn(RegistryStore(), device, on); };
    access.apply = [this](std::shared_ptr<const acquire::FlatField> field) {
        session_->applyFlatField(std::move(field));
    };
    access.frameSize = [this] {
        const std::shared_ptr<const FrameRecord> frame = session_->latestFrame();
        return frame && frame->isComplete() ? QSize(frame->width(), frame->height()) : QSize();
    };
    flatField_ =
        new FlatFieldController(device, acquire::FlatFieldStore(), std::move(access), this);
    connect(flatField_, &FlatFieldController::message, this,
            [this](const QString& text, bool problem) {
                if (problem) {
                    dialogs().message(this, text, QString(), MessageButtons::Ok);
                    return;
                }
                QToolTip::showText(
                    flatFieldControl_->mapToGlobal(QPoint(0, flatFieldControl_->height())), text,
                    flatFieldControl_, QRect(), 4000);
            });
    flatFieldControl_ = new FlatFieldControl(*flatField_, this);
    flatFieldControl_->setGeometry(hd_ ? kFlatFieldControlHd : kFlatFieldControl);
    flatFieldControl_->show();
}

void MultiViewWindow::setSnapshotButtonPolls(SnapshotButtonPolls polls) {
    session_->setSnapshotButtonPolls(std::move(polls));
}

// Measuring on the frozen panes: the tools and results in the band above the views, under
// their caption.  (The HD window does not paint its frozen panes, so it has none.)
constexpr QRect kMeasuringPanel{60, 64, 636, 70};
constexpr QPoint kMeasuringCaption{60, 46};

void MultiViewWindow::buildMeasuring() {
    std::array<QWidget*, 4> panes{};
    for (int i = 0; i < 4; ++i) panes[i] = panes_[i];
    measuring_ = new PaneMeasuring(
        this, panes,
        [this](int i) -> const PanePicture* {
            if (!cycle_ || !cycle_->isVisible(i) || cycle_->isLive(i)) return nullptr;
            const PanePicture& picture = cycle_->picture(i);
            return picture.holdsPicture() ? &picture : nullptr;
        },
        [this] { return !pen_.penMode(); });
    measuring_->panel().setGeometry(kMeasuringPanel);
    measuring_->panel().show();
}

QWidget* MultiViewWindow::controlById(int id) const {
    return findControl(this, id);
}

void MultiViewWindow::makePanes() {
    for (int i = 0; i < 4; ++i) {
        auto* pane = new ViewPane(this);
        setControlIdentity(pane, kPaneIds[i], QStringLiteral("VIEW DISPLAY %1").arg(i + 1));
        pane->setPointerReportMode(!hd_);
        pane->hide();
        panes_[i] = pane;
    }
}

void MultiViewWindow::buildStandard(QWidget* launcher) {
    for (SimpleButton* button : placeSkinnedButtons(this, multiViewSkin(1).skinned))
        button->setFocusPolicy(Qt::NoFocus);
    if (launcher)
        setGeometry(launcher->geometry());
    else
        setGeometry(0, 0, 1024, 768);
}

void MultiViewWindow::buildHd() {
    setGeometry(hdWindowRect());
    auto add = [this](int id, const QString& caption, const QRect& rect) {
        auto* button = new HdButton(caption, this);
        // Return must not press whichever button happens to be first.
        button->setAutoDefault(false);
        setControlIdentity(button, id, caption);
        button->setGeometry(rect);
        return button;
    };
    for (const PlacedControl& c : multiViewHdSkin(1).placed)
        add(c.controlId, QString::fromLatin1(c.caption), c.rect)->show();
    // Present but never shown: ALARM keeps its lit state as the button's check mark.
    add(kAlarm, QStringLiteral("ALARM"), QRect(1020, 460, 170, 25))->setCheckable(true);
    add(kClear, QStringLiteral("CLEAR"), QRect(1020, 490, 56, 25));
    add(kPen, QStringLiteral("PEN"), QRect(1077, 490, 56, 25));
    add(kErase, QStringLiteral("ERASE"), QRect(1134, 490, 56, 25));
    for (int id : {kAlarm, kClear, kPen, kErase}) controlById(id)->hide();
}

void MultiViewWindow::connectCommands() {
    auto bind = [this](int id, auto command) {
        if (auto* button = qobject_cast<QAbstractButton*>(controlById(id)))
            connect(button, &QAbstractButton::clicked, this, command);
    };
    bind(kClose, [this] { reject(); });
    bind(kMinimise, [this] { showMinimized(); });
    bind(kFull, [this] { applyLayout(1); });
    bind(kDual, [this] { applyLayout(2); });
    bind(kQuad, [this] { applyLayout(4); });
    bind(kSnapFreeze, [this] { snapshotRequest(); });
    for (int id : {kCapture2, kCapture3, kCapture4}) bind(id, [this] { frameNotices(); });
    bind(kFullScreen, [this] { fullScreen(); });
    bind(kSave, [this] { save(); });
    bind(kConfig, [this] { config(); });
    bind(kPrint, [this] { print(); });
    if (!hd_) {
        bind(kClear, [this] { clear(); });
        bind(kPen, [this] { togglePen(); });
        bind(kErase, [this] { erase(); });
    }
    for (int i = 0; i < 4; ++i)
        connect(panes_[i], &QAbstractButton::clicked, this, [this, i] { clickPane(i); });
}

// ---- layouts and the snapshot cycle

void MultiViewWindow::applyLayout(int layout) {
    if (!cycle_->applyLayout(layout)) {
        refreshPanes();  // the current layout's button resumed the live picture
        return;
    }
    pen_.resetLayers();
    layOut();
}

void MultiViewWindow::layOut() {
    const int layout = cycle_->layout();
    for (int id : {kSnapFreeze, kCapture2, kCapture3, kCapture4})
        if (QWidget* c = controlById(id)) c->setVisible(hd_ && id == kSnapFreeze);
    if (QWidget* c = controlById(kFullScreen)) c->setVisible(hd_ || layout == 1);
    const std::span<const PlacedControl> placed = skinOf(hd_, layout).panes;
    for (int i = 0; i < 4; ++i) {
        ViewPane* pane = panes_[i];
        if (i < static_cast<int>(placed.size())) {
            pane->setGeometry(placed[i].rect);
            pane->show();
        } else {
            pane->hide();
        }
        // Whatever the panes showed belongs to the layout before.
        pane->surface()->clearFrame();
    }
    // ALARM goes out, and lights again if live frames still stay away.
    setAlarm(false);
    alarmClear_.stop();
    session_->watchForFrames();
    refreshPanes();
    repaint();
}

void MultiViewWindow::snapshotRequest() {
    session_->requestSnapshot();
}

void MultiViewWindow::frameNotices() {
    session_->setFrameNotices(true);
}

void MultiViewWindow::onSnapshotFrame(std::shared_ptr<const FrameRecord> frame) {
    // Out kAlarmClearMs after the snapshot was served on the streaming thread.
    const std::int64_t ageMs = (monotonicNs() - session_->lastSnapshotServedNs()) / 1000000;
    alarmClear_.start(
        static_cast<int>(std::clamp<std::int64_t>(kAlarmClearMs - ageMs, 0, kAlarmClearMs)));
    // Every picture taken joins a focus series, whatever the panes do with it.
    if (focusSeries_)
        focusSeries_->snapshot(frame, session_->snapshotObjective(), storageFolderCopy());
    cycle_->onSnapshotFrame(std::move(frame));
    refreshPanes();
}

void MultiViewWindow::showFusedPicture(std::shared_ptr<const FrameRecord> frame) {
    // Shown as the newest snapshot: frozen views go live first, as SNAP would.
    if (cycle_->frozen()) cycle_->onSnapshotFrame(nullptr);
    cycle_->onSnapshotFrame(std::move(frame));
    refreshPanes();
}

void MultiViewWindow::setAlarm(bool lit) {
    alarmLit_ = lit;
    if (hd_) {
        if (auto* alarm = qobject_cast<QAbstractButton*>(controlById(kAlarm)))
            alarm->setChecked(lit);
        return;
    }
    if (auto* alarm = qobject_cast<SimpleButton*>(controlById(kAlarm))) {
        alarm->setStateFlag(lit);
        alarm->repaint();
    }
}

// ---- pane painting

QImage MultiViewWindow::paneImage(int index) {
    const PanePicture& picture = cycle_->picture(index);
    if (!picture.holdsPicture()) return {};
    ViewPane* pane = panes_[index];
    const bool pen = pen_.penMode();
    PaneCache& cache = paneCache_[index];
    const bool sameFrame =
        !cache.frame.owner_before(picture.frame) && !picture.frame.owner_before(cache.frame);
    if (sameFrame && cache.pen == pen && cache.size == pane->size() &&
        (!pen || cache.revision == pen_.revision()))
        return cache.image;
    QImage image = scaledPane(picture, pane->size());
    if (pen) overlayLayerScaled(image, pen_.layer(index));
    cache = {picture.frame, pen, pen_.revision(), pane->size(), image};
    return image;
}

void MultiViewWindow::refreshPane(int index) {
    if (measuring_) measuring_->paneRefreshed(index);
    ViewPane* pane = panes_[index];
    // The HD window does not paint its panes: they show what the live drawing left.
    if (hd_ || cycle_->isLive(index) || !cycle_->isVisible(index)) {
        pane->showLive();
        return;
    }
    pane->showPicture(paneImage(index));
}

void MultiViewWindow::refreshPanes() {
    // Bottom-right first, as the window has always painted them.
    for (int i = 3; i >= 0; --i) refreshPane(i);
}

void MultiViewWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QPixmap& background = backgrounds_[hd_ ? 0 : backgroundIndex(cycle_->layout())];
    if (background.isNull()) {
        painter.fillRect(rect(), QColor(24, 28, 33));
        return;
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawPixmap(rect(), background, QRect(QPoint(0, 0), backgroundSource_));
    if (measuring_) paintSkinCaption(painter, kMeasuringCaption, QStringLiteral("MEASURE"));
    if (!hd_ && focusAids_ && focusAids_->panelShown() && rect().size() == backgroundSource_) {
        // The pen's frame holds the focus aids: its title says so, over the plain strip
        // beside it, in the background's caption style.
        painter.drawPixmap(kFocusTitle, background,
                           kFocusTitle.translated(kFocusTitle.width() + 20, 0));
        paintSkinCaption(painter, kFocusTitle.topLeft() + QPoint(2, 5), QStringLiteral("FOCUS"));
    }
}

void MultiViewWindow::clickPane(int index) {
    if (pen_.penMode()) return;
    const PanePicture& picture = cycle_->picture(index);
    if (!picture.holdsPicture()) return;
    const FrameRecord& frame = *picture.frame;
    ClipViewerPopup popup(this);
    popup.setInset(false);
    popup.setFrameCopy(std::vector<std::uint8_t>(frame.pixels(), frame.pixels() + frame.length()),
                       frame.width(), frame.height(), 24);
    popup.runModal();
}

// ---- full screen, save, config, print

void MultiViewWindow::fullScreen() {
    if (pen_.penMode()) return;
    ClipViewerPopup* old = popup_;
    popup_ = new ClipViewerPopup(this);
    popup_->setNotifyParent(true);
    popup_->setInset(false);
    popup_->open();
    // The hidden "Live Clip" inset takes live frames too, as the grabber's inset target.
    LiveTarget* inset = nullptr;
    if (QWidget* insetButton = findControl(popup_, ClipViewerPopup::kInsetId)) {
        inset = new LiveTarget(insetButton);
        inset->setGeometry(insetButton->rect());
    }
    LiveTarget* surface = popup_->liveSurface();
    objectiveTools_->attachLive(surface);
    focusAids_->attachLive(surface);
    cycle_->enterFullScreen(surface, inset);
    if (old) {
        // The streaming thread may still be finishing a frame it took the old popup for;
        // the old popup goes once control is back in the event loop.
        old->hide();
        old->deleteLater();
    }
    const PanePicture& first = cycle_->picture(0);
    if (cycle_->frozen() && first.holdsPicture()) {
        const FrameRecord& f = *first.frame;
        surface->submitFrame(f.pixels(), f.width(), f.height(), static_cast<int>(f.rowBytes()));
    }
}

void MultiViewWindow::onFullScreenClosed() {
    if (!popup_) {
        cycle_->forgetFullScreen();
        return;
    }
    cycle_->leaveFullScreen();
    const int next = cycle_->nextPane();
    panes_[next]->surface()->clearFrame();
    refreshPane(next);
}

void MultiViewWindow::save() {
    // With every pane empty a snapshot is asked for first; its frame arrives while the
    // operator picks the name.
    if (!cycle_->anyPicture()) snapshotRequest();
    // From a popup's Save Jpg (full screen, or a pane's picture) the dialogs belong to the
    // popup: it stays on top of every other window, so a dialog of this window would open
    // hidden behind it.
    QWidget* owner = this;
    if (auto* modal = qobject_cast<ClipViewerPopup*>(QApplication::activeModalWidget()))
        owner = modal;
    else if (popup_ && popup_->isVisible())
        owner = popup_;
    const std::optional<QString> chosen = dialogs().saveFile(owner, PaneSaver::dialogRequest());
    if (!chosen || chosen->isEmpty()) return;
    saver_.save(owner, chosen->toStdString(), cycle_->pictures(), pen_.penMode() ? &pen_ : nullptr);
}

void MultiViewWindow::config() {
    // Its pages are there once the camera has opened.
    if (session_->state() == CaptureSession::State::Opening) return;
    showDeviceSettings(this, session_->source());
}

void MultiViewWindow::print() {
    PrintReport::print(this, cycle_->layout(), cycle_->pictures(),
                       pen_.penMode() ? &pen_ : nullptr);
}

// ---- pen

void MultiViewWindow::togglePen() {
    if (hd_) return;
    pen_.togglePenMode();
    if (auto* button = qobject_cast<SimpleButton*>(controlById(kPen))) {
        const QRect place = button->geometry();
        button->LoadSkin(pen_.penMode() ? kPenOnBitmap : kPenOffBitmap, 1);
        button->setGeometry(place);
    }
    refreshPanes();
}

void MultiViewWindow::erase() {
    if (!pen_.penMode()) return;
    pen_.resetLayers();
    refreshPanes();
    for (ViewPane* pane : panes_)
        if (pane->isVisible()) pane->repaint();
}

void MultiViewWindow::clear() {
    cycle_->reset();
    pen_.resetLayers();
    layOut();
}

void MultiViewWindow::onPenStroke(QEvent* event) {
    if (hd_ || !pen_.penMode()) return;
    auto* stroke = static_cast<PenStrokeEvent*>(event);
    int index = -1;
    for (int i = 0; i < 4; ++i)
        if (stroke->sender() == panes_[i]) index = i;
    if (!cycle_->isVisible(index) || !cycle_->picture(index).holdsPicture()) return;
    const int scale = cycle_->layout() == 1 ? 1 : 2;
    pen_.stroke(index, stroke->sender()->previousPointerPosition(),
                QPoint(stroke->x(), stroke->y()), scale);
    refreshPane(index);
    panes_[index]->repaint();  // at once, so the stroke follows the pointer
}

// ---- events

bool MultiViewWindow::event(QEvent* event) {
    const QEvent::Type type = event->type();
    if (type == kFullScreenClosedMessage) {
        onFullScreenClosed();
        return true;
    }
    if (type == kPopupSaveMessage) {
        save();
        return true;
    }
    if (type == kPenStrokeEvent) {
        onPenStroke(event);
        return true;
    }
    return QDialog::event(event);
}

void MultiViewWindow::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        // The HD window has no caption: its background moves it.
        if (hd_) {
            if (windowHandle()) windowHandle()->startSystemMove();
            return;
        }
        pen_.pickColour(event->position().toPoint());
    }
    QDialog::mousePressEvent(event);
}

void MultiViewWindow::keyPressEvent(QKeyEvent* event) {
    // A shape being drawn on a frozen view takes Return (ends it) and Escape (drops it)
    // before the window would close.
    if (measuring_ && measuring_->keyPressed(event->key(), event->modifiers())) return;
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void MultiViewWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // The window opens with no button focused (a focused HD button is drawn lit).
    setFocus(Qt::OtherFocusReason);
}

}  // namespace qelvo
