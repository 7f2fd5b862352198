#include "app/TerminationSignals.h"

#include <QSocketNotifier>

#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace qelvo {

namespace {

std::atomic<int> wakeFd{-1};

extern "C" void onTerminationSignal(int) {
    const int saved = errno;
    const int fd = wakeFd.load();
    if (fd >= 0) {
        const char byte = 1;
        // A full socket already holds a request: nothing is lost by dropping this byte.
        [[maybe_unused]] const ssize_t n = ::write(fd, &byte, 1);
    }
    errno = saved;
}

}  // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
    if (wakeFd.load() >= 0) return;  // another one already catches them
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds_) != 0) {
        fds_[0] = fds_[1] = -1;
        return;
    }
    wakeFd.store(fds_[0]);
    notifier_ = new QSocketNotifier(fds_[1], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TerminationSignals::drain);
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, &oldInt_);
    sigaction(SIGTERM, &action, &oldTerm_);
}

TerminationSignals::~TerminationSignals() {
    if (!notifier_) return;
    sigaction(SIGINT, &oldInt_, nullptr);
    sigaction(SIGTERM, &oldTerm_, nullptr);
    wakeFd.store(-1);
    delete notifier_;
    ::close(fds_[0]);
    ::close(fds_[1]);
}

void TerminationSignals::drain() {
    char bytes[64];
    bool any = false;
    while (::read(fds_[1], bytes, sizeof bytes) > 0) any = true;
    if (any) emit requested();
}

}  // namespace qelvo
