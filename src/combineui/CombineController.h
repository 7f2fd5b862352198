#pragma once

#include "combine/CombineProgress.h"
#include "combine/CombinedName.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class QWidget;

namespace qelvo {

class CombineProgressDialog;

// Makes one combined picture from files: writes `output` whole or not at all and returns
// true, or returns false with a one-line reason (combine::kCancelled when it stopped on
// request).  Runs on the controller's worker thread.
using CombineRunner = std::function<bool(
    combine::CombineKind kind, const std::vector<std::string>& inputs, const std::string& output,
    const combine::CombineProgress& progress, std::string* error)>;

// The runner over the combine library's file jobs (focus stack with no depth map, mosaic).
CombineRunner fileCombineRunner();

// Runs one combining job at a time for a window: the output is named after the first input
// (combinedPictureName, so no file is ever overwritten) and made on a thread of its own; the
// progress reaches the window's thread and a progress dialog over `parent` with a Cancel
// button.  A failure is told in a message box; a cancelled job leaves no file and says
// nothing; a finished one is announced by pictureReady.  Deleting the controller (the
// window closing) cancels a job in progress and waits for it to stop.
class CombineController : public QObject {
    Q_OBJECT
public:
    CombineController(QWidget* parent, CombineRunner runner);
    ~CombineController() override;

    // Starts a job over `inputs` (in that order).  False, with the reason told, when a job is
    // already running or fewer than two pictures are given.
    bool start(combine::CombineKind kind, std::vector<std::string> inputs);
    bool running() const { return running_; }
    // Replaces the runner (between jobs).
    void setRunner(CombineRunner runner) { runner_ = std::move(runner); }
    // Asks the job in progress to stop; it ends with nothing written.
    void cancel();
    // Cancels the job in progress and waits until its thread is gone.
    void cancelAndWait();

    // The dialog shown while a job runs (null before the first job).
    CombineProgressDialog* progressDialog() const;
    // The newest progress seen on this thread.
    double lastFraction() const { return lastFraction_; }
    const QString& lastStage() const { return lastStage_; }

    // The operation's name as the windows show it: "Extended depth of field" or "Mosaic".
    static QString kindName(combine::CombineKind kind);

signals:
    void progressed(double fraction, const QString& stage);
    // A combined picture was written at `path`.
    void pictureReady(const QString& path);
    // Any end: written, failed or cancelled (`error` empty when written).
    void finished(bool written, const QString& path, const QString& error);

private slots:
    // Takes what the worker has told since the last notice (posted by the worker).
    void drain();

private:
    struct Shared;
    void onProgress(double fraction, const std::string& stage);
    void onFinished(bool written, const std::string& output, const std::string& error);
    void joinWorker();

    QPointer<QWidget> parent_;
    CombineRunner runner_;
    std::shared_ptr<Shared> shared_;
    std::thread worker_;
    bool running_ = false;
    combine::CombineKind kind_ = combine::CombineKind::FocusStack;
    QPointer<CombineProgressDialog> dialog_;
    double lastFraction_ = 0;
    QString lastStage_;
};

}  // namespace qelvo
