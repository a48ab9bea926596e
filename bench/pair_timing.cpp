#include "bench/pair_timing.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>

namespace qzbench {

namespace {

// Warm-up before the batch sizes are chosen: at least this long and this many calls a side, so
// tables are built, caches and branch predictors hold the case and the clock has settled.
constexpr double warmUpSeconds = 0.05;
constexpr int warmUpCalls = 3;

// The value at fraction q of the sorted values, interpolated between its neighbours.
double quantile(const std::vector<double>& sorted, double q) {
    const double at = q * double(sorted.size() - 1);
    const std::size_t low = std::size_t(std::floor(at));
    const std::size_t high = std::min(low + 1, sorted.size() - 1);
    return sorted[low] + (sorted[high] - sorted[low]) * (at - double(low));
}

// Seconds a call, from calls run for at least warmUpSeconds.
double warmUp(const std::function<void()>& decode, Clock clock) {
    const double start = clockSeconds(clock);
    int calls = 0;
    double elapsed = 0;
    while (calls < warmUpCalls || elapsed < warmUpSeconds) {
        decode();
        ++calls;
        elapsed = clockSeconds(clock) - start;
    }
    return elapsed / calls;
}

// Seconds a call over a batch of calls.
double timeBatch(const std::function<void()>& decode, int calls, Clock clock) {
    const double start = clockSeconds(clock);
    for (int i = 0; i < calls; ++i) decode();
    return (clockSeconds(clock) - start) / calls;
}

} // namespace

const char* clockName(Clock clock) {
    return clock == Clock::wall ? "wall (steady clock)" : "processor (this thread's)";
}

double clockSeconds(Clock clock) {
    if (clock == Clock::wall)
        return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
#ifdef CLOCK_THREAD_CPUTIME_ID
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
#else
    return double(std::clock()) / CLOCKS_PER_SEC;
#endif
}

Spread spreadOf(std::vector<double> values) {
    if (values.empty()) return {};
    std::sort(values.begin(), values.end());
    return {quantile(values, 0.5), quantile(values, 0.25), quantile(values, 0.75), values.front(),
            values.back()};
}

PairTiming timePairs(const std::function<void()>& ours, int oursFrames,
                     const std::function<void()>& peer, const PairTimingOptions& options) {
    PairTiming result;
    // Warm both up twice, so the second estimate of each is taken with the other's data already
    // through the caches, as in the pairs.
    warmUp(ours, options.clock);
    warmUp(peer, options.clock);
    auto batchFor = [&](double seconds) {
        return std::max(1, int(std::lround(options.batchSeconds / std::max(seconds, 1e-9))));
    };
    result.oursBatch = batchFor(warmUp(ours, options.clock));
    result.peerBatch = batchFor(warmUp(peer, options.clock));
    std::vector<double> ratios, oursTimes, peerTimes;
    for (int pair = 0; pair < options.pairs; ++pair) {
        const double oursTime = timeBatch(ours, result.oursBatch, options.clock) / oursFrames;
        const double peerTime = timeBatch(peer, result.peerBatch, options.clock);
        oursTimes.push_back(oursTime);
        peerTimes.push_back(peerTime);
        // A batch too short for a coarse processor clock reads as zero time: no ratio.
        if (oursTime > 0 && peerTime > 0) ratios.push_back(peerTime / oursTime);
    }
    result.ratio = spreadOf(ratios);
    result.oursSeconds = spreadOf(oursTimes).median;
    result.peerSeconds = spreadOf(peerTimes).median;
    return result;
}

} // namespace qzbench
