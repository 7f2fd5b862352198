#pragma once

// Clocks, statistics and the figure lines shared by the benchmark programs.
#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace qelvo::bench {

// CPU time of the calling thread (user and system, page faults included): on a shared
// machine the wall clock mostly measures the other processes.
inline double threadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

inline double threadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// CPU time of the whole process, every thread of it, user and system.
inline double processCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
           usage.ru_stime.tv_usec / 1e6;
}

// The value `p` per cent of the way up the sorted `values` (0 for none).
inline double percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const std::size_t index =
        std::min(values.size() - 1, static_cast<std::size_t>(p / 100.0 * values.size()));
    return values[index];
}

// Median of the calling thread's CPU time over `runs`, or of the wall-clock time where work is
// shared with helper threads (the thread's own CPU time would leave theirs out).  The other
// median goes to standard error.
inline double medianMs(int runs, const std::function<void()>& before,
                       const std::function<void()>& work, bool wallClock = false) {
    std::vector<double> cpu, wall;
    for (int i = 0; i < runs; ++i) {
        if (before) before();
        const auto start = std::chrono::steady_clock::now();
        const double cpuStart = threadCpuMs();
        work();
        cpu.push_back(threadCpuMs() - cpuStart);
        wall.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    const double other = wallClock ? percentile(cpu, 50) : percentile(wall, 50);
    std::fprintf(stderr, "  (%s median %.2f ms)\n", wallClock ? "thread CPU" : "wall-clock", other);
    return wallClock ? percentile(wall, 50) : percentile(cpu, 50);
}

// The least thread CPU time in seconds over `runs` runs of `work` (given the run's number),
// each after `before` when there is one: the run least disturbed by other work on the machine.
inline double bestSeconds(int runs, const std::function<void()>& before,
                          const std::function<void(int)>& work) {
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        if (before) before();
        const double start = threadCpuSeconds();
        work(i);
        best = std::min(best, threadCpuSeconds() - start);
    }
    return best;
}

inline double bestSeconds(int runs, const std::function<void()>& before,
                          const std::function<void()>& work) {
    return bestSeconds(runs, before, [&work](int) { work(); });
}

// One figure: "NAME: VALUE UNIT (target: CONDITION) ok|MISSED", VALUE with `decimals` places.
inline void report(const std::string& name, double value, const char* unit,
                   const std::string& condition, bool ok, int decimals = 2) {
    std::printf("%s: %.*f %s (target: %s) %s\n", name.c_str(), decimals, value, unit,
                condition.c_str(), ok ? "ok" : "MISSED");
    std::fflush(stdout);
}

// A figure given for information, with no target to meet.
inline void reportOnly(const std::string& name, double value, const char* unit, int decimals = 2) {
    report(name, value, unit, "report only", true, decimals);
}

// A figure whose target is not to exceed `limit`, written as "<= 1.5".
inline void reportAtMost(const std::string& name, double value, const char* unit, double limit,
                         int decimals = 2) {
    char condition[32];
    std::snprintf(condition, sizeof condition, "<= %.1f", limit);
    report(name, value, unit, condition, value <= limit, decimals);
}

}  // namespace qelvo::bench
