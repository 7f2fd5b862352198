#pragma once
#include <csignal>

#include <atomic>

namespace qelvo::cli {

// While one lives, SIGINT and SIGTERM only set its flag (a long job polls it and stops with
// nothing written); the handlers before it come back when it goes.  One at a time.
class StopSignals {
public:
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // Set once a signal came; fit for a job's cancel flag.
    const std::atomic<bool>* flag() const;

private:
    struct sigaction oldInt_ {};
    struct sigaction oldTerm_ {};
};

}  // namespace qelvo::cli
