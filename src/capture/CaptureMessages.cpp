#include "capture/CaptureMessages.h"

#include <QCoreApplication>
#include <QObject>

#include <algorithm>
#include <atomic>
#include <deque>
#include <mutex>

namespace qelvo {
namespace {

// Messages from the streaming thread go through a locked queue to a relay on the GUI thread,
// which posts them there.  The queue is the hand-over point between the threads, so the
// event objects themselves are made and read on the GUI thread only.  It stays small however
// long the GUI thread is busy: of the notices (frame-ready, snapshot-written) only the newest
// per receiver and kind waits, a later one replacing it; snapshot-frame messages each stand
// for a snapshot served, so each is kept, but at most kMaxPendingSnapshots per receiver (the
// oldest goes).
class MessageRelay;
std::atomic<MessageRelay*> relay{nullptr};

class MessageRelay : public QObject {
    Q_OBJECT
public:
    ~MessageRelay() override {
        MessageRelay* self = this;
        relay.compare_exchange_strong(self, nullptr);
    }

    struct Pending {
        QObject* receiver = nullptr;
        QEvent::Type type = QEvent::None;
        std::shared_ptr<const FrameRecord> frame;
        std::string path;
    };

    static constexpr int kMaxPendingSnapshots = 4;

    void enqueue(Pending message) {
        {
            std::lock_guard lock(mutex_);
            auto same = [&](const Pending& p) {
                return p.receiver == message.receiver && p.type == message.type;
            };
            if (message.type == kSnapshotFrameMessage) {
                if (std::count_if(pending_.begin(), pending_.end(), same) >= kMaxPendingSnapshots)
                    pending_.erase(std::find_if(pending_.begin(), pending_.end(), same));
                pending_.push_back(std::move(message));
            } else if (auto it = std::find_if(pending_.begin(), pending_.end(), same);
                       it != pending_.end()) {
                *it = std::move(message);
            } else {
                pending_.push_back(std::move(message));
            }
        }
        if (!scheduled_.exchange(true))
            QMetaObject::invokeMethod(this, "drain", Qt::QueuedConnection);
    }

    void forget(QObject* receiver) {
        std::lock_guard lock(mutex_);
        std::erase_if(pending_, [receiver](const Pending& p) { return p.receiver == receiver; });
    }

    std::size_t size() {
        std::lock_guard lock(mutex_);
        return pending_.size();
    }

    Q_INVOKABLE void drain() {
        scheduled_.store(false);
        std::deque<Pending> batch;
        {
            std::lock_guard lock(mutex_);
            batch.swap(pending_);
        }
        for (Pending& p : batch) QCoreApplication::postEvent(p.receiver, makeEvent(p));
    }

    static QEvent* makeEvent(Pending& p) {
        if (p.type == kSnapshotWrittenMessage) return new SnapshotWrittenMessage(std::move(p.path));
        return new FrameMessage(p.type, std::move(p.frame));
    }

private:
    std::mutex mutex_;
    std::deque<Pending> pending_;
    std::atomic<bool> scheduled_{false};
};

}  // namespace

void prepareCaptureMessages() {
    if (relay.load() || !QCoreApplication::instance()) return;
    // Lives on the GUI thread until the application goes.
    relay.store(new MessageRelay);
    relay.load()->setParent(QCoreApplication::instance());
}

void forgetCaptureMessagesTo(QObject* receiver) {
    if (MessageRelay* r = relay.load()) r->forget(receiver);
}

namespace {

void post(MessageRelay::Pending message) {
    if (!message.receiver) return;
    if (MessageRelay* r = relay.load()) {
        r->enqueue(std::move(message));
    } else {
        QObject* receiver = message.receiver;
        QCoreApplication::postEvent(receiver, MessageRelay::makeEvent(message));
    }
}

}  // namespace

void postFrameMessage(QObject* receiver, QEvent::Type type,
                      std::shared_ptr<const FrameRecord> frame) {
    post({receiver, type, std::move(frame), {}});
}

void postSnapshotWritten(QObject* receiver, std::string path) {
    post({receiver, kSnapshotWrittenMessage, nullptr, std::move(path)});
}

std::size_t pendingCaptureMessages() {
    MessageRelay* r = relay.load();
    return r ? r->size() : 0;
}

}  // namespace qelvo

#include "CaptureMessages.moc"
