// Decode speed of type-3 and type-4 frames against a JPEG decoder reading a JPEG of the same
// picture at about the same bits per pixel. After the runs, prints each of our cases' speed as
// a multiple of the peer's (above 1: we are faster).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_pictures.h"
#include "bench/bench_ratios.h"
#include "bench/jpeg_peer.h"
#include "video/colour_tables.h"
#include "encoder/type3_encoder.h"
#include "encoder/type4_encoder.h"
#include "video/video_state.h"
#include "video/type3/type3_decoder.h"
#include "video/type4/type4_decoder.h"

namespace {

constexpr int type3Quality = 75;
constexpr int type4Quality = 95; // about the bits per pixel of type 3 at 75

enum class Output { rgb565, xrgb8888, yuy2 };

const char* outputName(Output o) {
    return o == Output::rgb565 ? "rgb565" : (o == Output::xrgb8888 ? "xrgb8888" : "yuy2");
}

const PixelFormat formatRgb565{5, 6, 5, 11, 5, 0, 0xFFFF, 16};
const PixelFormat formatXrgb8888{8, 8, 8, 16, 8, 0, 0xFFFFFF, 24};

using qzbench::Size;
using qzbench::sizeName;

// One type's frame of the bench picture and the peer's JPEG at about its bits per pixel.
struct Prepared {
    Bytes payload; // with zeroed spare bytes after it, as the reader keeps them
    std::size_t payloadBytes = 0;
    double bitsPerPixel = 0;
    std::optional<qzbench::JpegPicture> jpeg;
};

const Prepared& prepared(int type, Size size) {
    static std::map<std::pair<int, int>, std::unique_ptr<Prepared>> cache;
    auto& slot = cache[{type, size.width}];
    if (slot) return *slot;
    slot = std::make_unique<Prepared>();
    const std::vector<std::uint8_t> rgb = qzbench::benchPicture(size.width, size.height);
    const YuvPicture picture = rgbToYuv420(rgb.data(), size.width, size.height);
    slot->payload = type == 3 ? encodeType3Frame(picture, type3Quality)
                              : encodeType4Frame(picture, type4Quality);
    slot->payloadBytes = slot->payload.size();
    slot->bitsPerPixel = double(slot->payloadBytes) * 8 / (double(size.width) * size.height);
    slot->payload.resize(slot->payloadBytes + videoPayloadSpare, 0);
    slot->jpeg = qzbench::encodeJpegNear(rgb.data(), size.width, size.height, slot->bitsPerPixel);
    return *slot;
}

void setCounters(benchmark::State& state, Size size, double bitsPerPixel) {
    state.counters["frames/s"] =
        benchmark::Counter(1, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["Mpx/s"] = benchmark::Counter(double(size.width) * size.height / 1e6,
                                                 benchmark::Counter::kIsIterationInvariantRate);
    state.counters["bpp"] = bitsPerPixel;
}

void oursDecode(benchmark::State& state, int type, Size size, Output output) {
    const Prepared& p = prepared(type, size);
    auto ctx = std::make_unique<VideoState>();
    ctx->output.pixelFormat = output == Output::rgb565 ? formatRgb565 : formatXrgb8888;
    buildColourTables(ctx->output.pixelFormat, 100);
    ctx->width = size.width;
    ctx->height = size.height;
    const BYTE* payload = p.payload.data();
    ctx->quality = payload[4];
    ctx->dct.componentColour = (payload[7] >> 1) & 1;
    ctx->frameDataEnd = payload + p.payloadBytes;
    ctx->clipRight = size.width;
    ctx->clipBottom = size.height;
    const int pixelBytes = output == Output::xrgb8888 ? 4 : 2;
    const LONG pitch = size.width * pixelBytes;
    std::vector<BYTE> target(std::size_t(pitch) * size.height);
    const BYTE* data = payload + 8;
    for (auto _ : state) {
        if (type == 3) {
            setupType3Quant(ctx.get(), ctx->quality);
            if (output == Output::xrgb8888)
                decodeType3Frame32(ctx.get(), data, target.data(), target.data(), pitch);
            else
                decodeType3Frame16(ctx.get(), data, target.data(), target.data(), pitch);
        } else {
            setupType4Quant(ctx->dct.type4Quant, ctx->quality);
            if (output == Output::xrgb8888)
                decodeType4FrameRgb32(ctx.get(), data, target.data(), target.data(), pitch);
            else if (output == Output::rgb565)
                decodeType4FrameRgb16(ctx.get(), data, target.data(), target.data(), pitch);
            else
                decodeType4FrameYuy2(ctx.get(), data, target.data(), target.data(), pitch);
        }
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    setCounters(state, size, p.bitsPerPixel);
}

void peerDecode(benchmark::State& state, int type, Size size) {
    const Prepared& p = prepared(type, size);
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
    setCounters(state, size, p.jpeg->bitsPerPixel);
    state.counters["jpegQuality"] = p.jpeg->quality;
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
