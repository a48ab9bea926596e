// Speed of the inverse transform alone, on the blocks of a type-4 frame of the bench picture:
// every block with an AC coefficient (the decoders fill the others themselves), one at a time
// and in pairs within each macroblock, at every vector level this processor has.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "bench/bench_pictures.h"
#include "encoder/dct_encoder.h"
#include "video/dct/dct_toolkit.h"
#include "video/type4/type4_decoder.h"

namespace {

constexpr int quality = 95; // as the type-4 decode bench

struct Block {
    LONG coeff[dctBlockSize];
};

// The macroblocks of the picture, each as its blocks with an AC coefficient, dequantised as the
// type-4 decoder does.
const std::vector<std::vector<Block>>& macroblocks() {
    static const std::vector<std::vector<Block>> all = [] {
        const int width = 640, height = 480;
        const auto rgb = qzbench::benchPicture(width, height);
        const YuvPicture picture = rgbToYuv420(rgb.data(), width, height);
        LONG quant[dctBlockSize];
        setupType4Quant(quant, quality);
        std::vector<std::vector<Block>> out;
        for (int mby = 0; mby * 16 < height; ++mby)
            for (int mbx = 0; mbx * 16 < width; ++mbx) {
                std::vector<Block> blocks;
                for (const DctBlock& samples : macroblockSamples(picture, mbx, mby)) {
                    const DctBlock f = forwardDct(samples);
                    Block b{};
                    bool anyAc = false;
                    b.coeff[0] = static_cast<LONG>(std::lround(f[0] / 8) + 1) * quant[0];
                    for (int i = 1; i < dctBlockSize; ++i) {
                        const long level =
                            quant[i] > 0 ? std::clamp(std::lround(f[i] * prescale[i] / quant[i]),
                                                      -256L, 255L)
                                         : 0;
                        b.coeff[i] = static_cast<LONG>(level) * quant[i];
                        anyAc = anyAc || level != 0;
                    }
                    if (anyAc) blocks.push_back(b);
                }
                out.push_back(blocks);
            }
        return out;
    }();
    return all;
}

std::int64_t blockCount() {
    std::int64_t n = 0;
    for (const auto& mb : macroblocks()) n += static_cast<std::int64_t>(mb.size());
    return n;
}

void single(benchmark::State& state, SimdLevel level) {
    setSimdLevel(level);
    LONG out[16 * 16];
    for (auto _ : state) {
        for (const auto& mb : macroblocks())
            for (const Block& b : mb) idctBlock(b.coeff, out, 16, 17);
        benchmark::DoNotOptimize(out);
    }
    state.SetItemsProcessed(state.iterations() * blockCount());
}

void pairs(benchmark::State& state, SimdLevel level) {
    setSimdLevel(level);
    LONG out[16 * 16];
    for (auto _ : state) {
        for (const auto& mb : macroblocks()) {
            std::size_t k = 0;
            for (; k + 1 < mb.size(); k += 2)
                idctBlockPair(mb[k].coeff, mb[k + 1].coeff, out, out + 8, 16, 16, 17);
            if (k < mb.size()) idctBlock(mb[k].coeff, out, 16, 17);
        }
        benchmark::DoNotOptimize(out);
    }
    state.SetItemsProcessed(state.iterations() * blockCount());
}

} // namespace

int main(int argc, char** argv) {
    const char* names[] = {"none", "avx2", "avx512"};
    for (SimdLevel level : {SimdLevel::none, SimdLevel::avx2, SimdLevel::avx512}) {
        if (level > simdAvailable()) continue;
        const std::string suffix = std::string("/") + names[static_cast<int>(level)];
        benchmark::RegisterBenchmark(("idct/single" + suffix).c_str(), single, level);
        benchmark::RegisterBenchmark(("idct/pair" + suffix).c_str(), pairs, level);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
}
