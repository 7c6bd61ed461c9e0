#pragma once

// The frame the benchmarks compute (every channel on, the Data channel
// turbo-coded at the highest rate), and the timing of a piece of work
// against the floor it is judged by.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "OneX/Parameters.h"

namespace onex::bench {

inline Parameters everyChannel(double oversampling, double filterType) {
    Parameters p = InitializeParameters();
    p.RRIactive = 1;
    p.RRIvalue = 3;
    p.DRCactive = 1;
    p.ACKactive = 1;
    p.DATAactive = 1;
    p.EncoderActive = 1;
    p.DataRate = 5;
    p.OverSampling = oversampling;
    p.FilterType = filterType;
    return p;
}

using Clock = std::chrono::steady_clock;

inline double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

inline double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Runs `work` each iteration and after it, outside the timing, the floor
// (`floorSeconds` times one run of it and returns its seconds), so that both
// are taken under the same load; reports floor_ms and xFloor, the median
// work over the median floor.
template <class Work, class FloorSeconds>
void timeAgainstFloor(benchmark::State& state, Work&& work, FloorSeconds&& floorSeconds) {
    std::vector<double> worked, floor;
    for (auto _ : state) {
        const auto start = Clock::now();
        work();
        worked.push_back(secondsSince(start));
        state.PauseTiming();
        floor.push_back(floorSeconds());
        state.ResumeTiming();
    }
    state.counters["floor_ms"] = median(floor) * 1e3;
    state.counters["xFloor"] = median(worked) / median(floor);
}

}  // namespace onex::bench
