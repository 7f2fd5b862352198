#include "combineui/CombineController.h"

#include "combineui/CombineProgressDialog.h"
#include "desktop/Dialogs.h"

#include <QWidget>

#include <algorithm>
#include <mutex>
#include <utility>

namespace qelvo {

using combine::CombineKind;

// What the worker and the window share for one job, under its mutex.  The worker keeps only
// the newest progress and posts one notice at a time, so a fast job never floods the
// window's queue; everything it tells goes through here, not through the posted call.
struct CombineController::Shared {
    std::atomic<bool> cancel{false};
    std::mutex mutex;
    double fraction = 0;
    std::string stage;
    bool progressed = false;
    bool done = false;
    bool written = false;
    std::string output;
    std::string error;
    bool noticePending = false;

    // True when a notice must be posted.
    bool notice() {
        if (noticePending) return false;
        noticePending = true;
        return true;
    }
};

QString CombineController::kindName(CombineKind kind) {
    return kind == CombineKind::FocusStack ? QStringLiteral("Extended depth of field")
                                           : QStringLiteral("Mosaic");
}

CombineController::CombineController(QWidget* parent, CombineRunner runner)
    : QObject(parent), parent_(parent), runner_(std::move(runner)) {}

CombineController::~CombineController() {
    cancelAndWait();
}

CombineProgressDialog* CombineController::progressDialog() const {
    return dialog_;
}

bool CombineController::start(CombineKind kind, std::vector<std::string> inputs) {
    const QString name = kindName(kind);
    if (running_) {
        dialogs().message(parent_, QStringLiteral("A combined picture is being made already."),
                          name, MessageButtons::Ok);
        return false;
    }
    if (inputs.size() < 2) {
        dialogs().message(parent_, QStringLiteral("Please select two pictures or more."), name,
                          MessageButtons::Ok);
        return false;
    }
    joinWorker();
    kind_ = kind;
    running_ = true;
    lastFraction_ = 0;
    lastStage_.clear();
    auto shared = std::make_shared<Shared>();
    shared_ = shared;

    if (!dialog_) {
        dialog_ = new CombineProgressDialog(parent_);
        connect(dialog_, &CombineProgressDialog::cancelRequested, this, &CombineController::cancel);
    }
    dialog_->begin(name, static_cast<int>(inputs.size()));
    dialog_->show();
    dialog_->raise();

    // The thread reaches this object only through posted calls, which the destructor's join
    // keeps from outliving it; a call still queued when the object goes is dropped with it.
    worker_ = std::thread([this, shared, runner = runner_, kind, inputs = std::move(inputs)] {
        combine::CombineProgress progress;
        progress.cancel = &shared->cancel;
        progress.report = [this, shared](double fraction, const std::string& stage) {
            bool post;
            {
                std::lock_guard lock(shared->mutex);
                shared->fraction = fraction;
                shared->stage = stage;
                shared->progressed = true;
                post = shared->notice();
            }
            if (post) QMetaObject::invokeMethod(this, "drain", Qt::QueuedConnection);
        };
        std::string error;
        bool written = false;
        const std::string output = combine::combinedPictureName(kind, inputs.front());
        if (output.empty()) {
            error = "no free name for the combined picture beside " + inputs.front();
        } else if (progress.cancelRequested()) {
            error = combine::kCancelled;
        } else if (!runner) {
            error = "combining pictures is not available in this build";
        } else {
            written = runner(kind, inputs, output, progress, &error);
            if (!written && error.empty()) error = "the pictures could not be combined";
        }
        bool post;
        {
            std::lock_guard lock(shared->mutex);
            shared->done = true;
            shared->written = written;
            shared->output = output;
            shared->error = error;
            post = shared->notice();
        }
        if (post) QMetaObject::invokeMethod(this, "drain", Qt::QueuedConnection);
    });
    return true;
}

void CombineController::cancel() {
    if (shared_) shared_->cancel.store(true);
    if (dialog_ && running_) dialog_->cancelling();
}

void CombineController::cancelAndWait() {
    if (shared_) shared_->cancel.store(true);
    joinWorker();
    running_ = false;
    shared_.reset();
    if (dialog_) dialog_->hide();
}

void CombineController::joinWorker() {
    if (worker_.joinable()) worker_.join();
}

void CombineController::drain() {
    // A notice of a job that has ended meanwhile finds nothing (or the next job's state).
    if (!shared_) return;
    const std::shared_ptr<Shared> job = shared_;
    bool progressed, done, written;
    double fraction;
    std::string stage, output, error;
    {
        std::lock_guard lock(shared_->mutex);
        shared_->noticePending = false;
        progressed = std::exchange(shared_->progressed, false);
        fraction = shared_->fraction;
        stage = shared_->stage;
        done = shared_->done;
        written = shared_->written;
        output = shared_->output;
        error = shared_->error;
    }
    if (progressed) onProgress(fraction, stage);
    // (A slot of the progress may have run the event loop, and this notice with it.)
    if (done && shared_ == job) onFinished(written, output, error);
}

void CombineController::onProgress(double fraction, const std::string& stage) {
    lastFraction_ = std::clamp(fraction, 0.0, 1.0);
    lastStage_ = QString::fromStdString(stage);
    if (dialog_ && !shared_->cancel.load()) dialog_->setProgress(lastFraction_, lastStage_);
    emit progressed(lastFraction_, lastStage_);
}

void CombineController::onFinished(bool written, const std::string& output,
                                   const std::string& error) {
    // The worker's last act was posting this: it is ending, if not gone already.
    joinWorker();
    running_ = false;
    shared_.reset();
    if (dialog_) dialog_->hide();
    const QString path = QString::fromStdString(output);
    const QString reason = QString::fromStdString(error);
    emit finished(written, written ? path : QString(), written ? QString() : reason);
    if (written) {
        emit pictureReady(path);
    } else if (error != combine::kCancelled) {
        dialogs().message(
            parent_, kindName(kind_) + QStringLiteral(" failed: ") + reason + QStringLiteral("."),
            kindName(kind_), MessageButtons::Ok);
    }
}

}  // namespace qelvo
