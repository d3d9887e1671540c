#pragma once

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <numeric>
#include <vector>

namespace bench {

inline double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Hands a result to an opaque sink, so the work that made it cannot be dropped.
inline void keep(double value) {
    asm volatile("" : : "r,m"(value) : "memory");
}

// Wall seconds of one call, whose result is kept.
template <typename F> double timeCall(F&& work) {
    const auto start = std::chrono::steady_clock::now();
    keep(work());
    return secondsSince(start);
}

// Nearest-rank percentile, p in [0, 100]: 0 gives the minimum, 100 the maximum.
inline double percentile(std::vector<double> values, double p) {
    if (values.empty()) {
        return 0.0;
    }
    std::sort(values.begin(), values.end());
    const auto rank = static_cast<std::size_t>(std::ceil(p / 100.0 * double(values.size())));
    return values[std::clamp<std::size_t>(rank, 1, values.size()) - 1];
}

inline double median(const std::vector<double>& values) {
    return percentile(values, 50);
}

inline double minimum(const std::vector<double>& values) {
    return percentile(values, 0);
}

// Sample coefficient of variation (n - 1), as a fraction; 0 for fewer than two values.
inline double coefficientOfVariation(const std::vector<double>& values) {
    const double n = double(values.size());
    const double mean = std::accumulate(values.begin(), values.end(), 0.0) / n;
    const double squares =
        std::transform_reduce(values.begin(), values.end(), 0.0, std::plus<>(),
                              [mean](double v) { return (v - mean) * (v - mean); });
    return n < 2 ? 0.0 : std::sqrt(squares / (n - 1)) / mean;
}

inline void printSeries(const char* label, const std::vector<double>& values, double scale,
                        const char* unit) {
    std::printf("%-34s n=%zu min=%.3f med=%.3f max=%.3f %s\n", label, values.size(),
                minimum(values) * scale, median(values) * scale, percentile(values, 100) * scale,
                unit);
}

// "LABEL median R  min R": the ratio of two series taken side by side, of medians and of minima.
inline void printRatios(const char* label, const std::vector<double>& over,
                        const std::vector<double>& under) {
    std::printf("%s median %.4f  min %.4f\n", label, median(over) / median(under),
                minimum(over) / minimum(under));
}

} // namespace bench
