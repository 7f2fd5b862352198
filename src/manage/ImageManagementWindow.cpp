#include "manage/ImageManagementWindow.h"

#include "acquireui/FlatFieldControl.h"
#include "acquireui/FlatFieldController.h"
#include "acquireui/SnapshotSettingsControl.h"
#include "acquireui/TimeLapseDialog.h"
#include "acquireui/WindowFocusAids.h"
#include "capture/CameraFrames.h"
#include "capture/CaptureSession.h"
#include "capture/Pacing.h"
#include "capture/SnapshotSettings.h"
#include "desktop/Dialogs.h"
#include "desktop/LiveTarget.h"
#include "desktop/Screens.h"
#include "imaging/CxImage.h"
#include "imaging/DrawScaled.h"
#include "manage/AdjustmentTools.h"
#include "manage/FileCommands.h"
#include "manage/PictureLoading.h"
#include "manage/PicturePanel.h"
#include "manage/PictureView.h"
#include "manage/ThumbnailButton.h"
#include "measureui/ActiveObjectives.h"
#include "measureui/MeasurementDocument.h"
#include "measureui/MeasurementLayer.h"
#include "measureui/MeasurementPanel.h"
#include "measureui/MeasurementTool.h"
#include "measureui/ObjectiveControl.h"
#include "measureui/PictureOverlayLayer.h"
#include "measureui/SkinCaption.h"
#include "measureui/WindowMeasuring.h"
#include "picturefiles/PictureFile.h"
#include "skin/ControlIdentity.h"
#include "skin/HdButton.h"
#include "skin/SimpleButton.h"
#include "skin/SkinBitmaps.h"
#include "skin/SkinPalette.h"
#include "skin/SkinTable.h"
#include "skin/SkinnedControls.h"
#include "system/Clock.h"
#include "system/Paths.h"
#include "system/SessionState.h"
#include "widgets/ClipViewerPopup.h"
#include "widgets/DeviceSettingsDialog.h"

#include <QAbstractSlider>
#include <QComboBox>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QToolTip>
#include <QWindow>

#include <algorithm>
#include <filesystem>
#include <functional>

namespace qelvo {
namespace {

const QString kRecordingNow = QStringLiteral("AVI recording now...");

// How long a picture tool's status stays up under the panel.
constexpr int kStatusShownMs = 5000;

// The controls a mode shows or hides; every other control keeps its visibility.
constexpr int kModeControls[] = {1024, 1022, 1023, 1025, 1037, 1038, 1029, 1030,
                                 1031, 1039, 1026, 1027, 1028, 1032, 1033};

bool shownInMode(int id, int mode) {
    switch (mode) {
        case ImageManagementWindow::CaptureMode:
            return id == 1024 || id == 1022 || id == 1023 || id == 1025 || id == 1037;
        case ImageManagementWindow::ImageMode:
            return id == 1038;
        case ImageManagementWindow::MovieMode:
            return id == 1029 || id == 1030 || id == 1031 || id == 1039;
        default:
            return false;
    }
}

const PlacedControl* findPlaced(const WindowSkin& skin, int id) {
    for (const PlacedControl& c : skin.placed)
        if (c.controlId == id) return &c;
    return nullptr;
}

// The HD window's rectangle: 1200 x 768 centred on the first display.
QRect hdWindowRect() {
    const std::vector<QRect> displays = displayDevices();
    const QRect display = displays.empty() ? QRect(0, 0, 1024, 768) : displays.front();
    return {display.x() + (display.width() - 1200) / 2, display.y() + (display.height() - 768) / 2,
            1200, 768};
}

// The measuring controls in image mode: the tools and results inside the frame that shows
// the modes' notes in capture mode, the picture's file commands in the top row of the
// controls' frame (whose record buttons image mode hides).  The HD window has them below
// its column of buttons.
constexpr QRect kMeasuringStandard{700, 265, 305, 188};
constexpr QRect kMeasuringFilesStandard{700, 497, 305, 26};
constexpr QRect kMeasuringHd{1020, 462, 170, 110};
constexpr QRect kMeasuringFilesHd{1020, 576, 170, 26};
// The title over that frame: the background's "MODES" in capture mode, "MEASURE" in image mode.
constexpr QRect kMeasuringTitle{700, 240, 120, 20};

// The objective control: in capture mode the free row at the top of the controls, in image
// mode where RECORD and STOP are in capture mode; the HD window's between CONFIG and FILE
// RENAME.  The overlay switches sit in the title bar, right of the window's name.
constexpr QRect kObjectiveCapture{700, 494, 312, 30};
constexpr QRect kObjectiveImage{700, 530, 160, 30};
constexpr QRect kObjectiveHd{1020, 362, 170, 32};
constexpr QRect kOverlaySwitches{810, 12, 124, 28};
constexpr QRect kOverlaySwitchesHd{994, 8, 124, 24};

// The focus aids: in capture mode over the notes of the modes' frame (their switch at the
// right of that frame's title); the HD window's below its column of buttons, their switch in
// the first free well of the column (movie mode's OPEN).
constexpr QRect kFocusAidsStandard{700, 265, 305, 188};
constexpr QRect kFocusSwitchStandard{935, 242, 68, 18};
constexpr QRect kFocusAidsHd{1020, 472, 170, 128};
constexpr QRect kFocusSwitchHd{1020, 200, 170, 25};
// How snapshots are saved (format, frames averaged): right of FILE RENAME in the controls'
// frame; the HD window's in the second free well of its column.
constexpr QRect kSnapshotSettings{892, 570, 112, 28};
constexpr QRect kSnapshotSettingsHd{1020, 230, 170, 25};
// TIME-LAPSE: at the right of the controls' frame title; the HD window's in the third well.
constexpr QRect kTimeLapseButton{921, 473, 82, 18};
constexpr QRect kTimeLapseButtonHd{1020, 260, 170, 25};
// Combining the selected pictures, in image mode: at the right of the picture tools' title;
// the HD window's in the free wells of its column (capture mode's).
constexpr QRect kFocusStackButton{836, 105, 82, 18};
constexpr QRect kMosaicButton{922, 105, 80, 18};
constexpr QRect kFocusStackButtonHd{1020, 130, 170, 25};
constexpr QRect kMosaicButtonHd{1020, 160, 170, 25};

// The skin's plain command look, for buttons placed on its art.
QString plainButtonStyle(bool hd) {
    return hd ? QStringLiteral(
                    "QPushButton { background: #c9cbf2; color: #1a1c24; border: 1px solid #8e92c6;"
                    " font: 16px 'Liberation Sans Narrow'; }"
                    "QPushButton:hover { background: #dfe0fa; }"
                    "QPushButton:disabled { background: #25282f; color: #4d5662;"
                    " border-color: #2f343c; }")
              : QStringLiteral(
                    "QPushButton { background: #080a0c; color: #8b95a3; border: 1px solid #4a5360;"
                    " border-radius: 3px; font: bold 10px 'Liberation Sans Narrow'; }"
                    "QPushButton:hover { border-color: #34c6da; color: #e2e7ee; }"
                    "QPushButton:disabled { color: #3a414b; border-color: #2a2f37; }");
}
// Flat-field correction: left of TIME-LAPSE on the controls' frame title; the HD window's at
// the right of its controls' frame title.
constexpr QRect kFlatFieldControl{834, 473, 82, 18};
constexpr QRect kFlatFieldControlHd{1108, 71, 82, 18};

}  // namespace

ImageManagementWindow::ImageManagementWindow(QWidget* launcher, bool hd)
    : QDialog(launcher, Qt::Dialog | Qt::FramelessWindowHint), hd_(hd), folders_(storageFolder()) {
    setWindowTitle(QStringLiteral("Image Management"));
    setObjectName(hd ? QStringLiteral("211") : QStringLiteral("134"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);

    const WindowSkin& skin = hd ? imageManagementHdSkin() : imageManagementSkin();
    background_ = skinPixmap(skin.backgroundId);
    backgroundSource_ = skin.size;
    if (hd)
        buildHd();
    else
        buildStandard(launcher);
    buildCommon(skin);
    buildMeasuring();
    buildObjectiveTools();
    connectCommands();
    applyMode();

    CaptureOptions options;
    options.hd = hd;
    options.snapshots = SnapshotDelivery::WrittenToFolder;
    session_ = std::make_unique<CaptureSession>(options);
    // A snapshot was taken and its picture is being written; the strip is relisted when the
    // writer reports it (a slow disk never holds the window up).
    connect(session_.get(), &CaptureSession::snapshotTaken, this, [] { pacingSleep(); });
    connect(session_.get(), &CaptureSession::snapshotWritten, this, [this] {
        // A hardware-button snapshot scrolls the strip to its end; when its picture was not
        // on disk yet at that listing, this one finishes the scroll.
        listFolder(scrollOnFrameReady_);
        scrollOnFrameReady_ = false;
    });
    connect(session_.get(), &CaptureSession::buttonPressed, this, [this] { onSnapshotButton(); });
    auto tell = [this](const QString& text) {
        dialogs().message(this, text, QString(), MessageButtons::Ok);
    };
    connect(session_.get(), &CaptureSession::pictureUnavailable, this, tell);
    connect(session_.get(), &CaptureSession::recordingProblem, this, tell);
    session_->setLiveTarget(viewPanel_);
    session_->setStillTarget(clips_[0]);
    objectiveTools_->setPictureSource([this] { return pictureToCalibrate(); });
    // Snapshots record the objective in use, and burn the scale bar in when asked to.
    buildFlatField();
    objectiveTools_->followActiveObjective(
        [this](const std::string& name, double micrometresPerPixel, int atWidth, int atHeight) {
            session_->setObjective(name, micrometresPerPixel, atWidth, atHeight);
            // The flat-field references are the objective's own.
            if (flatField_) flatField_->setObjective(name);
        });
    objectiveTools_->offerSnapshotScaleBar(
        [this] { return session_->burnScaleBar(); },
        [this](bool on) { return session_->setBurnScaleBar(on); });
    buildFocusAids();
    buildCombining();
    player_ = std::make_unique<MoviePlayer>(movieGraph_, aviPanel_);
    // Once the window is up: the camera opens while the window already answers.  A timer,
    // not a posted call, so it also comes round in an event loop nested in a posted call.
    QTimer::singleShot(1, session_.get(), &CaptureSession::start);
    readSettings();
    listFolder(true);
}

ImageManagementWindow::~ImageManagementWindow() {
    // A combining job stops without leaving a file, before anything it reports to goes.
    combiner_->cancelAndWait();
    // A time-lapse in progress finishes its picture first: only whole files stay.
    delete timeLapse_;
    timeLapse_ = nullptr;
    // A reference being taken is abandoned while the session it takes frames from still lives.
    delete flatFieldControl_;
    flatFieldControl_ = nullptr;
    delete flatField_;
    flatField_ = nullptr;
    measurePanel_->waitForFiles();
    measurements_->waitForWrites();
    // Playback, then capture, then the popup, before any panel goes away.
    if (player_) player_->unload();
    session_.reset();
    delete popup_;
    popup_ = nullptr;
}

void ImageManagementWindow::buildStandard(QWidget* launcher) {
    if (launcher)
        setGeometry(launcher->geometry());
    else
        setGeometry(0, 0, 1024, 768);
    const auto buttons = placeSkinnedButtons(this, imageManagementSkin().skinned);
    for (SimpleButton* button : buttons) {
        button->setFocusPolicy(Qt::NoFocus);
        if (button->objectName().toInt() == kCaptureTab) tabStrip_ = button;
    }
}

void ImageManagementWindow::buildHd() {
    setGeometry(hdWindowRect());
    for (const PlacedControl& c : imageManagementHdSkin().placed) {
        if (c.controlId != kClose && c.controlId != kMinimise && c.controlId != kFullScreen &&
            (c.controlId < kCaptureTab || c.controlId > kFolderOption))
            continue;
        auto* button = new HdButton(QString::fromLatin1(c.caption), this);
        // Return must not press whichever button happens to be first.
        button->setAutoDefault(false);
        setControlIdentity(button, c.controlId, QString::fromLatin1(c.caption));
        button->setGeometry(c.rect);
        button->show();
    }
}

void ImageManagementWindow::buildCommon(const WindowSkin& skin) {
    auto place = [&](QWidget* widget, int id) {
        const PlacedControl* c = findPlaced(skin, id);
        setControlIdentity(widget, id, QString::fromLatin1(c ? c->caption : ""));
        if (c) widget->setGeometry(c->rect);
    };
    // Display panels: disabled, so pointer input over them reaches the window.
    jpegPanel_ = new PicturePanel(this);
    place(jpegPanel_, kJpegViewPanel);
    aviPanel_ = new QWidget(this);
    aviPanel_->setAutoFillBackground(true);
    QPalette black = aviPanel_->palette();
    black.setColor(QPalette::Window, Qt::black);
    aviPanel_->setPalette(black);
    place(aviPanel_, kAviViewPanel);
    viewPanel_ = new LiveTarget(this);
    place(viewPanel_, kViewPanel);
    for (QWidget* panel :
         {static_cast<QWidget*>(jpegPanel_), aviPanel_, static_cast<QWidget*>(viewPanel_)}) {
        panel->setEnabled(false);
        panel->lower();
    }

    // The skin's colours for the window's own controls: folder list and scroll bars.
    setStyleSheet(palette::controlStyleSheet());
    folderCombo_ = new QComboBox(this);
    place(folderCombo_, kFolderList);
    folderCombo_->setFixedHeight(
        std::min(folderCombo_->height(), folderCombo_->sizeHint().height()));
    folderCombo_->hide();

    for (int k = 0; k < PictureStrip::kSlots; ++k) {
        auto* clip = new ThumbnailButton(k, thumbnails_, this);
        place(clip, kClip1 + k);
        clips_[k] = clip;
        connect(clip, &ThumbnailButton::clicked, this, &ImageManagementWindow::clickClip);
        connect(clip, &ThumbnailButton::doubleClicked, this, &ImageManagementWindow::deleteClip);
        connect(clip, &ThumbnailButton::menuRequested, this, &ImageManagementWindow::showClipMenu);
    }

    // The picture panel's pan bars, hidden until a zoomed picture needs them.
    QScrollBar* vertical = nullptr;
    QScrollBar* horizontal = nullptr;
    if (findPlaced(skin, kVerticalPanBar)) {
        vertical = new QScrollBar(Qt::Vertical, this);
        place(vertical, kVerticalPanBar);
        vertical->hide();
        horizontal = new QScrollBar(Qt::Horizontal, this);
        place(horizontal, kHorizontalPanBar);
        horizontal->hide();
    }
    view_ = new PictureView(*jpegPanel_, vertical, horizontal, this);

    stripBar_ = new QScrollBar(Qt::Horizontal, this);
    place(stripBar_, kStripBar);
    stripBar_->setSingleStep(1);
    stripBar_->setPageStep(PictureStrip::kSlots);
    stripBar_->hide();
}

void ImageManagementWindow::buildMeasuring() {
    measurements_ = new MeasurementDocument(this, this);
    measureTool_ = std::make_unique<MeasurementTool>(measurements_->session());
    measureLayer_ = new MeasurementLayer(
        *measurements_, *measureTool_, [this] { return view_->mapping(); }, jpegPanel_);
    measurePanel_ = new MeasurementPanel(*measurements_, *measureTool_, this);
    measurePanel_->setGeometry(hd_ ? kMeasuringHd : kMeasuringStandard);
    measurePanel_->fileRow()->setGeometry(hd_ ? kMeasuringFilesHd : kMeasuringFilesStandard);
    measurePanel_->hide();
    // Over the notes of that frame, in the frame's own shading.
    if (!hd_) measurePanel_->setBackdrop(QColor(0x23, 0x28, 0x2f), QColor(0x18, 0x1b, 0x20));
    if (hd_) measurePanel_->setHdLook();
    connect(measurePanel_, &MeasurementPanel::status, this, &ImageManagementWindow::showStatus);
    connect(measurements_, &MeasurementDocument::problem, this, &ImageManagementWindow::showStatus);
    connect(measurePanel_, &MeasurementPanel::fileWritten, this, [this] { listFolder(false); });
    // The pointer is followed while a shape is drawn.
    setMouseTracking(true);
}

void ImageManagementWindow::buildObjectiveTools() {
    objectiveTools_ =
        new WindowMeasuring(this, selectedDeviceName(), hd_ ? kObjectiveHd : kObjectiveCapture,
                            hd_ ? kOverlaySwitchesHd : kOverlaySwitches);
    objectiveTools_->attachLive(viewPanel_);
    objectiveTools_->setFrameSizeSource([this] { return viewPanel_->shownFrameSize(); });
    PictureOverlayLayer::Sources sources;
    sources.mapping = [this] { return view_->mapping(); };
    sources.pictureSize = [this] {
        const CxImage& picture = jpegPanel_->picture();
        return picture.IsValid() ? QSize(picture.Width(), picture.Height()) : QSize();
    };
    sources.micrometresPerPixel = [this] { return measurements_->micrometresPerPixel(); };
    sources.shown = [this] { return jpegPanel_->shownImage(); };
    pictureOverlays_ = new PictureOverlayLayer(objectiveTools_->overlays(), sources, jpegPanel_);
    // Measurements lie over the overlays.
    pictureOverlays_->stackUnder(measureLayer_);
}

void ImageManagementWindow::buildFocusAids() {
    // The live frame the panel shows, shared with it (never copied or changed).
    FocusFrameSource source = [this]() -> FocusFrame {
        LiveTarget::PaintedFrame frame = viewPanel_->paintedFrame();
        if (!frame.pixels) return {};
        FocusFrame out;
        out.view = {frame.pixels->data(), frame.width, frame.height,
                    static_cast<std::size_t>(frame.rowBytes)};
        out.keep = std::move(frame.pixels);
        return out;
    };
    focusAids_ =
        new WindowFocusAids(this, std::move(source), hd_ ? kFocusAidsHd : kFocusAidsStandard,
                            hd_ ? kFocusSwitchHd : kFocusSwitchStandard);
    focusAids_->attachLive(viewPanel_);

    SnapshotSettingsControl::Access access;
    access.format = [this] { return session_->snapshotFormat(); };
    access.setFormat = [this](PictureFormat format) {
        if (!session_->setSnapshotFormat(format))
            showStatus(QStringLiteral("The snapshot format could not be stored for this device."));
    };
    access.average = [this] { return session_->snapshotAverage(); };
    access.setAverage = [this](int frames) {
        if (!session_->setSnapshotAverage(frames))
            showStatus(QStringLiteral("The averaging could not be stored for this device."));
    };
    snapshotSettings_ = new SnapshotSettingsControl(std::move(access), this);
    snapshotSettings_->setGeometry(hd_ ? kSnapshotSettingsHd : kSnapshotSettings);
    snapshotSettings_->setVisible(mode_ == CaptureMode);

    timeLapseButton_ = new QPushButton(QStringLiteral("TIME-LAPSE"), this);
    timeLapseButton_->setObjectName(QStringLiteral("time-lapse button"));
    timeLapseButton_->setFocusPolicy(Qt::NoFocus);
    timeLapseButton_->setCursor(Qt::PointingHandCursor);
    timeLapseButton_->setStyleSheet(QStringLiteral(
        "QPushButton { background: #080a0c; color: #8b95a3; border: 1px solid #4a5360;"
        " border-radius: 3px; font: bold 10px 'Liberation Sans Narrow'; }"
        "QPushButton:hover { border-color: #34c6da; color: #e2e7ee; }"));
    timeLapseButton_->setGeometry(hd_ ? kTimeLapseButtonHd : kTimeLapseButton);
    timeLapseButton_->setVisible(mode_ == CaptureMode);
    connect(timeLapseButton_, &QPushButton::clicked, this, &ImageManagementWindow::openTimeLapse);
    focusAids_->setLiveShown(mode_ == CaptureMode);
    connect(focusAids_, &WindowFocusAids::panelShownChanged, this,
            [this] { update(kMeasuringTitle); });
}

void ImageManagementWindow::buildCombining() {
    combiner_ = new CombineController(this, fileCombineRunner());
    connect(combiner_, &CombineController::pictureReady, this,
            &ImageManagementWindow::showCombined);
    using combine::CombineKind;
    auto make = [this](CombineKind kind, const QString& caption, QRect standard, QRect hd) {
        auto* button = new QPushButton(caption, this);
        button->setObjectName(kind == CombineKind::FocusStack ? QStringLiteral("focus stack button")
                                                              : QStringLiteral("mosaic button"));
        button->setToolTip(CombineController::kindName(kind) +
                           QStringLiteral(" of the pictures selected in the strip "
                                          "(Ctrl+click or Shift+click to select)"));
        button->setFocusPolicy(Qt::NoFocus);
        button->setCursor(Qt::PointingHandCursor);
        button->setStyleSheet(plainButtonStyle(hd_));
        button->setGeometry(hd_ ? hd : standard);
        connect(button, &QPushButton::clicked, this, [this, kind] { combineSelected(kind); });
        return button;
    };
    focusStackButton_ = make(CombineKind::FocusStack,
                             hd_ ? QStringLiteral("EXTENDED DEPTH") : QStringLiteral("EXT. DEPTH"),
                             kFocusStackButton, kFocusStackButtonHd);
    mosaicButton_ =
        make(CombineKind::Mosaic, QStringLiteral("MOSAIC"), kMosaicButton, kMosaicButtonHd);
    updateSelectionMarks();
}

QPushButton* ImageManagementWindow::combineButton(combine::CombineKind kind) const {
    return kind == combine::CombineKind::FocusStack ? focusStackButton_ : mosaicButton_;
}

std::vector<std::string> ImageManagementWindow::selectedPictures() const {
    std::vector<std::string> paths;
    for (const std::string& name : selection_.inOrder(strip_.names()))
        paths.push_back(joinPath(selectionFolder_, name));
    return paths;
}

void ImageManagementWindow::keepSelectionOf(const std::string& folder) {
    if (folder == selectionFolder_) return;
    selection_.clear();
    selectionFolder_ = folder;
}

void ImageManagementWindow::updateSelectionMarks() {
    for (ThumbnailButton* clip : clips_) {
        const int index = strip_.slotListIndex(clip->index());
        clip->setSelected(index >= 0 && selection_.contains(strip_.names()[index]));
    }
    const bool enough = selection_.count() >= 2;
    for (QPushButton* button : {focusStackButton_, mosaicButton_}) {
        if (!button) continue;
        button->setEnabled(enough);
        button->setVisible(mode_ == ImageMode);
    }
}

void ImageManagementWindow::combineSelected(combine::CombineKind kind) {
    const std::vector<std::string> inputs = selectedPictures();
    if (inputs.size() < 2) return;
    // Measurements waiting to be written are on disk before the pictures are read.
    measurements_->waitForWrites();
    combiner_->start(kind, inputs);
}

void ImageManagementWindow::showCombined(const QString& path) {
    const std::string written = path.toStdString();
    listFolder(false);
    const std::string folder = storageFolder();
    const auto& names = strip_.names();
    for (int i = 0; i < static_cast<int>(names.size()); ++i) {
        if (joinPath(folder, names[i]) != written) continue;
        strip_.bringIntoView(i);
        updateStripBar();
        fillClips();
        clickClip(strip_.slotShowing(folder, written));
        return;
    }
    // The window lists another folder by now: the picture is where its inputs are.
    showStatus(QStringLiteral("Saved as ") + path);
}

void ImageManagementWindow::showClipMenu(int k, const QPoint& globalPosition) {
    const int index = strip_.slotListIndex(k);
    if (index < 0) return;
    // As in a file manager, the menu is about the selection, which the picture joins.
    if (!selection_.contains(strip_.names()[index])) {
        selection_.selectOnly(strip_.names()[index]);
        updateSelectionMarks();
    }
    QMenu menu(this);
    menu.setStyleSheet(palette::controlStyleSheet() +
                       QStringLiteral("QMenu { background: #080a0c; color: #e2e7ee; border: 1px "
                                      "solid #4a5360; } QMenu::item:selected { background: "
                                      "#1b7f8e; } QMenu::item:disabled { color: #4d5662; }"));
    const int count = selection_.count();
    using combine::CombineKind;
    for (CombineKind kind : {CombineKind::FocusStack, CombineKind::Mosaic}) {
        QAction* action = menu.addAction(CombineController::kindName(kind) +
                                         QStringLiteral(" (%1 pictures)").arg(count));
        action->setEnabled(count >= 2 && !combiner_->running());
        connect(action, &QAction::triggered, this, [this, kind] { combineSelected(kind); });
    }
    menu.exec(globalPosition);
}

void ImageManagementWindow::buildFlatField() {
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
    access.frameSize = [this] { return viewPanel_->shownFrameSize(); };
    flatField_ =
        new FlatFieldController(device, acquire::FlatFieldStore(), std::move(access), this);
    connect(flatField_, &FlatFieldController::message, this,
            [this](const QString& text, bool problem) {
                if (problem)
                    dialogs().message(this, text, QString(), MessageButtons::Ok);
                else
                    showStatus(text);
            });
    flatFieldControl_ = new FlatFieldControl(*flatField_, this);
    flatFieldControl_->setGeometry(hd_ ? kFlatFieldControlHd : kFlatFieldControl);
    flatFieldControl_->setVisible(mode_ == CaptureMode);
}

void ImageManagementWindow::openTimeLapse() {
    if (!timeLapse_) {
        // The run takes every live frame from the window's own camera.
        auto frames = std::make_shared<GrabbedFrameSource>();
        session_->setFrameTap(frames);
        // The pictures record the objective in use as snapshots do.
        const QSize frame = viewPanel_->shownFrameSize();
        const PictureCalibration calibration =
            session_->snapshotObjective().calibrationFor(frame.width());
        timeLapse_ = new TimeLapseDialog(frames, storageFolder(), calibration, this);
        connect(timeLapse_, &TimeLapseDialog::runFinished, this, [this] { listFolder(false); });
        connect(timeLapse_, &QDialog::finished, this, [this] {
            if (timeLapse_ && !timeLapse_->running()) {
                session_->setFrameTap(nullptr);
                timeLapse_->deleteLater();
                timeLapse_ = nullptr;
            }
        });
    }
    timeLapse_->show();
    timeLapse_->raise();
}

void ImageManagementWindow::placeObjectiveTools() {
    const bool shown = mode_ != MovieMode;
    objectiveTools_->control().setVisible(shown);
    if (ObjectiveControl* switches = objectiveTools_->switches()) switches->setVisible(shown);
    if (!hd_)
        objectiveTools_->control().setGeometry(mode_ == ImageMode ? kObjectiveImage
                                                                  : kObjectiveCapture);
}

// What Calibrate… works on: the live frame in capture mode, the picture shown in image mode.
QImage ImageManagementWindow::pictureToCalibrate() {
    if (mode_ == ImageMode) {
        const CxImage& picture = jpegPanel_->picture();
        return picture.IsValid() ? ToQImage(picture) : QImage();
    }
    if (mode_ != CaptureMode) return {};
    // The newest frame the live panel (or the full-screen popup) shows.
    if (popup_ && session_->liveTarget() == popup_->liveSurface())
        return popup_->liveSurface()->shownFrame();
    return viewPanel_->shownFrame();
}

void ImageManagementWindow::showStatus(const QString& text) {
    // Shown for a while under the picture, as the picture tools' notes are.
    jpegPanel_->setToolTip(text);
    QToolTip::showText(jpegPanel_->mapToGlobal(QPoint(0, jpegPanel_->height())), text, jpegPanel_,
                       QRect(), kStatusShownMs);
}

bool ImageManagementWindow::measuringEvent(QMouseEvent* event) {
    if (mode_ != ImageMode || currentPicture_.empty() || view_->magnifierOn()) return false;
    const std::optional<PictureMapping> mapping = view_->mapping();
    if (!mapping) return false;
    const QPointF at = event->position() - QPointF(jpegPanel_->pos());
    const bool inside = jpegPanel_->rect().contains(at.toPoint());
    bool taken = false;
    switch (event->type()) {
        case QEvent::MouseButtonPress:
            if (!inside) return false;
            if (event->button() != Qt::LeftButton && event->button() != Qt::RightButton)
                return false;
            taken = measureTool_->press(at, *mapping, event->button() == Qt::RightButton);
            break;
        case QEvent::MouseMove:
            if (!inside && !measureTool_->busy()) return false;
            taken = measureTool_->move(at, *mapping);
            break;
        case QEvent::MouseButtonRelease:
            if (event->button() != Qt::LeftButton) return false;
            taken = measureTool_->release(at, *mapping);
            break;
        case QEvent::MouseButtonDblClick:
            if (!inside || event->button() != Qt::LeftButton) return false;
            taken = measureTool_->doubleClick(at, *mapping);
            break;
        default:
            return false;
    }
    if (taken) measureLayer_->update();
    return taken;
}

QWidget* ImageManagementWindow::controlById(int id) const {
    return findControl(this, id);
}

void ImageManagementWindow::connectCommands() {
    auto bind = [this](int id, void (ImageManagementWindow::*command)()) {
        if (auto* button = qobject_cast<QAbstractButton*>(controlById(id)))
            connect(button, &QAbstractButton::clicked, this,
                    [this, command] { (this->*command)(); });
    };
    bind(kSnap, &ImageManagementWindow::snap);
    bind(kRecord, &ImageManagementWindow::record);
    bind(kStopRecording, &ImageManagementWindow::stopRecording);
    bind(kConfig, &ImageManagementWindow::config);
    bind(kFullScreen, &ImageManagementWindow::fullScreen);
    bind(kOpen, &ImageManagementWindow::openMovie);
    bind(kPlay, &ImageManagementWindow::playMovie);
    bind(kStopMovie, &ImageManagementWindow::stopMovie);
    bind(kFileRename, &ImageManagementWindow::renameCurrent);
    bind(kFolderOption, &ImageManagementWindow::chooseFolder);
    bind(kMinimise, &QWidget::showMinimized);
    bind(kClose, &QDialog::reject);
    auto bindView = [this](int id, void (PictureView::*command)()) {
        if (auto* button = qobject_cast<QAbstractButton*>(controlById(id)))
            connect(button, &QAbstractButton::clicked, view_, command);
    };
    bindView(kLoupe, &PictureView::toggleLoupe);
    bindView(kFit, &PictureView::fit);
    bindView(kZoomOut, &PictureView::zoomOut);
    bindView(kZoomIn, &PictureView::zoomIn);
    using Tool = PictureTools::Tool;
    for (auto [id, tool] : {std::pair{kEqualize, Tool::Equalize},
                            {kRotateQuarter, Tool::RotateQuarter},
                            {kRotateHalf, Tool::RotateHalf},
                            {kFlipVertical, Tool::FlipVertical},
                            {kMirrorHorizontal, Tool::MirrorHorizontal}})
        if (auto* button = qobject_cast<QAbstractButton*>(controlById(id)))
            connect(button, &QAbstractButton::clicked, this,
                    [this, tool = tool] { runPictureTool(tool); });
    if (hd_) {
        for (int id : {kCaptureTab, kImageTab, kMovieTab})
            if (auto* button = qobject_cast<QAbstractButton*>(controlById(id)))
                connect(button, &QAbstractButton::clicked, this,
                        [this, id] { setMode(id - kCaptureTab); });
    } else if (tabStrip_) {
        connect(tabStrip_, &QAbstractButton::clicked, this,
                [this] { tabStripClicked(tabStrip_->lastPointerPosition().x()); });
    }
    // The adjustment tools work on the current picture in image mode only.  The panel the
    // dialog covered paints itself again: the file as it now is, fitted; so does the clip
    // showing it, which the dialog may have rewritten.
    bindAdjustmentTools(
        this, [this] { return mode_ == ImageMode ? currentPicture_ : std::string(); },
        [this] {
            jpegPanel_->redraw();
            redrawClipShowing(currentPicture_);
        });
    connect(folderCombo_, &QComboBox::activated, this, &ImageManagementWindow::selectFolder);
    connect(stripBar_, &QAbstractSlider::actionTriggered, this,
            &ImageManagementWindow::stripBarAction);
}

// ---- modes

void ImageManagementWindow::applyMode() {
    if (mode_ < CaptureMode || mode_ > MovieMode) return;
    for (int id : kModeControls)
        if (QWidget* control = controlById(id)) control->setVisible(shownInMode(id, mode_));
    view_->setImageMode(mode_ == ImageMode);
    measurePanel_->setVisible(mode_ == ImageMode);
    if (mode_ != ImageMode) measureTool_->cancel();
    placeObjectiveTools();
    if (focusAids_) focusAids_->setLiveShown(mode_ == CaptureMode);
    if (snapshotSettings_) snapshotSettings_->setVisible(mode_ == CaptureMode);
    if (flatFieldControl_) flatFieldControl_->setVisible(mode_ == CaptureMode);
    if (timeLapseButton_) timeLapseButton_->setVisible(mode_ == CaptureMode);
    updateSelectionMarks();
}

void ImageManagementWindow::setMode(int mode) {
    if (mode < CaptureMode || mode > MovieMode || mode == mode_) return;
    mode_ = mode;
    if (tabStrip_) tabStrip_->LoadSkin(imageManagementTabBitmap(mode_), 1);
    if (tabStrip_) tabStrip_->update();
    applyMode();
    update(kMeasuringTitle);
}

void ImageManagementWindow::tabStripClicked(int x) {
    if (!tabStrip_ || tabStrip_->width() <= 0) return;
    const int segment = std::clamp(x * 3 / tabStrip_->width(), 0, 2);
    setMode(segment);
}

// ---- painting and messages

void ImageManagementWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (background_.isNull()) {
        painter.fillRect(rect(), QColor(24, 28, 33));
        return;
    }
    // Nearest-sample stretch of the whole source picture over the client area.
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawPixmap(rect(), background_, QRect(QPoint(0, 0), backgroundSource_));
    const bool focusShown = focusAids_ && focusAids_->panelShown();
    if ((mode_ == ImageMode || focusShown) && !hd_ && rect().size() == backgroundSource_) {
        // The frame that explains the modes holds the measuring tools in image mode and the
        // focus aids in capture mode: its title says so, in the background's caption style,
        // over the plain strip beside it.
        const QRect title = kMeasuringTitle;
        painter.drawPixmap(title, background_, title.translated(title.width() + 20, 0));
        paintSkinCaption(painter, QPoint(title.left() + 2, title.top() + 5),
                         mode_ == ImageMode ? QStringLiteral("MEASURE") : QStringLiteral("FOCUS"));
    }
}

void ImageManagementWindow::customEvent(QEvent* event) {
    if (event->type() == kFullScreenClosedMessage) {
        onFullScreenClosed();
    } else if (event->type() == kPopupSaveMessage) {
        snap();
    }
}

void ImageManagementWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // The window opens with no button focused (a focused HD button is drawn lit).
    setFocus(Qt::OtherFocusReason);
}

bool ImageManagementWindow::event(QEvent* event) {
    // The popup sends its messages synchronously, which reaches event() directly.
    if (event->type() == kFullScreenClosedMessage || event->type() == kPopupSaveMessage) {
        customEvent(event);
        return true;
    }
    return QDialog::event(event);
}

void ImageManagementWindow::mousePressEvent(QMouseEvent* event) {
    if (measuringEvent(event)) return;
    if (event->button() == Qt::LeftButton &&
        view_->pointerPressed(event->position().toPoint(), event->buttons(), event->modifiers()))
        return;
    // The HD window has no caption: its background moves it.
    if (hd_ && event->button() == Qt::LeftButton && windowHandle()) {
        windowHandle()->startSystemMove();
        return;
    }
    QDialog::mousePressEvent(event);
}

void ImageManagementWindow::mouseMoveEvent(QMouseEvent* event) {
    if (measuringEvent(event)) return;
    if (!view_->pointerMoved(event->position().toPoint(), event->buttons(), event->modifiers()))
        QDialog::mouseMoveEvent(event);
}

void ImageManagementWindow::mouseReleaseEvent(QMouseEvent* event) {
    if (measuringEvent(event)) return;
    if (event->button() == Qt::LeftButton) view_->leftButtonReleased();
    QDialog::mouseReleaseEvent(event);
}

void ImageManagementWindow::mouseDoubleClickEvent(QMouseEvent* event) {
    if (measuringEvent(event)) return;
    QDialog::mouseDoubleClickEvent(event);
}

void ImageManagementWindow::keyPressEvent(QKeyEvent* event) {
    if (mode_ == ImageMode) {
        MeasurementSession& session = measurements_->session();
        bool taken = true;
        if (event->key() == Qt::Key_Escape && measureTool_->pending())
            measureTool_->cancel();
        else if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
            measureTool_->finish();
        else if (event->key() == Qt::Key_Delete || event->key() == Qt::Key_Backspace)
            session.removeSelected();
        else if (event->matches(QKeySequence::Undo))
            measurePanel_->undo();
        else if (event->matches(QKeySequence::Redo))
            measurePanel_->redo();
        else
            taken = false;
        if (taken) {
            measureLayer_->update();
            return;
        }
    }
    QDialog::keyPressEvent(event);
}

void ImageManagementWindow::setSnapshotButtonPolls(SnapshotButtonPolls polls) {
    session_->setSnapshotButtonPolls(std::move(polls));
}

// A press of the device's own button, seen by a poll or read from the camera.
void ImageManagementWindow::onSnapshotButton() {
    snap();
    listFolder(true);
    scrollOnFrameReady_ = !session_->isRecording();
}

// ---- capture commands

void ImageManagementWindow::snap() {
    if (!session_->requestSnapshot())
        dialogs().message(this, kRecordingNow, QString(), MessageButtons::Ok);
}

void ImageManagementWindow::record() {
    if (session_->isRecording()) {
        dialogs().message(this, kRecordingNow, QString(), MessageButtons::Ok);
        return;
    }
    FileDialogRequest request;
    request.defaultExtension = QStringLiteral("AVI");
    request.initialName = QStringLiteral("*.avi");
    request.filter = QStringLiteral("AVI Files (*.AVI)|*.avi||");
    // Like every other save here, an existing movie is not replaced without asking.
    request.confirmOverwrite = true;
    const std::optional<QString> chosen = dialogs().saveFile(this, request);
    if (!chosen || chosen->isEmpty()) return;
    session_->startRecording(chosen->toStdString(), viewPanel_);
}

void ImageManagementWindow::stopRecording() {
    session_->stopRecording();
}

void ImageManagementWindow::config() {
    // Its pages are there once the camera has opened.
    if (session_->state() == CaptureSession::State::Opening) return;
    showDeviceSettings(this, session_->source());
}

// ---- full screen

void ImageManagementWindow::liveIntoViewPanel() {
    // A frame that took the old target before the move is finished when this returns.
    session_->setLiveTarget(viewPanel_);
}

void ImageManagementWindow::fullScreen() {
    if (popup_) {
        // Whatever closed the popup before (or nothing did), the live picture and the movie
        // leave it before it goes.
        onFullScreenClosed();
        popup_->hide();
        popup_->deleteLater();
        popup_ = nullptr;
    }
    if (mode_ == CaptureMode) {
        popup_ = new ClipViewerPopup(this);
        popup_->setNotifyParent(true);
        popup_->setMovieStyle(false);
        popup_->setInset(false);
        popup_->open();
        LiveTarget* surface = popup_->liveSurface();
        objectiveTools_->attachLive(surface);
        focusAids_->attachLive(surface);
        session_->setLiveTarget(surface);
    } else if (mode_ == ImageMode && !currentPicture_.empty()) {
        CxImage picture;
        loadPicture(currentPicture_, picture, nullptr);
        ClipViewerPopup modal(this);
        modal.setInset(false);
        modal.setPicture(&picture);
        modal.runModal();
    } else if (mode_ == MovieMode && !player_->moviePath().empty()) {
        popup_ = new ClipViewerPopup(this);
        popup_->setNotifyParent(true);
        popup_->setMovieStyle(true);
        popup_->setInset(false);
        popup_->open();
        if (player_->loaded())
            player_->placeVideo(popup_, QRect(0, 0, popup_->width() + 1, popup_->height() - 34));
    }
}

void ImageManagementWindow::onFullScreenClosed() {
    if (!popup_) return;
    // Whatever the mode is by now: what is still in the popup goes back to its panel.
    if (session_->liveTarget() == popup_->liveSurface()) liveIntoViewPanel();
    MediaGraph* movie = player_->graph();
    if (player_->loaded() && movie && movie->videoWindow().owner() == popup_)
        player_->placeVideo(aviPanel_,
                            QRect(0, 0, aviPanel_->width() + 1, aviPanel_->height() + 1));
}

// ---- movie playback

void ImageManagementWindow::openMovie() {
    player_->open(this);
}

void ImageManagementWindow::playMovie() {
    player_->play();
}

void ImageManagementWindow::stopMovie() {
    player_->stop();
}

// ---- settings, folders and the strip

void ImageManagementWindow::readSettings() {
    showFolderList();
    folders_.read(clock().localNow());
    folderCombo_->clear();
    for (const std::string& entry : folders_.list().entries())
        folderCombo_->addItem(QString::fromStdString(entry));
    folderCombo_->setCurrentIndex(folders_.list().selected());
}

void ImageManagementWindow::showFolderList() {
    if (!hd_) {
        const QRect shown = kImageManagementFolderListShown;
        folderCombo_->setGeometry(shown.x(), shown.y(), shown.width(), folderCombo_->height());
    }
    folderCombo_->setEnabled(true);
    folderCombo_->show();
}

void ImageManagementWindow::selectFolder(int index) {
    const auto& entries = folders_.list().entries();
    if (index < 0 || index >= static_cast<int>(entries.size())) return;
    folders_.list().select(index);
    setStorageFolder(entries[index]);
    listFolder(true);
}

void ImageManagementWindow::chooseFolder() {
    const std::optional<std::string> folder = askForFolder(this);
    if (!folder || folder->empty()) return;
    folders_.remember(*folder);
    folderCombo_->clear();
    for (const std::string& entry : folders_.list().entries())
        folderCombo_->addItem(QString::fromStdString(entry));
    folderCombo_->setCurrentIndex(folders_.list().selected());
    listFolder(true);
}

void ImageManagementWindow::listFolder(bool scrollToEnd) {
    strip_.listFolder(storageFolder(), scrollToEnd);
    keepSelectionOf(storageFolder());
    selection_.keepListed(strip_.names());
    updateStripBar();
    fillClips();
}

void ImageManagementWindow::updateStripBar() {
    if (!strip_.barVisible()) {
        stripBar_->hide();
        return;
    }
    const QSignalBlocker quiet(stripBar_);
    stripBar_->setRange(0, strip_.barMaximum());
    stripBar_->setSliderPosition(strip_.firstIndex());
    stripBar_->setValue(strip_.firstIndex());
    stripBar_->show();
}

void ImageManagementWindow::fillClips() {
    const std::string folder = storageFolder();
    std::vector<std::string> paths;
    for (int k = 0; k < PictureStrip::kSlots; ++k) {
        clips_[k]->setFile(strip_.slotPath(folder, k), strip_.slot(k));
        paths.push_back(strip_.slotPath(folder, k));
    }
    // All clips share one size; decode the new pictures together before they paint.
    thumbnails_.prefetch(paths, ThumbnailButton::pictureRect(clips_[0]->size()).size());
    updateSelectionMarks();
    redrawClips();
}

void ImageManagementWindow::redrawClipShowing(const std::string& path) {
    const int k = strip_.slotShowing(storageFolder(), path);
    if (k >= 0) clips_[k]->redraw();
}

void ImageManagementWindow::redrawClips() {
    for (ThumbnailButton* clip : clips_) clip->redraw();
}

void ImageManagementWindow::stripBarAction(int action) {
    using A = QAbstractSlider::SliderAction;
    PictureStrip::BarAction code;
    switch (action) {
        case A::SliderSingleStepSub:
            code = PictureStrip::BarAction::LineLeft;
            break;
        case A::SliderSingleStepAdd:
            code = PictureStrip::BarAction::LineRight;
            break;
        case A::SliderPageStepSub:
            code = PictureStrip::BarAction::PageLeft;
            break;
        case A::SliderPageStepAdd:
            code = PictureStrip::BarAction::PageRight;
            break;
        case A::SliderToMinimum:
            code = PictureStrip::BarAction::Top;
            break;
        case A::SliderToMaximum:
            code = PictureStrip::BarAction::Bottom;
            break;
        case A::SliderMove:
            code = PictureStrip::BarAction::Thumb;
            break;
        default:
            return;
    }
    const int track = stripBar_->sliderPosition();
    strip_.barAction(storageFolder(), code, track);
    keepSelectionOf(storageFolder());
    // The bar applies this position once the action returns.
    updateStripBar();
    stripBar_->setSliderPosition(strip_.firstIndex());
    fillClips();
}

void ImageManagementWindow::clickClip(int k, Qt::KeyboardModifiers modifiers) {
    const std::string path = strip_.slotPath(storageFolder(), k);
    if (path.empty()) return;
    const int index = strip_.slotListIndex(k);
    using Click = StripSelection::Click;
    if (modifiers & (Qt::ControlModifier | Qt::ShiftModifier)) {
        selection_.click(strip_.names(), index,
                         modifiers & Qt::ShiftModifier ? Click::Extend : Click::Toggle);
        // The commands over the selection are image mode's.
        if (mode_ != ImageMode) setMode(ImageMode);
        updateSelectionMarks();
        return;
    }
    selection_.click(strip_.names(), index, Click::Plain);
    updateSelectionMarks();
    if (mode_ != ImageMode) setMode(ImageMode);
    currentPicture_ = path;
    measureTool_->cancel();
    measurements_->open(path);
    jpegPanel_->setPicturePath(path);
    jpegPanel_->repaint();
}

void ImageManagementWindow::deleteClip(int k) {
    const std::string path = strip_.slotPath(storageFolder(), k);
    if (path.empty()) return;
    // What waits to be written goes beside the picture first, so it goes with it.
    measurements_->waitForWrites();
    const DeleteOutcome outcome = askAndDeletePicture(this, path);
    if (outcome == DeleteOutcome::Declined) return;
    // A picture that could not be deleted keeps its measurements, and they are still saved.
    std::error_code ignored;
    if (path == measurements_->picturePath() &&
        (outcome == DeleteOutcome::Deleted || !std::filesystem::exists(path, ignored)))
        measurements_->pictureRemoved();
    // Relisted whatever the delete did: a file that was already gone leaves the strip.
    listFolder(false);
}

void ImageManagementWindow::runPictureTool(PictureTools::Tool tool) {
    if (mode_ != ImageMode || currentPicture_.empty()) return;
    const std::string path = currentPicture_;
    // The measurements are in the picture's pixels: they turn with it.
    std::string ignored;
    const std::optional<PictureFileInfo> before = readPictureFileInfo(path, &ignored);
    const PictureTools::Outcome outcome = tools_.run(tool, path);
    if (outcome != PictureTools::Outcome::Reencoded && outcome != PictureTools::Outcome::Lossless)
        return;
    if (before && measurements_->picturePath() == path) {
        using shape_geometry::PictureTurn;
        std::optional<PictureTurn> turn;
        if (tool == PictureTools::Tool::RotateQuarter) turn = PictureTurn::QuarterClockwise;
        if (tool == PictureTools::Tool::RotateHalf) turn = PictureTurn::Half;
        if (tool == PictureTools::Tool::FlipVertical) turn = PictureTurn::FlipVertical;
        if (tool == PictureTools::Tool::MirrorHorizontal) turn = PictureTurn::MirrorHorizontal;
        if (turn) measurements_->pictureTurned(*turn, before->width, before->height);
    }
    jpegPanel_->redraw();
    redrawClipShowing(path);
    // Whether the file lost a generation is shown for a while under the panel, and stays
    // as the panel's tip.
    const QString status = QString::fromStdString(tools_.status());
    jpegPanel_->setToolTip(status);
    QToolTip::showText(jpegPanel_->mapToGlobal(QPoint(0, jpegPanel_->height())), status, jpegPanel_,
                       QRect(), kStatusShownMs);
}

void ImageManagementWindow::renameCurrent() {
    if (currentPicture_.empty()) return;
    // The measurements waiting to be written go with the picture.
    const bool measured = measurements_->picturePath() == currentPicture_;
    if (measured) measurements_->waitForWrites();
    const std::optional<std::string> renamed = askAndRenamePicture(this, currentPicture_);
    if (renamed && measured) measurements_->pictureMoved(*renamed);
}

}  // namespace qelvo
