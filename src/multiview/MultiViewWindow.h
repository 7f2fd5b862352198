#pragma once

#include "capture/FrameRecord.h"
#include "capture/SnapshotButtonPoll.h"
#include "multiview/PaneSaver.h"
#include "multiview/PenLayers.h"

#include <QDialog>
#include <QPixmap>
#include <QTimer>

#include <array>
#include <memory>

namespace qelvo {

namespace acquire {
class LapseFrameSource;
}
class CaptureSession;
class FlatFieldControl;
class FlatFieldController;
class PaneMeasuring;
class ClipViewerPopup;
class LiveTarget;
class ViewCycle;
class ViewPane;
class WindowMeasuring;
class WindowFocusAids;
class FocusSeriesTool;

// The multi-view display window: the live picture in one, two or four view panes, successive
// snapshots frozen into them, pen strokes over the frozen pictures, full screen, SAVE as
// numbered JPEG files and PRINT on one report page.  Standard variant: skinned buttons on the
// launcher's rectangle; HD variant: plain buttons in a column, 1200 x 590 centred on the
// first display, no pen.
class MultiViewWindow : public QDialog {
    Q_OBJECT
public:
    // Control ids.
    static constexpr int kClose = 2;
    static constexpr int kHidden = 1002;
    static constexpr int kMinimise = 1003;
    static constexpr int kFull = 1004;
    static constexpr int kDual = 1005;
    static constexpr int kQuad = 1006;
    static constexpr int kSnapFreeze = 1007;
    static constexpr int kCapture2 = 1008;
    static constexpr int kCapture3 = 1009;
    static constexpr int kCapture4 = 1010;
    static constexpr int kFullScreen = 1011;
    static constexpr int kSave = 1012;
    static constexpr int kConfig = 1013;
    static constexpr int kPrint = 1014;
    static constexpr int kViewDisplay1 = 1015;
    static constexpr int kAlarm = 1048;
    static constexpr int kClear = 1206;
    static constexpr int kPen = 1207;
    static constexpr int kErase = 1208;
    // ALARM goes out this long after a snapshot was served.
    static constexpr int kAlarmClearMs = 500;

    // `launcher` gives the standard window its rectangle; `hd` chooses the HD variant.  The
    // window makes the day folder, lays out FULL and starts capturing while it is built.
    MultiViewWindow(QWidget* launcher, bool hd);
    ~MultiViewWindow() override;

    bool isHd() const { return hd_; }
    ViewCycle& cycle() { return *cycle_; }
    PenLayers& pen() { return pen_; }
    // Measuring on the frozen panes (standard window only; null in the HD window).
    PaneMeasuring* measuring() const { return measuring_; }
    ViewPane* pane(int index) const { return panes_.at(index); }
    CaptureSession& session() { return *session_; }
    ClipViewerPopup* fullScreenPopup() const { return popup_; }
    bool alarmLit() const { return alarmLit_; }
    void setSnapshotButtonPolls(SnapshotButtonPolls polls);
    void setPaneSaver(PaneSaver saver) { saver_ = std::move(saver); }
    // Objectives, the objective control, overlays over the live picture and calibration.
    WindowMeasuring& objectiveTools() { return *objectiveTools_; }
    // The focus aids over the live views.
    WindowFocusAids& focusAids() { return *focusAids_; }
    // The focus series: its snapshots kept as pictures, then fused.
    FocusSeriesTool& focusSeries() { return *focusSeries_; }
    // Flat-field correction of the live views and the frozen ones, and its references.
    FlatFieldController& flatField() { return *flatField_; }

    // Commands, as the controls run them.
    void applyLayout(int layout);
    void snapshotRequest();
    void frameNotices();
    void fullScreen();
    void save();
    void config();
    void print();
    void togglePen();
    void erase();
    void clear();
    void clickPane(int index);

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void buildStandard(QWidget* launcher);
    void buildHd();
    void makePanes();
    void buildMeasuring();
    void buildFlatField();
    void connectCommands();
    void layOut();
    void setAlarm(bool lit);
    void refreshPanes();
    void refreshPane(int index);
    QImage paneImage(int index);
    void onSnapshotFrame(std::shared_ptr<const FrameRecord> frame);
    void showFusedPicture(std::shared_ptr<const FrameRecord> frame);
    void onFullScreenClosed();
    void onPenStroke(QEvent* event);
    QWidget* controlById(int id) const;

    bool hd_;
    QTimer alarmClear_;
    std::array<QPixmap, 3> backgrounds_;  // FULL, DUAL, QUAD (the HD window has one)
    QSize backgroundSource_;
    std::array<ViewPane*, 4> panes_{};
    std::unique_ptr<ViewCycle> cycle_;
    PenLayers pen_;
    PaneSaver saver_;
    std::unique_ptr<CaptureSession> session_;
    ClipViewerPopup* popup_ = nullptr;
    bool alarmLit_ = false;
    WindowMeasuring* objectiveTools_ = nullptr;
    WindowFocusAids* focusAids_ = nullptr;
    PaneMeasuring* measuring_ = nullptr;
    FocusSeriesTool* focusSeries_ = nullptr;
    FlatFieldController* flatField_ = nullptr;
    FlatFieldControl* flatFieldControl_ = nullptr;
    std::shared_ptr<acquire::LapseFrameSource> flatFrames_;

    // What each pane last painted, so a repaint does not rebuild an unchanged picture.  The
    // frame is told by its owner, not its address: a freed frame's address may be reused.
    struct PaneCache {
        std::weak_ptr<const FrameRecord> frame;
        bool pen = false;
        unsigned revision = 0;
        QSize size;
        QImage image;
    };
    std::array<PaneCache, 4> paneCache_;
};

}  // namespace qelvo
