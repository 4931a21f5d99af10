#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

// The median, 99th percentile and worst of a run's latencies, as the run's counters.
inline void reportPercentiles(benchmark::State &state, std::vector<double> &samplesUs)
{
    if (samplesUs.empty())
        return;
    std::sort(samplesUs.begin(), samplesUs.end());
    const auto at = [&](double q) { return samplesUs[size_t(q * double(samplesUs.size() - 1))]; };
    state.counters["median_us"] = at(0.5);
    state.counters["p99_us"] = at(0.99);
    state.counters["max_us"] = samplesUs.back();
}
