#include "cli/StopSignals.h"

namespace qelvo::cli {

namespace {

// What a signal sets; a signal handler may do no more.
std::atomic<bool> stopRequested{false};

extern "C" void requestStopOnSignal(int) {
    stopRequested.store(true);
}

}  // namespace

StopSignals::StopSignals() {
    stopRequested.store(false);
    struct sigaction action {};
    action.sa_handler = requestStopOnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &oldInt_);
    sigaction(SIGTERM, &action, &oldTerm_);
}

StopSignals::~StopSignals() {
    sigaction(SIGINT, &oldInt_, nullptr);
    sigaction(SIGTERM, &oldTerm_, nullptr);
}

const std::atomic<bool>* StopSignals::flag() const {
    return &stopRequested;
}

}  // namespace qelvo::cli
