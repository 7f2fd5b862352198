#include "acquireui/TimeLapseDialog.h"

#include "skin/SkinPalette.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <sys/stat.h>

#include <cmath>
#include <ctime>

namespace qelvo {

int TimeLapseChoice::pictures() const {
    if (byCount) return std::max(1, count);
    if (intervalSeconds <= 0) return 1;
    return 1 + static_cast<int>(std::floor(durationMinutes * 60.0 / intervalSeconds + 1e-9));
}

std::string TimeLapseDialog::runFolder(const std::string& dayFolder) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char name[32];
    std::snprintf(name, sizeof name, "timelapse-%02d%02d%02d", local.tm_hour, local.tm_min,
                  local.tm_sec);
    std::string folder = dayFolder + "/" + name;
    struct stat info {};
    for (int k = 2; ::stat(folder.c_str(), &info) == 0; ++k)
        folder = dayFolder + "/" + name + "-" + std::to_string(k);
    return folder;
}

TimeLapseDialog::TimeLapseDialog(std::shared_ptr<acquire::LapseFrameSource> frames,
                                 std::string dayFolder, PictureCalibration calibration,
                                 QWidget* parent)
    : QDialog(parent),
      frames_(std::move(frames)),
      dayFolder_(std::move(dayFolder)),
      calibration_(std::move(calibration)) {
    setWindowTitle(QStringLiteral("Time-lapse"));
    setObjectName(QStringLiteral("time-lapse"));
    setStyleSheet(
        palette::controlStyleSheet() +
        QStringLiteral("QDialog { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, "
                       "stop:0 #2a2f37, stop:1 #14171b); }"
                       "QLabel, QRadioButton { color: #e2e7ee; }"
                       "QRadioButton::indicator { width: 11px; height: 11px; border-radius: 6px;"
                       " border: 1px solid #4a5360; background: #080a0c; }"
                       "QRadioButton::indicator:checked { background: #34c6da; }"
                       "QLabel#progress { color: #34c6da; font-weight: bold; }"
                       "QSpinBox, QDoubleSpinBox { background: #080a0c; color: #e2e7ee;"
                       " border: 1px solid #4a5360; border-radius: 3px; padding: 2px; }"
                       "QPushButton { background: #080a0c; color: #e2e7ee; border: 1px "
                       "solid #4a5360; border-radius: 3px; padding: 4px 14px; }"
                       "QPushButton:hover { border-color: #34c6da; }"
                       "QPushButton:disabled { color: #4d5662; }"));

    interval_ = new QDoubleSpinBox(this);
    interval_->setRange(0.1, 24 * 3600.0);
    interval_->setDecimals(1);
    interval_->setSuffix(QStringLiteral(" s"));
    byCount_ = new QRadioButton(QStringLiteral("Pictures"), this);
    byDuration_ = new QRadioButton(QStringLiteral("Duration"), this);
    count_ = new QSpinBox(this);
    count_->setRange(1, 100000);
    duration_ = new QDoubleSpinBox(this);
    duration_->setRange(0.1, 7 * 24 * 60.0);
    duration_->setDecimals(1);
    duration_->setSuffix(QStringLiteral(" min"));
    average_ = new QSpinBox(this);
    average_->setRange(1, acquire::FrameAverager::kMaxFrames);
    format_ = new QComboBox(this);
    format_->addItem(QStringLiteral("JPEG (.jpg)"), static_cast<int>(PictureFormat::Jpeg));
    format_->addItem(QStringLiteral("PNG (.png, lossless)"), static_cast<int>(PictureFormat::Png));
    format_->addItem(QStringLiteral("TIFF (.tif, lossless)"),
                     static_cast<int>(PictureFormat::Tiff));
    total_ = new QLabel(this);
    progress_ = new QLabel(QStringLiteral("Ready."), this);
    progress_->setObjectName(QStringLiteral("progress"));
    start_ = new QPushButton(QStringLiteral("&Start"), this);
    stop_ = new QPushButton(QStringLiteral("S&top"), this);
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    start_->setAutoDefault(false);
    stop_->setAutoDefault(false);
    close->setAutoDefault(false);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Interval"), interval_);
    form->addRow(byCount_, count_);
    form->addRow(byDuration_, duration_);
    form->addRow(QStringLiteral("Frames averaged"), average_);
    form->addRow(QStringLiteral("Format"), format_);
    form->addRow(QString(), total_);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(start_);
    buttons->addWidget(stop_);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(progress_);
    layout->addLayout(buttons);

    setChoice(TimeLapseChoice{});
    for (QObject* field : {static_cast<QObject*>(interval_), static_cast<QObject*>(duration_)})
        connect(qobject_cast<QDoubleSpinBox*>(field), &QDoubleSpinBox::valueChanged, this,
                &TimeLapseDialog::updateState);
    connect(count_, &QSpinBox::valueChanged, this, &TimeLapseDialog::updateState);
    connect(byCount_, &QRadioButton::toggled, this, &TimeLapseDialog::updateState);
    connect(start_, &QPushButton::clicked, this, &TimeLapseDialog::start);
    connect(stop_, &QPushButton::clicked, this, &TimeLapseDialog::stop);
    connect(close, &QPushButton::clicked, this, &TimeLapseDialog::reject);
    tick_.setInterval(200);
    connect(&tick_, &QTimer::timeout, this, &TimeLapseDialog::refreshProgress);
    updateState();
}

TimeLapseDialog::~TimeLapseDialog() {
    finish();
}

TimeLapseChoice TimeLapseDialog::choice() const {
    TimeLapseChoice c;
    c.intervalSeconds = interval_->value();
    c.byCount = byCount_->isChecked();
    c.count = count_->value();
    c.durationMinutes = duration_->value();
    c.average = average_->value();
    c.format = static_cast<PictureFormat>(format_->currentData().toInt());
    return c;
}

void TimeLapseDialog::setChoice(const TimeLapseChoice& c) {
    interval_->setValue(c.intervalSeconds);
    byCount_->setChecked(c.byCount);
    byDuration_->setChecked(!c.byCount);
    count_->setValue(c.count);
    duration_->setValue(c.durationMinutes);
    average_->setValue(c.average);
    format_->setCurrentIndex(std::max(0, format_->findData(static_cast<int>(c.format))));
    updateState();
}

void TimeLapseDialog::updateState() {
    const bool busy = running();
    for (QWidget* w : std::initializer_list<QWidget*>{interval_, byCount_, byDuration_, average_,
                                                      format_, count_, duration_})
        w->setEnabled(!busy);
    if (!busy) {
        count_->setEnabled(byCount_->isChecked());
        duration_->setEnabled(byDuration_->isChecked());
    }
    start_->setEnabled(!busy && frames_);
    stop_->setEnabled(busy && !(run_ && run_->stopRequested()));
    total_->setText(QStringLiteral("%1 pictures into a new folder of %2")
                        .arg(choice().pictures())
                        .arg(QString::fromStdString(dayFolder_)));
}

bool TimeLapseDialog::start() {
    if (running() || !frames_) return false;
    finish();  // the thread of an earlier run
    const TimeLapseChoice c = choice();
    acquire::TimeLapseSettings settings;
    folder_ = runFolder(dayFolder_);
    settings.folder = folder_;
    settings.interval =
        std::chrono::nanoseconds(static_cast<std::int64_t>(std::llround(c.intervalSeconds * 1e9)));
    settings.count = c.pictures();
    settings.average = c.average;
    settings.format = c.format;
    settings.calibration = calibration_;
    run_ = std::make_unique<acquire::TimeLapseRun>(settings, *frames_);
    {
        std::lock_guard lock(progressMutex_);
        finishedOutcome_.reset();  // an earlier run's, whose notice is still on its way
        latest_ = {};
        latest_.total = settings.count;
        latestAt_ = std::chrono::steady_clock::now();
    }
    run_->onProgress([this](const acquire::TimeLapseProgress& p) {
        std::lock_guard lock(progressMutex_);
        latest_ = p;
        latestAt_ = std::chrono::steady_clock::now();
    });
    outcome_.reset();
    finished_ = false;
    lastReported_.clear();
    worker_ = std::thread([this] {
        acquire::TimeLapseOutcome outcome = run_->run();
        // Handed over under the lock; only a notice goes through the event queue.
        {
            std::lock_guard lock(progressMutex_);
            finishedOutcome_ = std::move(outcome);
        }
        QMetaObject::invokeMethod(this, "takeOutcome", Qt::QueuedConnection);
    });
    tick_.start();
    refreshProgress();
    updateState();
    return true;
}

void TimeLapseDialog::takeOutcome() {
    std::optional<acquire::TimeLapseOutcome> outcome;
    {
        std::lock_guard lock(progressMutex_);
        outcome = std::move(finishedOutcome_);
        finishedOutcome_.reset();
    }
    if (!outcome) return;
    outcome_ = std::move(outcome);
    onFinished();
}

void TimeLapseDialog::stop() {
    if (run_) run_->requestStop();
    progress_->setText(progressText() + QStringLiteral(" — stopping after this picture"));
    updateState();
}

void TimeLapseDialog::finish() {
    if (run_) run_->requestStop();
    if (worker_.joinable()) worker_.join();
}

QString TimeLapseDialog::progressText() const {
    std::lock_guard lock(progressMutex_);
    if (outcome_) {
        QString text = QStringLiteral("%1 of %2 taken").arg(outcome_->taken).arg(latest_.total);
        if (outcome_->skipped) text += QStringLiteral(", %1 skipped").arg(outcome_->skipped);
        if (!outcome_->problem.empty())
            text += QStringLiteral(": ") + QString::fromStdString(outcome_->problem);
        else if (outcome_->stopped)
            text += QStringLiteral(", stopped");
        return text + QLatin1Char('.');
    }
    const auto since = std::chrono::steady_clock::now() - latestAt_;
    const double next =
        std::max(0.0, std::chrono::duration<double>(latest_.nextIn - since).count());
    if (latest_.taken + latest_.skipped >= latest_.total && latest_.total > 0)
        return QStringLiteral("%1 of %2, finishing").arg(latest_.taken).arg(latest_.total);
    return QStringLiteral("%1 of %2, next in %3 s")
        .arg(latest_.taken)
        .arg(latest_.total)
        .arg(QString::number(next, 'f', next < 10 ? 1 : 0));
}

void TimeLapseDialog::refreshProgress() {
    std::string last;
    {
        std::lock_guard lock(progressMutex_);
        last = latest_.lastPath;
    }
    if (!last.empty() && last != lastReported_) {
        lastReported_ = last;
        emit pictureWritten(QString::fromStdString(last));
    }
    if (!(run_ && run_->stopRequested()) || outcome_) progress_->setText(progressText());
}

void TimeLapseDialog::onFinished() {
    if (worker_.joinable()) worker_.join();
    finished_ = true;
    tick_.stop();
    refreshProgress();
    progress_->setText(progressText());
    updateState();
    emit runFinished();
}

void TimeLapseDialog::closeEvent(QCloseEvent* event) {
    // Closing lets the picture in progress finish; only whole files stay.
    finish();
    QDialog::closeEvent(event);
}

void TimeLapseDialog::reject() {
    finish();
    QDialog::reject();
}

}  // namespace qelvo
