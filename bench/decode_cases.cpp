#include "bench/decode_cases.h"

#include <algorithm>
#include <map>

#include "bench/bench_pictures.h"
#include "encoder/dor_encoder.h"
#include "encoder/krt_encoder.h"
#include "encoder/type3_encoder.h"
#include "encoder/type4_encoder.h"
#include "video/colour_tables.h"
#include "video/dor/dor_decoder.h"
#include "video/krt/krt_decoder.h"
#include "video/type3/type3_decoder.h"
#include "video/type4/type4_decoder.h"

namespace qzbench {

namespace {

constexpr int type3Quality = 75;
constexpr int type4Quality = 95; // about the bits per pixel of type 3 at 75
constexpr int dorQuantiser = 5;
// The DOR motion frame shows the picture moved by this many pixels.
constexpr int dorShiftX = 3;
constexpr int dorShiftY = 2;
constexpr int krtDeltaFrames = 8;
constexpr int krtMargin = 64; // room the moving window has in the source picture

double bitsPerPixel(std::size_t bytes, Size size) {
    return double(bytes) * 8 / (double(size.width) * size.height);
}

// The picture moved right and down, its edge repeated.
std::vector<std::uint8_t> shifted(const std::vector<std::uint8_t>& rgb, Size size) {
    std::vector<std::uint8_t> out(rgb.size());
    for (int y = 0; y < size.height; ++y)
        for (int x = 0; x < size.width; ++x)
            for (int c = 0; c < 3; ++c) {
                const int sx = std::max(x - dorShiftX, 0), sy = std::max(y - dorShiftY, 0);
                out[(std::size_t(y) * size.width + x) * 3 + c] =
                    rgb[(std::size_t(sy) * size.width + sx) * 3 + c];
            }
    return out;
}

void addSpare(Bytes& payload) {
    payload.resize(payload.size() + videoPayloadSpare, 0);
}

} // namespace

const PixelFormat formatRgb565{5, 6, 5, 11, 5, 0, 0xFFFF, 16};
const PixelFormat formatXrgb8888{8, 8, 8, 16, 8, 0, 0xFFFFFF, 24};
const PixelFormat formatPal8{0, 0, 0, 0, 0, 0, 0, 8};

const char* outputName(Output output) {
    return output == Output::rgb565 ? "rgb565" : (output == Output::xrgb8888 ? "xrgb8888" : "yuy2");
}

const DctFrame& dctFrame(int type, Size size) {
    static std::map<std::pair<int, int>, std::unique_ptr<DctFrame>> cache;
    auto& slot = cache[{type, size.width}];
    if (slot) return *slot;
    slot = std::make_unique<DctFrame>();
    const std::vector<std::uint8_t> rgb = benchPicture(size.width, size.height);
    const YuvPicture picture = rgbToYuv420(rgb.data(), size.width, size.height);
    slot->payload = type == 3 ? encodeType3Frame(picture, type3Quality)
                              : encodeType4Frame(picture, type4Quality);
    slot->payloadBytes = slot->payload.size();
    slot->bitsPerPixel = bitsPerPixel(slot->payloadBytes, size);
    addSpare(slot->payload);
    slot->jpeg = encodeJpegNear(rgb.data(), size.width, size.height, slot->bitsPerPixel);
    return *slot;
}

DctFrameDecoder::DctFrameDecoder(int type, Size size, Output output)
    : type_(type), output_(output), frame_(dctFrame(type, size)),
      ctx_(std::make_unique<VideoState>()) {
    ctx_->output.pixelFormat = output == Output::rgb565 ? formatRgb565 : formatXrgb8888;
    buildColourTables(ctx_->output.pixelFormat, 100);
    ctx_->width = size.width;
    ctx_->height = size.height;
    const BYTE* payload = frame_.payload.data();
    ctx_->quality = payload[4];
    ctx_->dct.componentColour = (payload[7] >> 1) & 1;
    ctx_->frameDataEnd = payload + frame_.payloadBytes;
    ctx_->clipRight = size.width;
    ctx_->clipBottom = size.height;
    pitch_ = size.width * (output == Output::xrgb8888 ? 4 : 2);
    target_.resize(std::size_t(pitch_) * size.height);
}

DctFrameDecoder::~DctFrameDecoder() {
    releaseVideoState(*ctx_);
}

void DctFrameDecoder::decode() {
    VideoState* ctx = ctx_.get();
    const BYTE* data = frame_.payload.data() + 8;
    BYTE* target = target_.data();
    if (type_ == 3) {
        setupType3Quant(ctx, ctx->quality);
        if (output_ == Output::xrgb8888)
            decodeType3Frame32(ctx, data, target, target, pitch_);
        else
            decodeType3Frame16(ctx, data, target, target, pitch_);
    } else {
        setupType4Quant(ctx->dct.type4Quant, ctx->quality);
        if (output_ == Output::xrgb8888)
            decodeType4FrameRgb32(ctx, data, target, target, pitch_);
        else if (output_ == Output::rgb565)
            decodeType4FrameRgb16(ctx, data, target, target, pitch_);
        else
            decodeType4FrameYuy2(ctx, data, target, target, pitch_);
    }
}

const DorFrames& dorFrames(Size size) {
    static std::map<int, std::unique_ptr<DorFrames>> cache;
    auto& slot = cache[size.width];
    if (slot) return *slot;
    slot = std::make_unique<DorFrames>();
    const std::vector<std::uint8_t> rgb = benchPicture(size.width, size.height);
    const std::vector<std::uint8_t> moved = shifted(rgb, size);
    DorEncoder encoder({.quantiser = dorQuantiser});
    slot->key = encoder.encode(rgbToYuv420(rgb.data(), size.width, size.height), DorFrameKind::key);
    slot->motion =
        encoder.encode(rgbToYuv420(moved.data(), size.width, size.height), DorFrameKind::motion);
    slot->keyBytes = slot->key.size();
    slot->motionBytes = slot->motion.size();
    addSpare(slot->key);
    addSpare(slot->motion);
    slot->jpeg =
        encodeJpegNear(rgb.data(), size.width, size.height, bitsPerPixel(slot->keyBytes, size));
    return *slot;
}

DorFrameDecoder::DorFrameDecoder(Size size, bool motion)
    : motion_(motion), frames_(dorFrames(size)), ctx_(std::make_unique<VideoState>()) {
    ctx_->output.pixelFormat = formatRgb565;
    buildColourTables(ctx_->output.pixelFormat, 100);
    ctx_->clipRight = size.width;
    ctx_->clipBottom = size.height;
    pitch_ = size.width * 2;
    target_.resize(std::size_t(pitch_) * size.height);
    // The motion frame predicts from the key frame's picture (and, decode after decode, from
    // its own).
    ctx_->frameDataEnd = frames_.key.data() + frames_.keyBytes;
    decodeDorFrame(ctx_.get(), frames_.key.data(), target_.data(), pitch_, 5);
    ctx_->frameDataEnd = motion ? frames_.motion.data() + frames_.motionBytes
                                : frames_.key.data() + frames_.keyBytes;
}

DorFrameDecoder::~DorFrameDecoder() {
    releaseVideoState(*ctx_);
}

std::size_t DorFrameDecoder::frameBytes() const {
    return motion_ ? frames_.motionBytes : frames_.keyBytes;
}

void DorFrameDecoder::decode() {
    decodeDorFrame(ctx_.get(), (motion_ ? frames_.motion : frames_.key).data(), target_.data(),
                   pitch_, motion_ ? 6 : 5);
}

const KrtSequence& krtSequence(Size size) {
    static std::map<int, std::unique_ptr<KrtSequence>> cache;
    auto& slot = cache[size.width];
    if (slot) return *slot;
    slot = std::make_unique<KrtSequence>();
    const int sourceWidth = size.width + krtMargin;
    const std::vector<std::uint8_t> source = benchPicture(sourceWidth, size.height + krtMargin);
    KrtEncoder encoder;
    for (int t = 0; t <= krtDeltaFrames; ++t) {
        RgbPicture frame{size.width, size.height, {}};
        for (int y = 0; y < size.height; ++y) {
            const auto row = source.begin() + 3 * (std::ptrdiff_t(y + t) * sourceWidth + 2 * t);
            frame.rgb.insert(frame.rgb.end(), row, row + 3 * size.width);
        }
        if (t == 0) {
            slot->key = encoder.keyFrame(frame).payload;
            slot->jpeg = encodeJpegNear(frame.rgb.data(), size.width, size.height,
                                        bitsPerPixel(slot->key.size(), size));
        } else {
            slot->deltas.push_back(encoder.deltaFrame(frame).payload);
        }
    }
    return *slot;
}

KrtPlayer::KrtPlayer(const PixelFormat& format, Size size) {
    ctx_.output.pixelFormat = format;
    ctx_.output.paletteRgb = paletteRgb_;
    ctx_.output.paletteLookup = paletteLookup_;
    for (int i = 0; i < 768; ++i) paletteRgb_[i] = BYTE(i);
    pitch_ = size.width * (format.depth == 8 ? 1 : 2);
    target_.resize(std::size_t(pitch_) * std::size_t(size.height));
    ctx_.clipRight = size.width;
    ctx_.clipBottom = size.height;
}

KrtPlayer::~KrtPlayer() {
    releaseVideoState(ctx_);
}

void KrtPlayer::key(const Bytes& payload) {
    ctx_.frameDataEnd = payload.data() + payload.size();
    decodeKrtKeyFrame(&ctx_, payload.data());
    if (ctx_.output.pixelFormat.depth != 8) buildKrtColourLookup(&ctx_);
    writeKrtOutput(&ctx_, target_.data(), target_.data(), pitch_);
}

void KrtPlayer::delta(const Bytes& payload) {
    ctx_.frameDataEnd = payload.data() + payload.size();
    decodeKrtDeltaFrame(&ctx_, payload.data());
    writeKrtOutput(&ctx_, target_.data(), target_.data(), pitch_);
}

} // namespace qzbench
