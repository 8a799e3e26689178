#pragma once
// Timing shared by the benchmarks. Machines are shared and noisy, so a figure is the
// median of repeated runs, quoted with its ratio to a baseline measured in the same run.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <utility>
#include <vector>

namespace bench {

// The time one run of work takes, in milliseconds.
inline double Millis(const std::function<void()>& work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// The middle value, or the mean of the middle two; 0 for none.
inline double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

// The median time of `runs` runs of work, in milliseconds.
inline double MedianMs(int runs, const std::function<void()>& work)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i)
        times.push_back(Millis(work));
    return Median(std::move(times));
}

// One line of figures: what was timed, its median and its ratio to the baseline.
inline void ReportFigure(const char* what, double ms, double baselineMs)
{
    std::printf("  %-56s %9.3f ms  x%.2f\n", what, ms, baselineMs > 0 ? ms / baselineMs : 0.0);
}

} // namespace bench
