// Decode speed of KRT key and delta frames, each followed by the output stage into a memory
// target of 16-bit rgb565 pixels or 8-bit palette indices, in frames a second.
#include <benchmark/benchmark.h>

#include <string>

#include "bench/decode_cases.h"

namespace {

using qzbench::KrtPlayer;
using qzbench::Size;

void keyFrames(benchmark::State& state, PixelFormat format, Size size) {
    const qzbench::KrtSequence& s = qzbench::krtSequence(size);
    KrtPlayer player(format, size);
    for (auto _ : state) {
        player.key(s.key);
        benchmark::DoNotOptimize(player.target());
    }
    state.counters["frames/s"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["bytes"] = double(s.key.size());
}

void deltaFramesBench(benchmark::State& state, PixelFormat format, Size size) {
    const qzbench::KrtSequence& s = qzbench::krtSequence(size);
    KrtPlayer player(format, size);
    player.key(s.key);
    std::size_t next = 0;
    std::size_t bytes = 0;
    for (const Bytes& d : s.deltas) bytes += d.size();
    for (auto _ : state) {
        // The deltas go round in a loop on the picture they leave: the same work as in order.
        player.delta(s.deltas[next]);
        next = (next + 1) % s.deltas.size();
        benchmark::DoNotOptimize(player.target());
    }
    state.counters["frames/s"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["bytes"] = double(bytes / s.deltas.size());
}

void registerAll() {
    const std::pair<const char*, PixelFormat> outputs[] = {{"rgb565", qzbench::formatRgb565},
                                                           {"pal8", qzbench::formatPal8}};
    for (Size size : qzbench::benchSizes)
        for (auto [name, format] : outputs) {
            const std::string suffix = std::string("/") + name + "/" + qzbench::sizeName(size);
            benchmark::RegisterBenchmark(("KrtKeyFrame" + suffix).c_str(), keyFrames, format, size);
            benchmark::RegisterBenchmark(("KrtDeltaFrame" + suffix).c_str(), deltaFramesBench,
                                         format, size);
        }
}

} // namespace

int main(int argc, char** argv) {
    registerAll();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
