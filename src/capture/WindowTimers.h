#pragma once

#include <QObject>
#include <QTimer>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>

namespace qelvo {

// A window's timers under their fixed numeric ids.  Starting an id that already runs
// restarts it; a timer repeats every period until it is killed.
//
// Qt timers live on the thread that started them, but the streaming thread must be able to
// (re)arm a few of the multi-view window's timers.  Those ids are armed through an atomic
// deadline that a GUI-thread check reads every few milliseconds while any of them is armed;
// arming never blocks, and only wakes the check (one posted call) when it has stopped.
class WindowTimers : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<void(int id)>;

    // `handler` runs on the GUI thread for every expiry.
    explicit WindowTimers(Handler handler, QObject* parent = nullptr);
    ~WindowTimers() override;

    // GUI thread.
    void start(int id, int periodMs);
    void kill(int id);
    bool isActive(int id) const;

    // Any thread: kills the timer and starts it again with `periodMs`.  Only ids below
    // kMaxArmable slots are supported; each id is given a slot at its first use from the
    // GUI thread via allowArmFromAnyThread().
    void allowArmFromAnyThread(int id);
    void armFromAnyThread(int id, int periodMs);

    static constexpr int kMaxArmable = 4;

    // Whether the check of the timers armed from any thread is running.
    bool isCheckingArmed() const { return checker_.isActive(); }

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    struct Armable {
        std::atomic<int> id{-1};
        std::atomic<std::int64_t> deadlineNs{0};  // 0: not armed
        std::atomic<int> periodMs{0};
    };
    Armable* slotFor(int id);
    const Armable* slotFor(int id) const;
    void checkArmed();
    bool anyArmed() const;
    // GUI thread: starts the check unless it runs.  Invoked by name, so the call posted from
    // another thread is made entirely inside the toolkit.
    Q_INVOKABLE void startChecking();

    Handler handler_;
    std::map<int, int> qtTimerOfId_;  // our id -> Qt's timer id
    std::map<int, int> idOfQtTimer_;
    std::array<Armable, kMaxArmable> armable_;
    QTimer checker_;
    // True from the moment the check is asked to run until it stops itself.
    std::atomic<bool> checking_{false};
};

// Monotonic time in nanoseconds, for deadlines shared between threads.
std::int64_t monotonicNs();

}  // namespace qelvo
