#include "capture/CaptureMessages.h"

#include <QCoreApplication>
#include <QObject>

#include <atomic>
#include <deque>
#include <mutex>

namespace qelvo {
namespace {

// Messages from the streaming thread go through a locked queue to a relay on the GUI thread,
// which posts them there.  The queue is the hand-over point between the threads, so the
// event objects themselves are made and read on the GUI thread only.
class MessageRelay : public QObject {
    Q_OBJECT
public:
    void enqueue(QObject* receiver, QEvent::Type type, std::shared_ptr<const FrameRecord> frame) {
        {
            std::lock_guard lock(mutex_);
            pending_.push_back({receiver, type, std::move(frame)});
        }
        if (!scheduled_.exchange(true))
            QMetaObject::invokeMethod(this, "drain", Qt::QueuedConnection);
    }

    void forget(QObject* receiver) {
        std::lock_guard lock(mutex_);
        std::erase_if(pending_, [receiver](const Pending& p) { return p.receiver == receiver; });
    }

    Q_INVOKABLE void drain() {
        scheduled_.store(false);
        std::deque<Pending> batch;
        {
            std::lock_guard lock(mutex_);
            batch.swap(pending_);
        }
        for (Pending& p : batch)
            QCoreApplication::postEvent(p.receiver, new FrameMessage(p.type, std::move(p.frame)));
    }

private:
    struct Pending {
        QObject* receiver;
        QEvent::Type type;
        std::shared_ptr<const FrameRecord> frame;
    };
    std::mutex mutex_;
    std::deque<Pending> pending_;
    std::atomic<bool> scheduled_{false};
};

std::atomic<MessageRelay*> relay{nullptr};

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

void postFrameMessage(QObject* receiver, QEvent::Type type,
                      std::shared_ptr<const FrameRecord> frame) {
    if (!receiver) return;
    if (MessageRelay* r = relay.load())
        r->enqueue(receiver, type, std::move(frame));
    else
        QCoreApplication::postEvent(receiver, new FrameMessage(type, std::move(frame)));
}

}  // namespace qelvo

#include "CaptureMessages.moc"
