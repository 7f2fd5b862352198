#pragma once

// Timing and reporting shared by the benchmark programs.
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

namespace qelvo::bench {

inline double threadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
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
    std::sort(cpu.begin(), cpu.end());
    std::sort(wall.begin(), wall.end());
    const double other = wallClock ? cpu[cpu.size() / 2] : wall[wall.size() / 2];
    std::fprintf(stderr, "  (%s median %.2f ms)\n", wallClock ? "thread CPU" : "wall-clock", other);
    return wallClock ? wall[wall.size() / 2] : cpu[cpu.size() / 2];
}

// One figure: "NAME: VALUE UNIT (target: CONDITION) ok|MISSED".
inline void report(const char* name, double value, const char* unit, const char* condition,
                   bool ok) {
    std::printf("%s: %.2f %s (target: %s) %s\n", name, value, unit, condition,
                ok ? "ok" : "MISSED");
    std::fflush(stdout);
}

}  // namespace qelvo::bench
