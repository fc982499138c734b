// What the latency benchmarks measure with and report by, on every platform.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

namespace latency {

using Clock = std::chrono::steady_clock;

// The sample below which that fraction of the samples lie (0.5 the median, 1.0 the largest).
inline double percentile(std::vector<double> values, double fraction) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

inline double milliseconds(Clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

// Letters numbered like a base-26 number: word n of a benchmark's database begins with
// numberedLetters(n / 26, 3), so every three-letter prefix offers a full list.
inline std::string numberedLetters(int number, int count) {
    std::string text(static_cast<std::size_t>(count), 'a');
    for (int i = count - 1; i >= 0; --i) {
        text[static_cast<std::size_t>(i)] = static_cast<char>('a' + number % 26);
        number /= 26;
    }
    return text;
}

} // namespace latency
