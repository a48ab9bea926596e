#include "bench/bench_ratios.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <map>

#include "bench/jpeg_peer.h"

namespace qzbench {

namespace {

// Keeps each case's processor time per iteration: the median when runs are repeated, else the
// last run's.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    std::map<std::string, double> seconds;
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred) continue;
            const std::string name = run.run_name.str();
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
                medians[name] = run.GetAdjustedCPUTime();
            else if (run.run_type == Run::RT_Iteration && !medians.count(name))
                seconds[name] = run.GetAdjustedCPUTime();
        }
        for (const auto& [name, time] : medians) seconds[name] = time;
    }

  private:
    std::map<std::string, double> medians;
};

} // namespace

std::string sizeName(Size s) {
    return std::to_string(s.width) + "x" + std::to_string(s.height);
}

void setFrameCounters(benchmark::State& state, Size size, double bitsPerPixel) {
    state.counters["frames/s"] =
        benchmark::Counter(1, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["Mpx/s"] = benchmark::Counter(double(size.width) * size.height / 1e6,
                                                 benchmark::Counter::kIsIterationInvariantRate);
    state.counters["bpp"] = bitsPerPixel;
}

void peerDecode(benchmark::State& state, const std::optional<JpegPicture>& jpeg, Size size) {
    if (!jpeg) {
        state.SkipWithError("no JPEG peer (libturbojpeg not found)");
        return;
    }
    JpegDecoder decoder;
    std::vector<std::uint8_t> out;
    for (auto _ : state) {
        if (!decoder.decode(*jpeg, out)) {
            state.SkipWithError("the JPEG peer failed to decode");
            return;
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    setFrameCounters(state, size, jpeg->bitsPerPixel);
    state.counters["jpegQuality"] = jpeg->quality;
}

void runWithRatios(const std::vector<RatioPair>& pairs, const char* heading) {
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n%s\n", heading);
    for (const RatioPair& pair : pairs) {
        const auto ours = reporter.seconds.find(pair.ours);
        const auto peer = reporter.seconds.find(pair.peer);
        if (ours == reporter.seconds.end() || peer == reporter.seconds.end()) continue;
        std::printf("  %-32s %6.2f\n", pair.ours.c_str(), peer->second / ours->second);
    }
}

} // namespace qzbench
