#include "capture/WindowTimers.h"

#include <QTimerEvent>

#include <chrono>
#include <utility>

namespace qelvo {
namespace {
constexpr int kCheckIntervalMs = 5;
}

std::int64_t monotonicNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

WindowTimers::WindowTimers(Handler handler, QObject* parent)
    : QObject(parent), handler_(std::move(handler)) {
    checker_.setInterval(kCheckIntervalMs);
    checker_.setTimerType(Qt::PreciseTimer);
    connect(&checker_, &QTimer::timeout, this, &WindowTimers::checkArmed);
}

WindowTimers::~WindowTimers() = default;

void WindowTimers::start(int id, int periodMs) {
    if (Armable* slot = slotFor(id)) {
        slot->periodMs.store(periodMs);
        slot->deadlineNs.store(monotonicNs() + std::int64_t(periodMs) * 1000000);
        checking_.store(true);
        startChecking();
        return;
    }
    kill(id);
    const int qtId = startTimer(periodMs, Qt::PreciseTimer);
    if (qtId == 0) return;
    qtTimerOfId_[id] = qtId;
    idOfQtTimer_[qtId] = id;
}

void WindowTimers::kill(int id) {
    if (Armable* slot = slotFor(id)) {
        slot->deadlineNs.store(0);
        return;
    }
    auto it = qtTimerOfId_.find(id);
    if (it == qtTimerOfId_.end()) return;
    killTimer(it->second);
    idOfQtTimer_.erase(it->second);
    qtTimerOfId_.erase(it);
}

bool WindowTimers::isActive(int id) const {
    if (const Armable* slot = slotFor(id)) return slot->deadlineNs.load() != 0;
    return qtTimerOfId_.count(id) != 0;
}

void WindowTimers::allowArmFromAnyThread(int id) {
    if (slotFor(id)) return;
    for (Armable& slot : armable_) {
        if (slot.id.load() == -1) {
            kill(id);
            slot.id.store(id);
            return;
        }
    }
}

void WindowTimers::armFromAnyThread(int id, int periodMs) {
    Armable* slot = slotFor(id);
    if (!slot) return;
    slot->periodMs.store(periodMs, std::memory_order_relaxed);
    slot->deadlineNs.store(monotonicNs() + std::int64_t(periodMs) * 1000000);
    // The check stops while nothing is armed; the first arming after that wakes it.  Both
    // sides use sequentially consistent operations, so a check that stops just as a timer
    // is armed sees that timer or is woken.
    if (!checking_.exchange(true))
        QMetaObject::invokeMethod(this, "startChecking", Qt::QueuedConnection);
}

void WindowTimers::startChecking() {
    if (!checker_.isActive()) checker_.start();
}

bool WindowTimers::anyArmed() const {
    for (const Armable& slot : armable_)
        if (slot.id.load() != -1 && slot.deadlineNs.load() != 0) return true;
    return false;
}

WindowTimers::Armable* WindowTimers::slotFor(int id) {
    for (Armable& slot : armable_)
        if (slot.id.load(std::memory_order_relaxed) == id) return &slot;
    return nullptr;
}

const WindowTimers::Armable* WindowTimers::slotFor(int id) const {
    return const_cast<WindowTimers*>(this)->slotFor(id);
}

void WindowTimers::timerEvent(QTimerEvent* event) {
    auto it = idOfQtTimer_.find(event->timerId());
    if (it == idOfQtTimer_.end()) return;
    if (handler_) handler_(it->second);
}

void WindowTimers::checkArmed() {
    const std::int64_t now = monotonicNs();
    // Timers that are due run in the order of their deadlines, as a window's timers would:
    // a watchdog re-armed after another timer was armed must fire after it.
    std::array<std::pair<std::int64_t, Armable*>, kMaxArmable> due{};
    std::size_t count = 0;
    for (Armable& slot : armable_) {
        if (slot.id.load(std::memory_order_relaxed) == -1) continue;
        const std::int64_t deadline = slot.deadlineNs.load(std::memory_order_acquire);
        if (deadline == 0 || now < deadline) continue;
        // Insertion by deadline (at most kMaxArmable entries).
        std::size_t at = count++;
        for (; at > 0 && due[at - 1].first > deadline; --at) due[at] = due[at - 1];
        due[at] = {deadline, &slot};
    }
    for (std::size_t i = 0; i < count; ++i) {
        Armable& slot = *due[i].second;
        std::int64_t deadline = due[i].first;
        // Repeat like any window timer unless the handler kills it; a re-arm that raced
        // with this expiry wins (the exchange fails and the new deadline stands).
        const std::int64_t next = now + std::int64_t(slot.periodMs.load()) * 1000000;
        if (!slot.deadlineNs.compare_exchange_strong(deadline, next)) continue;
        if (handler_) handler_(slot.id.load(std::memory_order_relaxed));
    }
    if (anyArmed()) return;
    checker_.stop();
    checking_.store(false);
    // A timer armed after the look above found the check still marked running.
    if (anyArmed() && !checking_.exchange(true)) checker_.start();
}

}  // namespace qelvo
