// Encoding: quality for size against JPEG, and speed against JPEG compression.
//
// rd/...: one run each (these are measurements of quality, not of time). A key frame of type 3,
// type 4 or DOR at three rates, decoded by the player's decoders to 32-bit RGB, its PSNR against
// the source picture beside the PSNR of a JPEG of the same picture at the closest size; on the
// real picture (the first frame of a pan and zoom over a photograph) and on the synthetic bench
// picture. DOR and KRT sequences of the pan and zoom against the same frames coded as key frames
// only.
//
// audio/...: the recording through each audio codec and the player's audio decoder: the
// signal-to-noise ratio against the source, and the encoder's speed.
//
// speed/...: frames/s of our encoders at 640x480 (from R, G, B input, colour conversion
// included) and of libjpeg-turbo compressing the same picture at the size of ours, both timed
// on the thread's processor clock in the same iterations, one after the other (taking turns at
// going first), so that the ratio holds on a shared machine.
//
// --level=scalar|avx2|avx512|vbmi (before the benchmark options) runs the encoders' forms of
// that vector level instead of the processor's best.
#include <benchmark/benchmark.h>

#include <time.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_material.h"
#include "bench/bench_pictures.h"
#include "bench/jpeg_peer.h"
#include "bench/simd_level_option.h"
#include "audio/audio_decode.h"
#include "encoder/audio_encoders.h"
#include "encoder/dor_encoder.h"
#include "encoder/krt_encoder.h"
#include "encoder/type3_encoder.h"
#include "encoder/type4_encoder.h"
#include "video/frame_decoder.h"

namespace {

using qzbench::RgbImage;

constexpr int benchWidth = 640, benchHeight = 480;
constexpr int sequenceFrames = 24;

enum class Codec { type3, type4, dorKey, dorMotion, krt };

const char* codecName(Codec c) {
    switch (c) {
    case Codec::type3:
        return "type3";
    case Codec::type4:
        return "type4";
    case Codec::dorKey:
        return "dor-key";
    case Codec::dorMotion:
        return "dor-motion";
    default:
        return "krt-key";
    }
}

// Three settings per codec, coarse to fine: quality for type 3 and 4, quantiser for DOR.
int setting(Codec c, int rate) {
    static const int type3[3] = {40, 70, 90};
    static const int type4[3] = {70, 88, 97};
    static const int dor[3] = {12, 6, 3};
    return c == Codec::type3 ? type3[rate] : (c == Codec::type4 ? type4[rate] : dor[rate]);
}

// The pictures: the pan and zoom over the photograph, or the synthetic picture alone.
const std::vector<RgbImage>* panZoomFrames(std::string* why) {
    static std::vector<RgbImage> frames;
    const RgbImage* photo = qzbench::benchPhotograph(why);
    if (photo == nullptr) return nullptr;
    if (frames.empty())
        for (int t = 0; t < sequenceFrames; ++t)
            frames.push_back(
                qzbench::panZoomFrame(*photo, benchWidth, benchHeight, t, sequenceFrames));
    return &frames;
}

const RgbImage& syntheticPicture() {
    static const RgbImage picture{benchWidth, benchHeight,
                                  qzbench::benchPicture(benchWidth, benchHeight)};
    return picture;
}

// The picture a case runs on, or null after skipping the case with the reason.
const RgbImage* casePicture(benchmark::State& state, bool real) {
    if (!real) return &syntheticPicture();
    std::string why;
    const auto* frames = panZoomFrames(&why);
    if (frames == nullptr) {
        state.SkipWithError(("no real picture: " + why).c_str());
        return nullptr;
    }
    return &frames->front();
}

YuvPicture toYuv(const RgbImage& image) {
    return rgbToYuv420(image.rgb.data(), image.width, image.height);
}

// A frame decoded by the player's decoder, as R, G, B bytes. DOR leaves the last row
// unwritten, so rows (when not zero) limits the picture compared.
class RgbDecoder {
  public:
    RgbDecoder() : decoder_(FrameFormat::xrgb8888, 100) {}
    std::vector<std::uint8_t> decode(LONG type, const Bytes& payload, int width, int height) {
        pixels_.resize(std::size_t(width) * height * 4);
        decoder_.decode(type, payload.data(), payload.size(),
                        {pixels_.data(), width * 4, width, height});
        std::vector<std::uint8_t> rgb(std::size_t(width) * height * 3);
        for (std::size_t i = 0; i < std::size_t(width) * height; ++i)
            for (int c = 0; c < 3; ++c) rgb[3 * i + c] = pixels_[4 * i + 2 - c];
        return rgb;
    }

  private:
    VideoDecoder decoder_;
    std::vector<std::uint8_t> pixels_;
};

// PSNR over the first rows rows.
double psnrRows(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b, int width,
                int rows) {
    const std::size_t n = std::size_t(width) * rows * 3;
    return qzbench::rgbPsnr({a.begin(), a.begin() + n}, {b.begin(), b.begin() + n});
}

struct Coded {
    Bytes payload;
    LONG type;
};

Coded encodeKey(Codec codec, const RgbImage& image, int rate) {
    const YuvPicture yuv = toYuv(image);
    switch (codec) {
    case Codec::type3:
        return {encodeType3Frame(yuv, setting(codec, rate)), 3};
    case Codec::type4:
        return {encodeType4Frame(yuv, setting(codec, rate)), 4};
    default: {
        DorEncoder encoder({.quantiser = setting(codec, rate)});
        return {encoder.encode(yuv, DorFrameKind::key), 5};
    }
    }
}

std::vector<std::uint8_t> jpegRgb(const qzbench::JpegPicture& jpeg) {
    qzbench::JpegDecoder decoder;
    std::vector<std::uint8_t> bgrx, rgb(std::size_t(jpeg.width) * jpeg.height * 3);
    if (!decoder.decode(jpeg, bgrx)) return {};
    for (std::size_t i = 0; i < std::size_t(jpeg.width) * jpeg.height; ++i)
        for (int c = 0; c < 3; ++c) rgb[3 * i + c] = bgrx[4 * i + 2 - c];
    return rgb;
}

void rateDistortion(benchmark::State& state, Codec codec, bool real, int rate) {
    const RgbImage* image = casePicture(state, real);
    if (image == nullptr) return;
    Coded coded;
    for (auto _ : state) coded = encodeKey(codec, *image, rate);
    RgbDecoder decoder;
    const auto shown = decoder.decode(coded.type, coded.payload, image->width, image->height);
    const int rows =
        codec == Codec::type3 || codec == Codec::type4 ? image->height : image->height - 1;
    const double bpp = double(coded.payload.size()) * 8 / (double(image->width) * image->height);
    const double psnr = psnrRows(image->rgb, shown, image->width, rows);
    state.counters["bpp"] = bpp;
    state.counters["dB"] = psnr;
    const auto jpeg = qzbench::encodeJpegNear(image->rgb.data(), image->width, image->height, bpp);
    if (!jpeg) return; // no peer: our figures alone
    const auto jpegShown = jpegRgb(*jpeg);
    if (jpegShown.empty()) return;
    const double jpegPsnr = psnrRows(image->rgb, jpegShown, image->width, rows);
    state.counters["jpegBpp"] = jpeg->bitsPerPixel;
    state.counters["jpegdB"] = jpegPsnr;
    state.counters["vsJpeg"] = psnr - jpegPsnr;
}

// Mean bytes a frame and mean PSNR of a sequence of the pan and zoom.
struct SequenceFigures {
    double bytes = 0;
    double psnr = 0;
};

SequenceFigures dorSequence(const std::vector<RgbImage>& frames, int quantiser, bool keysOnly) {
    DorEncoder encoder({.quantiser = quantiser});
    RgbDecoder decoder;
    SequenceFigures f;
    for (std::size_t t = 0; t < frames.size(); ++t) {
        // Key frame first, then motion frames with a non-reference frame between each two.
        const DorFrameKind kind = keysOnly || t == 0 ? DorFrameKind::key
                                  : t % 2 == 1       ? DorFrameKind::nonReference
                                                     : DorFrameKind::motion;
        const Bytes payload = encoder.encode(toYuv(frames[t]), kind);
        const auto shown = decoder.decode(dorFrameType(kind), payload, benchWidth, benchHeight);
        f.bytes += double(payload.size());
        f.psnr += psnrRows(frames[t].rgb, shown, benchWidth, benchHeight - 1);
    }
    f.bytes /= double(frames.size());
    f.psnr /= double(frames.size());
    return f;
}

SequenceFigures krtSequence(const std::vector<RgbImage>& frames, bool keysOnly) {
    KrtEncoder encoder;
    SequenceFigures f;
    for (const RgbImage& frame : frames) {
        const RgbPicture picture{frame.width, frame.height, frame.rgb};
        const MovieVideoChunk chunk =
            keysOnly ? encoder.keyFrame(picture) : encoder.deltaFrame(picture);
        f.bytes += double(chunk.payload.size());
        f.psnr += rgbPsnr(picture, encoder.decodedRgb());
    }
    f.bytes /= double(frames.size());
    f.psnr /= double(frames.size());
    return f;
}

void sequence(benchmark::State& state, bool krt) {
    std::string why;
    const auto* frames = panZoomFrames(&why);
    if (frames == nullptr) {
        state.SkipWithError(("no real picture: " + why).c_str());
        return;
    }
    SequenceFigures coded, keys;
    for (auto _ : state) {
        coded = krt ? krtSequence(*frames, false) : dorSequence(*frames, 6, false);
        keys = krt ? krtSequence(*frames, true) : dorSequence(*frames, 6, true);
    }
    state.counters["bytes/frame"] = coded.bytes;
    state.counters["dB"] = coded.psnr;
    state.counters["keyBytes/frame"] = keys.bytes;
    state.counters["keydB"] = keys.psnr;
    state.counters["size/keys"] = coded.bytes / keys.bytes;
}

double threadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

// Our encoder of one codec, kept across frames (DOR motion frames predict from the last).
class Encoder {
  public:
    explicit Encoder(Codec codec) : codec_(codec), dor_({.quantiser = 6}) {}
    std::size_t encode(const RgbImage& image) {
        if (codec_ == Codec::krt)
            return krt_.keyFrame({image.width, image.height, image.rgb}).payload.size();
        const YuvPicture yuv = toYuv(image);
        switch (codec_) {
        case Codec::type3:
            return encodeType3Frame(yuv, 70).size();
        case Codec::type4:
            return encodeType4Frame(yuv, 88).size();
        case Codec::dorKey:
            return dor_.encode(yuv, DorFrameKind::key).size();
        default:
            return dor_.encode(yuv, DorFrameKind::motion).size();
        }
    }

  private:
    Codec codec_;
    DorEncoder dor_;
    KrtEncoder krt_;
};

void encodeSpeed(benchmark::State& state, Codec codec) {
    std::string why;
    const auto* frames = panZoomFrames(&why);
    if (frames == nullptr) {
        state.SkipWithError(("no real picture: " + why).c_str());
        return;
    }
    Encoder ours(codec);
    if (codec == Codec::dorMotion) ours.encode(frames->front()); // the first frame has no reference
    // The peer's quality: the one whose size comes closest to our frame of the first picture.
    Encoder probe(codec == Codec::dorMotion ? Codec::dorKey : codec);
    const double bpp = double(probe.encode(frames->front())) * 8 / (benchWidth * benchHeight);
    const auto matched =
        qzbench::encodeJpegNear(frames->front().rgb.data(), benchWidth, benchHeight, bpp);
    qzbench::JpegEncoder peer;
    double oursSeconds = 0, peerSeconds = 0;
    std::size_t t = 1, bytes = 0;
    const auto seconds = [](const auto& work) {
        const double start = threadSeconds();
        work();
        return threadSeconds() - start;
    };
    for (auto _ : state) {
        // Whichever encoder goes second finds the frame in cache, so the two take turns at
        // going first (each frame too, from one lap over the frames to the next).
        const bool oursFirst = (t + t / frames->size()) % 2 == 0;
        const RgbImage& frame = (*frames)[t++ % frames->size()];
        const auto runOurs = [&] { oursSeconds += seconds([&] { bytes += ours.encode(frame); }); };
        const auto runPeer = [&] {
            if (!matched) return;
            peerSeconds += seconds([&] {
                const auto jpeg =
                    peer.encode(frame.rgb.data(), benchWidth, benchHeight, matched->quality);
                benchmark::DoNotOptimize(jpeg.first);
            });
        };
        if (oursFirst) {
            runOurs();
            runPeer();
        } else {
            runPeer();
            runOurs();
        }
    }
    const double n = double(state.iterations());
    state.counters["frames/s"] = n / oursSeconds;
    state.counters["bpp"] = double(bytes) * 8 / (n * benchWidth * benchHeight);
    if (matched) {
        state.counters["jpegFrames/s"] = n / peerSeconds;
        state.counters["jpegQuality"] = matched->quality;
        state.counters["vsJpeg"] = peerSeconds / oursSeconds;
    }
}

Bytes encodeAudio(LONG codec, const qzbench::Recording& r) {
    if (codec == audioCodecPcm) return encodePcmPayload(r.samples, r.channels);
    if (codec == audioCodecBlockAdpcm) return encodeBlockAdpcmPayload(r.samples, r.channels);
    ImaChannel state[2] = {};
    return encodeImaPayload(r.samples, r.channels, state);
}

void audioCodec(benchmark::State& state, LONG codec) {
    std::string why;
    const qzbench::Recording* r = qzbench::benchRecording(&why);
    if (r == nullptr || (r->channels != 1 && r->channels != 2)) {
        state.SkipWithError(
            ("no recording: " + (r ? std::string("not mono or stereo") : why)).c_str());
        return;
    }
    Bytes payload;
    for (auto _ : state) payload = encodeAudio(codec, *r);
    const AudioFormat format{r->channels, r->rate, 16, codec};
    const auto length = static_cast<LONG>(payload.size());
    std::vector<BYTE> out(std::size_t(audioDecodedBytes(format, payload.data(), length)));
    LONG history[4] = {};
    ImaChannel ima[2] = {};
    decodeAudioPayload(format, payload.data(), length, history, ima, out.data(),
                       static_cast<LONG>(out.size()));
    // The decoder writes stereo: a mono source is compared with its left channel.
    const std::size_t frames = std::min(r->samples.size() / r->channels, out.size() / 4);
    double signal = 0, noise = 0;
    for (std::size_t f = 0; f < frames; ++f) {
        for (int c = 0; c < r->channels; ++c) {
            const double want = r->samples[f * r->channels + c];
            const auto got =
                static_cast<std::int16_t>(out[4 * f + 2 * c] | out[4 * f + 2 * c + 1] << 8);
            signal += want * want;
            noise += (got - want) * (got - want);
        }
    }
    state.counters["snrdB"] = noise == 0 ? 99.0 : 10 * std::log10(signal / noise);
    state.counters["seconds"] = double(r->samples.size() / r->channels) / r->rate;
    state.counters["kbit/s"] =
        double(payload.size()) * 8 / 1000 / (double(r->samples.size() / r->channels) / r->rate);
    state.counters["xRealTime"] =
        benchmark::Counter(double(r->samples.size() / r->channels) / r->rate,
                           benchmark::Counter::kIsIterationInvariantRate);
}

} // namespace

int main(int argc, char** argv) {
    // --level=NAME, taken out of the arguments before the benchmark library reads them.
    if (argc > 1 && std::string(argv[1]).starts_with("--level=")) {
        const std::string name = std::string(argv[1]).substr(8);
        const std::optional<SimdLevel> level = qzbench::levelOfName(name);
        if (!level || *level > simdAvailable()) {
            std::fprintf(stderr, "encode_bench: level '%s' is unknown or beyond this processor\n",
                         name.c_str());
            return 2;
        }
        setSimdLevel(*level);
        for (int i = 1; i + 1 < argc; ++i) argv[i] = argv[i + 1];
        --argc;
    }
    std::fprintf(stderr, "encode_bench: vector level %s\n", qzbench::levelName(simdLevel()));
    benchmark::Initialize(&argc, argv);
    std::string why;
    if (qzbench::benchPhotograph(&why) == nullptr)
        std::fprintf(stderr, "encode_bench: the real-picture cases are skipped: %s\n", why.c_str());
    if (!qzbench::jpegPeerAvailable())
        std::fprintf(stderr, "encode_bench: no JPEG peer (libturbojpeg): our figures alone\n");
    for (bool real : {true, false}) {
        for (Codec codec : {Codec::type3, Codec::type4, Codec::dorKey}) {
            for (int rate = 0; rate < 3; ++rate) {
                const std::string name = std::string("rd/") + (real ? "photo" : "synthetic") + "/" +
                                         codecName(codec) + "/" +
                                         std::to_string(setting(codec, rate));
                benchmark::RegisterBenchmark(name.c_str(), rateDistortion, codec, real, rate)
                    ->Iterations(1)
                    ->Unit(benchmark::kMillisecond);
            }
        }
    }
    benchmark::RegisterBenchmark("rd/photo/dor-sequence", sequence, false)
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("rd/photo/krt-sequence", sequence, true)
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
    for (const auto& [name, codec] :
         {std::pair{"audio/pcm", audioCodecPcm}, std::pair{"audio/codec7", audioCodecBlockAdpcm},
          std::pair{"audio/codec10", audioCodecIma}})
        benchmark::RegisterBenchmark(name, audioCodec, codec)->Unit(benchmark::kMillisecond);
    for (Codec codec : {Codec::type3, Codec::type4, Codec::dorKey, Codec::dorMotion, Codec::krt}) {
        const std::string name = std::string("speed/") + codecName(codec) + "/640x480";
        benchmark::RegisterBenchmark(name.c_str(), encodeSpeed, codec)
            ->Unit(benchmark::kMillisecond)
            ->MeasureProcessCPUTime();
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
