#include "capture/GraphStart.h"

#include <QCoreApplication>

#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace qelvo {
namespace {

// The threads of the starts, joined once done, and at the latest when the program ends, so no
// start outlives it half way through a state change.
class StartThreads {
public:
    ~StartThreads() {
        std::vector<Entry> left;
        {
            std::lock_guard lock(mutex_);
            left.swap(entries_);
        }
        for (Entry& e : left)
            if (e.first.joinable()) e.first.join();
    }

    void add(std::thread thread, std::shared_ptr<GraphStart> start) {
        std::vector<Entry> finished;
        {
            std::lock_guard lock(mutex_);
            for (auto it = entries_.begin(); it != entries_.end();) {
                if (it->second->isDone()) {
                    finished.push_back(std::move(*it));
                    it = entries_.erase(it);
                } else {
                    ++it;
                }
            }
            entries_.emplace_back(std::move(thread), std::move(start));
        }
        // Done already: these return at once.
        for (Entry& e : finished) e.first.join();
    }

private:
    using Entry = std::pair<std::thread, std::shared_ptr<GraphStart>>;
    std::mutex mutex_;
    std::vector<Entry> entries_;
};

StartThreads& startThreads() {
    static StartThreads threads;
    return threads;
}

}  // namespace

void releaseOnGuiThread(std::shared_ptr<const void> object) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!object) return;
    if (!app) {
        // The program is ending: nothing may be destroyed off the GUI thread any more.
        new std::shared_ptr<const void>(std::move(object));
        return;
    }
    QMetaObject::invokeMethod(
        app, [held = std::move(object)]() mutable { held.reset(); }, Qt::QueuedConnection);
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
        startThreads().add(std::thread([start] { start->run(); }), start);
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

bool GraphStart::isDone() {
    std::lock_guard lock(mutex_);
    return done_;
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
