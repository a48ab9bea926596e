// Timing our decoder against the peer's on a shared machine. Times taken one case after the other
// move with the machine's load between them; here short batches of our frame decodes and the
// peer's alternate in one loop (ours, peer, ours, peer...), so each pair of batches ran under
// about the same load and gives one ratio, and the median of the pairs' ratios holds from run to
// run where the two cases' separate times do not.
#pragma once

#include <functional>
#include <vector>

namespace qzbench {

// Wall time from the steady clock, or the thread's processor time (which leaves out the time
// other processes hold the core, but not the caches and memory bandwidth they share).
enum class Clock { wall, processor };

const char* clockName(Clock clock);

// Seconds on the clock from an arbitrary origin.
double clockSeconds(Clock clock);

// The median, quartiles and extremes of a set of values (quartiles interpolated between the
// nearest values; all zero for an empty set).
struct Spread {
    double median = 0;
    double lowQuartile = 0;
    double highQuartile = 0;
    double min = 0;
    double max = 0;
};

Spread spreadOf(std::vector<double> values);

struct PairTimingOptions {
    int pairs = 101;
    double batchSeconds = 0.004; // each batch about this long
    // Processor time: on a shared machine a batch timed on the wall clock often waits a whole
    // scheduler slice for its core, which swamps the few milliseconds it decodes.
    Clock clock = Clock::processor;
};

struct PairTiming {
    Spread ratio; // the peer's time a frame over ours, pair by pair (above 1: we are faster)
    double oursSeconds = 0; // median time a frame over the batches
    double peerSeconds = 0;
    int oursBatch = 0; // calls a batch
    int peerBatch = 0;
};

// Times ours, which decodes oursFrames frames a call (a whole round of a sequence, so every
// batch does the same work), against peer, which decodes one a call: both are warmed up, their
// batch sizes chosen for about options.batchSeconds, then options.pairs pairs of batches run.
PairTiming timePairs(const std::function<void()>& ours, int oursFrames,
                     const std::function<void()>& peer, const PairTimingOptions& options);

} // namespace qzbench
