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

}  // namespace

// Objects handed back from other threads, dropped on the GUI thread.  They pass through a
// lock of our own (a queued call carries no object), so the hand-over is visible to the
// thread sanitizer.  What is still waiting when the application goes is left to the ending
// process: destroying a graph's window while Qt tears its event queues down waits for ever.
GuiThreadRelease& GuiThreadRelease::instance() {
    static GuiThreadRelease* release = [] {
        auto* r = new GuiThreadRelease;
        if (QCoreApplication* app = QCoreApplication::instance()) {
            r->moveToThread(app->thread());
            QObject::connect(app, &QObject::destroyed, r, [r] {
                std::lock_guard lock(r->mutex_);
                r->closed_ = true;
            });
        }
        return r;
    }();
    return *release;
}

void GuiThreadRelease::hand(std::shared_ptr<const void> object) {
    std::lock_guard lock(mutex_);
    if (closed_ || !QCoreApplication::instance()) {
        new std::shared_ptr<const void>(std::move(object));  // the program is ending
        return;
    }
    waiting_.push_back(std::move(object));
    if (!scheduled_) {
        scheduled_ = true;
        QMetaObject::invokeMethod(this, "drain", Qt::QueuedConnection);
    }
}

void GuiThreadRelease::drain() {
    std::vector<std::shared_ptr<const void>> batch;
    {
        std::lock_guard lock(mutex_);
        scheduled_ = false;
        batch.swap(waiting_);
    }
    batch.clear();  // here, on the GUI thread, outside the lock
}

namespace {

StartThreads& startThreads() {
    static StartThreads threads;
    return threads;
}

}  // namespace

void releaseOnGuiThread(std::shared_ptr<const void> object) {
    if (object) GuiThreadRelease::instance().hand(std::move(object));
}

std::shared_ptr<GraphStart> GraphStart::begin(std::shared_ptr<MediaGraph> graph,
                                              std::shared_ptr<const void> keepAlive,
                                              std::shared_ptr<CaptureMailbox> mailbox,
                                              int generation, std::shared_ptr<GraphStart> after) {
    GuiThreadRelease::instance();  // made here, on the GUI thread
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
