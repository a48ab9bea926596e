// Decode speed of type-3 and type-4 frames against a JPEG decoder reading a JPEG of the same
// picture at about the same bits per pixel. After the runs, prints each of our cases' speed as
// a multiple of the peer's (above 1: we are faster).
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "bench/bench_ratios.h"
#include "bench/decode_cases.h"

namespace {

using qzbench::Output;
using qzbench::outputName;
using qzbench::Size;
using qzbench::sizeName;

void oursDecode(benchmark::State& state, int type, Size size, Output output) {
    qzbench::DctFrameDecoder decoder(type, size, output);
    for (auto _ : state) {
        decoder.decode();
        benchmark::DoNotOptimize(decoder.target());
        benchmark::ClobberMemory();
    }
    qzbench::setFrameCounters(state, size, qzbench::dctFrame(type, size).bitsPerPixel);
}

void peerDecode(benchmark::State& state, int type, Size size) {
    qzbench::peerDecode(state, qzbench::dctFrame(type, size).jpeg, size);
}

std::string oursName(int type, Size size, Output output) {
    return "ours/type" + std::to_string(type) + "/" + sizeName(size) + "/" + outputName(output);
}

std::string peerName(int type, Size size) {
    return "peer/jpeg-as-type" + std::to_string(type) + "/" + sizeName(size) + "/xrgb8888";
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    std::vector<qzbench::RatioPair> pairs;
    for (int type : {3, 4}) {
        for (Size size : qzbench::benchSizes) {
            for (Output output : {Output::rgb565, Output::xrgb8888, Output::yuy2}) {
                if (type == 3 && output == Output::yuy2) continue; // type 3 has no YUV output
                const std::string name = oursName(type, size, output);
                benchmark::RegisterBenchmark(name.c_str(), oursDecode, type, size, output)
                    ->Unit(benchmark::kMicrosecond);
                pairs.push_back({name, peerName(type, size)});
            }
            benchmark::RegisterBenchmark(peerName(type, size).c_str(), peerDecode, type, size)
                ->Unit(benchmark::kMicrosecond);
        }
    }
    qzbench::runWithRatios(
        pairs, "Speed of ours as a multiple of the JPEG peer's (same picture, about the same "
               "bits per pixel):");
    benchmark::Shutdown();
    return 0;
}
