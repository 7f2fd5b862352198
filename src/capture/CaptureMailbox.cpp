#include "capture/CaptureMailbox.h"

#include <algorithm>

namespace qelvo {
namespace {

// Notices say how things stand: only the newest of each kind matters.
bool isNotice(CaptureLetter::Kind kind) {
    return kind == CaptureLetter::Kind::FrameNotice || kind == CaptureLetter::Kind::SnapshotWritten;
}

}  // namespace

void CaptureMailbox::post(CaptureLetter letter) {
    std::lock_guard lock(mutex_);
    if (!owner_) return;
    auto sameKind = [&](const CaptureLetter& l) { return l.kind == letter.kind; };
    if (letter.kind == CaptureLetter::Kind::SnapshotFrame) {
        if (static_cast<std::size_t>(std::count_if(letters_.begin(), letters_.end(), sameKind)) >=
            kMaxPendingSnapshots)
            letters_.erase(std::find_if(letters_.begin(), letters_.end(), sameKind));
        letters_.push_back(std::move(letter));
    } else if (auto it = std::find_if(letters_.begin(), letters_.end(), sameKind);
               it != letters_.end() && isNotice(letter.kind)) {
        *it = std::move(letter);
    } else {
        letters_.push_back(std::move(letter));
    }
    // Queued under the lock, so close() cannot let the owner go between the check and the
    // post; Qt drops what is still queued for an owner that is destroyed.
    if (!drainScheduled_) {
        drainScheduled_ = true;
        QMetaObject::invokeMethod(owner_, "drainMailbox", Qt::QueuedConnection);
    }
}

std::vector<CaptureLetter> CaptureMailbox::take() {
    std::lock_guard lock(mutex_);
    drainScheduled_ = false;
    std::vector<CaptureLetter> batch(std::make_move_iterator(letters_.begin()),
                                     std::make_move_iterator(letters_.end()));
    letters_.clear();
    return batch;
}

void CaptureMailbox::close() {
    std::lock_guard lock(mutex_);
    owner_ = nullptr;
    letters_.clear();
}

std::size_t CaptureMailbox::pending() const {
    std::lock_guard lock(mutex_);
    return letters_.size();
}

}  // namespace qelvo
