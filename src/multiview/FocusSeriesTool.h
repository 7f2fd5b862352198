#pragma once

#include "combineui/CombineController.h"
#include "multiview/FocusSeries.h"

#include <QPointer>
#include <QRect>
#include <QWidget>

class QLabel;
class QPushButton;

namespace qelvo {

// The switch of the focus series: a pill in the skin's style with a mark of stacked layers,
// lit while the series is on, then giving the number of pictures taken.
class FocusSeriesSwitch : public QWidget {
    Q_OBJECT
public:
    FocusSeriesSwitch(const FocusSeries& series, QWidget* parent);
    QString text() const;

signals:
    void toggled();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    const FocusSeries& series_;
    bool hover_ = false;
};

// The focus series of the multi-view window: its switch, and while it is on a small panel
// with the count and FUSE.  Every snapshot taken meanwhile is written into the day folder;
// turning the series off (or FUSE) with two pictures or more offers to fuse them into one
// picture with extended depth of field beside them, with the progress shown; the fused
// picture is then read back and handed over to be shown as the newest snapshot.
class FocusSeriesTool : public QObject {
    Q_OBJECT
public:
    FocusSeriesTool(QWidget* window, CombineRunner runner, QRect switchRect, QRect panelRect,
                    FocusSeries::Writer writer = FocusSeries::writeSnapshotPicture);
    ~FocusSeriesTool() override;

    FocusSeries& series() { return series_; }
    CombineController& combiner() { return *combiner_; }
    FocusSeriesSwitch* seriesSwitch() const { return switch_; }
    QWidget* panel() const { return panel_; }
    QPushButton* fuseButton() const { return fuse_; }

    void setOn(bool on);
    // A snapshot frame of the window (kept when the series is on).
    void snapshot(std::shared_ptr<const FrameRecord> frame, const SnapshotObjective& objective,
                  const std::string& folder);

signals:
    // The fused picture, to be shown as a snapshot is.
    void fusedPicture(std::shared_ptr<const FrameRecord> frame, const QString& path);

private:
    void onEnded(const QStringList& pictures);
    void refresh();

    QWidget* window_;
    FocusSeries series_;
    CombineController* combiner_;
    QPointer<FocusSeriesSwitch> switch_;
    QPointer<QWidget> panel_;
    QLabel* count_;
    QPushButton* fuse_;
};

}  // namespace qelvo
