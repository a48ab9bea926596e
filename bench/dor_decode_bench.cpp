// Decode speed of DOR key and motion frames into 16-bit pixels, against a JPEG decoder reading a
// JPEG of the same picture at about the key frame's bits per pixel. After the runs, prints each
// of our cases' speed as a multiple of the peer's (above 1: we are faster).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bench/bench_pictures.h"
#include "bench/bench_ratios.h"
#include "bench/jpeg_peer.h"
#include "video/colour_tables.h"
#include "encoder/dor_encoder.h"
#include "video/video_state.h"
#include "video/dor/dor_decoder.h"

namespace {

constexpr int quantiser = 5;
// The motion frame shows the picture moved by this many pixels.
constexpr int shiftX = 3;
constexpr int shiftY = 2;

const PixelFormat formatRgb565{5, 6, 5, 11, 5, 0, 0xFFFF, 16};

using qzbench::Size;
using qzbench::sizeName;

// The bench picture's key frame, a motion frame of it moved, and the peer's JPEG.
struct Prepared {
    Bytes key;
    Bytes motion;
    std::size_t keyBytes = 0;
    std::size_t motionBytes = 0;
    std::optional<qzbench::JpegPicture> jpeg;
};

// The picture moved right and down, its edge repeated.
std::vector<std::uint8_t> shifted(const std::vector<std::uint8_t>& rgb, Size size) {
    std::vector<std::uint8_t> out(rgb.size());
    for (int y = 0; y < size.height; ++y)
        for (int x = 0; x < size.width; ++x)
            for (int c = 0; c < 3; ++c) {
                const int sx = std::max(x - shiftX, 0), sy = std::max(y - shiftY, 0);
                out[(std::size_t(y) * size.width + x) * 3 + c] =
                    rgb[(std::size_t(sy) * size.width + sx) * 3 + c];
            }
    return out;
}

const Prepared& prepared(Size size) {
    static std::map<int, std::unique_ptr<Prepared>> cache;
    auto& slot = cache[size.width];
    if (slot) return *slot;
    slot = std::make_unique<Prepared>();
    const std::vector<std::uint8_t> rgb = qzbench::benchPicture(size.width, size.height);
    const std::vector<std::uint8_t> moved = shifted(rgb, size);
    DorEncoder encoder({.quantiser = quantiser});
    slot->key = encoder.encode(rgbToYuv420(rgb.data(), size.width, size.height), DorFrameKind::key);
    slot->motion =
        encoder.encode(rgbToYuv420(moved.data(), size.width, size.height), DorFrameKind::motion);
    slot->keyBytes = slot->key.size();
    slot->motionBytes = slot->motion.size();
    // Zeroed spare bytes after the payload, as the reader keeps them.
    slot->key.resize(slot->keyBytes + videoPayloadSpare, 0);
    slot->motion.resize(slot->motionBytes + videoPayloadSpare, 0);
    slot->jpeg = qzbench::encodeJpegNear(rgb.data(), size.width, size.height,
                                         double(slot->keyBytes) * 8 / (size.width * size.height));
    return *slot;
}

void setCounters(benchmark::State& state, Size size, double bytes) {
    state.counters["frames/s"] =
        benchmark::Counter(1, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["Mpx/s"] = benchmark::Counter(double(size.width) * size.height / 1e6,
                                                 benchmark::Counter::kIsIterationInvariantRate);
    state.counters["bpp"] = bytes * 8 / (double(size.width) * size.height);
}

void oursDecode(benchmark::State& state, Size size, bool motion) {
    const Prepared& p = prepared(size);
    auto ctx = std::make_unique<VideoState>();
    ctx->output.pixelFormat = formatRgb565;
    buildColourTables(ctx->output.pixelFormat, 100);
    ctx->clipRight = size.width;
    ctx->clipBottom = size.height;
    const LONG pitch = size.width * 2;
    std::vector<BYTE> target(std::size_t(pitch) * size.height);
    // The motion frame predicts from the key frame's picture (and, run after run, from its own).
    ctx->frameDataEnd = p.key.data() + p.keyBytes;
    decodeDorFrame(ctx.get(), p.key.data(), target.data(), pitch, 5);
    const Bytes& frame = motion ? p.motion : p.key;
    ctx->frameDataEnd = frame.data() + (motion ? p.motionBytes : p.keyBytes);
    for (auto _ : state) {
        decodeDorFrame(ctx.get(), frame.data(), target.data(), pitch, motion ? 6 : 5);
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    releaseVideoState(*ctx);
    setCounters(state, size, double(motion ? p.motionBytes : p.keyBytes));
}

void peerDecode(benchmark::State& state, Size size) {
    const Prepared& p = prepared(size);
    if (!p.jpeg) {
        state.SkipWithError("no JPEG peer (libturbojpeg not found)");
        return;
    }
    qzbench::JpegDecoder decoder;
    std::vector<std::uint8_t> out;
    for (auto _ : state) {
        if (!decoder.decode(*p.jpeg, out)) {
            state.SkipWithError("the JPEG peer failed to decode");
            return;
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    setCounters(state, size, double(p.jpeg->data.size()));
    state.counters["jpegQuality"] = p.jpeg->quality;
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
