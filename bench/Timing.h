// How the benchmarks time their rounds: wall-clock seconds of one round, and
// the median of several, which one slow round cannot move.
#pragma once

#include <algorithm>
#include <chrono>
#include <functional>
#include <vector>

inline double Seconds(const std::function<void()>& work) {
    auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

inline double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}
