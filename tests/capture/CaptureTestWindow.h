#pragma once

#include "capture/CaptureSession.h"
#include "desktop/LiveTarget.h"
#include "support/WaitUntil.h"

#include <QDialog>
#include <QStringList>

#include <array>
#include <memory>
#include <string>
#include <vector>

namespace qelvo::test {

// A small working window for the capture tests.  It owns one capture session and the targets
// a working window gives it: a 640 x 480 live panel and a clip for the still output when
// snapshots are written, four panes (the fourth taking the still output) when they are
// handed over.  It records every signal its session sends.
class CaptureTestWindow : public QDialog {
public:
    explicit CaptureTestWindow(CaptureOptions options = {}, QWidget* parent = nullptr);
    ~CaptureTestWindow() override;

    CaptureSession& session() { return *session_; }
    // Where the session draws the live picture: the view panel, or pane 1.
    LiveTarget* live() const;
    LiveTarget* view() const { return view_; }
    LiveTarget* clip() const { return clip_; }
    LiveTarget* pane(int index) const { return panes_.at(index); }

    // Starts the session and runs the event loop until its device has answered (the state
    // is no longer Opening).  Returns that state.
    CaptureSession::State startAndSettle();
    // Runs the event loop until `count` frames more than now were handed to the live target.
    bool waitForLiveFrames(std::uint64_t count);

    std::vector<std::shared_ptr<const FrameRecord>> snapshots;
    std::vector<std::string> written;  // "" for a picture that could not be written
    std::vector<std::shared_ptr<const FrameRecord>> notices;
    std::vector<CaptureSession::State> states;
    int buttonPresses = 0;
    int noLiveFrameReports = 0;
    QStringList unavailable;
    QStringList recordingProblems;

private:
    LiveTarget* view_ = nullptr;
    LiveTarget* clip_ = nullptr;
    std::array<LiveTarget*, 4> panes_{};
    std::unique_ptr<CaptureSession> session_;
};

}  // namespace qelvo::test
