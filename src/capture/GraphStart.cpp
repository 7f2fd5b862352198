#include "capture/GraphStart.h"

#include <QCoreApplication>

#include <system_error>
#include <thread>

namespace qelvo {

void releaseOnGuiThread(std::shared_ptr<const void> object) {
    if (!object) return;
    // Held outside the queued call: Qt discards calls still queued when the application goes
    // away, under the lock of its event queues, and a graph destroyed there would wait for
    // that same lock (its video window removes its own posted events).  The process is
    // ending then, so what was not released is left to it.
    auto* held = new std::shared_ptr<const void>(std::move(object));
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return;
    QMetaObject::invokeMethod(
        app, [held] { delete held; }, Qt::QueuedConnection);
}

std::shared_ptr<GraphStart> GraphStart::begin(std::shared_ptr<MediaGraph> graph,
                                              std::shared_ptr<const void> keepAlive,
                                              std::shared_ptr<CaptureMailbox> mailbox,
                                              int generation, std::shared_ptr<GraphStart> after) {
    std::shared_ptr<GraphStart> start(new GraphStart);
    start->graph_ = std::move(graph);
    start->keepAlive_ = std::move(keepAlive);
    start->mailbox_ = std::move(mailbox);
    start->generation_ = generation;
    start->after_ = std::move(after);
    try {
        std::thread([start] { start->run(); }).detach();
    } catch (const std::system_error&) {
        // No thread to spare: start here rather than not at all.
        start->run();
    }
    return start;
}

void GraphStart::run() {
    if (after_) {
        after_->waitDone();
        after_.reset();
    }
    const MediaResult result = graph_->run();
    std::shared_ptr<const void> graph, keepAlive;
    {
        std::lock_guard lock(mutex_);
        finished_ = true;
        if (abandoned_) {
            // Nobody waits for this graph any more: it stops here, off the GUI thread.
            graph_->stop();
        } else {
            mailbox_->post({CaptureLetter::Kind::StreamStarted, nullptr, result.message(),
                            result.ok(), generation_});
        }
        graph = std::move(graph_);
        keepAlive = std::move(keepAlive_);
        mailbox_.reset();
    }
    // The last reference may be this thread's: the graph goes on the GUI thread.
    releaseOnGuiThread(std::move(graph));
    releaseOnGuiThread(std::move(keepAlive));
    {
        std::lock_guard lock(mutex_);
        done_ = true;
    }
    doneChanged_.notify_all();
}

void GraphStart::waitDone() {
    std::unique_lock lock(mutex_);
    doneChanged_.wait(lock, [this] { return done_; });
}

bool GraphStart::abandon() {
    std::lock_guard lock(mutex_);
    if (finished_) return true;
    abandoned_ = true;
    return false;
}

}  // namespace qelvo
