#include "capture/DeviceTask.h"

#include <QCoreApplication>

#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace qelvo {
namespace {

// The tasks' threads, joined once done, and at the latest when the program ends, so no task
// outlives it half way through a state change.
class TaskThreads {
public:
    ~TaskThreads() { joinAll(); }

    void joinAll() {
        std::vector<Entry> left;
        {
            std::lock_guard lock(mutex_);
            left.swap(entries_);
        }
        for (Entry& e : left)
            if (e.first.joinable()) e.first.join();
    }

    void add(std::thread thread, std::shared_ptr<DeviceTask> start) {
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
    using Entry = std::pair<std::thread, std::shared_ptr<DeviceTask>>;
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

TaskThreads& taskThreads() {
    static TaskThreads threads;
    return threads;
}

}  // namespace

void releaseOnGuiThread(std::shared_ptr<const void> object) {
    if (object) GuiThreadRelease::instance().hand(std::move(object));
}

namespace {

// The task begun last, which the next one waits for.
std::mutex lastTaskMutex;
std::weak_ptr<DeviceTask> lastTask;

}  // namespace

std::shared_ptr<DeviceTask> DeviceTask::begin(std::function<CaptureLetter()> work,
                                              std::function<void()> ifAbandoned,
                                              std::shared_ptr<const void> keepAlive,
                                              std::shared_ptr<CaptureMailbox> mailbox) {
    GuiThreadRelease::instance();  // made here, on the GUI thread
    // The tasks end with the application, while everything they use is still there (the
    // join at exit comes after statics they made are gone).
    static const bool joinedAtExit = [] {
        if (QCoreApplication* app = QCoreApplication::instance())
            QObject::connect(app, &QObject::destroyed, [] { taskThreads().joinAll(); });
        return true;
    }();
    (void)joinedAtExit;
    std::shared_ptr<DeviceTask> task(new DeviceTask);
    task->work_ = std::move(work);
    task->ifAbandoned_ = std::move(ifAbandoned);
    task->keepAlive_ = std::move(keepAlive);
    task->mailbox_ = std::move(mailbox);
    {
        std::lock_guard lock(lastTaskMutex);
        task->after_ = lastTask.lock();
        lastTask = task;
    }
    try {
        taskThreads().add(std::thread([task] { task->run(); }), task);
    } catch (const std::system_error&) {
        // No thread to spare: run here rather than not at all.
        task->run();
    }
    return task;
}

void DeviceTask::run() {
    if (after_) {
        after_->waitDone();
        after_.reset();
    }
    CaptureLetter letter = work_();
    std::shared_ptr<const void> keepAlive;
    std::function<void()> cleanUp;
    {
        std::lock_guard lock(mutex_);
        finished_ = true;
        if (abandoned_)
            cleanUp = std::move(ifAbandoned_);
        else
            mailbox_->post(std::move(letter));
        keepAlive = std::move(keepAlive_);
        mailbox_.reset();
        work_ = nullptr;
        ifAbandoned_ = nullptr;
    }
    // Nobody waits for what the task did any more: it is undone here, off the GUI thread.
    if (cleanUp) cleanUp();
    cleanUp = nullptr;
    // The last reference may be this thread's: what the task kept goes on the GUI thread.
    releaseOnGuiThread(std::move(keepAlive));
    {
        std::lock_guard lock(mutex_);
        done_ = true;
    }
    doneChanged_.notify_all();
}

bool DeviceTask::isDone() {
    std::lock_guard lock(mutex_);
    return done_;
}

void DeviceTask::waitDone() {
    std::unique_lock lock(mutex_);
    doneChanged_.wait(lock, [this] { return done_; });
}

bool DeviceTask::abandon() {
    std::lock_guard lock(mutex_);
    // Once left, it stays the task's own to clean up, even if it has finished by now.
    if (abandoned_) return false;
    if (finished_) return true;
    abandoned_ = true;
    return false;
}

}  // namespace qelvo
