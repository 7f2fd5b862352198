#include "capture/CaptureTestWindow.h"

namespace qelvo::test {

namespace {
LiveTarget* makeTarget(QWidget* parent, const QRect& rect) {
    auto* target = new LiveTarget(parent);
    target->setGeometry(rect);
    return target;
}
}  // namespace

CaptureTestWindow::CaptureTestWindow(CaptureOptions options, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Capture test window"));
    resize(1024, 768);
    view_ = makeTarget(this, {10, 10, 640, 480});
    clip_ = makeTarget(this, {660, 10, 120, 90});
    for (int i = 0; i < 4; ++i) panes_[i] = makeTarget(this, {10 + 170 * i, 500, 160, 120});

    session_ = std::make_unique<CaptureSession>(options);
    CaptureSession* s = session_.get();
    connect(s, &CaptureSession::snapshotTaken, this,
            [this](std::shared_ptr<const FrameRecord> frame) { snapshots.push_back(frame); });
    connect(s, &CaptureSession::snapshotWritten, this,
            [this](const QString& path) { written.push_back(path.toStdString()); });
    connect(s, &CaptureSession::frameNotice, this,
            [this](std::shared_ptr<const FrameRecord> frame) { notices.push_back(frame); });
    connect(s, &CaptureSession::stateChanged, this,
            [this](CaptureSession::State state) { states.push_back(state); });
    connect(s, &CaptureSession::buttonPressed, this, [this] { ++buttonPresses; });
    connect(s, &CaptureSession::noLiveFrames, this, [this] { ++noLiveFrameReports; });
    connect(s, &CaptureSession::pictureUnavailable, this,
            [this](const QString& text) { unavailable.push_back(text); });
    connect(s, &CaptureSession::recordingProblem, this,
            [this](const QString& text) { recordingProblems.push_back(text); });

    if (options.snapshots == SnapshotDelivery::HandedOver) {
        s->setLiveTarget(panes_[0]);
        s->setStillTarget(panes_[3]);
    } else {
        s->setLiveTarget(view_);
        s->setStillTarget(clip_);
    }
}

CaptureTestWindow::~CaptureTestWindow() {
    // Capture goes before the targets it draws into.
    session_.reset();
}

LiveTarget* CaptureTestWindow::live() const {
    return session_->liveTarget();
}

CaptureSession::State CaptureTestWindow::startAndSettle() {
    session_->start();
    waitUntil([this] { return session_->state() != CaptureSession::State::Opening; });
    return session_->state();
}

bool CaptureTestWindow::waitForLiveFrames(std::uint64_t count) {
    LiveTarget* target = live();
    if (!target) return false;
    const std::uint64_t goal = target->submittedFrames() + count;
    return waitUntil([&] { return target->submittedFrames() >= goal; });
}

}  // namespace qelvo::test
