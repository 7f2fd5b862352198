#include "acquireui/FlatFieldController.h"

#include <QCoreApplication>
#include <QElapsedTimer>

namespace qelvo {

using Kind = acquire::FlatFieldStore::Kind;

FlatFieldController::FlatFieldController(std::string device, acquire::FlatFieldStore store,
                                         Access access, QObject* parent)
    : QObject(parent),
      device_(std::move(device)),
      store_(std::move(store)),
      access_(std::move(access)) {
    enabled_ = access_.loadOn && access_.loadOn();
}

FlatFieldController::~FlatFieldController() {
    if (stop_) stop_->store(true);
    // Ends a wait for the next frame at once.
    if (frames_ && access_.closeFrames) access_.closeFrames();
    join();
}

void FlatFieldController::join() {
    if (worker_.joinable()) worker_.join();
}

void FlatFieldController::setObjective(const std::string& name) {
    if (name == objective_ && (hasFlat_ || busy() || reloadPending_)) return;
    objective_ = name;
    // Nothing of another objective's references applies to this one meanwhile.
    correction_.reset();
    hasFlat_ = hasDark_ = false;
    applyCorrection();
    if (busy()) {
        reloadPending_ = true;
    } else {
        start(Job::Load, Kind::Flat, 0);
    }
    emit changed();
}

bool FlatFieldController::correcting() const {
    if (!enabled_ || !correction_) return false;
    const QSize size = access_.frameSize ? access_.frameSize() : QSize();
    return size.isEmpty() || correction_->fits(size.width(), size.height(), nullptr);
}

QString FlatFieldController::stateText() const {
    if (busy()) return QStringLiteral("\u2026");
    if (!hasFlat_) return QStringLiteral("NONE");
    if (!enabled_) return QStringLiteral("OFF");
    return correcting() ? QStringLiteral("ON") : QStringLiteral("SIZE");
}

void FlatFieldController::setEnabled(bool on) {
    if (on && !hasFlat_ && !busy()) {
        emit message(
            QStringLiteral("There is no flat for %1 yet: take one of an empty, evenly "
                           "lit field first.")
                .arg(QString::fromStdString(objective_.empty() ? "this objective" : objective_)),
            true);
        emit changed();
        return;
    }
    enabled_ = on;
    if (access_.storeOn && !access_.storeOn(on))
        emit message(QStringLiteral("The flat-field setting could not be stored for this "
                                    "device: it holds until the window closes."),
                     true);
    applyCorrection();
    if (on) tellIfSizeDiffers();
    emit changed();
}

void FlatFieldController::take(Kind kind, int frames) {
    const QString what = kind == Kind::Flat ? QStringLiteral("flat") : QStringLiteral("dark");
    if (busy()) {
        emit message(QStringLiteral("A reference is being taken or read: wait until it is done."),
                     true);
        return;
    }
    if (objective_.empty()) {
        emit message(QStringLiteral("The %1 was not taken: no objective is chosen.").arg(what),
                     true);
        return;
    }
    frames_ = access_.openFrames ? access_.openFrames() : nullptr;
    if (!frames_) {
        emit message(QStringLiteral("The %1 was not taken: there is no live picture.").arg(what),
                     true);
        return;
    }
    start(Job::Take, kind, frames);
    emit changed();
}

void FlatFieldController::clear() {
    if (busy()) {
        emit message(QStringLiteral("A reference is being taken or read: wait until it is done."),
                     true);
        return;
    }
    start(Job::Clear, Kind::Flat, 0);
    emit changed();
}

void FlatFieldController::start(Job job, Kind kind, int frames) {
    stop_ = std::make_shared<std::atomic<bool>>(false);
    // The thread works on copies and the frame source it shares; it hands its result back
    // to the GUI thread and touches nothing else of this object.
    worker_ = std::thread([this, job, kind, frames, store = store_, device = device_,
                           objective = objective_, source = frames_, stop = stop_] {
        acquire::ReferenceTakeResult result;
        switch (job) {
            case Job::Load:
                result = acquire::loadReferences(store, device, objective);
                break;
            case Job::Take:
                result = acquire::takeReference(*source, store, device, objective, kind, frames,
                                                stop.get());
                break;
            case Job::Clear:
                result = acquire::clearReferences(store, device, objective);
                break;
        }
        if (stop->load()) return;
        {
            std::lock_guard lock(resultMutex_);
            result_ = Result{std::move(result), job, objective};
        }
        // By name: Qt makes the call event itself; the result crossed under the mutex.
        QMetaObject::invokeMethod(this, "collectResult", Qt::QueuedConnection);
    });
}

void FlatFieldController::collectResult() {
    std::optional<Result> done;
    {
        std::lock_guard lock(resultMutex_);
        done.swap(result_);
    }
    if (done) finished(std::move(done->result), done->job, std::move(done->objective));
}

void FlatFieldController::finished(acquire::ReferenceTakeResult result, Job job,
                                   std::string objective) {
    join();
    if (frames_) {
        frames_.reset();
        if (access_.closeFrames) access_.closeFrames();
    }
    if (reloadPending_ || objective != objective_) {
        // The objective changed meanwhile: its own references are read now.
        reloadPending_ = false;
        if (job != Job::Load && !result.message.empty())
            emit message(QString::fromStdString(result.message), !result.ok);
        start(Job::Load, Kind::Flat, 0);
        emit changed();
        return;
    }
    correction_ = std::move(result.correction);
    hasFlat_ = result.hasFlat && correction_;
    hasDark_ = result.hasDark;
    applyCorrection();
    QString text = QString::fromStdString(result.message);
    if (job == Job::Take && result.ok && !enabled_ && hasFlat_)
        text += QStringLiteral(" Turn flat-field correction on to use it.");
    if (!text.isEmpty()) emit message(text, !result.ok || !result.problem.empty());
    if (enabled_) tellIfSizeDiffers();
    emit changed();
}

void FlatFieldController::applyCorrection() {
    if (access_.apply) access_.apply(enabled_ ? correction_ : nullptr);
}

void FlatFieldController::tellIfSizeDiffers() {
    if (!correction_ || !access_.frameSize) return;
    const QSize size = access_.frameSize();
    std::string why;
    if (!size.isEmpty() && !correction_->fits(size.width(), size.height(), &why))
        emit message(QStringLiteral("The live picture is not corrected: %1.")
                         .arg(QString::fromStdString(why)),
                     true);
}

void FlatFieldController::waitIdle() {
    QElapsedTimer clock;
    clock.start();
    while ((busy() || reloadPending_) && clock.elapsed() < 30000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

}  // namespace qelvo
