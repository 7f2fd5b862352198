#pragma once

#include "acquire/FrameAverager.h"
#include "acquire/TimeLapseRun.h"

#include <QDialog>
#include <QTimer>

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace qelvo {

// Settings of a time-lapse as the dialog offers them: interval, number of pictures or a
// duration, averaging and format.
struct TimeLapseChoice {
    double intervalSeconds = 10.0;
    bool byCount = true;
    int count = 10;
    double durationMinutes = 10.0;
    int average = 1;
    PictureFormat format = PictureFormat::Jpeg;

    // Pictures taken: the count, or one at the start and one per whole interval of the
    // duration.
    int pictures() const;
};

// The time-lapse dialog of the image management window: the settings, then Start runs the
// pictures into a new subfolder of `dayFolder` on a thread of its own (frames from
// `frames`), showing "n of N, next in s"; Stop (or closing the dialog or its window) lets
// the picture in progress finish, so only whole files are left.  Not modal: the window stays
// in use while it runs.
class TimeLapseDialog : public QDialog {
    Q_OBJECT
public:
    TimeLapseDialog(std::shared_ptr<acquire::LapseFrameSource> frames, std::string dayFolder,
                    PictureCalibration calibration, QWidget* parent = nullptr);
    ~TimeLapseDialog() override;

    TimeLapseChoice choice() const;
    void setChoice(const TimeLapseChoice& choice);
    bool running() const { return worker_.joinable() && !finished_; }
    // Starts a run (false when one is running); Stop asks it to end after the picture in
    // progress; finish waits for the end (the window's close).
    bool start();
    void stop();
    void finish();

    QString progressText() const;
    const std::optional<acquire::TimeLapseOutcome>& outcome() const { return outcome_; }
    const std::string& folder() const { return folder_; }
    QPushButton* startButton() const { return start_; }
    QPushButton* stopButton() const { return stop_; }

    // The subfolder for a run started at that local time: timelapse-HHMMSS (-2, -3, ... when
    // taken).
    static std::string runFolder(const std::string& dayFolder);

signals:
    // A picture was written (the window relists its strip) and the run ended.
    void pictureWritten(const QString& path);
    void runFinished();

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private slots:
    // Takes the finished run's outcome from the worker, on the GUI thread.
    void takeOutcome();

private:
    void updateState();
    void refreshProgress();
    void onFinished();

    std::shared_ptr<acquire::LapseFrameSource> frames_;
    std::string dayFolder_;
    PictureCalibration calibration_;
    std::string folder_;

    QDoubleSpinBox* interval_;
    QRadioButton* byCount_;
    QRadioButton* byDuration_;
    QSpinBox* count_;
    QDoubleSpinBox* duration_;
    QSpinBox* average_;
    QComboBox* format_;
    QLabel* total_;
    QLabel* progress_;
    QPushButton* start_;
    QPushButton* stop_;
    QTimer tick_;

    std::unique_ptr<acquire::TimeLapseRun> run_;
    std::thread worker_;
    bool finished_ = false;
    mutable std::mutex progressMutex_;
    acquire::TimeLapseProgress latest_;
    std::chrono::steady_clock::time_point latestAt_;
    std::optional<acquire::TimeLapseOutcome> outcome_;
    std::optional<acquire::TimeLapseOutcome> finishedOutcome_;  // the worker's, not yet taken
    std::string lastReported_;
};

}  // namespace qelvo
