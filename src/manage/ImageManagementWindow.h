#pragma once

#include "capture/SnapshotButtonPoll.h"
#include "combine/CombinedName.h"
#include "combineui/CombineController.h"
#include "manage/MoviePlayer.h"
#include "manage/PictureStrip.h"
#include "manage/PictureTools.h"
#include "manage/RememberedFolders.h"
#include "manage/StripSelection.h"
#include "manage/ThumbnailCache.h"

#include <QDialog>
#include <QPixmap>

#include <array>
#include <memory>
#include <string>

class QComboBox;
class QPushButton;
class QScrollBar;

namespace qelvo {

namespace acquire {
class LapseFrameSource;
}
class CaptureSession;
class ClipViewerPopup;
class LiveTarget;
class MeasurementDocument;
class MeasurementLayer;
class MeasurementPanel;
class MeasurementTool;
class PictureOverlayLayer;
class WindowMeasuring;
class WindowFocusAids;
class SnapshotSettingsControl;
class FlatFieldControl;
class FlatFieldController;
class TimeLapseDialog;
class PicturePanel;
class PictureView;
class SimpleButton;
class ThumbnailButton;

// The image management window: live view and snapshots, movie recording, a strip of the
// storage folder's pictures, the picture panel, movie playback and full screen.  Standard
// variant: skinned buttons on the launcher's rectangle; HD variant: plain buttons, larger
// panels, 1200 x 768 centred on the first display.
class ImageManagementWindow : public QDialog {
    Q_OBJECT
public:
    enum Mode { CaptureMode = 0, ImageMode = 1, MovieMode = 2 };

    // Control ids.
    static constexpr int kClose = 2;
    static constexpr int kMinimise = 1003;
    static constexpr int kFullScreen = 1011;
    static constexpr int kCaptureTab = 1019;
    static constexpr int kImageTab = 1020;
    static constexpr int kMovieTab = 1021;
    static constexpr int kStopRecording = 1022;
    static constexpr int kSnap = 1023;
    static constexpr int kRecord = 1024;
    static constexpr int kConfig = 1025;
    static constexpr int kOpen = 1029;
    static constexpr int kPlay = 1030;
    static constexpr int kStopMovie = 1031;
    static constexpr int kFileRename = 1034;
    static constexpr int kFolderOption = 1035;
    static constexpr int kFolderList = 1036;
    static constexpr int kViewPanel = 1037;
    static constexpr int kJpegViewPanel = 1038;
    static constexpr int kAviViewPanel = 1039;
    static constexpr int kClip1 = 1040;
    static constexpr int kVerticalPanBar = 1050;
    static constexpr int kHorizontalPanBar = 1051;
    static constexpr int kStripBar = 1100;
    static constexpr int kEqualize = 1176;
    static constexpr int kLoupe = 1177;
    static constexpr int kFit = 1178;
    static constexpr int kZoomOut = 1179;
    static constexpr int kZoomIn = 1180;
    static constexpr int kRotateQuarter = 1181;
    static constexpr int kRotateHalf = 1182;
    static constexpr int kFlipVertical = 1183;
    static constexpr int kMirrorHorizontal = 1184;

    // `launcher` gives the standard window its rectangle; `hd` chooses the HD variant.
    // The window starts capturing and lists today's folder while it is built.
    ImageManagementWindow(QWidget* launcher, bool hd);
    ~ImageManagementWindow() override;

    bool isHd() const { return hd_; }
    int mode() const { return mode_; }
    void setMode(int mode);
    const std::string& currentPicture() const { return currentPicture_; }
    const std::string& rootFolder() const { return folders_.root(); }
    const PictureStrip& strip() const { return strip_; }
    const FolderList& folderList() const { return folders_.list(); }
    CaptureSession& session() { return *session_; }
    MoviePlayer& player() { return *player_; }
    ClipViewerPopup* fullScreenPopup() const { return popup_; }
    ThumbnailButton* clip(int k) const { return clips_.at(k); }
    ThumbnailCache& thumbnailCache() { return thumbnails_; }
    PicturePanel& picturePanel() { return *jpegPanel_; }
    PictureView& pictureView() { return *view_; }
    MeasurementDocument& measurements() { return *measurements_; }
    MeasurementTool& measurementTool() { return *measureTool_; }
    MeasurementPanel& measurementPanel() { return *measurePanel_; }
    MeasurementLayer& measurementLayer() { return *measureLayer_; }
    // Objectives, the objective control, overlays and calibration.
    WindowMeasuring& objectiveTools() { return *objectiveTools_; }
    // The focus aids over the live picture.
    WindowFocusAids& focusAids() { return *focusAids_; }
    // Flat-field correction of the live picture and the snapshots, and its references.
    FlatFieldController& flatField() { return *flatField_; }
    void setSnapshotButtonPolls(SnapshotButtonPolls polls);

    // Commands, as the controls run them.
    void snap();
    void record();
    void stopRecording();
    void config();
    // The time-lapse dialog (opened, or raised when open).
    void openTimeLapse();
    TimeLapseDialog* timeLapseDialog() const { return timeLapse_; }
    void fullScreen();
    void openMovie();
    void playMovie();
    void stopMovie();
    void renameCurrent();
    // A file-rewriting picture tool on the current picture (image mode only), then the
    // panel and the thumbnail showing it are redrawn.
    void runPictureTool(PictureTools::Tool tool);
    void chooseFolder();
    // A click on CLIP #k+1: a plain click selects that picture alone and shows it (image
    // mode); Ctrl+click adds it to the selection or takes it out, Shift+click selects the
    // range from the last picture clicked, both leaving the shown picture as it is.
    void clickClip(int k, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    // The strip's selection and its pictures (full paths, in strip order).
    const StripSelection& selection() const { return selection_; }
    std::vector<std::string> selectedPictures() const;
    // Combines the selected pictures (two or more) into a new picture beside the first,
    // showing the progress; the new picture is then selected and shown.
    void combineSelected(combine::CombineKind kind);
    CombineController& combiner() { return *combiner_; }
    // The command buttons: enabled with two pictures or more selected.
    QPushButton* combineButton(combine::CombineKind kind) const;
    // The strip's context menu over CLIP #k+1 (the combining commands).
    void showClipMenu(int k, const QPoint& globalPosition);
    void deleteClip(int k);
    void selectFolder(int index);
    // Clicks on the standard tab strip at horizontal position `x` inside it.
    void tabStripClicked(int x);
    // The strip bar's action codes (QAbstractSlider::SliderAction).
    void stripBarAction(int action);
    // Lists the storage folder and repaints the eight thumbnails.
    void listFolder(bool scrollToEnd);
    // Repaints the one thumbnail showing `path` (after a picture was rewritten).
    void redrawClipShowing(const std::string& path);
    // A press of the device's own button.
    void onSnapshotButton();

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void customEvent(QEvent* event) override;
    bool event(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void buildStandard(QWidget* launcher);
    void buildHd();
    void buildCommon(const struct WindowSkin& skin);
    void connectCommands();
    void applyMode();
    void readSettings();
    void showFolderList();
    void updateStripBar();
    void fillClips();
    void redrawClips();
    void liveIntoViewPanel();
    void onFullScreenClosed();
    void buildMeasuring();
    void buildObjectiveTools();
    void placeObjectiveTools();
    void buildFocusAids();
    void buildCombining();
    void updateSelectionMarks();
    // A selection goes when the strip shows another folder: its names are not that folder's.
    void keepSelectionOf(const std::string& folder);
    void showCombined(const QString& path);
    void buildFlatField();
    QImage pictureToCalibrate();
    // Pointer events for the measuring tool: true when it took them.
    bool measuringEvent(QMouseEvent* event);
    void showStatus(const QString& text);
    QWidget* controlById(int id) const;

    bool hd_;
    int mode_ = CaptureMode;
    QPixmap background_;
    QSize backgroundSource_;
    std::unique_ptr<CaptureSession> session_;
    std::unique_ptr<MediaGraph> movieGraph_;
    std::unique_ptr<MoviePlayer> player_;
    RememberedFolders folders_;
    PictureStrip strip_;
    ThumbnailCache thumbnails_;
    std::string currentPicture_;
    ClipViewerPopup* popup_ = nullptr;
    bool scrollOnFrameReady_ = false;

    LiveTarget* viewPanel_ = nullptr;
    PicturePanel* jpegPanel_ = nullptr;
    PictureView* view_ = nullptr;
    PictureTools tools_{this};
    QWidget* aviPanel_ = nullptr;
    QComboBox* folderCombo_ = nullptr;
    QScrollBar* stripBar_ = nullptr;
    SimpleButton* tabStrip_ = nullptr;
    std::array<ThumbnailButton*, PictureStrip::kSlots> clips_{};
    MeasurementDocument* measurements_ = nullptr;
    std::unique_ptr<MeasurementTool> measureTool_;
    MeasurementLayer* measureLayer_ = nullptr;
    MeasurementPanel* measurePanel_ = nullptr;
    WindowMeasuring* objectiveTools_ = nullptr;
    PictureOverlayLayer* pictureOverlays_ = nullptr;
    WindowFocusAids* focusAids_ = nullptr;
    SnapshotSettingsControl* snapshotSettings_ = nullptr;
    FlatFieldController* flatField_ = nullptr;
    FlatFieldControl* flatFieldControl_ = nullptr;
    std::shared_ptr<acquire::LapseFrameSource> flatFrames_;
    QPushButton* timeLapseButton_ = nullptr;
    TimeLapseDialog* timeLapse_ = nullptr;
    StripSelection selection_;
    // The folder the selection's names are in.
    std::string selectionFolder_;
    CombineController* combiner_ = nullptr;
    QPushButton* focusStackButton_ = nullptr;
    QPushButton* mosaicButton_ = nullptr;
};

}  // namespace qelvo
