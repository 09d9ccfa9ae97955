// SPDX-License-Identifier: MIT
#pragma once

// Median wall time of many runs of one piece of work, in microseconds.

#include <algorithm>
#include <chrono>
#include <vector>

namespace vantor::bench {

template<class Work> double medianMicroseconds(int runs, int repeatsPerRun, Work &&work)
{
    std::vector<double> samples;
    samples.reserve(static_cast<std::size_t>(runs));
    for (int r = 0; r < runs; ++r) {
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < repeatsPerRun; ++i)
            work(i);
        const std::chrono::duration<double, std::micro> spent
            = std::chrono::steady_clock::now() - start;
        samples.push_back(spent.count() / repeatsPerRun);
    }
    std::nth_element(samples.begin(), samples.begin() + runs / 2, samples.end());
    return samples[static_cast<std::size_t>(runs / 2)];
}

} // namespace vantor::bench
