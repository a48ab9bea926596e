// Decode speed of DOR key and motion frames into 16-bit pixels, against a JPEG decoder reading a
// JPEG of the same picture at about the key frame's bits per pixel. After the runs, prints each
// of our cases' speed as a multiple of the peer's (above 1: we are faster).
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "bench/bench_ratios.h"
#include "bench/decode_cases.h"

namespace {

using qzbench::Size;
using qzbench::sizeName;

void oursDecode(benchmark::State& state, Size size, bool motion) {
    qzbench::DorFrameDecoder decoder(size, motion);
    for (auto _ : state) {
        decoder.decode();
        benchmark::DoNotOptimize(decoder.target());
        benchmark::ClobberMemory();
    }
    qzbench::setFrameCounters(
        state, size, double(decoder.frameBytes()) * 8 / (double(size.width) * size.height));
}

void peerDecode(benchmark::State& state, Size size) {
    qzbench::peerDecode(state, qzbench::dorFrames(size).jpeg, size);
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    std::vector<qzbench::RatioPair> pairs;
    for (Size size : qzbench::benchSizes) {
        const std::string peer = "peer/jpeg/" + sizeName(size) + "/xrgb8888";
        for (bool motion : {false, true}) {
            const std::string name = std::string("ours/dor-") + (motion ? "motion/" : "key/") +
                                     sizeName(size) + "/rgb565";
            benchmark::RegisterBenchmark(name.c_str(), oursDecode, size, motion)
                ->Unit(benchmark::kMicrosecond);
            pairs.push_back({name, peer});
        }
        benchmark::RegisterBenchmark(peer.c_str(), peerDecode, size)->Unit(benchmark::kMicrosecond);
    }
    qzbench::runWithRatios(
        pairs, "Speed of ours as a multiple of the JPEG peer's (same picture, the key frame's "
               "bits per pixel):");
    benchmark::Shutdown();
    return 0;
}
