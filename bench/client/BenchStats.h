#pragma once

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <numeric>
#include <vector>

namespace bench {

inline double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Wall seconds of one call; the result goes to an opaque sink so it is computed.
template <typename F> double timeCall(F&& work) {
    const auto start = std::chrono::steady_clock::now();
    const auto result = work();
    asm volatile("" : : "r,m"(result) : "memory");
    return secondsSince(start);
}

// Nearest-rank percentile, p in [0, 100].
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
    return values.empty() ? 0.0 : *std::min_element(values.begin(), values.end());
}

inline double maximum(const std::vector<double>& values) {
    return values.empty() ? 0.0 : *std::max_element(values.begin(), values.end());
}

inline double mean(const std::vector<double>& values) {
    return values.empty()
               ? 0.0
               : std::accumulate(values.begin(), values.end(), 0.0) / double(values.size());
}

// Sample coefficient of variation (n - 1), as a fraction.
inline double coefficientOfVariation(const std::vector<double>& values) {
    if (values.size() < 2) {
        return 0.0;
    }
    const double m = mean(values);
    double squares = 0.0;
    for (double v : values) {
        squares += (v - m) * (v - m);
    }
    return std::sqrt(squares / double(values.size() - 1)) / m;
}

inline void printSeries(const char* label, const std::vector<double>& values, double scale,
                        const char* unit) {
    std::printf("%-34s n=%zu min=%.3f med=%.3f max=%.3f %s\n", label, values.size(),
                minimum(values) * scale, median(values) * scale, maximum(values) * scale, unit);
}

} // namespace bench
